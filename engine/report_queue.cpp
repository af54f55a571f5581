#include "engine/report_queue.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>

namespace corvane {

struct ReportQueue::State {
  State(Post posted, Record recorder) : post(std::move(posted)), record(std::move(recorder)) {}

  // Owner thread: records up to `limit` waiting reports; true when more are left.
  bool RecordWaiting(std::size_t limit) {
    std::vector<WindowReport> batch;
    {
      std::lock_guard lock(mutex);
      if (closed) return false;
      const std::size_t count = std::min(limit, waiting.size());
      batch.reserve(count);
      for (std::size_t i = 0; i < count; ++i) {
        batch.push_back(std::move(waiting.front()));
        waiting.pop_front();
      }
    }
    room.notify_all();
    if (!batch.empty()) record(batch);
    std::lock_guard lock(mutex);
    return !closed && !waiting.empty();
  }

  // Owner thread: one batch, then the next batch as a task of its own while reports are left.
  static void Drain(const std::shared_ptr<State>& state) {
    state->RecordWaiting(kBatch);
    std::lock_guard lock(state->mutex);
    if (state->closed || state->waiting.empty()) {
      state->task_posted = false;
      return;
    }
    PostDrain(state);
  }

  // With `mutex` held, so that nothing is posted once Close has returned. One task at a time.
  static void PostDrain(const std::shared_ptr<State>& state) {
    try {
      state->post([state] { Drain(state); });
    } catch (...) {
      state->task_posted = false;  // the next push tries again
    }
  }

  Post post;
  Record record;
  std::mutex mutex;
  std::condition_variable room;
  std::deque<WindowReport> waiting;
  bool task_posted = false;
  bool closed = false;
};

ReportQueue::ReportQueue(Post post, Record record)
    : state_(std::make_shared<State>(std::move(post), std::move(record))) {}

bool ReportQueue::Push(WindowReport report) const {
  std::unique_lock lock(state_->mutex);
  // The stop request has no condition variable of its own: look at it every few milliseconds.
  while (!state_->closed && state_->waiting.size() >= kCapacity) {
    if (report.source != nullptr && report.source->IsRequested()) return false;
    state_->room.wait_for(lock, std::chrono::milliseconds(5));
  }
  if (state_->closed) return false;
  state_->waiting.push_back(std::move(report));
  if (!state_->task_posted) {
    state_->task_posted = true;
    State::PostDrain(state_);
  }
  return true;
}

void ReportQueue::Flush() const {
  while (state_->RecordWaiting(kCapacity)) {
  }
}

void ReportQueue::Close() const {
  {
    std::lock_guard lock(state_->mutex);
    state_->closed = true;
    state_->waiting.clear();
  }
  state_->room.notify_all();
}

}  // namespace corvane
