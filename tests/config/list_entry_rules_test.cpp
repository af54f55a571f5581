#include "config/list_entry_rules.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

using Strings = std::vector<std::string>;

TEST(ListEntryRules, HostTextIsTakenAsTypedUpTo96Bytes) {
  EXPECT_FALSE(ParseHostText("").has_value());
  EXPECT_EQ(ParseHostText("not an address?"), "not an address?");
  EXPECT_EQ(ParseHostText(std::string(120, 'x')), std::string(96, 'x'));
}

TEST(ListEntryRules, DestinationsSayWhatTheirInterfacePartLacks) {
  const std::string kNeeds = " reaches one link only: add the interface, for example %eth0";
  const std::string kBad =
      " names no interface after the %: a name of up to 15 characters without spaces, or an index";
  const std::string long_name = "1.2.3.4%" + std::string(16, 'e');
  const std::pair<std::string, std::string> kCases[] = {
      {"fe80::1", "fe80::1" + kNeeds},
      {"febf::1", "febf::1" + kNeeds},
      {"ff12::1", "ff12::1" + kNeeds},
      {"ff01::1", "ff01::1" + kNeeds},
      {"fe80::1%3", ""},
      {"255.255.255.255%eth1.20", ""},
      {"fec0::1", ""},
      {"ff05::1", ""},
      {"%", "% names no address before the %"},
      {long_name, long_name + kBad},
      {"1.2.3.4%e 1", "1.2.3.4%e 1" + kBad},
      {"1.2.3.4%..", "1.2.3.4%.." + kBad},
      {"1.2.3.4%a:b", "1.2.3.4%a:b" + kBad},
  };
  for (const auto& [host, note] : kCases) EXPECT_EQ(DestinationHostNote(host), note) << host;
}

TEST(ListEntryRules, PrefixesAndPortsConvertWholeFieldsAndClamp) {
  EXPECT_EQ(ParsePrefix("24"), 24);
  EXPECT_EQ(ParsePrefix("abc"), 0);
  EXPECT_EQ(ParsePrefix("200"), 128);
  EXPECT_EQ(ParsePrefix("-5"), 0);
  EXPECT_EQ(ParsePrefix("24x"), 0);
  EXPECT_EQ(ParsePrefix(""), 0);
  EXPECT_EQ(ParsePrefix(" 16 "), 16);
  EXPECT_EQ(ParsePrefix("99999999999"), 0);  // does not convert
  EXPECT_EQ(ParsePort("9"), 9);
  EXPECT_EQ(ParsePort("70000"), 65535);
  EXPECT_EQ(ParsePort("+40000"), 40000);
  EXPECT_EQ(ParsePort("port"), 0);
}

TEST(ListEntryRules, PortRangesTakeTheFirstTwoRunsOfDigits) {
  EXPECT_EQ(ParsePortRange("8 - 80"), (PortRange{8, 80}));
  EXPECT_EQ(ParsePortRange("80"), (PortRange{80, 80}));
  EXPECT_EQ(ParsePortRange("80 - 8"), (PortRange{80, 8}));  // kept as entered
  EXPECT_EQ(ParsePortRange("70000"), (PortRange{65535, 65535}));
  EXPECT_EQ(ParsePortRange("no digits"), (PortRange{0, 0}));
  EXPECT_EQ(ParsePortRange("ports 10,20,30"), (PortRange{10, 20}));
  EXPECT_EQ(ParsePortRange("-5"), (PortRange{5, 5}));
  EXPECT_EQ(ParsePortRange("5 - 99999999999"), (PortRange{5, 5}));  // Last does not convert
  EXPECT_EQ(ParsePortRange("99999999999 - 7"), (PortRange{0, 7}));
}

TEST(ListEntryRules, HexBytesNeedExactlyTwelveDigits) {
  const std::array<std::uint8_t, 6> value{0x00, 0x11, 0x22, 0xAA, 0xBB, 0xCC};
  EXPECT_EQ(ParseHexBytes("00:11:22:aa:bb:cc"), value);
  EXPECT_EQ(ParseHexBytes("001122AABBCC"), value);
  EXPECT_EQ(ParseHexBytes("00-11-22-AA-BB-CC"), value);
  EXPECT_FALSE(ParseHexBytes("1:2:3").has_value());
  EXPECT_FALSE(ParseHexBytes("00:11:22:33:44:55:66").has_value());
  EXPECT_FALSE(ParseHexBytes("zz:zz:zz:zz:zz:zz").has_value());
  // Only the first 96 characters count.
  EXPECT_FALSE(ParseHexBytes(std::string(90, ' ') + "001122334455").has_value());
}

TEST(ListEntryRules, AReplacementPacketMayHaveNoPassword) {
  EXPECT_EQ(ParsePacketPassword("")->HasPassword, false);
  EXPECT_EQ(ParsePacketPassword("")->Password, MagicPassword{});
  const auto with = ParsePacketPassword("01:02:03:04:05:06");
  ASSERT_TRUE(with.has_value());
  EXPECT_TRUE(with->HasPassword);
  EXPECT_EQ(with->Password, (MagicPassword{1, 2, 3, 4, 5, 6}));
  EXPECT_FALSE(ParsePacketPassword("01:02").has_value());
}

TEST(ListEntryRules, RowTexts) {
  EXPECT_EQ(HostRow({"192.168.1.0", 24, 0}), (Strings{"192.168.1.0", "/24"}));
  EXPECT_EQ(DestinationRow({"255.255.255.255", 32, 9}), (Strings{"255.255.255.255", "/32", "9"}));
  EXPECT_EQ(PortRangeRow({8, 80}), Strings{"8 - 80"});
  EXPECT_EQ(PortRangeRow({80, 8}), Strings{"80 - 8"});
  EXPECT_EQ(PortRangeRow({80, 80}), Strings{"80"});
  EXPECT_EQ(HexRow({0x00, 0x11, 0x22, 0xAA, 0xBB, 0xCC}), Strings{"00:11:22:AA:BB:CC"});
  ReplaceByMacPacket packet{{1, 2, 3, 4, 5, 6}, {0xA, 0, 0, 0, 0, 0}, false, {"pc", 0, 7}};
  EXPECT_EQ(ReplacementPacketRow(packet), (Strings{"01:02:03:04:05:06", "", "pc", "/0", "7"}));
  packet.HasPassword = true;
  EXPECT_EQ(ReplacementPacketRow(packet)[1], "0A:00:00:00:00:00");
}

}  // namespace
}  // namespace corvane
