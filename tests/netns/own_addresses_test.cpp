#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "platform/interfaces.h"
#include "platform/net_address.h"
#include "platform/stop_request.h"
#include "tests/netns/peer_namespace.h"

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

// A flood of changes, more than the subscription can queue, ends as the host's addresses: bounded
// by them, not by the changes seen.
TEST(OwnAddresses, AFloodOfChangesEndsAsTheHostsAddresses) {
  OwnAddresses own;
  own.Watch();
  ASSERT_GE(own.descriptor(), 0);
  const std::size_t before = own.table().size();
  test::FloodAddresses("10.10", 1000);
  Shell("ip addr add 10.10.9.9/32 dev lo");
  const StopRequest never;
  const int descriptor = own.descriptor();
  for (int wait = 0; wait < 200 && !own.table().Contains(IpAddress::Ipv4(10, 10, 9, 9)); ++wait) {
    never.WaitReadable({&descriptor, 1}, std::chrono::milliseconds(10));
    own.TakeChanges();  // each takes a bounded part
  }
  EXPECT_EQ(own.table().size(), before + 1);
  EXPECT_EQ(own.table().size(), ReadOwnAddressTable().size());
  Shell("ip addr flush dev lo scope global");
}

}  // namespace
}  // namespace corvane
