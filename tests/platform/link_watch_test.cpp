#include "platform/link_watch.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvane {
namespace {

TEST(EthernetSource, TakesTheSourceOfAWholeHeaderFromAStationOnly) {
  const std::vector<std::uint8_t> header = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x02,
                                            0x00, 0x5E, 0x10, 0x00, 0x02, 0x08, 0x06};
  const struct {
    const char* name;
    std::vector<std::uint8_t> frame;
    std::optional<LinkAddress> source;
  } kCases[] = {
      {"an announcement", header, LinkAddress{0x02, 0x00, 0x5E, 0x10, 0x00, 0x02}},
      {"one byte short", {header.begin(), header.end() - 1}, std::nullopt},
      {"empty", {}, std::nullopt},
      {"a group source",
       {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0, 0x5E, 0, 0, 1, 8, 0},
       std::nullopt},
      {"no source", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 8, 0}, std::nullopt},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(EthernetSource(c.frame), c.source);
  }
}

}  // namespace
}  // namespace corvane
