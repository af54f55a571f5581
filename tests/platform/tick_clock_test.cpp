#include "platform/tick_clock.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(TicksFrom, CountsAcrossTheWrapOneShortOfTheModularDistance) {
  struct Case {
    std::uint32_t earlier, now, ticks;
  };
  for (const Case& c :
       {Case{100, 150, 50}, Case{200, 500, 300}, Case{7, 7, 0}, Case{0xFFFFFFF0u, 10, 0x0Fu + 10},
        Case{10, 5, 0xFFFFFFFFu - 5}, Case{0xFFFFFFFFu, 0, 0}, Case{0xFFFFFFFFu, 1, 1}}) {
    EXPECT_EQ(TicksFrom(c.earlier, c.now), c.ticks) << c.earlier << " to " << c.now;
  }
}

}  // namespace
}  // namespace corvane
