// Turning a host text into at most one IPv4 and one IPv6 address.
//
// The address-information entry points (getaddrinfo and freeaddrinfo) are looked up at run time,
// once, by the program's start-up, and held in one process-wide record: set before the first
// engine thread starts, released after the last one ended. Without them, a lookup falls back to the
// IPv4-only host database call.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/stop_request.h"

namespace corvane {

struct HostAddresses {
  bool has_ipv4 = false;
  std::array<std::uint8_t, 4> ipv4{};  // network byte order
  bool has_ipv6 = false;
  std::array<std::uint8_t, 16> ipv6{};
  std::uint32_t ipv6_scope = 0;
  std::string failure;  // the system's reason when it found neither address; may be empty
  // The interface the text named after '%', 0 when it named none.
  std::uint32_t interface_index = 0;
};

// Looks both entry points up; returns whether both were found. Either both are set, or neither.
bool LoadAddressInfoEntryPoints();
// Forgets the entry points (and releases the library that supplied them).
void ReleaseAddressInfoEntryPoints();
bool AddressInfoEntryPointsLoaded();

// Resolves `host` (a numeric address or a name). With the entry points: the first IPv4 and the
// first IPv6 answer of getaddrinfo (any family, stream socket type, TCP). Without them: the first
// address of the IPv4 host database, so no IPv6 answer. Blocks while the system resolver works.
// A lookup that finds nothing says why in `failure` ("Name or service not known"). Thread-safe.
//
// `ADDRESS%INTERFACE` (an address or a name, then an interface name or index) resolves the part
// before the '%' and names the interface in both answers: the IPv6 scope is its index. A text
// whose interface part names no interface of this host, or whose address part is empty, resolves
// to nothing, as a name that does not resolve.
HostAddresses LookUpHost(const std::string& host);

// How long one lookup may hold an engine thread: a DNS server that does not answer must not hold
// a relay for the resolver's own time-out (30 s with `options timeout:30`).
inline constexpr std::chrono::milliseconds kLookupLimit{3000};

// `lookup(host)` (LookUpHost unless a test gives another) on a thread of its own, waited for until
// it answers, `limit` has passed or `stop` is requested, whichever comes first. A lookup not
// answered in time is a failure ("no answer within 3 s") and a lookup cut short by a stop is one
// too; either runs on to its own end in the background, its answer dropped. At most
// kMaxLookupsRunning run at once in the process: past that a system resolver that answers nobody
// is taken as it is, and a lookup fails at once. When no thread can be made, the lookup runs on
// the caller's thread. `lookup` is copied and must stay callable until it returns. Any thread.
HostAddresses LookUpHostWithin(
    const std::string& host, std::chrono::milliseconds limit, const StopRequest& stop,
    const std::function<HostAddresses(const std::string&)>& lookup = LookUpHost);
inline constexpr int kMaxLookupsRunning = 64;

}  // namespace corvane
