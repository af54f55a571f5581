#include "engine/receive_filters.h"

#include <algorithm>

#include "engine/host_address.h"

namespace corvane {
namespace {

bool PortInList(std::uint16_t port, const std::vector<PortRange>& list) {
  // Ranges are in ascending order in the engine's copy of the settings.
  return std::any_of(list.begin(), list.end(), [port](const PortRange& range) {
    return range.First <= port && port <= range.Last;
  });
}

template <typename Bytes>
bool InList(const Bytes& value, const std::vector<Bytes>& list) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

}  // namespace

ReceiveFilters::ReceiveFilters(const ProxyServerSettings& settings,
                               const OwnAddressTable& own_addresses, ResolverCache& resolver,
                               const StopRequest& stop)
    : settings_(settings),
      own_addresses_(own_addresses),
      resolver_(resolver),
      stop_(stop),
      deny_host_memos_(settings.DontRecvFromHosts ? settings.DontRecvFromHostsList.size() : 0),
      allow_host_memos_(settings.RecvFromHosts ? settings.RecvFromHostsList.size() : 0) {}

bool ReceiveFilters::SenderInList(const IpAddress& sender, const std::vector<HostEntry>& list,
                                  std::vector<ResolverCache::Memo>& memos) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (stop_.IsRequested()) return false;
    const ResolvedHost& answer = resolver_.ResolveHost(list[i].Host, &memos[i]);
    if (SenderMatches(sender, answer, list[i].Prefix)) return true;
  }
  return false;
}

bool ReceiveFilters::Ignores(const MagicPacket& packet, const Datagram& datagram) {
  const ProxyServerSettings& s = settings_;
  const IpAddress& sender = datagram.sender.address;
  const bool ipv4 = sender.family == AddressFamily::kIpv4;
  bool ignore = false;

  if (ipv4 && s.DontRecvFromBroadcastIp) ignore = datagram.broadcast;
  if (!ignore && ipv4 && s.DontRecvFromYourIp) ignore = IsOwnAddress(sender, own_addresses_);
  if (!ignore && s.DontRecvFromHosts) {
    ignore = SenderInList(sender, s.DontRecvFromHostsList, deny_host_memos_);
  }
  if (!ignore && s.RecvFromHosts) {
    ignore = !SenderInList(sender, s.RecvFromHostsList, allow_host_memos_);
  }
  const std::uint16_t port = datagram.sender.port;
  if (!ignore && s.DontRecvFromPorts) ignore = PortInList(port, s.DontRecvFromPortsList);
  if (!ignore && s.RecvFromPorts) ignore = !PortInList(port, s.RecvFromPortsList);
  if (!ignore && s.DontRecvWithPassword) ignore = packet.HasPassword();
  if (!ignore && s.DontRecvWithoutPassword) ignore = !packet.HasPassword();
  if (!ignore && s.DontRecvWithNextPasswords) {
    ignore = packet.HasPassword() && InList(packet.Password(), s.DontRecvWithNextPasswordsList);
  }
  if (!ignore && s.RecvWithNextPasswords) {
    ignore = !(packet.HasPassword() && InList(packet.Password(), s.RecvWithNextPasswordsList));
  }
  if (!ignore && s.DontRecvWithNextMacs) {
    ignore = InList(packet.TargetMac(), s.DontRecvWithNextMacsList);
  }
  if (!ignore && s.RecvWithNextMacs) ignore = !InList(packet.TargetMac(), s.RecvWithNextMacsList);
  return ignore;
}

}  // namespace corvane
