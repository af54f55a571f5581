#include "service/service_host.h"

#include <algorithm>
#include <tuple>
#include <utility>
#include <vector>

#include "config/profile_file.h"
#include "engine/service_proxy_thread.h"

namespace corvane {

ServiceHost::ServiceHost(ServicePlatform& platform, ServiceTimings timings, const TickClock& clock)
    : platform_(platform), timings_(timings), clock_(clock) {}

void ServiceHost::ServiceMain() {
  {
    std::lock_guard lock(status_mutex_);
    status_ = ServiceStatus{};
  }
  {
    // The stop flag and the control counter start clear with the host; a stop control that
    // arrives this early is kept rather than forgotten.
    std::lock_guard lock(status_mutex_);
    status_.CheckPoint = 0;
    status_.CurrentState = ServiceState::kRunning;
    if (!platform_.SetServiceStatus(status_)) return;
  }
  ReportServiceEvent("Service is running.", false);

  for (int step = 0; step < timings_.pause_steps && !stop_.IsRequested(); ++step) {
    platform_.KeepAlive();
    stop_.Sleep(timings_.pause_step);
  }

  bool network = false;
  for (int attempt = 0; attempt < timings_.network_attempts && !stop_.IsRequested(); ++attempt) {
    network = platform_.StartNetwork();
    if (network) break;
    platform_.KeepAlive();
    stop_.Sleep(timings_.network_retry);
  }
  if (!network) {
    if (!stop_.IsRequested()) {
      ReportServiceEvent("The underlying network subsystem is not ready for network communication.",
                         true);
    }
    ReportServiceEvent("Service is stopped.", false);
    ReportStopped();
    return;  // nothing was acquired
  }

  platform_.LoadResolver();
  table_.FreeAll();
  if (!platform_.LoadConfiguration(table_)) {
    ReportServiceEvent("Configuration file was not found.", true);
    ReportServiceEvent("Service is stopped.", false);
    ReportStopped();
  } else {
    RunProxyServers();
    ReleaseServiceProfile(table_);
    ReportServiceEvent("Service is stopped.", false);
    ReportStopped();
  }
  platform_.ReleaseResolver();
}

void ServiceHost::RunProxyServers() {
  std::vector<std::thread> threads;
  bool failed = false;
  const ServiceEventReporter report = [this](std::string_view text, bool error) {
    ReportServiceEvent(text, error);
  };
  const ServiceDebugReporter report_debug = [this](std::string_view text) {
    platform_.ReportDebug(text);
  };
  ProxyActivity activity(report_debug, clock_);
  for (std::size_t i = 0; i < table_.size(); ++i) {
    const ProxyServerSettings& settings = table_[i];
    if (!settings.ServerAutoStartOnService) continue;
    if (threads.size() >= kMaxThreads) {
      failed = true;
      break;
    }
    ProxyActivity::Watch& watch = activity.Add(settings);
    std::optional<std::thread> thread =
        platform_.CreateThread([this, &settings, &report, &report_debug, &watch] {
          ServiceProxyThread(settings, stop_, report, report_debug, &watch.counters, &watch.trace,
                             &watch.heartbeat);
          watch.ended = true;
          {
            std::lock_guard lock(ended_mutex_);
            ++ended_threads_;
          }
          ended_changed_.notify_all();
        });
    if (!thread) {
      watch.ended = true;
      failed = true;
      break;
    }
    threads.push_back(std::move(*thread));
  }

  if (failed) {
    ReportServiceEvent("Can not create threads.", true);
  } else if (threads.empty()) {
    ReportServiceEvent(
        "Configuration file does not contain proxies that must be started with the service.", true);
  } else {
    Supervise(activity);
  }
  stop_.Request();
  for (std::thread& thread : threads) thread.join();
  if (!failed && !threads.empty()) {
    // The last word of the run: the stopped report carries its totals.
    activity.FlushTraces(/*at_end=*/true);
    PublishMetrics(activity);
    std::lock_guard lock(status_mutex_);
    status_.Detail = StatusDetail(activity);
  }
}

void ServiceHost::Supervise(ProxyActivity& activity) {
  using Clock = std::chrono::steady_clock;
  Clock::time_point next_step = Clock::now();
  Clock::time_point next_metrics = next_step;
  while (!stop_.IsRequested()) {
    bool lines_requested = false;
    {
      std::lock_guard lock(ended_mutex_);
      lines_requested = std::exchange(counter_lines_requested_, false);
    }
    if (lines_requested) {
      for (const std::string& line : activity.CounterLines()) platform_.ReportDebug(line);
    }
    const Clock::time_point now = Clock::now();
    if (now >= next_step) {
      next_step = now + timings_.supervision;
      std::vector<std::string> stuck;
      if (activity.CheckLoops(stuck)) platform_.KeepAlive();
      for (const std::string& event : stuck) ReportServiceEvent(event, /*error=*/true);
      activity.FlushTraces();
      if (now >= next_metrics) {
        next_metrics = now + timings_.metrics;
        PublishMetrics(activity);
      }
      RefreshStatusDetail(StatusDetail(activity));
    }
    if (WaitForEndOrStop(next_step)) break;
  }
}

void ServiceHost::PublishMetrics(const ProxyActivity& activity) {
  metrics_error_ = platform_.PublishMetrics(activity.MetricsText());
  if (!metrics_error_ || std::find(metrics_errors_told_.begin(), metrics_errors_told_.end(),
                                   metrics_error_) != metrics_errors_told_.end()) {
    return;
  }
  metrics_errors_told_.push_back(metrics_error_);
  platform_.ReportDebug("Metrics not written: " + metrics_error_.message());
}

std::string ServiceHost::StatusDetail(const ProxyActivity& activity) const {
  std::string detail = activity.StatusDetail();
  if (metrics_error_) detail += "; metrics not written: " + metrics_error_.message();
  return detail;
}

void ServiceHost::RefreshStatusDetail(std::string detail) {
  std::lock_guard lock(status_mutex_);
  if (status_.Detail == detail) return;
  status_.Detail = std::move(detail);
  std::ignore = platform_.SetServiceStatus(status_);  // the next change reports it again
}

bool ServiceHost::WaitForEndOrStop(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(ended_mutex_);
  ended_changed_.wait_until(lock, deadline, [this] {
    return ended_threads_ > 0 || stop_.IsRequested() || counter_lines_requested_;
  });
  return ended_threads_ > 0 || stop_.IsRequested();
}

void ServiceHost::RequestCounterLines() {
  {
    std::lock_guard lock(ended_mutex_);
    counter_lines_requested_ = true;
  }
  ended_changed_.notify_all();
}

void ServiceHost::ServiceControlHandler(std::uint32_t control) {
  const bool stop = control == kControlStop || control == kControlShutdown;
  {
    std::lock_guard lock(status_mutex_);
    ++control_counter_;
    status_.CheckPoint = control_counter_;
    if (stop) status_.CurrentState = ServiceState::kStopPending;
    // A report the manager did not take changes nothing: the stop goes on all the same.
    std::ignore = platform_.SetServiceStatus(status_);
  }
  if (!stop) return;
  stop_.Request();
  {
    std::lock_guard lock(ended_mutex_);  // wakes the supervision at once
  }
  ended_changed_.notify_all();
}

void ServiceHost::ReportServiceEvent(std::string_view text, bool error) {
  platform_.ReportEvent(text, error);
}

void ServiceHost::ReportStopped() {
  std::lock_guard lock(status_mutex_);
  status_.CheckPoint = 0;
  status_.CurrentState = ServiceState::kStopped;
  std::ignore = platform_.SetServiceStatus(status_);  // the last report: nothing follows it
}

}  // namespace corvane
