// The last hop towards a destination as the kernel's routing and neighbour tables have it: whether
// a datagram to it leaves onto a directly connected link, by which interface and with which source
// address, and whether the neighbour on that link answers address resolution (ARP, IPv6 neighbour
// discovery). A sleeping network card answers neither, and the kernel then drops what it sends to
// that host.
//
// One engine thread owns a LinkRoutes; it asks the kernel over an rtnetlink socket of its own,
// opened at the first question and kept. The kernel answers a question at once.
#pragma once

#include <cstdint>
#include <string>
#include <system_error>

#include "platform/net_address.h"

namespace corvane {

enum class HopKind : std::uint8_t {
  kOnLink,  // onto a directly connected link: no gateway between
  kRouted,  // to a gateway, which forwards it
  kLocal,   // to this host itself
  kNone,    // no route; the send fails
};

struct LinkHop {
  HopKind kind = HopKind::kNone;
  // For kOnLink: the destination is one host (not a broadcast or multicast address).
  bool unicast = false;
  std::uint32_t interface_index = 0;
  // The address a send from a socket bound to no address leaves with; family-wide zero when the
  // kernel named none.
  IpAddress source;
  bool has_source = false;
};

class LinkRoutes {
 public:
  LinkRoutes() = default;
  ~LinkRoutes();
  LinkRoutes(const LinkRoutes&) = delete;
  LinkRoutes& operator=(const LinkRoutes&) = delete;

  // The hop a datagram to `destination` takes. A destination with an interface (`scope_id`) is
  // looked up on that interface only, as its send goes.
  [[nodiscard]] std::error_code Route(const IpAddress& destination, LinkHop& hop);

  // Whether the neighbour entry of `address` on `interface_index` lets the kernel send to it:
  // true for an entry that is reachable, stale, being checked, permanent or needs no resolution;
  // false when there is none (never asked, or expired) or it is still or finally unanswered.
  [[nodiscard]] std::error_code NeighbourAnswers(const IpAddress& address,
                                                 std::uint32_t interface_index, bool& answers);

 private:
  // Sends one request and reads its answer into `reply` (the answer's payload after its header),
  // or returns the kernel's error.
  std::error_code Ask(const void* request, std::size_t length, std::uint16_t answer_type,
                      std::string& reply);

  int fd_ = -1;
  std::uint32_t sequence_ = 0;
};

// The name of interface `index`, or its decimal index when it has no name (any more).
std::string InterfaceNameOf(std::uint32_t index);

}  // namespace corvane
