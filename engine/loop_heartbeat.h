// Whether an engine thread still passes its receive loop: the service vouches for its relay
// threads to the service manager's watchdog only while each has passed its loop recently.
//
// The engine thread is the only writer. It beats at every pass of its loop; before a wait that has
// a bound (the 10 ms pause, a send delay, a host lookup) it says how long the wait may last, and
// before waiting for a datagram, which may last for ever and is no hang, it says it is idle. Any
// thread may read. One relaxed 64-bit atomic holds the whole state: a reader needs a recent value,
// not an order with other memory.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/tick_clock.h"

namespace corvane {

class LoopHeartbeat {
 public:
  // A thread is stuck once it is this many milliseconds late past its last beat, or past the end
  // of the bounded wait it announced.
  static constexpr std::uint32_t kStuckAfter = 10000;

  // Starts as a beat: the thread's set-up has kStuckAfter to reach its loop.
  explicit LoopHeartbeat(const TickClock& clock = SystemTickClock());
  LoopHeartbeat(const LoopHeartbeat&) = delete;
  LoopHeartbeat& operator=(const LoopHeartbeat&) = delete;

  // The engine thread.
  void Beat() { Due(0); }
  void Waiting(std::uint32_t milliseconds) { Due(milliseconds); }
  void Idle() { due_.store(kIdle, std::memory_order_relaxed); }

  // Any thread: the milliseconds by which the thread is late at the clock's now; 0 while it is
  // on time or idle.
  std::uint32_t Late() const;

 private:
  static constexpr std::uint64_t kIdle = UINT64_MAX;
  void Due(std::uint32_t wait) {
    due_.store(static_cast<std::uint32_t>(clock_.GetTickCount() + wait + kStuckAfter),
               std::memory_order_relaxed);
  }

  const TickClock& clock_;
  std::atomic<std::uint64_t> due_;  // the tick by which the next beat is due, or kIdle
};

}  // namespace corvane
