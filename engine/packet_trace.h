// The packet trace of one proxy server: a debug line per received packet (sender, MAC, password,
// accepted or why ignored), per sent packet, per failed send or resolution and per wake outcome,
// each starting with the proxy server's label.
//
// At most kLinesPerSecond lines go out in any one second; the lines beyond are counted, and the
// next second starts with one line "N trace lines left out". An idle engine thread writes nothing,
// so the owner calls FlushLeftOut about once a second: a flood that stopped still gets its line.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>

#include "config/proxy_server_settings.h"
#include "engine/engine_report.h"
#include "engine/link_delivery.h"
#include "engine/magic_packet.h"
#include "platform/net_address.h"
#include "platform/tick_clock.h"

namespace corvane {

// `Proxy server "relay" port 9`, the name escaped for the journal: how trace lines and counter
// lines name a proxy server.
std::string ProxyServerLabel(const ProxyServerSettings& settings);

class PacketTrace {
 public:
  static constexpr int kLinesPerSecond = 50;
  static constexpr std::uint32_t kSecond = 1000;  // ticks

  // Takes one whole line at a time, from the engine thread or the thread of FlushLeftOut; must be
  // safe to call from both at once.
  using Writer = std::function<void(std::string_view line)>;

  PacketTrace(std::string label, Writer write, const TickClock& clock = SystemTickClock());
  PacketTrace(const PacketTrace&) = delete;
  PacketTrace& operator=(const PacketTrace&) = delete;

  // The engine thread. A line that the limit leaves out costs no formatting.
  void Received(const MagicPacket& packet, const Endpoint& sender, IgnoreReason reason);
  void Sent(const MagicPacket& packet, const Endpoint& to);
  // Sent, and also as a frame: "..., also as a frame to 02:00:5E:10:00:02 on lan1: no ARP answer".
  void SentFrame(const MagicPacket& packet, const Endpoint& to, const LinkFrame& frame);
  void SendFailed(const Endpoint& to, std::error_code error);
  void ResolveFailed(std::string_view host, std::string_view reason);

  // The wake watcher's thread: "MAC 02:00:5E:10:00:02 woke, seen on lan1 6.2 s after the magic
  // packet", or "MAC ... not seen within 120 s (the magic packet left by lan1)".
  void WakeOutcome(const corvane::WakeOutcome& outcome);

  // Any thread: writes the "left out" line of a second that has ended, if there is one; with
  // `at_end`, also of the second still running (the last word of a run).
  void FlushLeftOut(bool at_end = false);

 private:
  // Whether a line may go out now; counts it as left out when not.
  bool Admit();
  // With mutex_ held: starts a new second when the one running has ended at `now` (or, with
  // `at_end`, in any case), returning what the old one left out; 0 when it goes on.
  std::uint64_t EndSecond(std::uint32_t now, bool at_end);
  void Write(std::string_view text) const;
  void WriteLeftOut(std::uint64_t count) const;

  const std::string label_;
  const Writer write_;
  const TickClock& clock_;

  std::mutex mutex_;  // the window below, shared by the engine thread and FlushLeftOut
  std::uint32_t window_start_;
  int lines_in_window_ = 0;
  std::uint64_t left_out_ = 0;
};

}  // namespace corvane
