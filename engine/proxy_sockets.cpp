#include "engine/proxy_sockets.h"

namespace corvane {
namespace {

bool UsesIpv4(IpMode mode) { return mode == IpMode::UseIPv4 || mode == IpMode::UseIPv4IPv6; }
bool UsesIpv6(IpMode mode) { return mode == IpMode::UseIPv6 || mode == IpMode::UseIPv4IPv6; }

// Option results are not examined: a socket that refuses one still works for the rest.
//
// Receive sockets never share their port: on Linux, SO_REUSEADDR would let any other socket with
// the option (of any user, for ports from 1024) bind the same port, and unicast datagrams then go
// to the newest of them. A send socket does share it (proxy servers that receive on different
// ports may all send from port 9); nothing is ever read from it, and a receive socket on its port
// still cannot be bound beside it.
void SetCommonOptions(UdpSocket& socket, bool receives) {
  if (socket.family() == AddressFamily::kIpv4) static_cast<void>(socket.SetBroadcast(true));
  if (!receives) static_cast<void>(socket.SetReuseAddress(true));
  if (socket.family() == AddressFamily::kIpv6) {
    static_cast<void>(socket.SetMulticastHops(kIpv6MulticastHops));
  }
}

}  // namespace

SocketSetup ProxySockets::Open(const ProxyServerSettings& settings) {
  SocketSetup setup;
  if (UsesIpv4(settings.IpMode)) setup = OpenFamily(AddressFamily::kIpv4, settings);
  const bool ipv6_after_ipv4 = setup.status == EngineStatus::kSocketsReady;
  if (UsesIpv6(settings.IpMode) && (ipv6_after_ipv4 || !UsesIpv4(settings.IpMode))) {
    setup = OpenFamily(AddressFamily::kIpv6, settings);
  }
  return setup;
}

SocketSetup ProxySockets::OpenFamily(AddressFamily family, const ProxyServerSettings& settings) {
  const bool ipv4 = family == AddressFamily::kIpv4;
  const EngineStatus cannot_create =
      ipv4 ? EngineStatus::kCannotCreateIpv4Socket : EngineStatus::kCannotCreateIpv6Socket;
  const EngineStatus cannot_bind =
      ipv4 ? EngineStatus::kCannotBindIpv4Socket : EngineStatus::kCannotBindIpv6Socket;
  Family& sockets = Of(family);

  if (const std::error_code error = sockets.receiver.Open(family)) {
    return {cannot_create, 0, error, settings.RecvPort};
  }
  // Without arrival information, broadcasts cannot be told apart and the broadcast filter stays
  // quiet; the proxy server still runs.
  if (ipv4 && settings.DontRecvFromBroadcastIp) {
    static_cast<void>(sockets.receiver.EnableArrivalInfo());
  }
  SetCommonOptions(sockets.receiver, true);
  sockets.receive_buffer = sockets.receiver.ReserveReceiveBuffer(kReceiveBufferBytes).value_or(0);
  if (const std::error_code error = sockets.receiver.Bind(settings.RecvPort)) {
    return {cannot_bind, settings.RecvPort, error, settings.RecvPort};
  }

  if (settings.SendPort == settings.RecvPort) {
    sockets.receiver_sends = true;
    return {EngineStatus::kSocketsReady, 0, {}, 0};
  }
  if (const std::error_code error = sockets.sender.Open(family)) {
    return {cannot_create, 0, error, settings.SendPort};
  }
  SetCommonOptions(sockets.sender, false);
  if (const std::error_code error = sockets.sender.Bind(settings.SendPort)) {
    return {cannot_bind, settings.SendPort, error, settings.SendPort};
  }
  return {EngineStatus::kSocketsReady, 0, {}, 0};
}

void ProxySockets::Close() {
  ipv4_.receiver_sends = ipv6_.receiver_sends = false;
  ipv4_.sender.Close();
  ipv4_.receiver.Close();
  ipv6_.sender.Close();
  ipv6_.receiver.Close();
}

int ProxySockets::receive_buffer_bytes() const {
  int smallest = 0;
  for (const Family* sockets : {&ipv4_, &ipv6_}) {
    if (!sockets->receiver.valid()) continue;
    if (smallest == 0 || sockets->receive_buffer < smallest) smallest = sockets->receive_buffer;
  }
  return smallest;
}

UdpSocket* ProxySockets::Receiver(AddressFamily family) {
  UdpSocket& socket = Of(family).receiver;
  return socket.valid() ? &socket : nullptr;
}

UdpSocket* ProxySockets::Sender(AddressFamily family) {
  Family& sockets = Of(family);
  UdpSocket& socket = sockets.receiver_sends ? sockets.receiver : sockets.sender;
  return socket.valid() ? &socket : nullptr;
}

}  // namespace corvane
