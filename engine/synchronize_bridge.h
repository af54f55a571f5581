// Runs calls of engine threads on one owner thread (the desktop program's window thread) while the
// calling engine thread waits: the desktop's `Synchronize`.
//
// The owner supplies `post`, which queues a task to be run later on the owner thread (a queued
// call of its event loop); it must only queue, never run the task itself. Closing the bridge, on
// the owner thread, when the owner goes away makes every later call return at once without running
// and releases the calls already waiting, so no engine thread touches a destroyed owner or waits
// forever for one.
//
// The owner must close the bridge before it stops running posted tasks. Copies share one bridge.
// `Run` may be called from any thread but the owner thread (which would wait for itself). `Close`
// must be called on the owner thread.
#pragma once

#include <functional>
#include <memory>

namespace corvane {

class SynchronizeBridge {
 public:
  using Task = std::function<void()>;
  using Post = std::function<void(Task)>;

  explicit SynchronizeBridge(Post post);

  // Runs `call` on the owner thread and returns true once it has returned. Returns false without
  // running it when the bridge is closed, or closes before the owner thread came to it.
  bool Run(const std::function<void()>& call) const;

  void Close() const;
  bool closed() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace corvane
