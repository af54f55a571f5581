// What the desktop program's window offers the engine threads of its proxy servers.
//
// Engine threads touch window-owned data only inside `Synchronize`, which runs a call on the
// window thread while the engine thread waits. The window implements it with a SynchronizeBridge
// and closes the bridge when it is destroyed; the object itself is shared-owned, so an engine
// thread that outlives the window still holds a valid (closed) window to call. What the threads
// tell the window are facts about an Id (started, stopped, an error, a packet), received by the
// window's ServerEvents.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "config/display_options.h"
#include "config/proxy_server_table.h"
#include "engine/engine_report.h"
#include "engine/report_queue.h"

namespace corvane {

// What a window learns from the engine threads of its proxy servers: facts about proxy server `id`,
// told on the window thread. What they change on the screen is the window's business.
class ServerEvents {
 public:
  virtual ~ServerEvents() = default;

  // The proxy servers, to find the settings of an Id; a thread does nothing for an Id not found.
  virtual const ProxyServerTable& Servers() const = 0;
  // Proxy server `id` took its settings and runs.
  virtual void ServerStarted(std::uint32_t id) = 0;
  // The thread of proxy server `id` ended on its own after a failed start; it has been told to
  // stop, and the window should let go of it.
  virtual void ServerStopped(std::uint32_t id) = 0;
  // An error or a packet of proxy server `report.Id`, which exists. An error is handed over as
  // its facts (status, port, host, address); the words it is shown in are the window's.
  virtual void RecordError(const EngineReport& report) = 0;
  virtual void RecordPacket(const EngineReport& report) = 0;
  // Bracket a batch of Record calls, so that the views redraw once per batch.
  virtual void BeginRecording() {}
  virtual void EndRecording() {}
};

class WolServerWindow {
 public:
  virtual ~WolServerWindow() = default;

  // Any thread but the window thread: runs `call` on the window thread and returns after it ran.
  // Returns false at once, without running it, when the window is gone.
  virtual bool Synchronize(const std::function<void()>& call) = 0;

  // Any thread but the window thread: has an error or packet row recorded on the window thread,
  // after every report this thread handed over before it and before any later Synchronize call of
  // this thread. This one waits until the row is recorded; a window may queue it instead (see
  // ReportQueue). False when the window is gone.
  virtual bool HandOver(WindowReport report) {
    return Synchronize([this, &report] { RecordReport(report); });
  }

  // Any thread, without a lock; valid as long as this object.
  virtual const DisplayOptions& Options() const = 0;

  // Window thread only, that is inside Synchronize: where the facts go.
  virtual ServerEvents& Events() = 0;

  // Window thread: records a handed-over report, unless its thread was stopped meanwhile or its
  // proxy server is gone.
  void RecordReport(const WindowReport& report) {
    if (report.source != nullptr && report.source->IsRequested()) return;
    ServerEvents& events = Events();
    if (events.Servers().Find(report.report.Id) == nullptr) return;
    if (report.error) {
      events.RecordError(report.report);
    } else {
      events.RecordPacket(report.report);
    }
  }
};

}  // namespace corvane
