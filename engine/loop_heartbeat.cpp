#include "engine/loop_heartbeat.h"

namespace corvane {

LoopHeartbeat::LoopHeartbeat(const TickClock& clock) : clock_(clock), due_(0) { Beat(); }

std::uint32_t LoopHeartbeat::Late() const {
  const std::uint64_t due = due_.load(std::memory_order_relaxed);
  if (due == kIdle) return 0;
  // Ticks wrap: a due tick is at most kStuckAfter plus a send delay ahead, so the signed distance
  // tells late from early.
  const auto late =
      static_cast<std::int32_t>(clock_.GetTickCount() - static_cast<std::uint32_t>(due));
  return late > 0 ? static_cast<std::uint32_t>(late) : 0;
}

}  // namespace corvane
