// The service program from its service main to its stop: status reports, the start-up pause and
// network retries, the configuration, one engine thread per proxy server flagged for the service
// (at most 64), their supervision, and the clean-up. When any one engine thread ends, the whole
// service stops. Failures end in an orderly stop; the reason is only in the event log.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "config/proxy_server_table.h"
#include "platform/stop_request.h"
#include "platform/tick_clock.h"
#include "service/proxy_activity.h"

namespace corvane {

enum class ServiceState : std::uint32_t {
  kStopped = 1,
  kStartPending = 2,
  kStopPending = 3,
  kRunning = 4,
};

// The status as reported to the service manager: the state and the check point, which counts the
// controls received, and once proxy servers run, their totals. Start pending is never reported.
struct ServiceStatus {
  ServiceState CurrentState = ServiceState::kStartPending;
  std::uint32_t CheckPoint = 0;
  std::string Detail;  // ProxyActivity::StatusDetail; empty until proxy servers run

  friend bool operator==(const ServiceStatus&, const ServiceStatus&) = default;
};

inline constexpr std::uint32_t kControlStop = 1;
inline constexpr std::uint32_t kControlInterrogate = 4;
inline constexpr std::uint32_t kControlShutdown = 5;

// What the host needs of the system. The Linux one speaks the systemd notify protocol and writes
// the journal; tests use one in memory.
class ServicePlatform {
 public:
  virtual ~ServicePlatform() = default;
  // From two threads, serialised. False when the report was not taken.
  [[nodiscard]] virtual bool SetServiceStatus(const ServiceStatus& status) = 0;
  virtual void ReportEvent(std::string_view text, bool error) = 0;  // from several threads
  // A journal line at debug level: packet traces, counter lines. From several threads.
  virtual void ReportDebug(std::string_view text) = 0;
  // Publishes the metrics text (Prometheus format) where a node_exporter reads it, if anywhere.
  // Returns why it could not; no error when there is no such place.
  [[nodiscard]] virtual std::error_code PublishMetrics(std::string_view text) = 0;
  [[nodiscard]] virtual bool StartNetwork() = 0;
  virtual void LoadResolver() = 0;
  virtual void ReleaseResolver() = 0;
  [[nodiscard]] virtual bool LoadConfiguration(ProxyServerTable& table) = 0;
  // A new thread running `body`, or nothing when the system cannot create one.
  [[nodiscard]] virtual std::optional<std::thread> CreateThread(std::function<void()> body) = 0;
  // The service is alive: called at every step of its start-up pause, its network retries and
  // its supervision while every engine thread passes its loop, so that a service manager that
  // watches it can restart a service whose main loop or a relay thread hangs.
  virtual void KeepAlive() = 0;
};

struct ServiceTimings {
  int pause_steps = 5;
  std::chrono::milliseconds pause_step{1000};
  int network_attempts = 60;
  std::chrono::milliseconds network_retry{1000};
  std::chrono::milliseconds supervision{1000};
  std::chrono::milliseconds metrics{15000};  // between two publications of the metrics
};

class ServiceHost {
 public:
  static constexpr std::size_t kMaxThreads = 64;

  // `clock` times the engine threads' heartbeats.
  explicit ServiceHost(ServicePlatform& platform, ServiceTimings timings = {},
                       const TickClock& clock = SystemTickClock());
  ServiceHost(const ServiceHost&) = delete;
  ServiceHost& operator=(const ServiceHost&) = delete;

  // The whole life of the service, on a thread of its own. Call once.
  void ServiceMain();

  // A control from the service manager, on the thread that takes them. Never waits.
  void ServiceControlHandler(std::uint32_t control);

  // Asks for one journal line per running proxy server with its counters (SIGUSR1), written by
  // the supervision at once. Any thread; never waits.
  void RequestCounterLines();

  // One event-log entry: `text`, as an error or as information.
  void ReportServiceEvent(std::string_view text, bool error);

  // The process-wide stop flag: set by a stop or shutdown control and by the tear-down; every
  // engine thread polls it.
  const StopRequest& ServiceStopRequested() const { return stop_; }

 private:
  void ReportStopped();
  void RunProxyServers();
  // Watches the engine threads until one ends or a stop is requested. Every supervision step it
  // keeps the service alive while every engine thread passes its loop (and names, as an error, a
  // thread that is stuck), brings the status text's totals up to date, lets the traces tell what
  // they left out and, every metrics interval, publishes the metrics; counter lines go out as soon
  // as they are asked for.
  void Supervise(ProxyActivity& activity);
  // Reports the status again when `detail` changed it.
  void RefreshStatusDetail(std::string detail);
  // Publishes the metrics; a failure is said in the status text for as long as it lasts, and once
  // per distinct reason at debug level.
  void PublishMetrics(const ProxyActivity& activity);
  // The activity's totals and, while the metrics cannot be written, why.
  std::string StatusDetail(const ProxyActivity& activity) const;
  // Waits until `deadline` for an engine thread to end or a stop; true when either. Returns
  // false earlier when counter lines are asked for.
  bool WaitForEndOrStop(std::chrono::steady_clock::time_point deadline);

  ServicePlatform& platform_;
  const ServiceTimings timings_;
  const TickClock& clock_;
  StopRequest stop_;
  ProxyServerTable table_;

  std::mutex status_mutex_;  // the status record and its reports, shared with the handler
  ServiceStatus status_;
  std::uint32_t control_counter_ = 0;

  std::error_code metrics_error_;  // the supervision only
  std::vector<std::error_code> metrics_errors_told_;

  std::mutex ended_mutex_;
  std::condition_variable ended_changed_;
  std::size_t ended_threads_ = 0;
  bool counter_lines_requested_ = false;  // guarded by ended_mutex_
};

}  // namespace corvane
