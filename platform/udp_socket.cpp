#include "platform/udp_socket.h"

#include <arpa/inet.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/port_binder.h"
#include "platform/process_limits.h"

namespace corvane {
namespace {

std::error_code SetIntOption(int fd, int level, int name, int value) {
  if (setsockopt(fd, level, name, &value, sizeof value) != 0) return LastErrnoCode();
  return {};
}

// Fills a system socket address for `to`; returns its length, or 0 for a family mismatch.
socklen_t ToSystemAddress(const Endpoint& to, AddressFamily family, sockaddr_storage& storage) {
  std::memset(&storage, 0, sizeof storage);
  if (to.address.family != family) return 0;
  if (family == AddressFamily::kIpv4) {
    sockaddr_in ipv4{};
    ipv4.sin_family = AF_INET;
    ipv4.sin_port = htons(to.port);
    std::memcpy(&ipv4.sin_addr, to.address.bytes.data(), 4);
    std::memcpy(&storage, &ipv4, sizeof ipv4);
    return sizeof ipv4;
  }
  sockaddr_in6 ipv6{};
  ipv6.sin6_family = AF_INET6;
  ipv6.sin6_port = htons(to.port);
  std::memcpy(&ipv6.sin6_addr, to.address.bytes.data(), 16);
  ipv6.sin6_scope_id = to.address.scope_id;
  std::memcpy(&storage, &ipv6, sizeof ipv6);
  return sizeof ipv6;
}

// Puts `info` as the only control message into `message`, whose control buffer has room for it.
template <typename Info>
void AttachControl(msghdr& message, int level, int type, const Info& info) {
  message.msg_controllen = CMSG_SPACE(sizeof info);
  cmsghdr* header = CMSG_FIRSTHDR(&message);
  header->cmsg_level = level;
  header->cmsg_type = type;
  header->cmsg_len = CMSG_LEN(sizeof info);
  std::memcpy(CMSG_DATA(header), &info, sizeof info);
}

Endpoint FromSystemAddress(const sockaddr_storage& storage) {
  Endpoint endpoint;
  if (storage.ss_family == AF_INET6) {
    sockaddr_in6 ipv6;
    std::memcpy(&ipv6, &storage, sizeof ipv6);
    endpoint.address.family = AddressFamily::kIpv6;
    std::memcpy(endpoint.address.bytes.data(), &ipv6.sin6_addr, 16);
    endpoint.address.scope_id = ipv6.sin6_scope_id;
    endpoint.port = ntohs(ipv6.sin6_port);
  } else {
    sockaddr_in ipv4;
    std::memcpy(&ipv4, &storage, sizeof ipv4);
    std::memcpy(endpoint.address.bytes.data(), &ipv4.sin_addr, 4);
    endpoint.port = ntohs(ipv4.sin_port);
  }
  return endpoint;
}

}  // namespace

UdpSocket::~UdpSocket() { Close(); }

UdpSocket::UdpSocket(UdpSocket&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      family_(other.family_),
      broadcasts_(std::move(other.broadcasts_)) {}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    family_ = other.family_;
    broadcasts_ = std::move(other.broadcasts_);
  }
  return *this;
}

std::error_code UdpSocket::Open(AddressFamily family) {
  Close();
  const int domain = family == AddressFamily::kIpv4 ? AF_INET : AF_INET6;
  const int fd = socket(domain, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (fd < 0) return LastErrnoCode();
  if (InDescriptorReserve(fd)) {
    close(fd);
    return ErrnoCode(EMFILE);
  }
  // Windows' default, and what lets an IPv4 and an IPv6 socket share a port.
  if (family == AddressFamily::kIpv6) {
    if (const std::error_code error = SetIntOption(fd, IPPROTO_IPV6, IPV6_V6ONLY, 1)) {
      close(fd);
      return error;
    }
  }
  fd_ = fd;
  family_ = family;
  return {};
}

std::error_code UdpSocket::SetBroadcast(bool on) {
  return SetIntOption(fd_, SOL_SOCKET, SO_BROADCAST, on);
}

std::error_code UdpSocket::SetReuseAddress(bool on) {
  return SetIntOption(fd_, SOL_SOCKET, SO_REUSEADDR, on);
}

std::error_code UdpSocket::SetReceiveBufferSize(int bytes) {
  return SetIntOption(fd_, SOL_SOCKET, SO_RCVBUF, bytes);
}

std::optional<int> UdpSocket::QueuedSendBytes() const {
  int queued = 0;
  if (ioctl(fd_, SIOCOUTQ, &queued) != 0) return std::nullopt;
  return queued;
}

std::optional<int> UdpSocket::SendBufferSize() const {
  int size = 0;
  socklen_t length = sizeof size;
  if (getsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &size, &length) != 0) return std::nullopt;
  return size;
}

std::optional<int> UdpSocket::ReserveReceiveBuffer(int bytes) {
  // Linux doubles the value it is given, to cover its own overhead.
  const int asked = bytes / 2;
  if (SetIntOption(fd_, SOL_SOCKET, SO_RCVBUFFORCE, asked)) {
    // Without CAP_NET_ADMIN: as much as the system's limit allows, whatever it says.
    static_cast<void>(SetIntOption(fd_, SOL_SOCKET, SO_RCVBUF, asked));
  }
  return ReceiveBufferSize();
}

