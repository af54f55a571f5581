#include "engine/host_address.h"

#include <algorithm>

namespace corvane {
namespace {

// The mask of the first `prefix` bits of an IPv4 address, 0 < prefix < 32.
std::uint32_t Ipv4Mask(std::uint8_t prefix) { return ~std::uint32_t{0} << (32 - prefix); }

bool Ipv6PrefixEqual(const std::array<std::uint8_t, 16>& a, const std::array<std::uint8_t, 16>& b,
                     std::uint8_t prefix) {
  if (prefix == 0 || prefix >= 128) return a == b;
  const std::size_t whole_bytes = prefix / 8;
  if (!std::equal(a.begin(), a.begin() + whole_bytes, b.begin())) return false;
  const unsigned rest_bits = prefix % 8;
  if (rest_bits == 0) return true;
  const auto mask = static_cast<std::uint8_t>(0xFF << (8 - rest_bits));
  return (a[whole_bytes] & mask) == (b[whole_bytes] & mask);
}

}  // namespace

bool SenderMatches(const IpAddress& sender, const ResolvedHost& answer, std::uint8_t prefix) {
  if (sender.family == AddressFamily::kIpv4) {
    if (!answer.HasIpv4) return false;
    const std::uint32_t a = sender.Ipv4HostOrder();
    const std::uint32_t b = Ipv4HostOrder(answer.Ipv4);
    if (prefix == 0 || prefix >= 32) return a == b;
    return (a & Ipv4Mask(prefix)) == (b & Ipv4Mask(prefix));
  }
  return answer.HasIpv6 && Ipv6PrefixEqual(sender.bytes, answer.Ipv6, prefix);
}

std::optional<Endpoint> DestinationOf(const ResolvedHost& answer, std::uint8_t prefix,
                                      std::uint16_t port, AddressFamily arrival) {
  const bool ipv4 = arrival == AddressFamily::kIpv4 ? answer.HasIpv4 : !answer.HasIpv6;
  if (ipv4 && answer.HasIpv4) {
    std::uint32_t address = Ipv4HostOrder(answer.Ipv4);
    if (prefix < 32) address |= prefix == 0 ? ~std::uint32_t{0} : ~Ipv4Mask(prefix);
    Endpoint to{IpAddress::Ipv4FromHostOrder(address), port};
    to.address.scope_id = answer.Interface;
    return to;
  }
  if (answer.HasIpv6) return Endpoint{IpAddress::Ipv6(answer.Ipv6, answer.Interface), port};
  return std::nullopt;
}

bool IsOwnAddress(const IpAddress& sender, const OwnAddressTable& own_addresses) {
  return own_addresses.Contains(sender);
}

}  // namespace corvane
