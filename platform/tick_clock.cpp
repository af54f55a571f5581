#include "platform/tick_clock.h"

#include <time.h>

namespace corvane {
namespace {

// The kernel's tick-based monotonic clock: like the Windows tick count it advances with the timer
// interrupt (every 1 to 10 ms), and it costs a third of a precise clock read. The resolver reads
// it on every lookup, up to 2000 times for one packet.
class MonotonicTickClock final : public TickClock {
 public:
  std::uint32_t GetTickCount() const override {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    const auto milliseconds = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                              static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(milliseconds);
  }
};

}  // namespace

const TickClock& SystemTickClock() {
  // Never destroyed: detached engine threads may still read it while the process exits.
  static const auto* clock = new MonotonicTickClock;
  return *clock;
}

}  // namespace corvane
