// The host's interfaces as the engine needs them: their indexes by name, the host's own addresses
// and the IPv4 broadcast addresses of arrival, both read from the kernel and kept current by one
// subscription to its address changes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/net_address.h"
#include "platform/tick_clock.h"

namespace corvane {

// The index of the interface that `name` names (a name, or a decimal index of an interface that
// exists), or 0 when there is none. Names that Linux cannot give an interface (IsInterfaceName)
// give 0 without asking the system, so a long name is never cut to a shorter one that exists.
std::uint32_t InterfaceIndex(std::string_view name);

// Every IPv4 and IPv6 address of this host, however many, each with the interface that holds it,
// and the broadcast address of each IPv4 address that has one. Kept sorted, so a sender is looked
// up without a scan.
class OwnAddressTable {
 public:
  OwnAddressTable() = default;
  // Addresses of no particular interface.
  explicit OwnAddressTable(const std::vector<IpAddress>& addresses);

  // Whether `address` is one of the table's, on any interface. IPv6 scopes are not compared.
  bool Contains(const IpAddress& address) const;
  std::size_t size() const { return rows_.size(); }

  // An address that interface `interface_index` gained; one the table holds changes nothing.
  void Add(const IpAddress& address, std::uint32_t interface_index);
  // An address that interface `interface_index` lost. It stays own while another interface holds
  // it.
  void Remove(const IpAddress& address, std::uint32_t interface_index);

  // Whether `destination` (host byte order) is the broadcast address of an IPv4 address of
  // interface `interface_index`.
  bool IsBroadcast(std::uint32_t interface_index, std::uint32_t destination) const;
  // The broadcast address (host byte order) of the IPv4 `address` of interface `interface_index`;
  // it goes with the address when the address is removed.
  void AddBroadcast(std::uint32_t interface_index, std::uint32_t address, std::uint32_t broadcast);

 private:
  struct Row {
    AddressFamily family;
    std::array<std::uint8_t, 16> bytes;  // network byte order; IPv4 in the first 4
    std::uint32_t interface_index;
    friend auto operator<=>(const Row&, const Row&) = default;
  };

  struct BroadcastRow {
    std::uint32_t interface_index;
    std::uint32_t address;  // host byte order, as the two below
    std::uint32_t broadcast;
  };

  std::vector<Row> rows_;
  std::vector<BroadcastRow> broadcasts_;  // few: one per IPv4 address with a broadcast domain
};

// Reads every IPv4 and IPv6 address of the host from the kernel. An empty table when it cannot be
// read.
OwnAddressTable ReadOwnAddressTable();

// The host's own addresses, kept current: a subscription to the kernel's address changes of both
// families (rtnetlink), taken before the table is read, so that no change falls between the two.
// The subscription's descriptor is readable while changes are queued; `TakeChanges` applies them
// without waiting. When changes came faster than they were taken and the kernel dropped some, the
// whole table is read again, so it always ends up as the host's addresses, bounded by them.
// Without a subscription (the system refused one) the table stays as it was read at the start.
//
// One thread only; not movable, since filters keep a reference to `table()`.
class OwnAddresses {
 public:
  OwnAddresses() = default;
  ~OwnAddresses();
  OwnAddresses(const OwnAddresses&) = delete;
  OwnAddresses& operator=(const OwnAddresses&) = delete;

  // Subscribes to the changes, then reads the table.
  void Watch();

  const OwnAddressTable& table() const { return table_; }
  // The subscription's descriptor, for waiting on it, or -1 without one.
  int descriptor() const { return fd_; }

  // Applies every queued change; returns at once when none is queued.
  void TakeChanges();

 private:
  void Unsubscribe();

  int fd_ = -1;
  OwnAddressTable table_;
};

// Tells whether an IPv4 datagram arrived as a broadcast: sent to 255.255.255.255, or to the
// broadcast address of the interface it arrived on, as the host's addresses (OwnAddresses) say.
// Their changes are taken at most once a second of `clock`, so interfaces that come and go are
// seen without a system call per datagram; without a subscription, the addresses are read afresh
// as often. One thread only; `clock` must outlive it.
class BroadcastAddresses {
 public:
  explicit BroadcastAddresses(const TickClock& clock = SystemTickClock());

  bool IsBroadcast(int interface_index, std::uint32_t destination_host_order);

 private:
  static constexpr std::uint32_t kTakeAge = 1000;  // ticks

  const TickClock& clock_;
  OwnAddresses addresses_;
  std::uint32_t taken_at_;
};

}  // namespace corvane
