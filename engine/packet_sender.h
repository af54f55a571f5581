// Actions and sending: what becomes of an accepted magic packet.
//
// When an action by MAC address exists for the packet's target MAC (the first one counts), the
// packet is dropped and the action's packets are built and sent, each to its own destination.
// Otherwise a fresh copy of the packet, rewritten by the default actions, goes to every default
// destination in list order. Each send goes out of the send socket of the destination's family;
// a family the proxy server does not use is skipped silently. With a send delay, two sends are at
// least SendDelayTime apart, across packets and destinations. Every send is tried once.
#pragma once

#include <cstdint>

#include "config/proxy_server_settings.h"
#include "engine/link_delivery.h"
#include "engine/magic_packet.h"
#include "engine/proxy_counters.h"
#include "engine/proxy_host.h"
#include "engine/proxy_sockets.h"
#include "engine/resolver_cache.h"
#include "platform/tick_clock.h"

namespace corvane {

// Owned by one engine thread; everything it is given must outlive it.
class PacketSender {
 public:
  // The send delay counts from now: the first send after a quiet start leaves at once.
  // `link`: the last hop of sends to connected links (see LinkDelivery); none without it.
  PacketSender(const ProxyServerSettings& settings, ProxySockets& sockets, ResolverCache& resolver,
               ProxyHost& host, ProxyCounters& counters, const TickClock& clock,
               LinkDelivery* link = nullptr);

  // Sends what `received` (normalised, accepted) turns into. Returns early on a stop request; a
  // send whose delay a stop request cut short is not made.
  void Dispatch(const MagicPacket& received, AddressFamily arrival);

 private:
  void Send(const MagicPacket& packet, const HostEntry& destination, AddressFamily arrival);
  // Waits until SendDelayTime has passed since the last send; false when a stop ended the wait.
  bool AwaitSendDelay();

  const ProxyServerSettings& settings_;
  ProxySockets& sockets_;
  ResolverCache& resolver_;
  ProxyHost& host_;
  ProxyCounters& counters_;  // sends and failures
  const TickClock& clock_;
  LinkDelivery* const link_;
  std::uint32_t last_send_tick_;
};

}  // namespace corvane
