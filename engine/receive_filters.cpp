#include "engine/receive_filters.h"

#include <algorithm>
#include <cstring>

#include "engine/host_address.h"

namespace corvane {
namespace {

bool PortInList(std::uint16_t port, const std::vector<PortRange>& list) {
  // Ranges are in ascending order in the engine's copy of the settings.
  return std::any_of(list.begin(), list.end(), [port](const PortRange& range) {
    return range.First <= port && port <= range.Last;
  });
}

// Six bytes as one number, so that a list of 1000 is searched without a call per entry.
std::uint64_t Packed(const std::array<std::uint8_t, 6>& bytes) {
  std::uint64_t value = 0;
  std::memcpy(&value, bytes.data(), bytes.size());
  return value;
}

std::vector<std::uint64_t> PackedList(const std::vector<std::array<std::uint8_t, 6>>& list) {
  std::vector<std::uint64_t> packed;
  packed.reserve(list.size());
  for (const auto& entry : list) packed.push_back(Packed(entry));
  return packed;
}

bool InList(const std::array<std::uint8_t, 6>& value, const std::vector<std::uint64_t>& list) {
  return std::find(list.begin(), list.end(), Packed(value)) != list.end();
}

}  // namespace

ReceiveFilters::ReceiveFilters(const ProxyServerSettings& settings,
                               const OwnAddressTable& own_addresses, ResolverCache& resolver,
                               const StopRequest& stop)
    : settings_(settings),
      deny_passwords_(PackedList(settings.DontRecvWithNextPasswordsList)),
      allow_passwords_(PackedList(settings.RecvWithNextPasswordsList)),
      deny_macs_(PackedList(settings.DontRecvWithNextMacsList)),
      allow_macs_(PackedList(settings.RecvWithNextMacsList)),
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

IgnoreReason ReceiveFilters::Check(const MagicPacket& packet, const Datagram& datagram) {
  const ProxyServerSettings& s = settings_;
  const IpAddress& sender = datagram.sender.address;
  const bool ipv4 = sender.family == AddressFamily::kIpv4;

  if (ipv4 && s.DontRecvFromBroadcastIp && datagram.broadcast) {
    return IgnoreReason::kBroadcastArrival;
  }
  if (s.DontRecvFromYourIp && IsOwnAddress(sender, own_addresses_))
    return IgnoreReason::kOwnAddress;
  if (s.DontRecvFromHosts && SenderInList(sender, s.DontRecvFromHostsList, deny_host_memos_)) {
    return IgnoreReason::kSenderHost;
  }
  if (s.RecvFromHosts && !SenderInList(sender, s.RecvFromHostsList, allow_host_memos_)) {
    return IgnoreReason::kSenderHost;
  }
  const std::uint16_t port = datagram.sender.port;
  if ((s.DontRecvFromPorts && PortInList(port, s.DontRecvFromPortsList)) ||
      (s.RecvFromPorts && !PortInList(port, s.RecvFromPortsList))) {
    return IgnoreReason::kSenderPort;
  }
  const bool has_password = packet.HasPassword();
  if ((s.DontRecvWithPassword && has_password) || (s.DontRecvWithoutPassword && !has_password) ||
      (s.DontRecvWithNextPasswords && has_password && InList(packet.Password(), deny_passwords_)) ||
      (s.RecvWithNextPasswords && !(has_password && InList(packet.Password(), allow_passwords_)))) {
    return IgnoreReason::kPassword;
  }
  if ((s.DontRecvWithNextMacs && InList(packet.TargetMac(), deny_macs_)) ||
      (s.RecvWithNextMacs && !InList(packet.TargetMac(), allow_macs_))) {
    return IgnoreReason::kMac;
  }
  return IgnoreReason::kNone;
}

}  // namespace corvane
