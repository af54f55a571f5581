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
  const Clock::time_point now = Clock::now();
  const Key key{to.address.family, to.address.bytes, to.address.scope_id};
  auto found = known_.find(key);
  if (found == known_.end() || found->second.until <= now) {
    if (known_.size() >= kMaxKnown) known_.clear();
    found = known_.insert_or_assign(key, LookUp(to.address)).first;
    found->second.until = now + kKnownFor;
  }
  const Known& known = found->second;
  on_link_ = known.on_link;
  frame_needed_ = known.frame_needed;
  interface_index_ = known.interface_index;
  source_ = known.source;
}

LinkDelivery::Known LinkDelivery::LookUp(const IpAddress& destination) {
  Known known;
  LinkHop hop;
  if (routes_->Route(destination, hop) || hop.kind != HopKind::kOnLink) return known;
  known.on_link = true;
  known.interface_index = hop.interface_index;
  if (!hop.unicast || !hop.has_source) return known;
  bool answers = true;
  if (routes_->NeighbourAnswers(destination, hop.interface_index, answers)) return known;
  known.frame_needed = !answers;
  known.source = hop.source;
  return known;
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
