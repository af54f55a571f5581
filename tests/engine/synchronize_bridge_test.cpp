#include "engine/synchronize_bridge.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

namespace corvane {
namespace {

using namespace std::chrono_literals;

// An owner thread that runs posted tasks only when told to, so tests control the timing.
class ManualOwner {
 public:
  SynchronizeBridge::Post Poster() {
    return [this](SynchronizeBridge::Task task) {
      std::lock_guard lock(mutex_);
      tasks_.push_back(std::move(task));
      posted_.notify_all();
    };
  }

  // Waits until `count` tasks are queued.
  void AwaitPosted(std::size_t count) {
    std::unique_lock lock(mutex_);
    posted_.wait(lock, [&] { return tasks_.size() >= count; });
  }

  // Runs the queued tasks on a thread of its own and returns its id.
  std::thread::id RunQueued() {
    std::deque<SynchronizeBridge::Task> tasks;
    {
      std::lock_guard lock(mutex_);
      tasks.swap(tasks_);
    }
    std::thread::id id;
    std::thread owner([&] {
      id = std::this_thread::get_id();
      for (auto& task : tasks) task();
    });
    owner.join();
    return id;
  }

 private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<SynchronizeBridge::Task> tasks_;
};

TEST(SynchronizeBridge, RunsTheCallOnTheOwnerThreadWhileTheCallerWaits) {
  ManualOwner owner;
  const SynchronizeBridge bridge(owner.Poster());
  std::thread::id ran_on;
  auto caller = std::async(
      std::launch::async, [&] { return bridge.Run([&] { ran_on = std::this_thread::get_id(); }); });
  owner.AwaitPosted(1);
  EXPECT_EQ(caller.wait_for(20ms), std::future_status::timeout);  // still waiting
  const std::thread::id owner_id = owner.RunQueued();
  EXPECT_TRUE(caller.get());
  EXPECT_EQ(ran_on, owner_id);
}

TEST(SynchronizeBridge, ClosingReleasesWaitingCallersAndLaterCallsRunNothing) {
  ManualOwner owner;
  const SynchronizeBridge bridge(owner.Poster());
  std::atomic<int> runs = 0;
  auto caller = std::async(std::launch::async, [&] { return bridge.Run([&] { ++runs; }); });
  owner.AwaitPosted(1);
  bridge.Close();
  EXPECT_FALSE(caller.get());
  owner.RunQueued();  // the queued task finds the bridge closed
  EXPECT_FALSE(bridge.Run([&] { ++runs; }));
  EXPECT_EQ(runs, 0);
  EXPECT_TRUE(bridge.closed());
}

TEST(SynchronizeBridge, ACallThatClosesTheBridgeStillCompletes) {
  ManualOwner owner;
  const SynchronizeBridge bridge(owner.Poster());
  auto caller = std::async(std::launch::async, [&] { return bridge.Run([&] { bridge.Close(); }); });
  owner.AwaitPosted(1);
  owner.RunQueued();
  EXPECT_TRUE(caller.get());
}

TEST(SynchronizeBridge, AnOwnerThatCannotQueueRunsNothing) {
  const SynchronizeBridge bridge([](SynchronizeBridge::Task) { throw std::runtime_error("full"); });
  bool ran = false;
  EXPECT_FALSE(bridge.Run([&] { ran = true; }));
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace corvane
