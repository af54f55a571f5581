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

bool OwnAddressTable::Contains(std::uint32_t ipv4_host_order) const {
  return std::find(addresses.begin(), addresses.begin() + count, ipv4_host_order) !=
         addresses.begin() + count;
}

OwnAddressTable ReadOwnAddressTable() {
  OwnAddressTable table;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return table;
  for (const ifaddrs* row = list; row != nullptr && table.count < OwnAddressTable::kCapacity;
       row = row->ifa_next) {
    if (row->ifa_addr == nullptr || row->ifa_addr->sa_family != AF_INET) continue;
    table.addresses[table.count++] = HostOrder(row->ifa_addr);
  }
  freeifaddrs(list);
  return table;
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
