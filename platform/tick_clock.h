// The 32-bit millisecond tick count that the engine measures ages and delays with. It wraps about
// every 49.7 days; code that subtracts ticks must allow for that. Tests replace the clock to
// exercise the wrap.
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

}  // namespace corvane
