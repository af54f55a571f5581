// What differs between the two variants of the proxy server thread: where the stop request comes
// from and where reports go. The desktop variant hands reports to its window, filtered by the
// display options; the service variant writes start-up failures to its event log and reports
// nothing else.
#pragma once

#include <cstdint>

#include "engine/engine_report.h"
#include "engine/magic_packet.h"
#include "platform/net_address.h"
#include "platform/stop_request.h"

namespace corvane {

// Called on the engine thread only. A host skips every report once a stop is requested.
class ProxyHost {
 public:
  virtual ~ProxyHost() = default;

  virtual const StopRequest& stop() const = 0;

  // The proxy server cannot start: a socket could not be created or bound (`port` is the port in
  // question for a bind), IpMode is unusable, or there were no settings.
  virtual void ReportStartError(EngineStatus status, std::uint16_t port) = 0;

  // A magic packet arrived from `sender` and the filters accepted or ignored it.
  virtual void ReportReceived(const MagicPacket& packet, const Endpoint& sender, bool ignored) = 0;
};

}  // namespace corvane
