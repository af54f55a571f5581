#include "engine/wol_server_thread.h"

#include <atomic>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

#include "engine/proxy_loop.h"

namespace corvane {

std::shared_ptr<WolServerThread> WolServerThread::Create(bool create_suspended, std::uint32_t id,
                                                         std::shared_ptr<WolServerWindow> window) {
  std::shared_ptr<WolServerThread> thread(new WolServerThread(id, std::move(window)));
  if (!create_suspended && !thread->Resume()) return nullptr;
  return thread;
}

WolServerThread::WolServerThread(std::uint32_t id, std::shared_ptr<WolServerWindow> window)
    : id_(id), window_(std::move(window)) {}

bool WolServerThread::Resume() {
  std::lock_guard lock(state_mutex_);
  if (resumed_) return true;
  try {
    std::thread([self = shared_from_this()] { self->Execute(); }).detach();
  } catch (const std::system_error&) {
    return false;
  }
  resumed_ = true;
  return true;
}

void WolServerThread::Terminate() { stop_.Request(); }

bool WolServerThread::WaitUntilFinished(std::chrono::milliseconds timeout) {
  std::unique_lock lock(state_mutex_);
  return finished_changed_.wait_for(lock, timeout, [this] { return finished_; });
}

bool WolServerThread::WaitUntilSocketsClosed(std::chrono::milliseconds timeout) {
  std::unique_lock lock(state_mutex_);
  return finished_changed_.wait_for(lock, timeout, [this] { return sockets_closed_; });
}

void WolServerThread::Execute() {
  try {
    settings_snapshot_.reset();
    snapshot_ready_ = false;
    SynchronizeUnlessStopped(&WolServerThread::CopySettings);
    if (!stop_.IsRequested() && snapshot_ready_) {
      RunProxyServer(*settings_snapshot_, *this, counters_);
    } else {
      ReportStartError(EngineStatus::kNoSettings, 0);
    }
  } catch (...) {
    // Nothing escapes the thread body: it releases its settings and ends like any other.
  }
  {
    std::lock_guard lock(state_mutex_);
    sockets_closed_ = true;
  }
  finished_changed_.notify_all();
  window_->Synchronize([this] { ReleaseSettings(); });
  if (!stop_.IsRequested()) {
    // Ended on its own after a failed start: the stop is requested here, so that the thread ends
    // also when the window is gone, and the window is told.
    SynchronizeUnlessStopped(&WolServerThread::TellStopped);
    Terminate();
  }
  {
    std::lock_guard lock(state_mutex_);
    finished_ = true;
  }
  finished_changed_.notify_all();
}

void WolServerThread::ReportErrorIfRecorded(EngineEvent event, EngineReport report) {
  if (stop_.IsRequested() || !IsRecorded(event, window_->Options())) return;
  report.Id = id_;
  HandOver(std::move(report), /*error=*/true);
}

void WolServerThread::HandOver(EngineReport report, bool error) {
  WindowReport handed;
  // Shares this object's life: the report keeps the thread object alive until it is recorded.
  handed.source = std::shared_ptr<const StopRequest>(shared_from_this(), &stop_);
  handed.error = error;
  handed.report = std::move(report);
  window_->HandOver(std::move(handed));
}

void WolServerThread::ReportStartError(EngineStatus status, std::uint16_t port) {
  EngineReport report;
  report.Status = status;
  report.ReportPort = port;
  ReportErrorIfRecorded(EngineEvent::kStartError, std::move(report));
}

void WolServerThread::ReportResolveError(const std::string& host, const std::string& /*reason*/) {
  EngineReport report;
  report.Status = EngineStatus::kCannotResolveHost;
  report.ReportHost = host;
  ReportErrorIfRecorded(EngineEvent::kResolveError, std::move(report));
}

void WolServerThread::ReportSendError(const Endpoint& to, std::error_code /*error*/) {
  EngineReport report;
  report.Status = EngineStatus::kSendFailed;
  report.ReportAddress = to.address;
  report.ReportPort = to.port;
  ReportErrorIfRecorded(EngineEvent::kSendError, std::move(report));
}

void WolServerThread::ReportSent(const MagicPacket& packet, const Endpoint& to) {
  if (stop_.IsRequested() || !IsRecorded(EngineEvent::kSentPacket, window_->Options())) return;
  HandOver(PacketReport(id_, packet, to, /*received=*/false, /*ignored=*/false), /*error=*/false);
}

void WolServerThread::ReportNoLinkLayer() {
  // Once per program: every proxy server would say the same.
  static std::atomic<bool> told{false};
  if (stop_.IsRequested() || !IsRecorded(EngineEvent::kStartError, window_->Options())) return;
  if (told.exchange(true)) return;
  EngineReport report;
  report.Id = id_;
  report.Status = EngineStatus::kNoLinkLayer;
  HandOver(std::move(report), /*error=*/true);
}

void WolServerThread::ReportWakeOutcome(const WakeOutcome& outcome) {
  if (stop_.IsRequested() || !IsRecorded(EngineEvent::kWakeOutcome, window_->Options())) return;
  HandOver(WakeReport(id_, outcome), /*error=*/true);
}

void WolServerThread::ReportReceived(const MagicPacket& packet, const Endpoint& sender,
                                     IgnoreReason reason) {
  const EngineEvent event =
      reason != IgnoreReason::kNone ? EngineEvent::kIgnoredPacket : EngineEvent::kAcceptedPacket;
  if (stop_.IsRequested() || !IsRecorded(event, window_->Options())) return;
  HandOver(ReceivedReport(id_, packet, sender, reason), /*error=*/false);
}

void WolServerThread::SynchronizeUnlessStopped(void (WolServerThread::*operation)()) {
  if (stop_.IsRequested()) return;
  // Tested again on the window thread: the window may have stopped this thread (and started a
  // new one for the same proxy server) while the call waited in its queue.
  window_->Synchronize([this, operation] {
    if (!stop_.IsRequested()) (this->*operation)();
  });
}

void WolServerThread::CopySettings() {
  snapshot_ready_ = false;
  ServerEvents& events = window_->Events();
  const ProxyServerSettings* settings = events.Servers().Find(id_);
  if (settings == nullptr || stop_.IsRequested()) return;
  events.ServerStarted(id_);
  try {
    settings_snapshot_ = std::make_unique<ProxyServerSettings>(NormalizedCopy(*settings));
    snapshot_ready_ = true;
  } catch (const std::bad_alloc&) {
    // The thread then ends as if it had found no settings.
  }
}

void WolServerThread::ReleaseSettings() { settings_snapshot_.reset(); }

void WolServerThread::TellStopped() {
  ServerEvents& events = window_->Events();
  if (events.Servers().Find(id_) == nullptr) return;
  Terminate();
  events.ServerStopped(id_);
}

}  // namespace corvane
