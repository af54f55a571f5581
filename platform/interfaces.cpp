#include "platform/interfaces.h"

#include <arpa/inet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "platform/number_text.h"
#include "platform/process_limits.h"

namespace corvane {

std::uint32_t InterfaceIndex(std::string_view name) {
  if (!IsInterfaceName(name)) return 0;
  const std::string text(name);
  if (const unsigned index = if_nametoindex(text.c_str()); index != 0) return index;
  const std::optional<std::uint32_t> number = DecimalNumber<std::uint32_t>(name);
  char found[IF_NAMESIZE];
  if (!number || *number == 0 || if_indextoname(*number, found) == nullptr) return 0;
  return *number;
}

OwnAddressTable::OwnAddressTable(const std::vector<IpAddress>& addresses) {
  for (const IpAddress& address : addresses) Add(address, 0);
}

bool OwnAddressTable::Contains(const IpAddress& address) const {
  const Row first{address.family, address.bytes, 0};
  const auto found = std::lower_bound(rows_.begin(), rows_.end(), first);
  return found != rows_.end() && found->family == address.family && found->bytes == address.bytes;
}

void OwnAddressTable::Add(const IpAddress& address, std::uint32_t interface_index) {
  const Row row{address.family, address.bytes, interface_index};
  const auto place = std::lower_bound(rows_.begin(), rows_.end(), row);
  if (place == rows_.end() || *place != row) rows_.insert(place, row);
}

void OwnAddressTable::Remove(const IpAddress& address, std::uint32_t interface_index) {
  const Row row{address.family, address.bytes, interface_index};
  const auto place = std::lower_bound(rows_.begin(), rows_.end(), row);
  if (place != rows_.end() && *place == row) rows_.erase(place);
  if (address.family != AddressFamily::kIpv4) return;
  std::erase_if(broadcasts_, [&](const BroadcastRow& b) {
    return b.interface_index == interface_index && b.address == address.Ipv4HostOrder();
  });
}

bool OwnAddressTable::IsBroadcast(std::uint32_t interface_index, std::uint32_t destination) const {
  return std::any_of(broadcasts_.begin(), broadcasts_.end(), [&](const BroadcastRow& b) {
    return b.interface_index == interface_index && b.broadcast == destination;
  });
}

void OwnAddressTable::AddBroadcast(std::uint32_t interface_index, std::uint32_t address,
                                   std::uint32_t broadcast) {
  for (BroadcastRow& row : broadcasts_) {
    if (row.interface_index == interface_index && row.address == address) {
      row.broadcast = broadcast;
      return;
    }
  }
  broadcasts_.push_back({interface_index, address, broadcast});
}

namespace {

// Large enough for the biggest batch the kernel puts into one netlink read.
constexpr std::size_t kNetlinkBatch = 32768;
// A busy stream of changes (one read each) is taken in parts, so that the receive loop goes on
// between them.
constexpr int kBatchesPerTake = 256;
constexpr int kBatchesPerDiscard = 100000;

struct NetlinkBuffer {
  alignas(nlmsghdr) std::array<char, kNetlinkBatch> bytes;
};

// One read of a netlink socket. The length of what was read, or -1 with errno set. A batch that
// did not come from the kernel (another process may address our socket) reads as empty, whatever
// its length, before anything else of it is judged; one from the kernel that did not fit is
// reported as ENOBUFS, like the kernel's own dropped messages.
ssize_t ReadFromKernel(int fd, NetlinkBuffer& buffer, int flags) {
  sockaddr_nl from{};
  iovec data{buffer.bytes.data(), buffer.bytes.size()};
  msghdr message{};
  message.msg_name = &from;
  message.msg_namelen = sizeof from;
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  const ssize_t length = recvmsg(fd, &message, flags);
  if (length < 0) return length;
  if (from.nl_pid != 0) return 0;
  if ((message.msg_flags & MSG_TRUNC) != 0) {
    errno = ENOBUFS;
    return -1;
  }
  return length;
}

// Applies one address message (a change, or a row of the table) to `table`.
void Apply(const nlmsghdr& header, OwnAddressTable& table) {
  if (header.nlmsg_type != RTM_NEWADDR && header.nlmsg_type != RTM_DELADDR) return;
  if (header.nlmsg_len < NLMSG_LENGTH(sizeof(ifaddrmsg))) return;
  const auto* info = reinterpret_cast<const ifaddrmsg*>(reinterpret_cast<const char*>(&header) +
                                                        NLMSG_ALIGN(sizeof(nlmsghdr)));
  IpAddress address;
  std::size_t size = 4;
  if (info->ifa_family == AF_INET6) {
    address.family = AddressFamily::kIpv6;
    size = 16;
  } else if (info->ifa_family != AF_INET) {
    return;
  }
  // As getifaddrs: the local address where the kernel gives one (a point-to-point link's
  // IFA_ADDRESS is its peer), else IFA_ADDRESS.
  const rtattr* local = nullptr;
  const rtattr* any = nullptr;
  const rtattr* broadcast = nullptr;  // IPv4 only
  int left = static_cast<int>(IFA_PAYLOAD(&header));
  for (const auto* attribute = reinterpret_cast<const rtattr*>(reinterpret_cast<const char*>(info) +
                                                               NLMSG_ALIGN(sizeof(ifaddrmsg)));
       RTA_OK(attribute, left); attribute = RTA_NEXT(attribute, left)) {
    if (RTA_PAYLOAD(attribute) != size) continue;
    if (attribute->rta_type == IFA_LOCAL) local = attribute;
    if (attribute->rta_type == IFA_ADDRESS) any = attribute;
    if (attribute->rta_type == IFA_BROADCAST && size == 4) broadcast = attribute;
  }
  const rtattr* chosen = local != nullptr ? local : any;
  if (chosen == nullptr) return;
  std::memcpy(address.bytes.data(), RTA_DATA(chosen), size);
  if (header.nlmsg_type == RTM_NEWADDR) {
    table.Add(address, info->ifa_index);
    if (broadcast != nullptr) {
      std::uint32_t bytes = 0;
      std::memcpy(&bytes, RTA_DATA(broadcast), 4);
      table.AddBroadcast(info->ifa_index, address.Ipv4HostOrder(), ntohl(bytes));
    }
  } else {
    table.Remove(address, info->ifa_index);
  }
}

// The messages of one batch, in order; a message whose length runs past the batch ends it.
template <typename Visit>
void ForEachMessage(NetlinkBuffer& buffer, ssize_t length, Visit visit) {
  std::size_t at = 0;
  const auto end = static_cast<std::size_t>(length);
  while (end - at >= sizeof(nlmsghdr)) {
    const auto* header = reinterpret_cast<const nlmsghdr*>(buffer.bytes.data() + at);
    if (header->nlmsg_len < sizeof(nlmsghdr) || header->nlmsg_len > end - at) return;
    visit(*header);
    at += NLMSG_ALIGN(header->nlmsg_len);
    if (at > end) return;
  }
}

enum class Dump { kDone, kInterrupted, kFailed };

// Asks the kernel for every address of both families on a socket of its own; adds them to
// `table`.
Dump DumpAddresses(OwnAddressTable& table) {
  const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
  if (fd < 0) return Dump::kFailed;
  const timeval patience{2, 0};  // the kernel answers at once; never hang on it
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
  struct {
    nlmsghdr header;
    ifaddrmsg body;
  } request{};
  request.header.nlmsg_len = sizeof request;
  request.header.nlmsg_type = RTM_GETADDR;
  request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  request.header.nlmsg_seq = 1;
  request.body.ifa_family = AF_UNSPEC;
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  Dump result = Dump::kFailed;
  if (sendto(fd, &request, sizeof request, 0, reinterpret_cast<const sockaddr*>(&kernel),
             sizeof kernel) == static_cast<ssize_t>(sizeof request)) {
    NetlinkBuffer buffer;
    bool interrupted = false;
    bool ended = false;
    while (!ended) {
      const ssize_t length = ReadFromKernel(fd, buffer, 0);
      if (length < 0 && errno == EINTR) continue;
      if (length < 0) break;
      ForEachMessage(buffer, length, [&](const nlmsghdr& header) {
        if (ended || header.nlmsg_seq != request.header.nlmsg_seq) return;
        interrupted = interrupted || (header.nlmsg_flags & NLM_F_DUMP_INTR) != 0;
        if (header.nlmsg_type == NLMSG_DONE) {
          ended = true;
          result = interrupted ? Dump::kInterrupted : Dump::kDone;
        } else if (header.nlmsg_type == NLMSG_ERROR) {
          ended = true;
        } else {
          Apply(header, table);
        }
      });
    }
  }
  close(fd);
  return result;
}

// The whole table, or nothing when the kernel could not be asked. A dump that address changes
// interrupted is asked again, and taken as it is the third time.
std::optional<OwnAddressTable> ReadTable() {
  for (int attempt = 1;; ++attempt) {
    OwnAddressTable table;
    const Dump dump = DumpAddresses(table);
    if (dump == Dump::kFailed) return std::nullopt;
    if (dump == Dump::kDone || attempt == 3) return table;
  }
}

}  // namespace

OwnAddressTable ReadOwnAddressTable() { return ReadTable().value_or(OwnAddressTable{}); }

OwnAddresses::~OwnAddresses() { Unsubscribe(); }

void OwnAddresses::Watch() {
  Unsubscribe();
  fd_ = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
  // Like a wake-up descriptor, the subscription is something a proxy server can do without.
  if (InDescriptorReserve(fd_, 2)) Unsubscribe();
  if (fd_ >= 0) {
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR;
    if (bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) Unsubscribe();
  }
  table_ = ReadOwnAddressTable();
}

void OwnAddresses::TakeChanges() {
  if (fd_ < 0) return;
  NetlinkBuffer buffer;
  bool dropped = false;
  // After a drop, what is still queued lies on either side of the gap and is read only to be
  // thrown away: the table is read afresh instead, and the changes queued after that read follow
  // on from it.
  for (int batch = 0; batch < (dropped ? kBatchesPerDiscard : kBatchesPerTake); ++batch) {
    const ssize_t length = ReadFromKernel(fd_, buffer, MSG_DONTWAIT);
    if (length < 0) {
      if (errno == EINTR) continue;
      if (errno == ENOBUFS) {
        dropped = true;
        continue;
      }
      // Nothing queued, or a socket that no longer works: without it the table stays as it is.
      if (errno != EAGAIN && errno != EWOULDBLOCK) Unsubscribe();
      break;
    }
    if (!dropped) {
      ForEachMessage(buffer, length, [this](const nlmsghdr& header) { Apply(header, table_); });
    }
  }
  if (dropped) {
    if (std::optional<OwnAddressTable> table = ReadTable()) table_ = std::move(*table);
  }
}

void OwnAddresses::Unsubscribe() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

BroadcastAddresses::BroadcastAddresses(const TickClock& clock)
    : clock_(clock), taken_at_(clock.GetTickCount()) {
  addresses_.Watch();
}

bool BroadcastAddresses::IsBroadcast(int interface_index, std::uint32_t destination_host_order) {
  if (destination_host_order == INADDR_BROADCAST) return true;
  const std::uint32_t now = clock_.GetTickCount();
  if (TicksFrom(taken_at_, now) >= kTakeAge) {
    taken_at_ = now;
    if (addresses_.descriptor() >= 0) {
      addresses_.TakeChanges();
    } else {
      addresses_.Watch();
    }
  }
  return interface_index > 0 &&
         addresses_.table().IsBroadcast(static_cast<std::uint32_t>(interface_index),
                                        destination_host_order);
}

}  // namespace corvane
