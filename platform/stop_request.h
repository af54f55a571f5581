// A stop request for engine threads: an atomic flag plus a wake-up descriptor.
//
// `Request` may be called from any thread, any number of times; the first call sets the flag and
// makes the descriptor readable for good (it is written once and never drained), so every wait of
// this class ends at once from then on, also waits that begin later. Waits and `IsRequested` may
// run on any thread; one engine thread usually owns the waits.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <span>

namespace corvane {

class StopRequest {
 public:
  StopRequest();
  ~StopRequest();
  StopRequest(const StopRequest&) = delete;
  StopRequest& operator=(const StopRequest&) = delete;

  void Request();
  bool IsRequested() const { return requested_.load(std::memory_order_acquire); }

  // Waits until one of `descriptors` is readable, a stop is requested or `timeout` has passed,
  // whichever comes first.
  void WaitReadable(std::span<const int> descriptors, std::chrono::milliseconds timeout) const;
  // Waits until one of `descriptors` is readable or a stop is requested, with no time-out: an idle
  // waiter costs nothing. (Without a wake-up descriptor it looks at the flag every 10 ms.)
  void WaitReadable(std::span<const int> descriptors) const;

  // Sleeps for `duration`, ended early by a stop request. Returns false when it ended early.
  bool Sleep(std::chrono::milliseconds duration) const;

 private:
  // `timeout` below zero: no time-out.
  void Wait(std::span<const int> descriptors, std::chrono::milliseconds timeout) const;

  std::atomic<bool> requested_{false};
  // eventfd; -1 when the system had none to give, or only one of the descriptors the process
  // keeps in reserve (InDescriptorReserve); waits then only time out.
  int wake_fd_ = -1;
};

}  // namespace corvane
