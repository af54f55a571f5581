// Loopback peers for tests: free ports and sockets that send or collect datagrams.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/udp_socket.h"

namespace corvane::test {

Endpoint Loopback(AddressFamily family, std::uint16_t port);

// A UDP port that is free on every address of both families right now, distinct from the ports
// this process was given before (until it has taken 100).
std::uint16_t FreeUdpPort();

// A socket bound to a system-chosen loopback port, for sending or as a sink.
UdpSocket PeerSocket(AddressFamily family);

// Sends `payload` from `socket`; fails the test when the system refuses.
void Send(UdpSocket& socket, std::span<const std::uint8_t> payload, const Endpoint& to);

struct Received {
  std::vector<std::uint8_t> payload;
  Endpoint sender;
  bool broadcast = false;  // known when the socket has arrival information enabled
};

// Waits up to `timeout` for one datagram on `socket`.
std::optional<Received> ReceiveWithin(UdpSocket& socket, std::chrono::milliseconds timeout);

}  // namespace corvane::test
