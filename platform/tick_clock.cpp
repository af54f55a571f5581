#include "platform/tick_clock.h"

#include <time.h>

namespace corvane {
namespace {

class MonotonicTickClock final : public TickClock {
 public:
  std::uint32_t GetTickCount() const override {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto milliseconds = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                              static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(milliseconds);
  }
};

}  // namespace

const TickClock& SystemTickClock() {
  static const MonotonicTickClock clock;
  return clock;
}

}  // namespace corvane
