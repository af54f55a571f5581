// The 32-bit millisecond tick count that the engine measures ages and delays with. It wraps about
// every 49.7 days; code that subtracts ticks must allow for that (TicksFrom). Tests replace the
// clock to exercise the wrap.
#pragma once

#include <cstdint>

namespace corvane {

class TickClock {
 public:
  virtual ~TickClock() = default;
  // Milliseconds since an arbitrary start, modulo 2^32. Any thread.
  virtual std::uint32_t GetTickCount() const = 0;
};

// The monotonic system tick clock (CLOCK_MONOTONIC_COARSE, 1 to 10 ms steps), cut to 32 bits.
// Lives as long as the process.
const TickClock& SystemTickClock();

// The ticks from `earlier` to `now`, the age of a stamp and the time since the last send. After a
// wrap (`now` below `earlier`) they are the ticks up to the counter's largest value plus `now`,
// one less than the distance modulo 2^32.
constexpr std::uint32_t TicksFrom(std::uint32_t earlier, std::uint32_t now) {
  return now >= earlier ? now - earlier : (UINT32_MAX - earlier) + now;
}

}  // namespace corvane
