#include "engine/report_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <thread>

namespace corvane {
namespace {

using namespace std::chrono_literals;

// The owner thread is the test itself: posted tasks wait in `tasks` until the test runs them.
class ReportQueueTest : public ::testing::Test {
 protected:
  WindowReport Report(std::uint16_t port) {
    WindowReport report;
    report.source = source_;
    report.report.ReportPort = port;
    return report;
  }

  // Runs the tasks posted so far (and those they post); returns how many ran.
  int RunTasks() {
    int ran = 0;
    while (true) {
      std::function<void()> task;
      {
        std::lock_guard lock(mutex_);
        if (tasks_.empty()) return ran;
        task = std::move(tasks_.front());
        tasks_.erase(tasks_.begin());
      }
      task();
      ++ran;
    }
  }

  std::mutex mutex_;
  std::vector<std::function<void()>> tasks_;
  std::vector<std::size_t> batches_;
  std::vector<std::uint16_t> recorded_;
  std::shared_ptr<StopRequest> source_ = std::make_shared<StopRequest>();
  ReportQueue queue_{[this](ReportQueue::Task task) {
                       std::lock_guard lock(mutex_);
                       tasks_.push_back(std::move(task));
                     },
                     [this](std::vector<WindowReport>& batch) {
                       batches_.push_back(batch.size());
                       for (const WindowReport& r : batch) recorded_.push_back(r.report.ReportPort);
                     }};
};

TEST_F(ReportQueueTest, RecordsEveryReportInOrderOneBatchPerTask) {
  for (std::uint16_t i = 0; i < 2500; ++i) ASSERT_TRUE(queue_.Push(Report(i)));
  EXPECT_EQ(tasks_.size(), 1u);  // one task at a time, whatever was pushed
  EXPECT_EQ(RunTasks(), 3);
  EXPECT_EQ(batches_, (std::vector<std::size_t>{1000, 1000, 500}));
  ASSERT_EQ(recorded_.size(), 2500u);
  for (std::uint16_t i = 0; i < 2500; ++i) ASSERT_EQ(recorded_[i], i);

  // Flush records what waits at once; the task posted for it then finds nothing.
  ASSERT_TRUE(queue_.Push(Report(7)));
  queue_.Flush();
  EXPECT_EQ(recorded_.back(), 7);
  RunTasks();
  EXPECT_EQ(recorded_.size(), 2501u);
}

TEST_F(ReportQueueTest, AFullQueueHoldsThePusherUntilThereIsRoomOrAStopOrTheEnd) {
  for (std::size_t i = 0; i < ReportQueue::kCapacity; ++i) ASSERT_TRUE(queue_.Push(Report(1)));
  auto waiting = std::async(std::launch::async, [this] { return queue_.Push(Report(2)); });
  EXPECT_EQ(waiting.wait_for(50ms), std::future_status::timeout);
  RunTasks();
  ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
  EXPECT_TRUE(waiting.get());
  RunTasks();
  EXPECT_EQ(recorded_.size(), ReportQueue::kCapacity + 1);
  EXPECT_EQ(recorded_.back(), 2);

  for (std::size_t i = 0; i < ReportQueue::kCapacity; ++i) ASSERT_TRUE(queue_.Push(Report(1)));
  waiting = std::async(std::launch::async, [this] { return queue_.Push(Report(3)); });
  source_->Request();
  ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
  EXPECT_FALSE(waiting.get());

  source_ = std::make_shared<StopRequest>();
  waiting = std::async(std::launch::async, [this] { return queue_.Push(Report(4)); });
  EXPECT_EQ(waiting.wait_for(50ms), std::future_status::timeout);
  queue_.Close();
  ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
  EXPECT_FALSE(waiting.get());
  const std::size_t before = recorded_.size();
  RunTasks();  // closed: nothing more is recorded
  EXPECT_EQ(recorded_.size(), before);
  EXPECT_FALSE(queue_.Push(Report(5)));
}

}  // namespace
}  // namespace corvane
