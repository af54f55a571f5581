// The host's own addresses and IPv4 broadcast addresses, read from the interface list.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/net_address.h"

namespace corvane {

// Every IPv4 and IPv6 address of this host, however many. Read once when a proxy server starts;
// later changes are not seen. Kept sorted, so a sender is looked up without a scan.
class OwnAddressTable {
 public:
  OwnAddressTable() = default;
  explicit OwnAddressTable(const std::vector<IpAddress>& addresses);

  // Whether `address` is one of the table's. IPv6 scope identifiers are not compared.
  bool Contains(const IpAddress& address) const;
  std::size_t size() const { return ipv4_.size() + ipv6_.size(); }

 private:
  std::vector<std::uint32_t> ipv4_;                 // IpAddress::Ipv4HostOrder values
  std::vector<std::array<std::uint8_t, 16>> ipv6_;  // network byte order
};

// Reads the IPv4 and IPv6 rows of the interface list. An empty table when it cannot be read.
OwnAddressTable ReadOwnAddressTable();

// Tells whether an IPv4 datagram arrived as a broadcast: sent to 255.255.255.255, or to the
// broadcast address of the interface it arrived on. The interface list is read again at most once a
// second, so interfaces that come and go are seen without a read per datagram. One thread only.
class BroadcastAddresses {
 public:
  bool IsBroadcast(int interface_index, std::uint32_t destination_host_order);

 private:
  struct Row {
    int interface_index;
    std::uint32_t broadcast;
  };

  void Refresh();

  std::vector<Row> rows_;
  std::chrono::steady_clock::time_point read_at_{};
  bool read_ = false;
};

}  // namespace corvane
