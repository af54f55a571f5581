// The body shared by both variants of the proxy server thread: own addresses, socket set-up, the
// receive loop with filters and sending, and closing.
#pragma once

#include "config/proxy_server_settings.h"
#include "engine/engine_report.h"
#include "engine/loop_heartbeat.h"
#include "engine/proxy_counters.h"
#include "engine/proxy_host.h"
#include "platform/tick_clock.h"

namespace corvane {

// Pacing of the receive loop. Each pass takes at most one datagram per socket. After a pass that
// received something the next pass starts at once, up to 100 such passes in a row; then the loop
// pauses 10 ms (a burst cannot starve the host). After a pass that received nothing the loop sleeps
// until a datagram arrives or a stop is requested, with no periodic wake-up: an idle proxy server
// costs nothing.
class BusyPacer {
 public:
  static constexpr int kMaxBusyPasses = 100;

  enum class Next { kPassAtOnce, kIdleWait, kPause };

  Next AfterPass(bool received) {
    if (received && busy_passes_ < kMaxBusyPasses) {
      ++busy_passes_;
      return Next::kPassAtOnce;
    }
    busy_passes_ = 0;
    return received ? Next::kPause : Next::kIdleWait;
  }

 private:
  int busy_passes_ = 0;
};

// Runs one proxy server until host.stop() is requested, or returns at once after reporting a
// start-up failure. Returns the set-up status: kSocketsReady when the proxy server served. Every
// socket is closed before it returns, also when it throws. Every received packet, send and
// failure is counted into `counters`, whatever the host reports of it. The loop beats `heartbeat`,
// when given, at every pass and announces its waits. A host lookup holds the loop for at most
// kLookupLimit: one not answered by then fails like a name that does not resolve.
EngineStatus RunProxyServer(const ProxyServerSettings& settings, ProxyHost& host,
                            ProxyCounters& counters, const TickClock& clock = SystemTickClock(),
                            LoopHeartbeat* heartbeat = nullptr);

}  // namespace corvane
