#include "engine/receive_filters.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/fakes.h"
#include "tests/support/packets.h"

namespace corvane {
namespace {

using test::FakeClock;
using test::FakeLookup;

constexpr MacAddress kMac{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
constexpr MagicPassword kPassword{0x10, 0x11, 0x12, 0x13, 0x14, 0x15};

class ReceiveFiltersTest : public ::testing::Test {
 protected:
  ReceiveFiltersTest() {
    settings_.DontRecvFromYourIp = false;
    own_ = OwnAddressTable({IpAddress::Ipv4(10, 0, 0, 1), *ParseIpAddress("fd00::1")});
  }

  // Whether a packet of `length` bytes from `sender`:`port` is ignored.
  bool Ignored(const char* sender, std::uint16_t port = 40000, std::size_t length = 102,
               bool broadcast = false, MacAddress mac = kMac) {
    return Reason(sender, port, length, broadcast, mac) != IgnoreReason::kNone;
  }
  IgnoreReason Reason(const char* sender, std::uint16_t port = 40000, std::size_t length = 102,
                      bool broadcast = false, MacAddress mac = kMac) {
    MagicPacket packet;
    const auto payload = test::MagicPayload(mac, length, 0x10);
    std::copy(payload.begin(), payload.end(), packet.bytes.begin());
    packet.length = payload.size();
    NormalizePassword(packet);
    Datagram datagram;
    datagram.length = packet.length;
    datagram.sender = {*ParseIpAddress(sender), port};
    datagram.broadcast = broadcast;
    ReceiveFilters filters(settings_, own_, cache_, stop_);
    return filters.Check(packet, datagram);
  }

  ProxyServerSettings settings_;
  OwnAddressTable own_;
  FakeClock clock_;
  FakeLookup lookup_;
  ResolverCache cache_{clock_, lookup_.Function()};
  StopRequest stop_;
};

TEST_F(ReceiveFiltersTest, WithNoFilterEveryPacketIsAccepted) {
  EXPECT_FALSE(Ignored("10.0.0.1", 9, 102, true));
  EXPECT_FALSE(Ignored("::1"));
}

TEST_F(ReceiveFiltersTest, BroadcastChecksApplyToIpv4AndOwnAddressChecksToBoth) {
  settings_.DontRecvFromBroadcastIp = true;
  EXPECT_TRUE(Ignored("192.168.1.5", 9, 102, /*broadcast=*/true));
  EXPECT_FALSE(Ignored("192.168.1.5", 9, 102, /*broadcast=*/false));
  EXPECT_FALSE(Ignored("fe80::5", 9, 102, /*broadcast=*/true));
  settings_.DontRecvFromYourIp = true;
  EXPECT_TRUE(Ignored("10.0.0.1"));
  EXPECT_FALSE(Ignored("10.0.0.2"));
  EXPECT_FALSE(Ignored("::ffff:10.0.0.1"));
  EXPECT_TRUE(Ignored("fd00::1"));
  EXPECT_FALSE(Ignored("fd00::2"));
}

TEST_F(ReceiveFiltersTest, TheFirstCheckThatIgnoresGivesTheReason) {
  lookup_.Answer("10.0.0.1", "10.0.0.1");
  const struct {
    bool ProxyServerSettings::*flag;
    IgnoreReason reason;
  } kChecks[] = {
      {&ProxyServerSettings::DontRecvFromBroadcastIp, IgnoreReason::kBroadcastArrival},
      {&ProxyServerSettings::DontRecvFromYourIp, IgnoreReason::kOwnAddress},
      {&ProxyServerSettings::DontRecvFromHosts, IgnoreReason::kSenderHost},
      {&ProxyServerSettings::RecvFromPorts, IgnoreReason::kSenderPort},
      {&ProxyServerSettings::DontRecvWithoutPassword, IgnoreReason::kPassword},
      {&ProxyServerSettings::RecvWithNextMacs, IgnoreReason::kMac},
  };
  settings_.DontRecvFromHostsList = {{"10.0.0.1", 32, 0}};
  // Turned on from the last check to the first: each time the earlier check fires.
  for (auto it = std::rbegin(kChecks); it != std::rend(kChecks); ++it) {
    settings_.*(it->flag) = true;
    EXPECT_EQ(Reason("10.0.0.1", 40000, 102, /*broadcast=*/true), it->reason);
  }
  EXPECT_EQ(IgnoreReasonText(IgnoreReason::kNone), "");
  EXPECT_EQ(IgnoreReasonText(IgnoreReason::kOwnAddress), "it came from an address of this host");
}

TEST_F(ReceiveFiltersTest, HostListsResolveEachEntryAndMatchByPrefix) {
  lookup_.Answer("office", "192.168.1.100");
  lookup_.Answer("v6", "", "fd00::1");
  settings_.RecvFromHosts = true;
  settings_.RecvFromHostsList = {{"unresolvable", 0, 0}, {"v6", 64, 0}, {"office", 24, 0}};
  EXPECT_FALSE(Ignored("192.168.1.7"));
  EXPECT_TRUE(Ignored("192.168.2.7"));
  EXPECT_FALSE(Ignored("fd00::abcd"));
  EXPECT_TRUE(Ignored("fd01::1"));
  // Each text was resolved once; the cache answered afterwards, the failure included.
  EXPECT_EQ(lookup_.questions("unresolvable"), 1);
  EXPECT_EQ(lookup_.questions("office"), 1);
}

TEST_F(ReceiveFiltersTest, DenyRunsBeforeAllow) {
  lookup_.Answer("10.1.1.1", "10.1.1.1");
  settings_.DontRecvFromHosts = true;
  settings_.DontRecvFromHostsList = {{"10.1.1.1", 32, 0}};
  settings_.RecvFromHosts = true;
  settings_.RecvFromHostsList = {{"10.1.1.1", 32, 0}};
  EXPECT_TRUE(Ignored("10.1.1.1"));
  EXPECT_TRUE(Ignored("10.1.1.2"));  // on no list: the allow list ignores it
}

TEST_F(ReceiveFiltersTest, AnEmptyOrUnresolvableAllowListIgnoresEverything) {
  settings_.RecvFromHosts = true;
  EXPECT_TRUE(Ignored("10.0.0.5"));
  settings_.RecvFromHostsList = {{"nowhere", 0, 0}};
  EXPECT_TRUE(Ignored("10.0.0.5"));
  EXPECT_TRUE(Ignored("::1"));
  settings_ = ProxyServerSettings{};
  settings_.DontRecvFromYourIp = false;
  settings_.RecvFromPorts = true;
  EXPECT_TRUE(Ignored("10.0.0.5"));
  settings_.RecvFromPorts = false;
  settings_.RecvWithNextMacs = true;
  EXPECT_TRUE(Ignored("10.0.0.5"));
}

TEST_F(ReceiveFiltersTest, PortRangesIncludeBothEnds) {
  settings_.RecvFromPorts = true;
  settings_.RecvFromPortsList = {{40000, 40009}};
  EXPECT_FALSE(Ignored("10.0.0.5", 40000));
  EXPECT_FALSE(Ignored("10.0.0.5", 40009));
  EXPECT_TRUE(Ignored("10.0.0.5", 39999));
  EXPECT_TRUE(Ignored("10.0.0.5", 40010));
  settings_.RecvFromPorts = false;
  settings_.DontRecvFromPorts = true;
  settings_.DontRecvFromPortsList = {{9, 9}, {1000, 2000}};
  EXPECT_TRUE(Ignored("10.0.0.5", 9));
  EXPECT_TRUE(Ignored("10.0.0.5", 1500));
  EXPECT_FALSE(Ignored("10.0.0.5", 10));
}

TEST_F(ReceiveFiltersTest, PasswordChecksCountA106BytePacketAsPassworded) {
  settings_.DontRecvWithoutPassword = true;
  EXPECT_FALSE(Ignored("10.0.0.5", 9, 106));
  EXPECT_TRUE(Ignored("10.0.0.5", 9, 107));
  settings_.DontRecvWithoutPassword = false;
  settings_.DontRecvWithPassword = true;
  EXPECT_TRUE(Ignored("10.0.0.5", 9, 106));
  EXPECT_FALSE(Ignored("10.0.0.5", 9, 102));
}

TEST_F(ReceiveFiltersTest, PasswordListsLookAtPasswordedPacketsOnly) {
  settings_.DontRecvWithNextPasswords = true;
  settings_.DontRecvWithNextPasswordsList = {kPassword};
  EXPECT_TRUE(Ignored("10.0.0.5", 9, 108));   // bytes 102.. count up from 0x10
  EXPECT_FALSE(Ignored("10.0.0.5", 9, 106));  // 10:11:12:13:00:00
  EXPECT_FALSE(Ignored("10.0.0.5", 9, 102));
  settings_.DontRecvWithNextPasswords = false;
  settings_.RecvWithNextPasswords = true;
  settings_.RecvWithNextPasswordsList = {{0x10, 0x11, 0x12, 0x13, 0x00, 0x00}};
  EXPECT_FALSE(Ignored("10.0.0.5", 9, 106));
  EXPECT_TRUE(Ignored("10.0.0.5", 9, 108));
  EXPECT_TRUE(Ignored("10.0.0.5", 9, 102));  // no password: stays ignored
}

TEST_F(ReceiveFiltersTest, MacListsLookAtTheTargetMac) {
  const MacAddress other{1, 2, 3, 4, 5, 6};
  settings_.DontRecvWithNextMacs = true;
  settings_.DontRecvWithNextMacsList = {other};
  EXPECT_TRUE(Ignored("10.0.0.5", 9, 102, false, other));
  EXPECT_FALSE(Ignored("10.0.0.5", 9, 102, false, kMac));
  settings_.DontRecvWithNextMacs = false;
  settings_.RecvWithNextMacs = true;
  settings_.RecvWithNextMacsList = {kMac};
  EXPECT_FALSE(Ignored("10.0.0.5", 9, 102, false, kMac));
  EXPECT_TRUE(Ignored("10.0.0.5", 9, 102, false, other));
}

TEST_F(ReceiveFiltersTest, AnIgnoringCheckEndsTheWalk) {
  settings_.DontRecvFromPorts = true;
  settings_.DontRecvFromPortsList = {{9, 9}};
  settings_.RecvFromHosts = false;
  settings_.DontRecvFromHosts = true;
  settings_.DontRecvFromHostsList = {{"never asked", 0, 0}};
  settings_.DontRecvFromBroadcastIp = true;
  EXPECT_TRUE(Ignored("10.0.0.5", 9, 102, /*broadcast=*/true));
  EXPECT_EQ(lookup_.questions(), 0);
}

TEST_F(ReceiveFiltersTest, AStopEndsTheHostWalk) {
  settings_.DontRecvFromHosts = true;
  settings_.DontRecvFromHostsList = {{"a", 0, 0}, {"b", 0, 0}};
  stop_.Request();
  Ignored("10.0.0.5");
  EXPECT_EQ(lookup_.questions(), 0);
}

}  // namespace
}  // namespace corvane
