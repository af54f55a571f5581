#include "engine/host_address.h"

#include <gtest/gtest.h>

#include <cstring>

namespace corvane {
namespace {

IpAddress Address(const char* text) { return *ParseIpAddress(text); }

// The answer the resolver gives for a numeric text.
ResolvedHost Answer(const char* ipv4, const char* ipv6 = nullptr) {
  ResolvedHost answer;
  if (ipv4 != nullptr) {
    std::memcpy(answer.Addresses.ipv4.data(), Address(ipv4).bytes.data(), 4);
    answer.Addresses.has_ipv4 = true;
  }
  if (ipv6 != nullptr) {
    answer.Addresses.ipv6 = Address(ipv6).bytes;
    answer.Addresses.ipv6_scope = 3;
    answer.Addresses.has_ipv6 = true;
  }
  return answer;
}

TEST(SenderMatches, Ipv4PrefixesSelectANetworkAndZeroMeansOneAddress) {
  const ResolvedHost entry = Answer("192.168.1.100");
  EXPECT_TRUE(SenderMatches(Address("192.168.1.77"), entry, 24));
  EXPECT_FALSE(SenderMatches(Address("192.168.2.77"), entry, 24));
  EXPECT_FALSE(SenderMatches(Address("192.168.1.77"), entry, 32));
  EXPECT_FALSE(SenderMatches(Address("192.168.1.77"), entry, 0));
  EXPECT_TRUE(SenderMatches(Address("192.168.1.100"), entry, 0));
  EXPECT_TRUE(SenderMatches(Address("192.168.1.100"), entry, 40));  // like 32
  EXPECT_FALSE(SenderMatches(Address("192.168.1.101"), entry, 40));
  EXPECT_TRUE(SenderMatches(Address("192.255.0.1"), entry, 8));
  EXPECT_TRUE(SenderMatches(Address("193.0.0.0"), entry, 1));
  EXPECT_FALSE(SenderMatches(Address("64.0.0.0"), entry, 1));
  EXPECT_TRUE(SenderMatches(Address("192.168.1.101"), Answer("192.168.1.100"), 31));
}

TEST(SenderMatches, Ipv6PrefixesCompareBitsMostSignificantFirst) {
  const ResolvedHost entry = Answer(nullptr, "fe80::30c:6eff:fec7:d8a");
  EXPECT_TRUE(SenderMatches(Address("fe80::1"), entry, 64));
  EXPECT_FALSE(SenderMatches(Address("fe80::1"), entry, 128));
  EXPECT_FALSE(SenderMatches(Address("fe80::1"), entry, 0));
  EXPECT_TRUE(SenderMatches(Address("fe80::30c:6eff:fec7:d8a"), entry, 0));
  EXPECT_FALSE(SenderMatches(Address("fe81::1"), entry, 16));
  EXPECT_TRUE(SenderMatches(Address("fe81::1"), entry, 15));  // differs in bit 15 only
  EXPECT_TRUE(SenderMatches(Address("febf::1"), entry, 10));
  EXPECT_FALSE(SenderMatches(Address("fec0::1"), entry, 10));
}

TEST(SenderMatches, AnEntryTakesPartOnlyWithAnAnswerOfTheSendersFamily) {
  for (std::uint8_t prefix : {0, 8, 32, 128}) {
    EXPECT_FALSE(SenderMatches(Address("127.0.0.1"), Answer(nullptr, "::1"), prefix));
    EXPECT_FALSE(SenderMatches(Address("::1"), Answer("127.0.0.1"), prefix));
    EXPECT_FALSE(SenderMatches(Address("127.0.0.1"), ResolvedHost{}, prefix));
  }
  EXPECT_TRUE(SenderMatches(Address("::1"), Answer("127.0.0.1", "::1"), 128));
}

TEST(DestinationOf, Ipv4PrefixesGiveTheDirectedBroadcast) {
  const ResolvedHost entry = Answer("192.168.1.100");
  const auto to = [&](std::uint8_t prefix) {
    return AddressToString(DestinationOf(entry, prefix, 9, AddressFamily::kIpv4)->address);
  };
  EXPECT_EQ(to(0), "255.255.255.255");
  EXPECT_EQ(to(8), "192.255.255.255");
  EXPECT_EQ(to(16), "192.168.255.255");
  EXPECT_EQ(to(24), "192.168.1.255");
  EXPECT_EQ(to(31), "192.168.1.101");
  EXPECT_EQ(to(32), "192.168.1.100");
  EXPECT_EQ(to(128), "192.168.1.100");
  EXPECT_EQ(DestinationOf(entry, 24, 4000, AddressFamily::kIpv4)->port, 4000);
  EXPECT_EQ(AddressToString(
                DestinationOf(Answer("255.255.255.255"), 32, 9, AddressFamily::kIpv4)->address),
            "255.255.255.255");
}

TEST(DestinationOf, Ipv6IgnoresThePrefixAndTheScope) {
  const auto to =
      DestinationOf(Answer(nullptr, "fe80::30c:6eff:fec7:d8a"), 64, 9, AddressFamily::kIpv6);
  ASSERT_TRUE(to.has_value());
  EXPECT_EQ(to->address, Address("fe80::30c:6eff:fec7:d8a"));
  EXPECT_EQ(to->address.scope_id, 0u);
}

TEST(DestinationOf, TheArrivalFamilyIsPreferredAndTheOtherServesWhenAlone) {
  const ResolvedHost both = Answer("10.0.0.1", "fd00::1");
  EXPECT_EQ(DestinationOf(both, 32, 9, AddressFamily::kIpv4)->address.family, AddressFamily::kIpv4);
  EXPECT_EQ(DestinationOf(both, 32, 9, AddressFamily::kIpv6)->address.family, AddressFamily::kIpv6);
  EXPECT_EQ(DestinationOf(Answer(nullptr, "fd00::1"), 32, 9, AddressFamily::kIpv4)->address.family,
            AddressFamily::kIpv6);
  EXPECT_EQ(DestinationOf(Answer("10.0.0.1"), 32, 9, AddressFamily::kIpv6)->address.family,
            AddressFamily::kIpv4);
  EXPECT_FALSE(DestinationOf(ResolvedHost{}, 32, 9, AddressFamily::kIpv4).has_value());
}

TEST(IsOwnAddress, ComparesSendersOfBothFamiliesExactly) {
  const OwnAddressTable own({Address("10.0.0.9"), Address("fd00::1"), Address("10.0.0.1")});
  EXPECT_TRUE(IsOwnAddress(Address("10.0.0.1"), own));
  EXPECT_TRUE(IsOwnAddress(Address("10.0.0.9"), own));
  EXPECT_FALSE(IsOwnAddress(Address("10.0.0.2"), own));
  EXPECT_FALSE(IsOwnAddress(Address("::ffff:10.0.0.1"), own));
  EXPECT_FALSE(IsOwnAddress(Address("::a00:1"), own));  // the IPv4 bytes as an IPv6 address
  EXPECT_TRUE(IsOwnAddress(IpAddress::Ipv6(Address("fd00::1").bytes, 7), own));  // any scope
  EXPECT_FALSE(IsOwnAddress(Address("fd00::2"), own));
}

TEST(OwnAddressTable, AnAddressOnTwoInterfacesStaysOwnUntilBothLoseIt) {
  OwnAddressTable own;
  for (std::uint32_t interface_index : {2, 3, 3}) own.Add(Address("fe80::1"), interface_index);
  own.Remove(Address("fe80::1"), 2);
  own.Remove(Address("fe80::1"), 9);  // never held there
  EXPECT_TRUE(own.Contains(Address("fe80::1")));
  own.Remove(Address("fe80::1"), 3);
  EXPECT_EQ(own.size(), 0u);
}

}  // namespace
}  // namespace corvane
