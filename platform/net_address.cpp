#include "platform/net_address.h"

#include <arpa/inet.h>

#include <cstring>

namespace corvane {

IpAddress IpAddress::Ipv4(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
  IpAddress address;
  address.bytes[0] = a;
  address.bytes[1] = b;
  address.bytes[2] = c;
  address.bytes[3] = d;
  return address;
}

IpAddress IpAddress::Ipv4FromHostOrder(std::uint32_t host_order) {
  return Ipv4(static_cast<std::uint8_t>(host_order >> 24),
              static_cast<std::uint8_t>(host_order >> 16),
              static_cast<std::uint8_t>(host_order >> 8), static_cast<std::uint8_t>(host_order));
}

IpAddress IpAddress::Ipv6(const std::array<std::uint8_t, 16>& bytes, std::uint32_t scope_id) {
  IpAddress address;
  address.family = AddressFamily::kIpv6;
  address.bytes = bytes;
  address.scope_id = scope_id;
  return address;
}

std::string AddressToString(const IpAddress& address) {
  char text[INET6_ADDRSTRLEN] = {};
  const int family = address.family == AddressFamily::kIpv4 ? AF_INET : AF_INET6;
  if (inet_ntop(family, address.bytes.data(), text, sizeof text) == nullptr) return {};
  return text;
}

std::optional<IpAddress> ParseIpAddress(std::string_view text) {
  char buffer[INET6_ADDRSTRLEN + 1] = {};
  if (text.size() >= sizeof buffer) return std::nullopt;
  std::memcpy(buffer, text.data(), text.size());
  IpAddress address;
  if (inet_pton(AF_INET, buffer, address.bytes.data()) == 1) return address;
  address.family = AddressFamily::kIpv6;
  if (inet_pton(AF_INET6, buffer, address.bytes.data()) == 1) return address;
  return std::nullopt;
}

}  // namespace corvane
