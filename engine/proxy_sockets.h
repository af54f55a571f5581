// The four UDP sockets of one proxy server: a receive and a send socket per address family. When
// RecvPort equals SendPort, one socket of a family does both.
#pragma once

#include <cstdint>
#include <system_error>

#include "config/proxy_server_settings.h"
#include "engine/engine_report.h"
#include "platform/udp_socket.h"

namespace corvane {

// A burst of this many magic packets must survive the receive loop's 10 ms pauses in the receive
// buffer. The buffer is sized in datagrams, not bytes: Linux charges each queued datagram its data
// and its buffer overhead, about 840 bytes for a magic packet on loopback and up to 2 KB or more as
// network cards deliver them.
inline constexpr int kReceiveBurstDatagrams = 1000;
inline constexpr int kChargePerDatagram = 2048;
inline constexpr int kReceiveBufferBytes = kReceiveBurstDatagrams * kChargePerDatagram;
inline constexpr int kIpv6MulticastHops = 32;

struct SocketSetup {
  EngineStatus status = EngineStatus::kUnknownIpMode;
  std::uint16_t port = 0;  // the port whose bind failed (status 2 or 4)
  // A socket that could not be created or bound: the system's error, and the port the socket was
  // for (also for status 1 and 3). Empty and 0 otherwise.
  std::error_code cause;
  std::uint16_t cause_port = 0;
};

// Owned by one engine thread. Sockets that are not open are skipped everywhere.
class ProxySockets {
 public:
  ProxySockets() = default;
  ProxySockets(const ProxySockets&) = delete;
  ProxySockets& operator=(const ProxySockets&) = delete;
  ~ProxySockets() { Close(); }

  // Opens what IpMode asks for: IPv4 first, then IPv6 (with UseIPv4IPv6 only when IPv4 worked).
  // The first failure ends the set-up; what was opened before it stays open until Close. An IpMode
  // that is none of the three modes opens nothing and gives kUnknownIpMode.
  SocketSetup Open(const ProxyServerSettings& settings);

  // Shuts down and closes, in this order: the IPv4 send socket (when separate), the IPv4 receive
  // socket, the IPv6 send socket (when separate), the IPv6 receive socket.
  void Close();

  // The receive or send socket of a family, or nullptr when the proxy server has none.
  UdpSocket* Receiver(AddressFamily family);
  UdpSocket* Sender(AddressFamily family);

  // The smallest receive buffer the system granted to an open receive socket, or 0 when none is
  // open. Below kReceiveBufferBytes when the system's limit kept it smaller.
  int receive_buffer_bytes() const;

 private:
  struct Family {
    UdpSocket receiver;
    UdpSocket sender;  // stays closed when the receiver also sends
    bool receiver_sends = false;
    int receive_buffer = 0;  // granted to the receive socket
  };

  Family& Of(AddressFamily family) { return family == AddressFamily::kIpv4 ? ipv4_ : ipv6_; }
  SocketSetup OpenFamily(AddressFamily family, const ProxyServerSettings& settings);

  Family ipv4_;
  Family ipv6_;
};

}  // namespace corvane
