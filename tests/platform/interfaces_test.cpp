#include "platform/interfaces.h"

#include <gtest/gtest.h>
#include <net/if.h>

namespace corvane {
namespace {

// An interface named by its number: numbers beyond 32 bits, which an unsigned long of 32-bit ARM
// cannot hold, name no interface rather than ending the program.
TEST(InterfaceIndex, NamesAndNumbers) {
  const std::uint32_t loopback = if_nametoindex("lo");
  ASSERT_NE(loopback, 0u);
  EXPECT_EQ(InterfaceIndex("lo"), loopback);
  EXPECT_EQ(InterfaceIndex(std::to_string(loopback)), loopback);
  for (const char* none : {"0", "4294967296", "99999999999", "999999999999999"}) {
    EXPECT_EQ(InterfaceIndex(none), 0u) << none;
  }
}

}  // namespace
}  // namespace corvane
