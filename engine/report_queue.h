// Hands the engine threads' log reports to the window thread without a round trip per report.
//
// An engine thread pushes a report and goes on; the window thread records the queued reports in
// batches, oldest first, from a task that the queue posts to it whenever reports are waiting. The
// queue is bounded: when it is full, the pushing thread waits until the window thread has made
// room, so a flood slows the engine thread down (its receive buffer then holds or drops datagrams
// as it would without logs) instead of growing memory or losing reports. A wait ends at once when
// the pushing thread's stop is requested or the queue is closed.
//
// Each batch is a task of its own, so the window thread paints and takes input between batches.
// `Flush` records every waiting report at once; the window runs it before each Synchronize call,
// so a thread's reports are recorded before any later call of that thread.
//
// `Push` from any thread but the owner thread; `Flush` and `Close` on the owner thread only. After
// `Close` nothing is posted or recorded any more and pushes return false at once.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "engine/engine_report.h"
#include "platform/stop_request.h"

namespace corvane {

// One report for the window thread: an error row (`error` set) or a packet row.
struct WindowReport {
  // The stop request of the reporting thread: a report of a thread that was stopped while the
  // report waited is dropped, as if it had never been made.
  std::shared_ptr<const StopRequest> source;
  EngineReport report;
  bool error = false;
};

class ReportQueue {
 public:
  static constexpr std::size_t kCapacity = 20000;
  static constexpr std::size_t kBatch = 1000;

  using Task = std::function<void()>;
  using Post = std::function<void(Task)>;  // queues a task for the owner thread, never runs it
  using Record = std::function<void(std::vector<WindowReport>& batch)>;  // on the owner thread

  ReportQueue(Post post, Record record);

  // Queues `report`. Waits while the queue is full; false, without queueing, when the queue is
  // closed or the report's source was stopped before there was room.
  bool Push(WindowReport report) const;

  void Flush() const;
  void Close() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace corvane
