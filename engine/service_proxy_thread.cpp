#include "engine/service_proxy_thread.h"

#include <atomic>

#include "engine/engine_report.h"
#include "engine/proxy_host.h"
#include "engine/proxy_loop.h"
#include "platform/event_log.h"

namespace corvane {
namespace {

// The engine loop's host for the service: the service's stop request, start-up failures
// reported as events, and everything else traced.
class ServiceProxyHost final : public ProxyHost {
 public:
  ServiceProxyHost(const StopRequest& stop, const ServiceEventReporter& report_event,
                   const ServiceDebugReporter& report_debug, PacketTrace* trace)
      : stop_(stop), report_event_(report_event), report_debug_(report_debug), trace_(trace) {}

  const StopRequest& stop() const override { return stop_; }

  void ReportStartCause(std::uint16_t port, std::error_code error) override {
    cause_port_ = port;
    cause_ = error;
  }
  void ReportStartError(EngineStatus status, std::uint16_t port) override {
    report_event_(ServiceErrorText(status, port), /*error=*/true);
    if (!cause_) return;
    const std::string detail = ServiceErrorText(status, port) + " (port " +
                               std::to_string(cause_port_) + "): " + cause_.message();
    if (report_debug_) {
      report_debug_(detail);
    } else {
      WriteDebugLine(detail);
    }
  }

  // The service keeps no packet log and reports no resolution or send failure as an event.
  void ReportReceived(const MagicPacket& packet, const Endpoint& sender,
                      IgnoreReason reason) override {
    if (trace_ != nullptr) trace_->Received(packet, sender, reason);
  }
  void ReportResolveError(const std::string& host, const std::string& reason) override {
    if (trace_ != nullptr) trace_->ResolveFailed(host, reason);
  }
  void ReportSendError(const Endpoint& to, std::error_code error) override {
    if (trace_ != nullptr) trace_->SendFailed(to, error);
  }
  void ReportSent(const MagicPacket& packet, const Endpoint& to) override {
    if (trace_ != nullptr) trace_->Sent(packet, to);
  }
  void ReportSentFrame(const MagicPacket& packet, const Endpoint& to,
                       const LinkFrame& frame) override {
    if (trace_ != nullptr) trace_->SentFrame(packet, to, frame);
  }
  // Once per service: a unit written by an older version grants neither.
  void ReportNoLinkLayer() override {
    static std::atomic<bool> told{false};
    if (told.exchange(true)) return;
    const std::string text =
        "Reaching sleeping hosts and seeing them wake need CAP_NET_RAW and AF_PACKET, which the "
        "service does not have: install the service again for its current unit file";
    if (report_debug_) {
      report_debug_(text);
    } else {
      WriteDebugLine(text);
    }
  }
  void ReportWakeOutcome(const WakeOutcome& outcome) override {
    if (trace_ != nullptr) trace_->WakeOutcome(outcome);
  }

 private:
  const StopRequest& stop_;
  const ServiceEventReporter& report_event_;
  const ServiceDebugReporter& report_debug_;
  PacketTrace* const trace_;
  std::uint16_t cause_port_ = 0;
  std::error_code cause_;
};

}  // namespace

int ServiceProxyThread(const ProxyServerSettings& settings, const StopRequest& stop,
                       const ServiceEventReporter& report_event,
                       const ServiceDebugReporter& report_debug, ProxyCounters* counters,
                       PacketTrace* trace) {
  try {
    ServiceProxyHost host(stop, report_event, report_debug, trace);
    ProxyCounters uncounted;
    RunProxyServer(settings, host, counters != nullptr ? *counters : uncounted);
  } catch (...) {
    report_event("Internal error", /*error=*/true);
  }
  return 0;
}

}  // namespace corvane
