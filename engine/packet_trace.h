// The packet trace of one proxy server: a debug line per received packet (sender, MAC, password,
// accepted or why ignored), per sent packet, per failed send or resolution and per wake outcome,
// each starting with the proxy server's label.
//
// All the traces of a program share one TraceBudget: at most kLinesPerSecond lines go out in any
// one second, whichever proxy servers write them, so that a flood into many proxy servers never
// reaches the journal's own limit, past which it would drop the events too. The lines beyond are
// counted per proxy server, and the next second starts with one line that tells them: "130 trace
// lines left out: 100 by Proxy server "a" port 9, 30 by Proxy server "b" port 10". An idle engine
// thread writes nothing, so the owner calls FlushLeftOut about once a second: a flood that
// stopped still gets its line.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

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

class PacketTrace;

// Takes one whole line at a time, from engine threads or the thread of FlushLeftOut; must be safe
// to call from several at once.
using TraceWriter = std::function<void(std::string_view line)>;

// The one budget of every trace of a program. It must outlive the traces that share it.
class TraceBudget {
 public:
  static constexpr int kLinesPerSecond = 100;
  static constexpr std::uint32_t kSecond = 1000;  // ticks

  // "Left out" lines go to `write`.
  explicit TraceBudget(TraceWriter write, const TickClock& clock = SystemTickClock());
  TraceBudget(const TraceBudget&) = delete;
  TraceBudget& operator=(const TraceBudget&) = delete;

  // Any thread: writes the "left out" line of a second that has ended, if there is one; with
  // `at_end`, also of the second still running (the last word of a run).
  void FlushLeftOut(bool at_end = false);

 private:
  friend class PacketTrace;
  void Join(PacketTrace* trace);
  void Leave(PacketTrace* trace);
  // Whether a line of `trace` may go out now; counts it as left out when not.
  bool Admit(PacketTrace& trace);
  // With mutex_ held: starts a new second when the one running has ended at `now` (or, with
  // `at_end`, in any case), returning the line that tells what the old one left out; empty when
  // it goes on or left nothing out.
  std::string EndSecond(std::uint32_t now, bool at_end);

  const TraceWriter write_;
  const TickClock& clock_;

  std::mutex mutex_;  // everything below, and the left-out counts of the traces
  std::uint32_t window_start_;
  int lines_in_window_ = 0;
  std::uint64_t left_out_ = 0;
  std::vector<PacketTrace*> traces_;  // in the order they joined
};

class PacketTrace {
 public:
  using Writer = TraceWriter;

  // Lines go to `write` within `budget`, which must outlive the trace.
  PacketTrace(std::string label, Writer write, TraceBudget& budget);
  ~PacketTrace();
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

  const std::string& label() const { return label_; }

 private:
  friend class TraceBudget;
  bool Admit() { return budget_.Admit(*this); }
  void Write(std::string_view text) const;

  const std::string label_;
  const Writer write_;
  TraceBudget& budget_;
  std::uint64_t left_out_ = 0;  // in the budget's running second; guarded by its mutex
};

}  // namespace corvane
