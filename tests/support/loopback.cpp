#include "tests/support/loopback.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>

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
  // Ports below the kernel's ephemeral range (32768 and up), so that no socket bound to port 0
  // anywhere can be given a port handed out here before the test binds it; each test process
  // takes them from a slice of its own, in turn, so tests running side by side do not collide.
  constexpr unsigned kFirst = 20000, kSlice = 100, kSlices = 120;
  static std::atomic<unsigned> next{0};
  const unsigned slice = static_cast<unsigned>(getpid()) % kSlices;
  for (unsigned attempt = 0; attempt < kSlice; ++attempt) {
    const auto port = static_cast<std::uint16_t>(kFirst + slice * kSlice + next++ % kSlice);
    UdpSocket ipv4;
    UdpSocket ipv6;
    if (!ipv4.Open(AddressFamily::kIpv4) && !ipv6.Open(AddressFamily::kIpv6) && !ipv4.Bind(port) &&
        !ipv6.Bind(port)) {
      return port;
    }
  }
  ADD_FAILURE() << "no free UDP port";
  return 0;
}

UdpSocket PeerSocket(AddressFamily family) {
  UdpSocket socket;
  EXPECT_FALSE(socket.Open(family));
  EXPECT_FALSE(socket.Bind(0));
  return socket;
}

void Send(UdpSocket& socket, std::span<const std::uint8_t> payload, const Endpoint& to) {
  EXPECT_FALSE(socket.SendTo(payload, to)) << "send of " << payload.size() << " bytes refused";
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
