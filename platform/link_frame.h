// Sending a UDP datagram as a link-layer frame to a given MAC address: the way to a host whose
// network card sleeps and answers no ARP or neighbour solicitation, so that the kernel's own send
// never leaves the host. The IP and UDP headers are built here, checksums included; the kernel adds
// the link header for the interface.
//
// Needs CAP_NET_RAW. A LinkFrameSocket is owned by one thread.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <system_error>
#include <vector>

#include "platform/net_address.h"

namespace corvane {

using LinkAddress = std::array<std::uint8_t, 6>;

// The IPv4 or IPv6 packet that carries `payload` as one UDP datagram from `from` to `to` (both of
// one family), with its checksums: what the kernel would have sent for a socket bound to `from`.
std::vector<std::uint8_t> BuildUdpPacket(const Endpoint& from, const Endpoint& to,
                                         std::span<const std::uint8_t> payload);

// The Internet checksum (RFC 1071) of `bytes` added to `sum`, not yet folded or inverted.
std::uint32_t ChecksumAdd(std::uint32_t sum, std::span<const std::uint8_t> bytes);
// The folded, inverted checksum of a running `sum`.
std::uint16_t ChecksumFinish(std::uint32_t sum);

class LinkFrameSocket {
 public:
  LinkFrameSocket() = default;
  ~LinkFrameSocket();
  LinkFrameSocket(const LinkFrameSocket&) = delete;
  LinkFrameSocket& operator=(const LinkFrameSocket&) = delete;

  // Sends `packet` (from BuildUdpPacket, of `family`) from interface `interface_index` in a frame
  // addressed to `to`. The socket is opened at the first send.
  [[nodiscard]] std::error_code Send(std::uint32_t interface_index, const LinkAddress& to,
                                     AddressFamily family, std::span<const std::uint8_t> packet);

 private:
  int fd_ = -1;
};

// Whether this process may send and watch link-layer frames: it holds CAP_NET_RAW and the system
// lets it open a packet socket. Asked once per process; any thread.
bool LinkLayerAllowed();

}  // namespace corvane
