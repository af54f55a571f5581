#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/interfaces.h"
#include "platform/net_address.h"

namespace corvane {
namespace {

void Shell(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }

TEST(OwnAddressTable, TakesTheFirst32Ipv4RowsInOrder) {
  for (int i = 1; i <= 40; ++i) {
    Shell("ip addr add 10.9.0." + std::to_string(i) + "/32 dev lo");
  }
  const OwnAddressTable table = ReadOwnAddressTable();
  ASSERT_EQ(table.count, 32u);
  EXPECT_EQ(table.addresses[0], IpAddress::Ipv4(127, 0, 0, 1).Ipv4HostOrder());
  EXPECT_EQ(table.addresses[1], IpAddress::Ipv4(10, 9, 0, 1).Ipv4HostOrder());
  EXPECT_EQ(table.addresses[31], IpAddress::Ipv4(10, 9, 0, 31).Ipv4HostOrder());
  EXPECT_TRUE(table.Contains(IpAddress::Ipv4(10, 9, 0, 31).Ipv4HostOrder()));
  EXPECT_FALSE(table.Contains(IpAddress::Ipv4(10, 9, 0, 32).Ipv4HostOrder()));
  Shell("ip addr flush dev lo scope global");
}

}  // namespace
}  // namespace corvane
