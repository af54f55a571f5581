#include "platform/host_lookup.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

// Numeric texts only: a name could make the system ask a real DNS server.
TEST(HostLookup, NumericTextsResolveToThemselves) {
  ASSERT_TRUE(LoadAddressInfoEntryPoints());
  const HostAddresses ipv4 = LookUpHost("192.168.1.100");
  EXPECT_TRUE(ipv4.has_ipv4);
  EXPECT_FALSE(ipv4.has_ipv6);
  EXPECT_EQ(ipv4.ipv4, (std::array<std::uint8_t, 4>{192, 168, 1, 100}));
  const HostAddresses ipv6 = LookUpHost("fe80::30c:6eff:fec7:d8a");
  EXPECT_FALSE(ipv6.has_ipv4);
  ASSERT_TRUE(ipv6.has_ipv6);
  EXPECT_EQ(ipv6.ipv6[0], 0xFE);
  EXPECT_EQ(ipv6.ipv6[15], 0x8A);
}

TEST(HostLookup, WithoutAddressInfoOnlyIpv4CanBeFound) {
  ReleaseAddressInfoEntryPoints();
  EXPECT_FALSE(AddressInfoEntryPointsLoaded());
  EXPECT_TRUE(LookUpHost("10.1.2.3").has_ipv4);
  const HostAddresses ipv6 = LookUpHost("::1");
  EXPECT_FALSE(ipv6.has_ipv4 || ipv6.has_ipv6);
  EXPECT_TRUE(LoadAddressInfoEntryPoints());
  EXPECT_TRUE(LookUpHost("::1").has_ipv6);
}

}  // namespace
}  // namespace corvane
