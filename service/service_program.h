// The service program on Linux: the systemd stand-ins for the service dispatcher, the control
// handler's signals, status reports (notify protocol) and the event log (journal lines).
#pragma once

#include <string>

#include "service/service_host.h"

namespace corvane {

// The notify-protocol message of a status report: READY=1 when running, STOPPING=1 when a stop
// is pending, and always STATUS= with the state and the check point, then "; " and the detail
// when there is one.
[[nodiscard]] std::string NotifyMessage(const ServiceStatus& status);

// Where node_exporter's textfile collector reads (Debian's prometheus-node-exporter).
inline constexpr char kMetricsFolder[] = "/var/lib/prometheus/node-exporter";

class LinuxServicePlatform final : public ServicePlatform {
 public:
  bool SetServiceStatus(const ServiceStatus& status) override;
  void ReportEvent(std::string_view text, bool error) override;
  void ReportDebug(std::string_view text) override;
  // Replaces corvane.prom in kMetricsFolder, mode 0644, when the folder exists and is a real
  // folder of root's or this user's (WriteFileInOwnFolder).
  std::error_code PublishMetrics(std::string_view text) override;
  bool StartNetwork() override;
  void LoadResolver() override;
  void ReleaseResolver() override;
  bool LoadConfiguration(ProxyServerTable& table) override;
  std::optional<std::thread> CreateThread(std::function<void()> body) override;
  void KeepAlive() override;
};

// The program: runs the service main on a thread of its own while this thread takes the controls,
// and returns 0 when the service has stopped. When no service manager started it (no usable
// NOTIFY_SOCKET), the service main's first status report fails, so it ends at once and silently
// with 0.
[[nodiscard]] int RunServiceProgram();

}  // namespace corvane
