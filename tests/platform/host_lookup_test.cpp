#include "platform/host_lookup.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

#include "platform/number_text.h"

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

// Numbers read from text: a number that does not fit is no number, on every build, and never an
// exception (the interface index after "%" once ended the thread on a 32-bit build).
TEST(NumberText, ReadsWholeDecimalNumbersThatFit) {
  const struct {
    const char* text;
    std::optional<std::uint32_t> number;
  } cases[] = {
      {"1", 1},           {"4294967295", 4294967295u},
      {"4294967296", {}}, {"99999999999", {}},
      {"", {}},           {"-1", {}},
      {"+1", {}},         {" 1", {}},
      {"0x10", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecimalNumber<std::uint32_t>(c.text), c.number) << c.text;
    // The loopback interface is index 1 in every network namespace; 4294967295 names none.
    const HostAddresses found = LookUpHost(std::string("127.0.0.1%") + c.text);
    EXPECT_EQ(found.interface_index, c.number == 1u ? 1u : 0u) << c.text;
    EXPECT_EQ(found.failure, c.number == 1u ? "" : "no such interface") << c.text;
  }
}

}  // namespace
}  // namespace corvane
