#include "tests/support/loopback.h"

#include <gtest/gtest.h>

#include "platform/stop_request.h"

namespace corvane::test {

Endpoint Loopback(AddressFamily family, std::uint16_t port) {
  Endpoint endpoint;
  endpoint.address =
      family == AddressFamily::kIpv4 ? IpAddress::Ipv4(127, 0, 0, 1) : *ParseIpAddress("::1");
  endpoint.port = port;
  return endpoint;
}

std::uint16_t FreeUdpPort() {
  for (int attempt = 0; attempt < 100; ++attempt) {
    UdpSocket ipv4 = UdpSocket::Open(AddressFamily::kIpv4);
    if (!ipv4.Bind(0)) continue;
    const std::uint16_t port = ipv4.LocalPort().value_or(0);
    UdpSocket ipv6 = UdpSocket::Open(AddressFamily::kIpv6);
    if (port != 0 && ipv6.Bind(port)) return port;
  }
  ADD_FAILURE() << "no free UDP port";
  return 0;
}

UdpSocket PeerSocket(AddressFamily family) {
  UdpSocket socket = UdpSocket::Open(family);
  EXPECT_TRUE(socket.valid());
  EXPECT_TRUE(socket.Bind(0));
  return socket;
}

void Send(UdpSocket& socket, std::span<const std::uint8_t> payload, const Endpoint& to) {
  EXPECT_TRUE(socket.SendTo(payload, to)) << "send of " << payload.size() << " bytes refused";
}

std::optional<Received> ReceiveWithin(UdpSocket& socket, std::chrono::milliseconds timeout) {
  const StopRequest never;
  const int descriptor = socket.descriptor();
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::vector<std::uint8_t> buffer(65536);
  while (true) {
    Datagram datagram;
    if (socket.Receive(buffer, datagram) == ReceiveResult::kDatagram) {
      buffer.resize(datagram.length);
      return Received{std::move(buffer), datagram.sender, datagram.broadcast};
    }
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return std::nullopt;
    never.WaitReadable({&descriptor, 1}, std::chrono::ceil<std::chrono::milliseconds>(left));
  }
}

}  // namespace corvane::test
