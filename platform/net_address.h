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
  std::uint32_t scope_id = 0;  // IPv6 only

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

}  // namespace corvane
