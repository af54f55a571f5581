#include "engine/link_delivery.h"

#include "platform/link_frame.h"
#include "platform/link_route.h"

namespace corvane {

LinkDelivery::LinkDelivery(WakeWatcher* watcher, WakeListener& listener)
    : watcher_(watcher), listener_(listener) {
  if (watcher_ == nullptr) return;
  routes_ = std::make_unique<LinkRoutes>();
  frames_ = std::make_unique<LinkFrameSocket>();
}

LinkDelivery::~LinkDelivery() = default;

void LinkDelivery::Prepare(const Endpoint& to) {
  on_link_ = false;
  frame_needed_ = false;
  if (watcher_ == nullptr) return;
  LinkHop hop;
  if (routes_->Route(to.address, hop) || hop.kind != HopKind::kOnLink) return;
  on_link_ = true;
  interface_index_ = hop.interface_index;
  if (!hop.unicast || !hop.has_source) return;
  bool answers = true;
  if (routes_->NeighbourAnswers(to.address, hop.interface_index, answers)) return;
  frame_needed_ = !answers;
  source_ = hop.source;
}

bool LinkDelivery::OrdinarySendWanted(const UdpSocket& socket) const {
  if (!frame_needed_) return true;
  const std::optional<int> queued = socket.QueuedSendBytes();
  const std::optional<int> size = socket.SendBufferSize();
  return queued && size && *queued < *size / 4;
}

std::optional<LinkFrame> LinkDelivery::Complete(const MagicPacket& packet, const Endpoint& to,
                                                const UdpSocket& socket, bool& sent) {
  std::optional<LinkFrame> frame;
  if (frame_needed_) {
    frame.emplace();
    frame->to = packet.TargetMac();
    frame->interface_name = InterfaceNameOf(interface_index_);
    frame->family = to.address.family;
    const std::optional<std::uint16_t> port = socket.LocalPort();
    frame->error = port ? frames_->Send(interface_index_, frame->to, to.address.family,
                                        BuildUdpPacket({source_, *port}, to, packet.payload()))
                        : std::make_error_code(std::errc::bad_file_descriptor);
    // The datagram reached the link, whatever became of the kernel's own send.
    if (!frame->error) sent = true;
  }
  if (sent && on_link_) watcher_->Watch(packet.TargetMac(), listener_, interface_index_);
  return frame;
}

}  // namespace corvane
