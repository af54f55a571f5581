#include "service/proxy_activity.h"

#include <map>
#include <utility>

#include "engine/escaped_text.h"
#include "engine/wake_watcher.h"

namespace corvane {
namespace {

// A counter of the metrics: its name, its help text and how it is read from the values.
struct MetricsCounter {
  const char* name;
  const char* help;
  std::uint64_t CounterValues::*value;
};

constexpr MetricsCounter kCounters[] = {
    {"corvane_packets_received_total", "Magic packets received by a proxy server.",
     &CounterValues::received},
    {"corvane_packets_accepted_total", "Magic packets the receive filters accepted.",
     &CounterValues::accepted},
    {"corvane_packets_sent_total", "Magic packets sent.", &CounterValues::sent},
    {"corvane_send_failures_total", "Sends that the system refused.",
     &CounterValues::send_failures},
    {"corvane_resolve_failures_total", "Destinations whose host resolved to no address.",
     &CounterValues::resolve_failures},
    {"corvane_hosts_woke_total",
     "Hosts seen on a link of this host within the watch time after their magic packet.",
     &CounterValues::woke},
    {"corvane_hosts_not_seen_total",
     "Hosts not seen on a link of this host within the watch time after their magic packet.",
     &CounterValues::not_seen},
};

void AddHeader(std::string& text, const char* name, const char* help, const char* type) {
  text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

}  // namespace

ProxyActivity::Watch::Watch(const ProxyServerSettings& proxy, PacketTrace::Writer write)
    : settings(proxy), trace(ProxyServerLabel(proxy), std::move(write)) {}

ProxyActivity::Watch& ProxyActivity::Add(const ProxyServerSettings& settings,
                                         PacketTrace::Writer write) {
  return watches_.emplace_back(settings, std::move(write));
}

std::size_t ProxyActivity::Running() const {
  std::size_t running = 0;
  for (const Watch& watch : watches_) running += watch.ended ? 0 : 1;
  return running;
}

std::string ProxyActivity::StatusDetail() const {
  CounterValues totals;
  for (const Watch& watch : watches_) totals += watch.counters.Read();
  const std::size_t running = Running();
  return std::to_string(running) + (running == 1 ? " proxy server; " : " proxy servers; ") +
         CountersSummary(totals);
}

std::vector<std::string> ProxyActivity::CounterLines() const {
  std::vector<std::string> lines;
  for (const Watch& watch : watches_) {
    if (watch.ended) continue;
    lines.push_back(ProxyServerLabel(watch.settings) + ": " + CountersText(watch.counters.Read()));
  }
  return lines;
}

std::string ProxyActivity::MetricsText() const {
  // Proxy servers of the same name and port (one for IPv4, one for IPv6) share their series: a
  // label set may appear only once.
  std::map<std::string, CounterValues> by_labels;
  for (const Watch& watch : watches_) {
    const std::string labels = "server=\"" + MetricsLabelValue(watch.settings.ServerName) +
                               "\",port=\"" + std::to_string(watch.settings.RecvPort) + "\"";
    by_labels[labels] += watch.counters.Read();
  }
  std::string text;
  AddHeader(text, "corvane_proxy_servers_running", "Proxy servers the service runs.", "gauge");
  text += "corvane_proxy_servers_running " + std::to_string(Running()) + "\n";
  for (const MetricsCounter& counter : kCounters) {
    AddHeader(text, counter.name, counter.help, "counter");
    for (const auto& [labels, values] : by_labels) {
      text += std::string(counter.name) + "{" + labels + "} " +
              std::to_string(values.*counter.value) + "\n";
    }
  }
  AddHeader(text, "corvane_packets_ignored_total",
            "Magic packets ignored, by the filter that ignored them or the storm guard.",
            "counter");
  for (const auto& [labels, values] : by_labels) {
    for (std::size_t reason = 1; reason < kIgnoreReasonCount; ++reason) {
      text += "corvane_packets_ignored_total{" + labels + ",reason=\"" +
              std::string(IgnoreReasonKey(static_cast<IgnoreReason>(reason))) + "\"} " +
              std::to_string(values.ignored[reason]) + "\n";
    }
  }
  AddHeader(text, "corvane_wake_watches_dropped_total",
            "Wake watches dropped, oldest first, because too many were pending.", "counter");
  text += "corvane_wake_watches_dropped_total " + std::to_string(WakeWatcher::Program().Dropped()) +
          "\n";
  return text;
}

void ProxyActivity::FlushTraces(bool at_end) {
  for (Watch& watch : watches_) watch.trace.FlushLeftOut(at_end);
}

}  // namespace corvane
