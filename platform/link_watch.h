// Watching the host's links for the frames that a waking host sends (ARP announcements, DHCP,
// IPv6 neighbour and router solicitations, mDNS): all of them go to the broadcast or a multicast
// address. A kernel filter passes only frames that arrived so addressed, on any interface, and
// only their link header, so a busy link costs little and the frames sent to this host itself,
// and the ones it sends, never reach user space.
//
// Needs CAP_NET_RAW. One thread owns a LinkWatchSocket.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <system_error>

#include "platform/link_frame.h"

namespace corvane {

// The source address of an Ethernet frame (`frame` starts with its link header). Nothing for a
// frame too short to hold a header, or whose source is a group address or all zeros (no station
// sends from those).
std::optional<LinkAddress> EthernetSource(std::span<const std::uint8_t> frame);

struct SeenFrame {
  LinkAddress source{};
  std::uint32_t interface_index = 0;
};

class LinkWatchSocket {
 public:
  LinkWatchSocket() = default;
  ~LinkWatchSocket();
  LinkWatchSocket(const LinkWatchSocket&) = delete;
  LinkWatchSocket& operator=(const LinkWatchSocket&) = delete;

  // Opens the socket with its filter in place before it receives anything.
  [[nodiscard]] std::error_code Open();
  bool valid() const { return fd_ >= 0; }
  // Readable while frames are queued; the socket keeps owning it.
  int descriptor() const { return fd_; }

  enum class Result { kNothing, kFrame, kSkipped, kError };
  // Takes one queued frame, or returns kNothing at once. kSkipped: a frame that is not Ethernet
  // or has no usable source (see EthernetSource).
  Result Receive(SeenFrame& frame);

 private:
  int fd_ = -1;
};

}  // namespace corvane
