// Addresses and endpoints as the engine sees them: plain values, free of system socket types.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace corvane {

// The values are the ones reports carry (`ReportFamily`: 0 IPv4, 1 IPv6).
enum class AddressFamily : std::uint8_t { kIpv4 = 0, kIpv6 = 1 };

// Four IPv4 address bytes in network byte order as a number whose most significant byte is the
// first byte of the address.
constexpr std::uint32_t Ipv4HostOrder(std::span<const std::uint8_t, 4> bytes) {
  return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
         std::uint32_t{bytes[2]} << 8 | std::uint32_t{bytes[3]};
}

// An IPv4 or IPv6 address in network byte order. An IPv4 address fills the first 4 bytes and leaves
// the others zero, so that two equal addresses compare equal as values.
struct IpAddress {
  AddressFamily family = AddressFamily::kIpv4;
  std::array<std::uint8_t, 16> bytes{};
  // The interface index a destination leaves by: an IPv6 address's scope, or for IPv4 the
  // interface a send goes through. 0: the routing table chooses. Senders carry what the system
  // reported (a scope for IPv6, 0 for IPv4).
  std::uint32_t scope_id = 0;

  static IpAddress Ipv4(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d);
  // `host_order` holds the first byte of the address in its most significant bits.
  static IpAddress Ipv4FromHostOrder(std::uint32_t host_order);
  static IpAddress Ipv6(const std::array<std::uint8_t, 16>& bytes, std::uint32_t scope_id = 0);

  // The IPv4 address as a number whose most significant byte is the first byte of the address.
  std::uint32_t Ipv4HostOrder() const {
    return corvane::Ipv4HostOrder(std::span<const std::uint8_t, 4>(bytes.data(), 4));
  }

  friend bool operator==(const IpAddress&, const IpAddress&) = default;
};

// A UDP endpoint; the port is in host byte order.
struct Endpoint {
  IpAddress address;
  std::uint16_t port = 0;

  friend bool operator==(const Endpoint&, const Endpoint&) = default;
};

// The system's text form of an address: dotted decimal for IPv4, the standard compressed form for
// IPv6. Empty when the system cannot convert it.
std::string AddressToString(const IpAddress& address);

// Parses a numeric IPv4 or IPv6 address (no names, no scope suffix).
std::optional<IpAddress> ParseIpAddress(std::string_view text);

// A host text split at its first '%': the address or name before it and the interface named after
// it ("ff02::1%eth1", "255.255.255.255%eth1", "fe80::1%3"). A text without '%' is all host.
struct HostTextParts {
  std::string_view host;
  bool names_interface = false;
  std::string_view interface;
};
HostTextParts SplitInterface(std::string_view text);

// Whether `name` can name an interface as Linux allows it: 1 to 15 bytes, none of them white
// space, a control character, '/', ':' or '%', and neither "." nor "..". Interface indexes ("3")
// pass as well.
bool IsInterfaceName(std::string_view name);

// Whether an IPv6 address reaches one link only, so that a send needs the interface: link-local
// unicast (fe80::/10) and multicast of interface-local or link-local scope (ff01::1, ff02::1).
bool IsLinkScoped(const IpAddress& address);

}  // namespace corvane
