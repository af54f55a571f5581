// A UDP socket for one address family: the only code that creates UDP sockets and sets their
// options. (The netlink sockets that follow the host's addresses are platform/interfaces.cpp's.)
//
// Every call that can fail answers with the system's error (platform/errno_code.h), never with
// errno left to be read afterwards.
//
// IPv6 sockets are created IPv6-only, so an IPv4 and an IPv6 socket can share a port. Receiving
// never waits: `Receive` returns at once when no datagram is queued. A datagram longer than the
// caller's buffer is dropped whole (never handed over cut short).
//
// A socket is owned by one thread at a time; `SendTo` and `Receive` may run on the owning thread
// only. Moving transfers ownership of the descriptor; the destructor shuts the socket down and
// closes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "platform/errno_code.h"
#include "platform/interfaces.h"
#include "platform/net_address.h"

namespace corvane {

enum class ReceiveResult {
  kNothing,   // no datagram was queued
  kDatagram,  // a datagram was received whole
  kTooLong,   // a datagram longer than the buffer was dequeued and dropped
  kError,     // the receive call failed
};

struct Datagram {
  std::size_t length = 0;
  Endpoint sender;
  // An IPv4 datagram sent to 255.255.255.255 or to the broadcast address of its arrival interface.
  // Only known when `EnableArrivalInfo` succeeded; always false otherwise.
  bool broadcast = false;
};

class UdpSocket {
 public:
  UdpSocket() = default;
  ~UdpSocket();
  UdpSocket(UdpSocket&& other) noexcept;
  UdpSocket& operator=(UdpSocket&& other) noexcept;
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  // Opens a new socket of `family` in place of whatever this object held. On failure the object
  // stays not `valid()`. A descriptor within the process's reserve is refused as EMFILE (see
  // InDescriptorReserve).
  [[nodiscard]] std::error_code Open(AddressFamily family);

  bool valid() const { return fd_ >= 0; }
  AddressFamily family() const { return family_; }
  // The descriptor, for waiting on it; the socket keeps owning it.
  int descriptor() const { return fd_; }

  // Options. Each returns the system's refusal, if it refused.
  std::error_code SetBroadcast(bool on);
  std::error_code SetReuseAddress(bool on);
  std::error_code SetReceiveBufferSize(int bytes);
  std::error_code SetMulticastHops(int hops);  // IPv6
  // Asks for the destination address and arrival interface of every IPv4 datagram, so that
  // `Receive` can tell broadcasts. IPv4 only (EAFNOSUPPORT otherwise).
  std::error_code EnableArrivalInfo();
  bool arrival_info_enabled() const { return broadcasts_ != nullptr; }

  // The receive buffer size as the system reports it (Linux reports twice the requested size).
  std::optional<int> ReceiveBufferSize() const;
  // Asks for a receive buffer of `bytes` as the system counts them, overhead of each queued
  // datagram included. Beyond net.core.rmem_max only with CAP_NET_ADMIN (SO_RCVBUFFORCE); without
  // it the system's limit applies. Returns the size granted.
  std::optional<int> ReserveReceiveBuffer(int bytes);

  // The bytes of sent datagrams that the socket's send buffer still holds: those queued in the
  // kernel, also behind a neighbour that is being asked for (ARP), and the size of that buffer.
  // A send waits while they fill it.
  std::optional<int> QueuedSendBytes() const;
  std::optional<int> SendBufferSize() const;

  // Binds to the any-address of the family and `port` (0: a port chosen by the system). A port
  // below 1024 that this process may not bind goes through the port binder, when there is one.
  [[nodiscard]] std::error_code Bind(std::uint16_t port);
  std::optional<std::uint16_t> LocalPort() const;

  // Takes one queued datagram into `buffer`, or returns kNothing at once.
  ReceiveResult Receive(std::span<std::uint8_t> buffer, Datagram& datagram);

  // Sends one datagram. The destination must be of the socket's family. A destination with an
  // interface (`scope_id`) leaves by that interface only. A destination of the other family is
  // EAFNOSUPPORT; a send the system cut short, EMSGSIZE.
  [[nodiscard]] std::error_code SendTo(std::span<const std::uint8_t> data, const Endpoint& to);

  // Shuts the socket down in both directions, then closes it. Safe to call again.
  void Close();

 private:
  int fd_ = -1;
  AddressFamily family_ = AddressFamily::kIpv4;
  std::unique_ptr<BroadcastAddresses> broadcasts_;
};

// The network start-up of both programs: true when the system can give a UDP socket of either
// family.
[[nodiscard]] bool NetworkReady();

}  // namespace corvane
