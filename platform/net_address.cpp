#include "platform/net_address.h"

#include <arpa/inet.h>

#include <algorithm>
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

HostTextParts SplitInterface(std::string_view text) {
  const std::size_t percent = text.find('%');
  if (percent == std::string_view::npos) return {text, false, {}};
  return {text.substr(0, percent), true, text.substr(percent + 1)};
}

bool IsInterfaceName(std::string_view name) {
  constexpr std::size_t kMaxLength = 15;  // IFNAMSIZ less its terminating zero
  if (name.empty() || name.size() > kMaxLength || name == "." || name == "..") return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= 0x20 || byte == 0x7F || c == '/' || c == ':' || c == '%';
  });
}

bool IsLinkScoped(const IpAddress& address) {
  if (address.family != AddressFamily::kIpv6) return false;
  const auto& b = address.bytes;
  if (b[0] == 0xFE && (b[1] & 0xC0) == 0x80) return true;  // fe80::/10
  const unsigned multicast_scope = b[1] & 0x0F;
  return b[0] == 0xFF && (multicast_scope == 1 || multicast_scope == 2);
}

}  // namespace corvane
