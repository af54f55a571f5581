// The window as the engine threads of the desktop program see it: Synchronize runs a call on the
// window thread (a queued call on the application's event loop) while the engine thread waits.
//
// The object is shared by the window and every engine thread. When the window goes away it calls
// Detach on the window thread: from then on no call reaches it and calls already waiting return,
// so an engine thread that outlives the window never touches it and never waits for it. The
// display options live here, so engine threads can still read them after the window is gone.
#pragma once

#include "engine/report_queue.h"
#include "engine/synchronize_bridge.h"
#include "engine/wol_server_window.h"

namespace corvane::desktop {

class EngineWindow final : public WolServerWindow {
 public:
  // Created on the window thread, with the application object alive.
  explicit EngineWindow(ServerEvents* events);

  // Window thread: the window is going away.
  void Detach();

  DisplayOptions& options() { return options_; }

  // Reports handed over before the call are recorded before it.
  bool Synchronize(const std::function<void()>& call) override {
    return bridge_.Run([this, &call] {
      reports_.Flush();
      call();
    });
  }
  bool HandOver(WindowReport report) override { return reports_.Push(std::move(report)); }
  const DisplayOptions& Options() const override { return options_; }
  ServerEvents& Events() override { return *events_; }

 private:
  ServerEvents* events_;  // valid while the bridge is open
  DisplayOptions options_;
  SynchronizeBridge bridge_;
  ReportQueue reports_;
};

}  // namespace corvane::desktop
