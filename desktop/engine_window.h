// The window as the engine threads of the desktop program see it: Synchronize runs a call on the
// window thread (a queued call on the application's event loop) while the engine thread waits.
//
// The object is shared by the window and every engine thread. When the window goes away it calls
// Detach on the window thread: from then on no call reaches it and calls already waiting return,
// so an engine thread that outlives the window never touches it and never waits for it. The
// display options live here, so engine threads can still read them after the window is gone.
#pragma once

#include <cstdint>
#include <string>

#include "engine/report_queue.h"
#include "engine/synchronize_bridge.h"
#include "engine/wol_server_window.h"

namespace corvane::desktop {

// What engine events reach in the window, on the window thread.
class EngineEvents {
 public:
  virtual ~EngineEvents() = default;
  virtual ProxyServerTable& Servers() = 0;
  virtual std::uint32_t SelectedServerId() const = 0;
  virtual void ShowServerRunning(bool running) = 0;
  virtual void ServerStateChanged(std::uint32_t id, bool running) = 0;
  virtual void RecordError(std::uint32_t id, const std::string& text) = 0;
  virtual void RecordPacket(const EngineReport& report) = 0;
  // Bracket a batch of Record calls, so that the views redraw once per batch.
  virtual void BeginRecording() {}
  virtual void EndRecording() {}
};

class EngineWindow final : public WolServerWindow {
 public:
  // Created on the window thread, with the application object alive.
  explicit EngineWindow(EngineEvents* events);

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
  ProxyServerTable& Servers() override { return events_->Servers(); }
  std::uint32_t SelectedServerId() const override { return events_->SelectedServerId(); }
  void ShowServerRunning(bool running) override { events_->ShowServerRunning(running); }
  void ServerStateChanged(std::uint32_t id, bool running) override {
    events_->ServerStateChanged(id, running);
  }
  void RecordError(std::uint32_t id, const std::string& text) override {
    events_->RecordError(id, text);
  }
  void RecordPacket(const EngineReport& report) override { events_->RecordPacket(report); }

 private:
  EngineEvents* events_;  // valid while the bridge is open
  DisplayOptions options_;
  SynchronizeBridge bridge_;
  ReportQueue reports_;
};

}  // namespace corvane::desktop
