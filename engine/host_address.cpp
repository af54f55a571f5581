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
  const HostAddresses& found = answer.Addresses;
  if (sender.family == AddressFamily::kIpv4) {
    if (!found.has_ipv4) return false;
    const std::uint32_t a = sender.Ipv4HostOrder();
    const std::uint32_t b = Ipv4HostOrder(found.ipv4);
    if (prefix == 0 || prefix >= 32) return a == b;
    return (a & Ipv4Mask(prefix)) == (b & Ipv4Mask(prefix));
  }
  return found.has_ipv6 && Ipv6PrefixEqual(sender.bytes, found.ipv6, prefix);
}

std::optional<Endpoint> DestinationOf(const ResolvedHost& answer, std::uint8_t prefix,
                                      std::uint16_t port, AddressFamily arrival) {
  const HostAddresses& found = answer.Addresses;
  const bool ipv4 = arrival == AddressFamily::kIpv4 ? found.has_ipv4 : !found.has_ipv6;
  if (ipv4 && found.has_ipv4) {
    std::uint32_t address = Ipv4HostOrder(found.ipv4);
    if (prefix < 32) address |= prefix == 0 ? ~std::uint32_t{0} : ~Ipv4Mask(prefix);
    Endpoint to{IpAddress::Ipv4FromHostOrder(address), port};
    to.address.scope_id = found.interface_index;
    return to;
  }
  if (found.has_ipv6) return Endpoint{IpAddress::Ipv6(found.ipv6, found.interface_index), port};
  return std::nullopt;
}

bool IsOwnAddress(const IpAddress& sender, const OwnAddressTable& own_addresses) {
  return own_addresses.Contains(sender);
}

}  // namespace corvane
