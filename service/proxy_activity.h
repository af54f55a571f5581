// What the service tells of its running proxy servers: the totals in its status text, one
// journal line per proxy server with its counters when asked (SIGUSR1), the metrics for a
// node_exporter textfile, and the packet traces' "left out" lines once their second has ended.
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
#include "engine/packet_trace.h"
#include "engine/proxy_counters.h"

namespace corvane {

class ProxyActivity {
 public:
  // One proxy server of the run: its settings (which must outlive the activity), its counters and
  // its trace, and whether its engine thread has ended.
  struct Watch {
    Watch(const ProxyServerSettings& proxy, PacketTrace::Writer write);

    const ProxyServerSettings& settings;
    ProxyCounters counters;
    PacketTrace trace;
    std::atomic<bool> ended{false};
  };

  // A watch for `settings`, whose trace lines go to `write`. The reference stays valid.
  Watch& Add(const ProxyServerSettings& settings, PacketTrace::Writer write);

  std::size_t Running() const;
  // After the state in the status text: "3 proxy servers; 120 received, 3 ignored, 117 sent,
  // 0 failed", the totals over every proxy server of the run.
  std::string StatusDetail() const;
  // `Proxy server "relay" port 9: 120 received, 117 accepted, ...`, one per running proxy server.
  std::vector<std::string> CounterLines() const;
  // The Prometheus text format: HELP and TYPE, a gauge of the running proxy servers, and every
  // counter per proxy server labelled with its name and receive port.
  std::string MetricsText() const;
  // Writes the "left out" line of every trace whose second has ended; with `at_end`, of every
  // trace that left something out.
  void FlushTraces(bool at_end = false);

 private:
  std::deque<Watch> watches_;
};

}  // namespace corvane
