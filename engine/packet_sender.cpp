#include "engine/packet_sender.h"

#include <algorithm>
#include <chrono>

#include "engine/host_address.h"

namespace corvane {

PacketSender::PacketSender(const ProxyServerSettings& settings, ProxySockets& sockets,
                           ResolverCache& resolver, ProxyHost& host, ProxyCounters& counters,
                           const TickClock& clock, LinkDelivery* link)
    : settings_(settings),
      sockets_(sockets),
      resolver_(resolver),
      host_(host),
      counters_(counters),
      clock_(clock),
      link_(link),
      last_send_tick_(clock.GetTickCount()) {}

void PacketSender::Dispatch(const MagicPacket& received, AddressFamily arrival) {
  const StopRequest& stop = host_.stop();
  const MacAddress target = received.TargetMac();
  const auto& actions = settings_.ActionsByMacsList;
  const auto action = std::find_if(actions.begin(), actions.end(),
                                   [&](const ActionByMac& a) { return a.Mac == target; });
  if (action != actions.end()) {
    for (const ReplaceByMacPacket& entry : action->ReplaceByMacPacketsList) {
      if (stop.IsRequested()) return;
      Send(BuildPacket(entry), entry.Destination, arrival);
    }
    return;
  }
  for (const HostEntry& destination : settings_.SendToHostsList) {
    if (stop.IsRequested()) return;
    Send(RewritePacket(received, settings_), destination, arrival);
  }
}

void PacketSender::Send(const MagicPacket& packet, const HostEntry& destination,
                        AddressFamily arrival) {
  const ResolvedHost& answer = resolver_.ResolveHost(destination.Host);
  const std::optional<Endpoint> to =
      DestinationOf(answer, destination.Prefix, destination.Port, arrival);
  if (!to) {
    counters_.CountResolveFailure();
    host_.ReportResolveError(destination.Host, answer.Addresses.failure);
    return;
  }
  UdpSocket* socket = sockets_.Sender(to->address.family);
  if (socket == nullptr) return;
  if (!AwaitSendDelay()) return;
  std::error_code error = std::make_error_code(std::errc::no_buffer_space);  // left out
  if (link_ != nullptr) link_->Prepare(*to);
  if (link_ == nullptr || link_->OrdinarySendWanted(*socket)) {
    error = socket->SendTo(packet.payload(), *to);
  }
  bool sent = !error;
  std::optional<LinkFrame> frame;
  if (link_ != nullptr) frame = link_->Complete(packet, *to, *socket, sent);
  if (!sent) {
    counters_.CountSendFailure();
    host_.ReportSendError(*to, error);
  } else {
    counters_.CountSent();
    if (frame) {
      host_.ReportSentFrame(packet, *to, *frame);
    } else {
      host_.ReportSent(packet, *to);
    }
  }
}

bool PacketSender::AwaitSendDelay() {
  if (!settings_.SendDelay) return true;
  const std::uint32_t elapsed = TicksFrom(last_send_tick_, clock_.GetTickCount());
  if (elapsed < settings_.SendDelayTime) {
    if (!host_.stop().Sleep(std::chrono::milliseconds(settings_.SendDelayTime - elapsed))) {
      return false;
    }
  }
  last_send_tick_ = clock_.GetTickCount();
  return true;
}

}  // namespace corvane
