#include "engine/service_proxy_thread.h"

#include <cstring>

#include "engine/engine_report.h"
#include "engine/proxy_host.h"
#include "engine/proxy_loop.h"
#include "platform/event_log.h"

namespace corvane {
namespace {

// The engine loop's host for the service: the service's stop request, and start-up failures
// reported as events.
class ServiceProxyHost final : public ProxyHost {
 public:
  ServiceProxyHost(const StopRequest& stop, const ServiceEventReporter& report_event,
                   const ServiceDebugReporter& report_debug)
      : stop_(stop), report_event_(report_event), report_debug_(report_debug) {}

  const StopRequest& stop() const override { return stop_; }

  void ReportStartCause(std::uint16_t port, int error) override {
    cause_port_ = port;
    cause_ = error;
  }
  void ReportStartError(EngineStatus status, std::uint16_t port) override {
    report_event_(ServiceErrorText(status, port), /*error=*/true);
    if (cause_ == 0) return;
    char buffer[256];
    const std::string detail = ServiceErrorText(status, port) + " (port " +
                               std::to_string(cause_port_) +
                               "): " + strerror_r(cause_, buffer, sizeof buffer);
    if (report_debug_) {
      report_debug_(detail);
    } else {
      WriteDebugLine(detail);
    }
  }

  // The service keeps no packet log and reports no resolution or send failure.
  void ReportReceived(const MagicPacket&, const Endpoint&, IgnoreReason) override {}
  void ReportResolveError(const std::string&) override {}
  void ReportSendError(const Endpoint&) override {}
  void ReportSent(const MagicPacket&, const Endpoint&) override {}

 private:
  const StopRequest& stop_;
  const ServiceEventReporter& report_event_;
  const ServiceDebugReporter& report_debug_;
  std::uint16_t cause_port_ = 0;
  int cause_ = 0;
};

}  // namespace

int ServiceProxyThread(const ProxyServerSettings& settings, const StopRequest& stop,
                       const ServiceEventReporter& report_event,
                       const ServiceDebugReporter& report_debug) {
  try {
    ServiceProxyHost host(stop, report_event, report_debug);
    RunProxyServer(settings, host);
  } catch (...) {
    report_event("Internal error", /*error=*/true);
  }
  return 0;
}

}  // namespace corvane
