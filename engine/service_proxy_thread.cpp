#include "engine/service_proxy_thread.h"

#include "engine/engine_report.h"
#include "engine/proxy_host.h"
#include "engine/proxy_loop.h"

namespace corvane {
namespace {

class ServiceHost final : public ProxyHost {
 public:
  ServiceHost(const StopRequest& stop, const ServiceEventReporter& report_event)
      : stop_(stop), report_event_(report_event) {}

  const StopRequest& stop() const override { return stop_; }

  void ReportStartError(EngineStatus status, std::uint16_t port) override {
    report_event_(ServiceErrorText(status, port), /*error=*/true);
  }

  // The service keeps no packet log and reports no resolution or send failure.
  void ReportReceived(const MagicPacket&, const Endpoint&, IgnoreReason) override {}
  void ReportResolveError(const std::string&) override {}
  void ReportSendError(const Endpoint&) override {}
  void ReportSent(const MagicPacket&, const Endpoint&) override {}

 private:
  const StopRequest& stop_;
  const ServiceEventReporter& report_event_;
};

}  // namespace

int ServiceProxyThread(const ProxyServerSettings& settings, const StopRequest& stop,
                       const ServiceEventReporter& report_event) {
  try {
    ServiceHost host(stop, report_event);
    RunProxyServer(settings, host);
  } catch (...) {
    report_event("Internal error", /*error=*/true);
  }
  return 0;
}

}  // namespace corvane
