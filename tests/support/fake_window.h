// A window for engine tests: a real window thread that runs the Synchronize calls through a
// SynchronizeBridge, a proxy server table, and the rows that the engine records.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/synchronize_bridge.h"
#include "engine/wol_server_thread.h"
#include "engine/wol_server_window.h"
#include "platform/udp_socket.h"

namespace corvane::test {

// What the engine recorded through the window.
struct Recorded {
  std::vector<std::string> errors;
  std::vector<EngineReport> packets;
  std::vector<bool> states;  // every ServerStarted (true) and ServerStopped (false), in order
};

class FakeWindow final : public WolServerWindow,
                         private ServerEvents,
                         public std::enable_shared_from_this<FakeWindow> {
 public:
  static std::shared_ptr<FakeWindow> Create() {
    return std::shared_ptr<FakeWindow>(new FakeWindow);
  }
  ~FakeWindow() override;

  // WolServerWindow
  bool Synchronize(const std::function<void()>& call) override { return bridge_.Run(call); }
  const DisplayOptions& Options() const override { return options_; }
  ServerEvents& Events() override { return *this; }

  // Test side. Runs `call` on the window thread and waits for it.
  void OnWindow(const std::function<void()>& call);
  // Queues `task` for the window thread without waiting.
  void Post(std::function<void()> task);
  // Runs on the window thread inside every ServerStarted (true) and ServerStopped (false) call.
  std::function<void(bool started)> on_state;
  // The window goes away: later Synchronize calls run nothing.
  void CloseBridge() {
    OnWindow([this] { bridge_.Close(); });
  }

  DisplayOptions& options() { return options_; }
  ProxyServerTable& table() { return table_; }  // window thread only

  // Registers a proxy server with `settings`, on the window thread; returns its Id.
  std::uint32_t AddServer(ProxyServerSettings settings);
  // Creates, links and resumes an engine thread for `id`, as the Start button does.
  std::shared_ptr<WolServerThread> StartServer(std::uint32_t id);
  // Whether the window still links an engine thread for `id` (read on the window thread).
  bool LinksThread(std::uint32_t id);
  // Window thread: lets go of the thread of `id`, as the Stop button does.
  void Unlink(std::uint32_t id) { links_.erase(id); }

  // Waits until `ready` holds for what was recorded.
  bool WaitUntil(const std::function<bool(const Recorded&)>& ready,
                 std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // A copy of what was recorded so far.
  Recorded recorded();

 private:
  FakeWindow();
  void WindowThread();

  // ServerEvents
  const ProxyServerTable& Servers() const override { return table_; }
  void ServerStarted(std::uint32_t id) override;
  void ServerStopped(std::uint32_t id) override;
  void RecordError(const EngineReport& report) override;
  void RecordPacket(const EngineReport& report) override;
  void RecordState(bool started);

  SynchronizeBridge bridge_;
  DisplayOptions options_;
  ProxyServerTable table_;                                         // window thread only
  std::map<std::uint32_t, std::weak_ptr<WolServerThread>> links_;  // window thread only

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> tasks_;
  bool quit_ = false;
  Recorded recorded_;
  std::thread window_thread_;
};

// Sends `payload` from `from` every few milliseconds until the window holds `count` packet rows
// (a new engine thread binds its sockets a moment after it starts). False after about 4 s.
bool SendUntilReported(FakeWindow& window, UdpSocket& from,
                       const std::vector<std::uint8_t>& payload, const Endpoint& to,
                       std::size_t count = 1);

}  // namespace corvane::test
