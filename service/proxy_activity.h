// What the service tells of its running proxy servers: the totals in its status text, one
// journal line per proxy server with its counters when asked (SIGUSR1), the metrics for a
// node_exporter textfile, the packet traces' "left out" lines once their second has ended, and
// whether every engine thread still passes its receive loop.
//
// The service main owns it for one run of the proxy servers: it adds a watch before it starts each
// engine thread and reads them while they run; each engine thread writes only its own watch.
#pragma once

#include <atomic>
#include <cstddef>
#include <deque>
#include <string>
#include <vector>

#include "config/proxy_server_settings.h"
#include "engine/loop_heartbeat.h"
#include "engine/packet_trace.h"
#include "engine/proxy_counters.h"

namespace corvane {

class ProxyActivity {
 public:
  // One proxy server of the run: its settings (which must outlive the activity), its counters,
  // its trace and its loop's heartbeat, and whether its engine thread has ended.
  struct Watch {
    Watch(const ProxyServerSettings& proxy, TraceWriter write, TraceBudget& budget,
          const TickClock& clock);

    const ProxyServerSettings& settings;
    ProxyCounters counters;
    PacketTrace trace;
    LoopHeartbeat heartbeat;
    std::atomic<bool> ended{false};
    bool stuck_told = false;  // the reader of CheckLoops only
  };

  // Every trace line goes to `write`, all of them within one budget.
  explicit ProxyActivity(TraceWriter write, const TickClock& clock = SystemTickClock());

  // A watch for `settings`. The reference stays valid.
  Watch& Add(const ProxyServerSettings& settings);

  std::size_t Running() const;
  // After the state in the status text: "3 proxy servers; 120 received, 3 ignored, 117 sent,
  // 0 failed", the totals over every proxy server of the run.
  std::string StatusDetail() const;
  // `Proxy server "relay" port 9: 120 received, 117 accepted, ...`, one per running proxy server.
  std::vector<std::string> CounterLines() const;
  // The Prometheus text format: HELP and TYPE, a gauge of the running proxy servers, and every
  // counter per proxy server labelled with its name and receive port.
  std::string MetricsText() const;
  // Writes the traces' "left out" line when their second has ended; with `at_end`, when they left
  // something out.
  void FlushTraces(bool at_end = false);

  // Whether every engine thread that has not ended passed its loop recently (LoopHeartbeat). A
  // thread found stuck is named once per stuck spell in `stuck_events`: "Proxy server "relay"
  // port 9 has not passed its receive loop for 12 s". One thread only (the supervision).
  [[nodiscard]] bool CheckLoops(std::vector<std::string>& stuck_events);

 private:
  const TraceWriter write_;
  const TickClock& clock_;
  TraceBudget trace_budget_;
  std::deque<Watch> watches_;  // after the budget: the traces leave it when they go
};

}  // namespace corvane