std::error_code UdpSocket::SetMulticastHops(int hops) {
  return SetIntOption(fd_, IPPROTO_IPV6, IPV6_MULTICAST_HOPS, hops);
}

std::error_code UdpSocket::EnableArrivalInfo() {
  if (family_ != AddressFamily::kIpv4) return ErrnoCode(EAFNOSUPPORT);
  if (const std::error_code error = SetIntOption(fd_, IPPROTO_IP, IP_PKTINFO, 1)) return error;
  broadcasts_ = std::make_unique<BroadcastAddresses>();
  return {};
}

std::optional<int> UdpSocket::ReceiveBufferSize() const {
  int value = 0;
  socklen_t length = sizeof value;
  if (getsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &value, &length) != 0) return std::nullopt;
  return value;
}

std::error_code UdpSocket::Bind(std::uint16_t port) {
  Endpoint any;
  any.address.family = family_;
  any.port = port;
  sockaddr_storage storage;
  const socklen_t length = ToSystemAddress(any, family_, storage);
  if (bind(fd_, reinterpret_cast<const sockaddr*>(&storage), length) == 0) return {};
  // A program that gave its capability to a binder binds the ports below 1024 through it.
  if (errno == EACCES && port != 0 && port < 1024) return BindThroughPortBinder(fd_, port);
  return LastErrnoCode();
}

std::optional<std::uint16_t> UdpSocket::LocalPort() const {
  sockaddr_storage storage{};
  socklen_t length = sizeof storage;
  if (getsockname(fd_, reinterpret_cast<sockaddr*>(&storage), &length) != 0) return std::nullopt;
  return FromSystemAddress(storage).port;
}

ReceiveResult UdpSocket::Receive(std::span<std::uint8_t> buffer, Datagram& datagram) {
  sockaddr_storage sender{};
  iovec data{buffer.data(), buffer.size()};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
  msghdr message{};
  message.msg_name = &sender;
  message.msg_namelen = sizeof sender;
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  if (broadcasts_ != nullptr) {
    message.msg_control = control;
    message.msg_controllen = sizeof control;
  }
  const ssize_t received = recvmsg(fd_, &message, MSG_DONTWAIT);
  if (received < 0) {
    return errno == EAGAIN || errno == EWOULDBLOCK ? ReceiveResult::kNothing
                                                   : ReceiveResult::kError;
  }
  if ((message.msg_flags & MSG_TRUNC) != 0) return ReceiveResult::kTooLong;

  datagram.length = static_cast<std::size_t>(received);
  datagram.sender = FromSystemAddress(sender);
  datagram.broadcast = false;
  if (broadcasts_ != nullptr) {
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
         header = CMSG_NXTHDR(&message, header)) {
      if (header->cmsg_level != IPPROTO_IP || header->cmsg_type != IP_PKTINFO) continue;
      in_pktinfo info;
      std::memcpy(&info, CMSG_DATA(header), sizeof info);
      datagram.broadcast = broadcasts_->IsBroadcast(info.ipi_ifindex, ntohl(info.ipi_addr.s_addr));
    }
  }
  return ReceiveResult::kDatagram;
}

std::error_code UdpSocket::SendTo(std::span<const std::uint8_t> data, const Endpoint& to) {
  sockaddr_storage storage;
  const socklen_t length = ToSystemAddress(to, family_, storage);
  if (length == 0) return ErrnoCode(EAFNOSUPPORT);
  ssize_t sent = 0;
  if (to.address.scope_id == 0) {
    sent = sendto(fd_, data.data(), data.size(), MSG_NOSIGNAL,
                  reinterpret_cast<const sockaddr*>(&storage), length);
  } else {
    // Through one interface: its index in the packet information of this one send, so the socket
    // (and its port) stays the same for every interface. The limited broadcast leaves by that
    // interface whatever the routes say; an IPv6 address whose scope the system ignores (a global
    // one) goes that way too.
    iovec buffer{const_cast<std::uint8_t*>(data.data()), data.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in6_pktinfo))] = {};
    msghdr message{};
    message.msg_name = &storage;
    message.msg_namelen = length;
    message.msg_iov = &buffer;
    message.msg_iovlen = 1;
    message.msg_control = control;
    if (family_ == AddressFamily::kIpv4) {
      in_pktinfo info{};
      info.ipi_ifindex = static_cast<int>(to.address.scope_id);
      AttachControl(message, IPPROTO_IP, IP_PKTINFO, info);
    } else {
      in6_pktinfo info{};
      info.ipi6_ifindex = to.address.scope_id;
      AttachControl(message, IPPROTO_IPV6, IPV6_PKTINFO, info);
    }
    sent = sendmsg(fd_, &message, MSG_NOSIGNAL);
  }
  if (sent < 0) return LastErrnoCode();
  if (sent != static_cast<ssize_t>(data.size())) return ErrnoCode(EMSGSIZE);
  return {};
}

void UdpSocket::Close() {
  if (fd_ < 0) return;
  shutdown(fd_, SHUT_RDWR);
  close(std::exchange(fd_, -1));
  broadcasts_.reset();
}

bool NetworkReady() {
  UdpSocket probe;
  return !probe.Open(AddressFamily::kIpv4) || !probe.Open(AddressFamily::kIpv6);
}

}  // namespace corvane
