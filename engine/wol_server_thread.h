// The desktop program's engine thread: runs one proxy server on a private copy of its settings.
//
// The window creates one per started proxy server and hands it only the proxy server's Id. The
// thread copies the settings through the window thread when it starts (later edits reach it only
// at the next start), serves until it is told to stop, and reports start-up failures and packets to
// the window, filtered by the display options. Nobody joins it: after `Resume` the running thread
// keeps the object alive until its body has returned, so the window may drop its link at any time.
//
// `Terminate` and `Terminated` may be called from any thread. The window-thread operations
// (CopySettings, ReleaseSettings, TellStopped) run only inside Synchronize; error and packet rows
// are handed over (WolServerWindow::HandOver) and recorded on the window thread in order. Each
// first looks the Id up in the window's table and does nothing when the proxy server is gone. Once
// a stop is requested the thread makes no window-side call but the one that releases its settings,
// and its reports still waiting are dropped.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "engine/engine_report.h"
#include "engine/proxy_counters.h"
#include "engine/proxy_host.h"
#include "engine/wol_server_window.h"
#include "platform/stop_request.h"

namespace corvane {

class WolServerThread final : private ProxyHost,
                              public std::enable_shared_from_this<WolServerThread> {
 public:
  // A thread for proxy server `id`. Created suspended it waits for `Resume`; otherwise it is
  // started here, and nullptr is returned when the system cannot start a thread.
  static std::shared_ptr<WolServerThread> Create(bool create_suspended, std::uint32_t id,
                                                 std::shared_ptr<WolServerWindow> window);

  // Starts the body once; later calls do nothing. False when the system cannot start a thread.
  [[nodiscard]] bool Resume();

  // The stop request. Never waits; the thread notices it within one pass of its loop.
  void Terminate();
  bool Terminated() const { return stop_.IsRequested(); }

  // Waits up to `timeout` for the body to return; true when it has. For tests and owners that must
  // know; while the window runs, it never waits for this.
  bool WaitUntilFinished(std::chrono::milliseconds timeout);
  // Waits up to `timeout` until the thread no longer serves: its sockets are closed and its ports
  // free. Unlike its end, this needs nothing of the window thread.
  bool WaitUntilSocketsClosed(std::chrono::milliseconds timeout);

  std::uint32_t id() const { return id_; }
  // What this run has done; zero until it serves. Any thread, as long as it holds the object.
  const ProxyCounters& counters() const { return counters_; }

 private:
  WolServerThread(std::uint32_t id, std::shared_ptr<WolServerWindow> window);

  void Execute();

  // ProxyHost
  const StopRequest& stop() const override { return stop_; }
  void ReportStartError(EngineStatus status, std::uint16_t port) override;
  void ReportReceived(const MagicPacket& packet, const Endpoint& sender,
                      IgnoreReason reason) override;
  void ReportResolveError(const std::string& host, const std::string& reason) override;
  void ReportSendError(const Endpoint& to, std::error_code error) override;
  void ReportSent(const MagicPacket& packet, const Endpoint& to) override;
  void ReportNoLinkLayer() override;
  void ReportWakeOutcome(const WakeOutcome& outcome) override;
  // Hands an error to the window when the display options let `event` through.
  void ReportErrorIfRecorded(EngineEvent event, EngineReport report);

  // Runs a window-thread operation unless a stop is requested.
  void SynchronizeUnlessStopped(void (WolServerThread::*operation)());

  // Window-thread operations.
  void CopySettings();
  void ReleaseSettings();
  void TellStopped();

  // Hands a report to the window (see WolServerWindow::HandOver).
  void HandOver(EngineReport report, bool error);

  const std::uint32_t id_;
  const std::shared_ptr<WolServerWindow> window_;
  StopRequest stop_;
  ProxyCounters counters_;

  // Written on the window thread inside Synchronize, read by the engine thread after it.
  std::unique_ptr<ProxyServerSettings> settings_snapshot_;
  bool snapshot_ready_ = false;

  std::mutex state_mutex_;
  std::condition_variable finished_changed_;
  bool resumed_ = false;
  bool sockets_closed_ = false;
  bool finished_ = false;
};

}  // namespace corvane
