#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

#include "platform/interfaces.h"
#include "platform/net_address.h"
#include "platform/stop_request.h"

namespace corvane {
namespace {

void Shell(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }

TEST(OwnAddressTable, TakesEveryAddressOfBothFamilies) {
  for (int i = 1; i <= 40; ++i) {
    Shell("ip addr add 10.9.0." + std::to_string(i) + "/32 dev lo");
  }
  Shell("ip -6 addr add fd09::40/128 dev lo nodad");
  const OwnAddressTable table = ReadOwnAddressTable();
  EXPECT_TRUE(table.Contains(IpAddress::Ipv4(127, 0, 0, 1)));
  EXPECT_TRUE(table.Contains(IpAddress::Ipv4(10, 9, 0, 1)));
  EXPECT_TRUE(table.Contains(IpAddress::Ipv4(10, 9, 0, 40)));
  EXPECT_FALSE(table.Contains(IpAddress::Ipv4(10, 9, 0, 41)));
  EXPECT_TRUE(table.Contains(*ParseIpAddress("::1")));
  EXPECT_TRUE(table.Contains(*ParseIpAddress("fd09::40")));
  EXPECT_FALSE(table.Contains(*ParseIpAddress("fd09::41")));
  Shell("ip addr flush dev lo scope global");
  Shell("ip -6 addr flush dev lo scope global");
}

// Takes changes, waiting on the subscription, until `done` holds; false after 2 s. IPv6 addresses
// are announced a moment after the command that adds them returns.
bool TakeUntil(OwnAddresses& own, const std::function<bool(const OwnAddressTable&)>& done) {
  const StopRequest never;
  const int descriptor = own.descriptor();
  for (int wait = 0; wait < 200 && !done(own.table()); ++wait) {
    never.WaitReadable({&descriptor, 1}, std::chrono::milliseconds(10));
    own.TakeChanges();
  }
  return done(own.table());
}

// Changes are read from the subscription, and a flood that overflows it ends, after a fresh read of
// the table, as the host's addresses: bounded by them, not by the changes seen.
TEST(OwnAddresses, FollowTheHostThroughAFloodOfChanges) {
  const IpAddress ipv4 = IpAddress::Ipv4(10, 9, 1, 1), ipv6 = *ParseIpAddress("fd09::1:1");
  OwnAddresses own;
  own.Watch();
  ASSERT_GE(own.descriptor(), 0);
  const std::size_t before = own.table().size();
  Shell("ip addr add 10.9.1.1/32 dev lo && ip -6 addr add fd09::1:1/128 dev lo nodad");
  EXPECT_TRUE(TakeUntil(own, [&](const auto& t) { return t.Contains(ipv4) && t.Contains(ipv6); }));
  Shell("ip -6 addr del fd09::1:1/128 dev lo");
  EXPECT_TRUE(TakeUntil(own, [&](const auto& t) { return !t.Contains(ipv6); }));

  const std::string batch = testing::TempDir() + "/own_flood.batch";
  {
    std::ofstream flood(batch);
    for (const char* verb : {"add", "del"}) {
      for (int i = 0; i < 1000; ++i) {
        flood << "addr " << verb << " 10.10." << i / 250 << "." << i % 250 + 1 << "/32 dev lo\n";
      }
    }
    flood << "addr add 10.10.9.9/32 dev lo\n";
  }
  Shell("ip -batch " + batch);
  EXPECT_TRUE(
      TakeUntil(own, [](const auto& t) { return t.Contains(IpAddress::Ipv4(10, 10, 9, 9)); }));
  EXPECT_EQ(own.table().size(), before + 2);
  EXPECT_EQ(own.table().size(), ReadOwnAddressTable().size());
  EXPECT_FALSE(own.table().Contains(IpAddress::Ipv4(10, 10, 0, 1)));
  Shell("ip addr flush dev lo scope global");
}

}  // namespace
}  // namespace corvane
