// What one proxy server has done since it started: magic packets received, accepted and ignored
// (by reason), packets sent, failed sends and failed resolutions, and whether the hosts woken were
// seen. Every event counts, whatever the display options let through to the window.
//
// One ProxyCounters belongs to one run of a proxy server and starts at zero; whoever runs the
// engine thread owns it and keeps it alive until the thread has ended. Each counter has one
// writer: the engine thread, or for the wake outcomes the program's wake watcher thread (which
// the run forgets before it ends). Any thread may read, without locks or waits.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/engine_report.h"

namespace corvane {

inline constexpr std::size_t kIgnoreReasonCount =
    static_cast<std::size_t>(IgnoreReason::kStormGuard) + 1;

struct CounterValues {
  std::uint64_t received = 0;  // magic packets that went through the filters
  std::uint64_t accepted = 0;
  std::array<std::uint64_t, kIgnoreReasonCount> ignored{};  // by IgnoreReason; kNone stays 0
  std::uint64_t sent = 0;
  std::uint64_t send_failures = 0;
  std::uint64_t resolve_failures = 0;  // destinations whose host text resolved to no address
  std::uint64_t woke = 0;              // watched MACs seen on a link after their magic packet
  std::uint64_t not_seen = 0;          // watched MACs not seen within the watch time

  std::uint64_t Ignored() const;
  std::uint64_t Failed() const { return send_failures + resolve_failures; }
  CounterValues& operator+=(const CounterValues& other);
  friend bool operator==(const CounterValues&, const CounterValues&) = default;
};

// The totals: "120 received, 3 ignored, 117 sent, 0 failed, 2 woke, 1 not seen".
std::string CountersSummary(const CounterValues& values);
// Everything: "120 received, 117 accepted, 3 ignored (2 mac, 1 own_address), 117 sent,
// 0 send failures, 0 resolve failures, 2 woke, 1 not seen". Reasons that ignored nothing are left
// out.
std::string CountersText(const CounterValues& values);

class ProxyCounters {
 public:
  // The engine thread only.
  void CountReceived(IgnoreReason reason);
  void CountSent() { Add(sent_); }
  void CountSendFailure() { Add(send_failures_); }
  void CountResolveFailure() { Add(resolve_failures_); }
  // The program's wake watcher thread, the only writer of these two.
  void CountWakeOutcome(bool woke) { Add(woke ? woke_ : not_seen_); }

  // Any thread. Each value is exact as of some moment; values read while the proxy server works
  // may be an event or two apart from each other.
  CounterValues Read() const;

 private:
  // One writer: a plain load and store, no read-modify-write on the packet path.
  static void Add(std::atomic<std::uint64_t>& counter) {
    counter.store(counter.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
  }

  std::atomic<std::uint64_t> received_{0};
  std::atomic<std::uint64_t> accepted_{0};
  std::array<std::atomic<std::uint64_t>, kIgnoreReasonCount> ignored_{};
  std::atomic<std::uint64_t> sent_{0};
  std::atomic<std::uint64_t> send_failures_{0};
  std::atomic<std::uint64_t> resolve_failures_{0};
  std::atomic<std::uint64_t> woke_{0};
  std::atomic<std::uint64_t> not_seen_{0};
};

}  // namespace corvane
