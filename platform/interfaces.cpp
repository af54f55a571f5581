#include "platform/interfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>

namespace corvane {
namespace {

std::uint32_t HostOrder(const sockaddr* address) {
  sockaddr_in ipv4;
  std::copy_n(reinterpret_cast<const char*>(address), sizeof ipv4, reinterpret_cast<char*>(&ipv4));
  return ntohl(ipv4.sin_addr.s_addr);
}

}  // namespace

OwnAddressTable::OwnAddressTable(const std::vector<IpAddress>& addresses) {
  for (const IpAddress& address : addresses) {
    if (address.family == AddressFamily::kIpv4) {
      ipv4_.push_back(address.Ipv4HostOrder());
    } else {
      ipv6_.push_back(address.bytes);
    }
  }
  std::sort(ipv4_.begin(), ipv4_.end());
  std::sort(ipv6_.begin(), ipv6_.end());
}

bool OwnAddressTable::Contains(const IpAddress& address) const {
  if (address.family == AddressFamily::kIpv4) {
    return std::binary_search(ipv4_.begin(), ipv4_.end(), address.Ipv4HostOrder());
  }
  return std::binary_search(ipv6_.begin(), ipv6_.end(), address.bytes);
}

OwnAddressTable ReadOwnAddressTable() {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return {};
  std::vector<IpAddress> addresses;
  for (const ifaddrs* row = list; row != nullptr; row = row->ifa_next) {
    if (row->ifa_addr == nullptr) continue;
    if (row->ifa_addr->sa_family == AF_INET) {
      addresses.push_back(IpAddress::Ipv4FromHostOrder(HostOrder(row->ifa_addr)));
    } else if (row->ifa_addr->sa_family == AF_INET6) {
      sockaddr_in6 ipv6;
      std::copy_n(reinterpret_cast<const char*>(row->ifa_addr), sizeof ipv6,
                  reinterpret_cast<char*>(&ipv6));
      std::array<std::uint8_t, 16> bytes;
      std::copy_n(ipv6.sin6_addr.s6_addr, bytes.size(), bytes.begin());
      addresses.push_back(IpAddress::Ipv6(bytes));
    }
  }
  freeifaddrs(list);
  return OwnAddressTable(addresses);
}

bool BroadcastAddresses::IsBroadcast(int interface_index, std::uint32_t destination_host_order) {
  if (destination_host_order == INADDR_BROADCAST) return true;
  const auto now = std::chrono::steady_clock::now();
  if (!read_ || now - read_at_ >= std::chrono::seconds(1)) {
    Refresh();
    read_at_ = now;
    read_ = true;
  }
  return std::any_of(rows_.begin(), rows_.end(), [&](const Row& row) {
    return row.interface_index == interface_index && row.broadcast == destination_host_order;
  });
}

void BroadcastAddresses::Refresh() {
  rows_.clear();
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return;
  for (const ifaddrs* row = list; row != nullptr; row = row->ifa_next) {
    if (row->ifa_addr == nullptr || row->ifa_addr->sa_family != AF_INET) continue;
    if ((row->ifa_flags & IFF_BROADCAST) == 0 || row->ifa_broadaddr == nullptr) continue;
    const unsigned index = if_nametoindex(row->ifa_name);
    if (index == 0) continue;
    rows_.push_back({static_cast<int>(index), HostOrder(row->ifa_broadaddr)});
  }
  freeifaddrs(list);
}

}  // namespace corvane
