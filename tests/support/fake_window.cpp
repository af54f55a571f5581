#include "tests/support/fake_window.h"

#include <future>

namespace corvane::test {

FakeWindow::FakeWindow()
    : bridge_([this](SynchronizeBridge::Task task) {
        {
          std::lock_guard lock(mutex_);
          tasks_.push_back(std::move(task));
        }
        changed_.notify_all();
      }),
      window_thread_([this] { WindowThread(); }) {}

FakeWindow::~FakeWindow() {
  bridge_.Close();
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  // The last owner may be an engine thread that is ending; the window thread never is.
  window_thread_.join();
}

void FakeWindow::WindowThread() {
  std::unique_lock lock(mutex_);
  while (true) {
    changed_.wait(lock, [this] { return quit_ || !tasks_.empty(); });
    if (tasks_.empty()) return;
    auto task = std::move(tasks_.front());
    tasks_.pop_front();
    lock.unlock();
    task();
    lock.lock();
  }
}

void FakeWindow::OnWindow(const std::function<void()>& call) {
  std::promise<void> done;
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back([&] {
      call();
      done.set_value();
    });
  }
  changed_.notify_all();
  done.get_future().wait();
}

void FakeWindow::Post(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  changed_.notify_all();
}

void FakeWindow::ServerStarted(std::uint32_t) { RecordState(true); }

void FakeWindow::ServerStopped(std::uint32_t id) {
  links_.erase(id);
  RecordState(false);
}

void FakeWindow::RecordState(bool started) {
  if (on_state) on_state(started);
  {
    std::lock_guard lock(mutex_);
    recorded_.states.push_back(started);
  }
  changed_.notify_all();
}

void FakeWindow::RecordError(const EngineReport& report) {
  {
    std::lock_guard lock(mutex_);
    recorded_.errors.push_back(ErrorText(report));
  }
  changed_.notify_all();
}

void FakeWindow::RecordPacket(const EngineReport& report) {
  {
    std::lock_guard lock(mutex_);
    recorded_.packets.push_back(report);
  }
  changed_.notify_all();
}

std::uint32_t FakeWindow::AddServer(ProxyServerSettings settings) {
  std::uint32_t id = 0;
  OnWindow([&] { id = table_.Register(std::move(settings)); });
  return id;
}

std::shared_ptr<WolServerThread> FakeWindow::StartServer(std::uint32_t id) {
  auto thread = WolServerThread::Create(/*create_suspended=*/true, id, shared_from_this());
  OnWindow([&] {
    if (table_.Find(id) != nullptr) links_[id] = thread;
  });
  if (!thread->Resume()) return nullptr;
  return thread;
}

bool FakeWindow::LinksThread(std::uint32_t id) {
  bool links = false;
  OnWindow([&] {
    const auto link = links_.find(id);
    links = link != links_.end() && !link->second.expired();
  });
  return links;
}

bool FakeWindow::WaitUntil(const std::function<bool(const Recorded&)>& ready,
                           std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return ready(recorded_); });
}

bool SendUntilReported(FakeWindow& window, UdpSocket& from,
                       const std::vector<std::uint8_t>& payload, const Endpoint& to,
                       std::size_t count) {
  for (int attempt = 0; attempt < 400; ++attempt) {
    if (from.SendTo(payload, to)) return false;
    const auto enough = [&](const Recorded& r) { return r.packets.size() >= count; };
    if (window.WaitUntil(enough, std::chrono::milliseconds(10))) return true;
  }
  return false;
}

Recorded FakeWindow::recorded() {
  std::lock_guard lock(mutex_);
  return recorded_;
}

}  // namespace corvane::test
