#include "config/proxy_server_settings.h"

#include <algorithm>
#include <utility>

namespace corvane {
namespace {

template <typename Entry>
void LimitCount(std::vector<Entry>& list) {
  if (list.size() > kMaxListEntries) list.resize(kMaxListEntries);
}

void NormalizeHost(HostEntry& entry) {
  if (entry.Host.size() > kMaxTextLength) entry.Host.resize(kMaxTextLength);
  entry.Prefix = std::min(entry.Prefix, kMaxPrefix);
}

void NormalizeHosts(std::vector<HostEntry>& list) {
  LimitCount(list);
  for (HostEntry& entry : list) NormalizeHost(entry);
}

void NormalizePorts(std::vector<PortRange>& list) {
  LimitCount(list);
  for (PortRange& range : list) {
    if (range.Last < range.First) std::swap(range.First, range.Last);
  }
}

}  // namespace

std::string CutText(std::string_view text, std::size_t max_length) {
  std::size_t length = std::min(text.size(), max_length);
  // Texts are UTF-8: never keep the first bytes of a character whose rest is cut off.
  if (length < text.size()) {
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  }
  return std::string(text.substr(0, length));
}

ProxyServerSettings NormalizedCopy(const ProxyServerSettings& settings) {
  ProxyServerSettings copy = settings;
  copy.SendDelayTime = std::min(copy.SendDelayTime, kMaxSendDelayTime);
  NormalizeHosts(copy.DontRecvFromHostsList);
  NormalizeHosts(copy.RecvFromHostsList);
  NormalizePorts(copy.DontRecvFromPortsList);
  NormalizePorts(copy.RecvFromPortsList);
  LimitCount(copy.DontRecvWithNextPasswordsList);
  LimitCount(copy.RecvWithNextPasswordsList);
  LimitCount(copy.DontRecvWithNextMacsList);
  LimitCount(copy.RecvWithNextMacsList);
  NormalizeHosts(copy.SendToHostsList);
  LimitCount(copy.ActionsByMacsList);
  for (ActionByMac& action : copy.ActionsByMacsList) {
    LimitCount(action.ReplaceByMacPacketsList);
    for (ReplaceByMacPacket& packet : action.ReplaceByMacPacketsList) {
      NormalizeHost(packet.Destination);
    }
  }
  return copy;
}

}  // namespace corvane
