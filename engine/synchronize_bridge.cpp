#include "engine/synchronize_bridge.h"

#include <condition_variable>
#include <mutex>
#include <utility>

namespace corvane {

struct SynchronizeBridge::State {
  explicit State(Post posted) : post(std::move(posted)) {}

  Post post;
  std::mutex mutex;
  std::condition_variable changed;
  bool closed = false;
};

namespace {

// One call in flight. The engine thread waits until `done`, or until the bridge closed while the
// call was not running; the owner runs the call only while the bridge is open.
struct PendingCall {
  const std::function<void()>* call = nullptr;
  bool running = false;
  bool done = false;
};

}  // namespace

SynchronizeBridge::SynchronizeBridge(Post post)
    : state_(std::make_shared<State>(std::move(post))) {}

bool SynchronizeBridge::Run(const std::function<void()>& call) const {
  auto pending = std::make_shared<PendingCall>();
  pending->call = &call;
  auto task = [state = state_, pending] {
    {
      std::lock_guard lock(state->mutex);
      if (state->closed) return;
      pending->running = true;
    }
    // The caller waits while `running` is set, so `call` is alive. A call that throws is treated
    // like one that returned: the caller must not wait for ever.
    try {
      (*pending->call)();
    } catch (...) {
    }
    {
      std::lock_guard lock(state->mutex);
      pending->running = false;
      pending->done = true;
    }
    state->changed.notify_all();
  };
  std::unique_lock lock(state_->mutex);
  if (state_->closed) return false;
  try {
    // Under the lock: once Close has returned, nothing is posted to the owner any more.
    state_->post(std::move(task));
  } catch (...) {
    return false;  // the owner could not queue it; nothing will run
  }
  state_->changed.wait(lock,
                       [&] { return pending->done || (state_->closed && !pending->running); });
  return pending->done;
}

void SynchronizeBridge::Close() const {
  {
    std::lock_guard lock(state_->mutex);
    state_->closed = true;
  }
  state_->changed.notify_all();
}

bool SynchronizeBridge::closed() const {
  std::lock_guard lock(state_->mutex);
  return state_->closed;
}

}  // namespace corvane
