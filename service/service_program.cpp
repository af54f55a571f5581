#include "service/service_program.h"

#include <system_error>
#include <utility>

#include "config/profile_file.h"
#include "platform/control_signals.h"
#include "platform/event_log.h"
#include "platform/files.h"
#include "platform/host_lookup.h"
#include "platform/process_limits.h"
#include "platform/service_notify.h"
#include "platform/udp_socket.h"

namespace corvane {

std::string NotifyMessage(const ServiceStatus& status) {
  std::string message;
  const char* state = "start pending";
  switch (status.CurrentState) {
    case ServiceState::kRunning:
      message = "READY=1\n";
      state = "running";
      break;
    case ServiceState::kStopPending:
      message = "STOPPING=1\n";
      state = "stop pending";
      break;
    case ServiceState::kStopped:
      state = "stopped";
      break;
    case ServiceState::kStartPending:
      break;
  }
  message += std::string("STATUS=") + state + ", check point " + std::to_string(status.CheckPoint);
  if (!status.Detail.empty()) message += "; " + status.Detail;
  return message;
}

bool LinuxServicePlatform::SetServiceStatus(const ServiceStatus& status) {
  return NotifyServiceManager(NotifyMessage(status));
}

void LinuxServicePlatform::ReportEvent(std::string_view text, bool error) {
  WriteEventLine(text, error);  // a failing event log is ignored
}

void LinuxServicePlatform::ReportDebug(std::string_view text) { WriteDebugLine(text); }

void LinuxServicePlatform::PublishMetrics(std::string_view text) {
  if (!PathExists(kMetricsFolder)) return;
  const std::string path = std::string(kMetricsFolder) + "/corvane.prom";
  const std::error_code error = WriteFileReplacing(
      path, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, 0644);
  if (!error || std::exchange(metrics_failure_told_, true)) return;
  WriteDebugLine("Can not write the metrics file " + path + ": " + error.message());
}

bool LinuxServicePlatform::StartNetwork() { return NetworkReady(); }

void LinuxServicePlatform::LoadResolver() { LoadAddressInfoEntryPoints(); }

void LinuxServicePlatform::ReleaseResolver() { ReleaseAddressInfoEntryPoints(); }

bool LinuxServicePlatform::LoadConfiguration(ProxyServerTable& table) {
  return LoadServiceProfile(table);
}

std::optional<std::thread> LinuxServicePlatform::CreateThread(std::function<void()> body) {
  try {
    return std::thread(std::move(body));
  } catch (const std::system_error&) {
    return std::nullopt;
  }
}

void LinuxServicePlatform::KeepAlive() { NotifyWatchdog(); }

int RunServiceProgram() {
  // The control handler's registration: controls arrive as signals on this thread. Without them
  // the service main never runs, so nothing is reported.
  if (!BlockControlSignals()) return 0;
  RaiseOpenFileLimit();

  LinuxServicePlatform platform;
  ServiceHost host(platform);
  std::thread service_main([&host] {
    host.ServiceMain();
    WakeControlSignalWaiter();
  });
  while (true) {
    const ControlSignal control = WaitForControlSignal();
    if (control == ControlSignal::kWake) break;
    if (control == ControlSignal::kCounters) {
      host.RequestCounterLines();
      continue;
    }
    host.ServiceControlHandler(control == ControlSignal::kStop ? kControlStop
                                                               : kControlInterrogate);
  }
  service_main.join();
  return 0;
}

}  // namespace corvane
