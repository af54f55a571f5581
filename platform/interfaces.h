// The host's own IPv4 addresses and broadcast addresses, read from the interface list.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvane {

// Up to 32 IPv4 addresses of this host (as IpAddress::Ipv4HostOrder values), in the order in which
// the interface list gives them. Read once when a proxy server starts; later changes are not seen.
struct OwnAddressTable {
  static constexpr std::size_t kCapacity = 32;

  std::array<std::uint32_t, kCapacity> addresses{};
  std::size_t count = 0;

  bool Contains(std::uint32_t ipv4_host_order) const;
};

// Reads the IPv4 rows of the interface list, first 32. An empty table when the list cannot be read.
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
