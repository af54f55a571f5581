// How a host entry's resolved addresses and network prefix are applied: to test a sender, and to
// make a destination.
//
// A prefix means different things in the two places. In a sender test it selects a network: the
// first `prefix` bits must match, and 0 (like /32 or /128) means the one address. In a destination
// it selects the IPv4 broadcast address of that network (0 gives 255.255.255.255, 32 or more the
// address itself); IPv6 destinations ignore it.
#pragma once

#include <cstdint>
#include <optional>

#include "engine/resolver_cache.h"
#include "platform/interfaces.h"
#include "platform/net_address.h"

namespace corvane {

// Whether `sender` lies in the network of `answer` with `prefix`. An entry takes part only with an
// answer of the sender's family. IPv6 scope identifiers are not compared.
bool SenderMatches(const IpAddress& sender, const ResolvedHost& answer, std::uint8_t prefix);

// Where a packet that arrived over `arrival` goes for this entry: the answer of the arrival family
// when there is one, else the other; nothing when the host resolved to neither. The destination
// leaves by the interface the text named (`ff02::1%eth1`, `255.255.255.255%eth1`); without one, an
// IPv6 destination carries scope 0 and the routing table chooses.
std::optional<Endpoint> DestinationOf(const ResolvedHost& answer, std::uint8_t prefix,
                                      std::uint16_t port, AddressFamily arrival);

// Whether a sender (IPv4 or IPv6) is one of the host's own addresses.
bool IsOwnAddress(const IpAddress& sender, const OwnAddressTable& own_addresses);

}  // namespace corvane
