#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/interfaces.h"
#include "platform/net_address.h"

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

}  // namespace
}  // namespace corvane
