#include "engine/packet_trace.h"

#include <utility>

#include "config/list_entry_rules.h"
#include "engine/escaped_text.h"

namespace corvane {
namespace {

std::string EndpointText(const Endpoint& endpoint) {
  return AddressToString(endpoint.address) + " port " + std::to_string(endpoint.port);
}

}  // namespace

std::string ProxyServerLabel(const ProxyServerSettings& settings) {
  return "Proxy server \"" + JournalText(settings.ServerName) + "\" port " +
         std::to_string(settings.RecvPort);
}

PacketTrace::PacketTrace(std::string label, Writer write, const TickClock& clock)
    : label_(std::move(label)),
      write_(std::move(write)),
      clock_(clock),
      window_start_(clock.GetTickCount()) {}

void PacketTrace::Received(const MagicPacket& packet, const Endpoint& sender, IgnoreReason reason) {
  if (!Admit()) return;
  std::string text = "from " + EndpointText(sender) + ", MAC " + HexText(packet.TargetMac()) +
                     ", password " + (packet.HasPassword() ? HexText(packet.Password()) : "none");
  if (reason == IgnoreReason::kNone) {
    text += ": accepted";
  } else {
    text += ": ignored because ";
    text += IgnoreReasonText(reason);
  }
  Write(text);
}

void PacketTrace::Sent(const MagicPacket& packet, const Endpoint& to) {
  if (!Admit()) return;
  Write("sent to " + EndpointText(to) + ", MAC " + HexText(packet.TargetMac()));
}

void PacketTrace::SentFrame(const MagicPacket& packet, const Endpoint& to, const LinkFrame& frame) {
  if (!Admit()) return;
  const char* const resolution = frame.family == AddressFamily::kIpv4 ? "ARP" : "neighbour";
  std::string text = "sent to " + EndpointText(to) + ", MAC " + HexText(packet.TargetMac());
  if (frame.error) {
    text += ", but not as a frame to " + HexText(frame.to) + " on " +
            JournalText(frame.interface_name) + ": " + frame.error.message();
  } else {
    text += ", also as a frame to " + HexText(frame.to) + " on " +
            JournalText(frame.interface_name) + ": no " + resolution + " answer";
  }
  Write(text);
}

void PacketTrace::WakeOutcome(const corvane::WakeOutcome& outcome) {
  if (!Admit()) return;
  Write("MAC " + HexText(outcome.mac) + " " + WakeOutcomeText(outcome));
}

void PacketTrace::SendFailed(const Endpoint& to, std::error_code error) {
  if (!Admit()) return;
  Write("can not send to " + EndpointText(to) + ": " + error.message());
}

void PacketTrace::ResolveFailed(std::string_view host, std::string_view reason) {
  if (!Admit()) return;
  std::string text = "can not resolve \"" + JournalText(host) + "\" to an IP address";
  if (!reason.empty()) text += ": " + JournalText(reason);
  Write(text);
}

void PacketTrace::FlushLeftOut(bool at_end) {
  std::uint64_t left_out = 0;
  {
    std::lock_guard lock(mutex_);
    if (left_out_ != 0) left_out = EndSecond(clock_.GetTickCount(), at_end);
  }
  if (left_out != 0) WriteLeftOut(left_out);
}

bool PacketTrace::Admit() {
  std::uint64_t left_out = 0;
  bool admitted = false;
  {
    std::lock_guard lock(mutex_);
    left_out = EndSecond(clock_.GetTickCount(), /*at_end=*/false);
    admitted = lines_in_window_ < kLinesPerSecond;
    if (admitted) {
      ++lines_in_window_;
    } else {
      ++left_out_;
    }
  }
  if (left_out != 0) WriteLeftOut(left_out);
  return admitted;
}

std::uint64_t PacketTrace::EndSecond(std::uint32_t now, bool at_end) {
  if (!at_end && TicksFrom(window_start_, now) < kSecond) return 0;
  window_start_ = now;
  lines_in_window_ = 0;
  return std::exchange(left_out_, 0);
}

void PacketTrace::Write(std::string_view text) const {
  std::string line = label_;
  line += ": ";
  line += text;
  write_(line);
}

void PacketTrace::WriteLeftOut(std::uint64_t count) const {
  Write(std::to_string(count) + " trace lines left out");
}

}  // namespace corvane
