// The receive filters of a proxy server: whether a magic packet is accepted or ignored.
//
// Twelve checks in a fixed order, each only while the packet is not yet ignored: broadcast
// arrival and own sender address (IPv4 only), sender hosts, sender ports, passwords, MAC
// addresses. A "don't" check can only ignore; a "only" check ignores unless an entry matches, so
// an empty "only" list ignores every packet that reaches it. The log rows show only whether a
// packet was ignored; the reason (which group of checks fired) goes with the report.
#pragma once

#include <vector>

#include "config/proxy_server_settings.h"
#include "engine/engine_report.h"
#include "engine/magic_packet.h"
#include "engine/resolver_cache.h"
#include "platform/interfaces.h"
#include "platform/stop_request.h"
#include "platform/udp_socket.h"

namespace corvane {

// Owned by one engine thread; `settings`, `own_addresses`, `resolver` and `stop` must outlive it.
class ReceiveFilters {
 public:
  ReceiveFilters(const ProxyServerSettings& settings, const OwnAddressTable& own_addresses,
                 ResolverCache& resolver, const StopRequest& stop);

  // Why the filters ignore `packet` (normalised), which arrived as `datagram`, or kNone when they
  // accept it. The host lists resolve their entries one by one and end early when a stop is
  // requested.
  IgnoreReason Check(const MagicPacket& packet, const Datagram& datagram);
  bool Ignores(const MagicPacket& packet, const Datagram& datagram) {
    return Check(packet, datagram) != IgnoreReason::kNone;
  }

 private:
  // Whether the sender matches an entry of `list`, resolving entries as it goes.
  bool SenderInList(const IpAddress& sender, const std::vector<HostEntry>& list,
                    std::vector<ResolverCache::Memo>& memos);

  const ProxyServerSettings& settings_;
  // The four password and MAC lists, each entry packed into one number for a fast search.
  std::vector<std::uint64_t> deny_passwords_, allow_passwords_, deny_macs_, allow_macs_;
  const OwnAddressTable& own_addresses_;
  ResolverCache& resolver_;
  const StopRequest& stop_;
  std::vector<ResolverCache::Memo> deny_host_memos_;
  std::vector<ResolverCache::Memo> allow_host_memos_;
};

}  // namespace corvane
