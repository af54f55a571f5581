#include "platform/host_lookup.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/interfaces.h"

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

// The interface part is checked before anything is resolved: a text whose interface does not
// exist, or could not exist, resolves to nothing, never to the address alone.
TEST(HostLookup, AnInterfacePartNamesTheInterfaceOrResolvesToNothing) {
  ASSERT_TRUE(LoadAddressInfoEntryPoints());
  const std::uint32_t lo = InterfaceIndex("lo");
  ASSERT_NE(lo, 0u);
  const struct {
    std::string text;
    bool ipv4, ipv6;
    std::uint32_t interface;
  } kCases[] = {
      {"127.0.0.1%lo", true, false, lo},
      {"fe80::1%lo", false, true, lo},
      {"ff02::1%" + std::to_string(lo), false, true, lo},
      {"fe80::1", false, true, 0},
      {"%", false, false, 0},
      {"%lo", false, false, 0},
      {"fe80::1%", false, false, 0},
      {"10.0.0.1%lo" + std::string(18, 'o'), false, false, 0},
      {"10.0.0.1%l o", false, false, 0},
      {"10.0.0.1%nosuch0", false, false, 0},
      {"10.0.0.1%lo%lo", false, false, 0},
      {"10.0.0.1%4000000", false, false, 0},
      {"10.0.0.1%4294967296", false, false, 0},
      {std::string("10.0.0.1%lo\0x", 13), false, false, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    const HostAddresses found = LookUpHost(c.text);
    EXPECT_EQ(found.has_ipv4, c.ipv4);
    EXPECT_EQ(found.has_ipv6, c.ipv6);
    EXPECT_EQ(found.interface_index, c.interface);
    EXPECT_EQ(found.ipv6_scope, c.ipv6 ? c.interface : 0u);
  }
}

}  // namespace
}  // namespace corvane
