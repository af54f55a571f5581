// What differs between the two variants of the proxy server thread: where the stop request comes
// from and where reports go. The desktop variant hands reports to its window, filtered by the
// display options; the service variant writes start-up failures to its event log and reports
// nothing else.
#pragma once

#include <cstdint>
#include <string>
#include <system_error>

#include "engine/engine_report.h"
#include "engine/link_delivery.h"
#include "engine/magic_packet.h"
#include "platform/net_address.h"
#include "platform/stop_request.h"

namespace corvane {

// Called on the engine thread only, but ReportWakeOutcome. A host skips every report once a stop is
// requested.
class ProxyHost {
 public:
  virtual ~ProxyHost() = default;

  virtual const StopRequest& stop() const = 0;

  // The proxy server cannot start: a socket could not be created or bound (`port` is the port in
  // question for a bind), IpMode is unusable, or there were no settings.
  virtual void ReportStartError(EngineStatus status, std::uint16_t port) = 0;
  // Before such a report, when the system said why: its error and the port the socket was for.
  // Only for a host that records detail; the reports themselves keep their texts.
  virtual void ReportStartCause(std::uint16_t /*port*/, std::error_code /*error*/) {}

  // A magic packet arrived from `sender` and was accepted (kNone) or ignored for `reason`.
  virtual void ReportReceived(const MagicPacket& packet, const Endpoint& sender,
                              IgnoreReason reason) = 0;

  // A destination's host text resolved to no address; `reason` is the system's, when it gave one.
  virtual void ReportResolveError(const std::string& host, const std::string& reason) = 0;
  // Sending to `to` failed with the system's error `error`.
  virtual void ReportSendError(const Endpoint& to, std::error_code error) = 0;
  // `packet` was sent to `to`.
  virtual void ReportSent(const MagicPacket& packet, const Endpoint& to) = 0;
  // `packet` was sent to `to`, and also as `frame` (or the frame failed, and the ordinary send
  // succeeded). A host that tells no more than that it was sent need not override it.
  virtual void ReportSentFrame(const MagicPacket& packet, const Endpoint& to,
                               const LinkFrame& /*frame*/) {
    ReportSent(packet, to);
  }

  // Once the proxy server serves, when this program may not use the link layer (CAP_NET_RAW):
  // it sends as ever, but reaches no sleeping host and sees none wake.
  virtual void ReportNoLinkLayer() {}

  // On the program's wake watcher thread, never after the run of the proxy server ended: whether
  // the host that a sent packet wakes was seen on a link of this host.
  virtual void ReportWakeOutcome(const WakeOutcome& /*outcome*/) {}
};

}  // namespace corvane
