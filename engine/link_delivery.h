// The last hop of a send, where the kernel's own send falls short: a unicast destination on a
// directly connected link whose neighbour answers no ARP or neighbour solicitation (a sleeping
// network card) also gets the datagram as a link-layer frame to the MAC that the packet wakes;
// and a packet that left onto a connected link starts a watch for that MAC (WakeWatcher).
//
// Broadcast, multicast and routed destinations get nothing more than the ordinary send, and so
// does a unicast neighbour that answers. Without the right to use the link layer (CAP_NET_RAW)
// it does nothing at all and asks the kernel nothing.
//
// Owned by one engine thread; the listener and watcher must outlive it.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <tuple>

#include "engine/magic_packet.h"
#include "engine/wake_watcher.h"
#include "platform/net_address.h"
#include "platform/udp_socket.h"

namespace corvane {

class LinkFrameSocket;
class LinkRoutes;

// How a datagram also went out as a frame.
struct LinkFrame {
  MacAddress to{};
  std::string interface_name;
  AddressFamily family = AddressFamily::kIpv4;
  std::error_code error;  // the frame's send failed
};

class LinkDelivery {
 public:
  // `watcher` null: the link layer is not to be used.
  LinkDelivery(WakeWatcher* watcher, WakeListener& listener);
  ~LinkDelivery();
  LinkDelivery(const LinkDelivery&) = delete;
  LinkDelivery& operator=(const LinkDelivery&) = delete;

  // Before the ordinary send of `packet` to `to`: looks the hop up (what the kernel said of `to`
  // within the last second, or asks it).
  void Prepare(const Endpoint& to);
  // Whether the ordinary send from `socket` is to be made. Not when the neighbour does not answer
  // and the socket's send buffer is already a quarter full: the kernel holds what is sent to such
  // a neighbour (and charges it to the socket) until it gives up asking, a few seconds, so that
  // more of those sends would fill the buffer and stall the sends to every other destination.
  // The kernel is asking already, and the frame goes out anyway.
  bool OrdinarySendWanted(const UdpSocket& socket) const;
  // After it from `socket` (`sent`: whether it succeeded): sends the frame, from the socket's
  // port, when the hop needs one, and starts the watch when the packet reached a connected link.
  // `sent` becomes true when the frame left. The frame, when one was tried.
  std::optional<LinkFrame> Complete(const MagicPacket& packet, const Endpoint& to,
                                    const UdpSocket& socket, bool& sent);

 private:
  using Clock = std::chrono::steady_clock;
  // What the kernel's tables said of a destination, kept for kKnownFor: a burst to the same
  // destinations asks the kernel once a second, not once a send.
  struct Known {
    bool on_link = false;
    bool frame_needed = false;
    std::uint32_t interface_index = 0;
    IpAddress source;
    Clock::time_point until;
  };
  using Key = std::tuple<AddressFamily, std::array<std::uint8_t, 16>, std::uint32_t>;
  static constexpr std::chrono::seconds kKnownFor{1};
  static constexpr std::size_t kMaxKnown = 4096;  // more destinations than lists can hold

  Known LookUp(const IpAddress& destination);

  WakeWatcher* const watcher_;
  WakeListener& listener_;
  std::unique_ptr<LinkRoutes> routes_;
  std::unique_ptr<LinkFrameSocket> frames_;
  std::map<Key, Known> known_;

  // What Prepare found.
  bool on_link_ = false;
  bool frame_needed_ = false;
  std::uint32_t interface_index_ = 0;
  IpAddress source_;
};

}  // namespace corvane
