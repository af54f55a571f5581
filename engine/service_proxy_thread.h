// The service program's engine thread: runs one proxy server on the settings record it is given.
//
// It reports start-up failures through the service's event reporting and stops on the service's
// process-wide stop request; packets, sends and failures go to the proxy server's counters and
// packet trace only. The record is read-only while the thread runs and must outlive it, and so
// must `stop`, `report_event` and the counters and trace it is given. The record is used as the
// service's profile reader made it, which already applied the limits (counts, delay, prefixes,
// ascending port ranges); no private copy is taken.
#pragma once

#include <functional>
#include <string_view>

#include "config/proxy_server_settings.h"
#include "engine/loop_heartbeat.h"
#include "engine/packet_trace.h"
#include "engine/proxy_counters.h"
#include "platform/stop_request.h"

namespace corvane {

// Writes one event: its text, and whether it is an error (else information). Called on engine
// threads; must be safe to call from several at once.
using ServiceEventReporter = std::function<void(std::string_view text, bool error)>;

// Writes one line of detail at debug level: why a proxy server could not start.
using ServiceDebugReporter = std::function<void(std::string_view text)>;

// The thread procedure. Runs until `stop` is requested, or returns early after reporting why the
// proxy server could not start ("Can not bind port 00009 for IPv4 socket", ...). Any exception is
// reported as "Internal error" and ends the thread. Always returns 0. The system's reason for a
// failed socket, with the port, goes to `report_debug` (the journal at debug level when empty),
// e.g. "Can not create IPv4 socket (port 9): Too many open files". Without `counters` the thread
// counts for nobody; without `trace` it traces nothing; `heartbeat`, when given, is beaten at every
// pass of the receive loop (RunProxyServer).
int ServiceProxyThread(const ProxyServerSettings& settings, const StopRequest& stop,
                       const ServiceEventReporter& report_event,
                       const ServiceDebugReporter& report_debug = {},
                       ProxyCounters* counters = nullptr, PacketTrace* trace = nullptr,
                       LoopHeartbeat* heartbeat = nullptr);

}  // namespace corvane
