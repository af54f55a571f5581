#include "engine/packet_sender.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/support/fakes.h"
#include "tests/support/loopback.h"
#include "tests/support/packets.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using test::Loopback;
using test::MagicPayload;

constexpr MacAddress kMac{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
constexpr MacAddress kActionMac{0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};

MagicPacket Received(std::size_t length, MacAddress mac = kMac) {
  MagicPacket packet;
  const auto payload = MagicPayload(mac, length, 0x10);
  std::copy(payload.begin(), payload.end(), packet.bytes.begin());
  packet.length = payload.size();
  NormalizePassword(packet);
  return packet;
}

class PacketSenderTest : public ::testing::Test {
 protected:
  PacketSenderTest() {
    settings_.IpMode = IpMode::UseIPv4IPv6;
    settings_.RecvPort = test::FreeUdpPort();
    settings_.SendPort = test::FreeUdpPort();
    lookup_.Answer("v4", "127.0.0.1");
    lookup_.Answer("v6", "", "::1");
    lookup_.Answer("both", "127.0.0.1", "::1");
  }

  void Open() { ASSERT_EQ(sockets_.Open(settings_).status, EngineStatus::kSocketsReady); }

  void Dispatch(const MagicPacket& packet, AddressFamily arrival = AddressFamily::kIpv4) {
    PacketSender sender(settings_, sockets_, cache_, host_, counters_, SystemTickClock());
    sender.Dispatch(packet, arrival);
  }

  HostEntry To(const char* host, const UdpSocket& sink) { return {host, 32, *sink.LocalPort()}; }

  // The next datagram at `sink`, or an empty payload when none comes.
  std::vector<std::uint8_t> Next(UdpSocket& sink, std::chrono::milliseconds wait = 2s) {
    auto received = test::ReceiveWithin(sink, wait);
    return received ? received->payload : std::vector<std::uint8_t>{};
  }

  ProxyServerSettings settings_;
  ProxySockets sockets_;
  test::FakeClock clock_;
  test::FakeLookup lookup_;
  ResolverCache cache_{clock_, lookup_.Function()};
  test::RecordingHost host_;
  ProxyCounters counters_;
  UdpSocket sink4_ = test::PeerSocket(AddressFamily::kIpv4);
  UdpSocket sink6_ = test::PeerSocket(AddressFamily::kIpv6);
};

TEST_F(PacketSenderTest, EveryDefaultDestinationGetsTheRewrittenPacketFromTheSendPort) {
  settings_.ReplaceMac = true;
  settings_.ReplaceMacValue = kActionMac;
  settings_.RemovePassword = true;
  settings_.SendToHostsList = {To("v4", sink4_), To("v6", sink6_)};
  Open();
  Dispatch(Received(120));

  const auto expected = MagicPayload(kActionMac, 102);
  auto at4 = test::ReceiveWithin(sink4_, 2s);
  ASSERT_TRUE(at4.has_value());
  EXPECT_EQ(at4->payload, expected);
  EXPECT_EQ(at4->sender.port, settings_.SendPort);
  EXPECT_EQ(Next(sink6_), expected);
  ASSERT_EQ(host_.sent.size(), 2u);
  EXPECT_EQ(host_.sent[0].to, Loopback(AddressFamily::kIpv4, *sink4_.LocalPort()));
  EXPECT_EQ(host_.sent[1].payload, expected);
}

TEST_F(PacketSenderTest, WithoutRewriteFlagsTheBytesLeaveAsTheyCame) {
  settings_.SendToHostsList = {To("v4", sink4_)};
  Open();
  Dispatch(Received(1000));
  EXPECT_EQ(Next(sink4_), MagicPayload(kMac, 1000, 0x10));
  Dispatch(Received(107));
  EXPECT_EQ(Next(sink4_), MagicPayload(kMac, 107, 0x10));
  Dispatch(Received(106));  // widened on arrival
  auto widened = MagicPayload(kMac, 108, 0x10);
  widened[106] = widened[107] = 0;
  EXPECT_EQ(Next(sink4_), widened);
}

TEST_F(PacketSenderTest, AnActionReplacesThePacketAndTheFirstActionWins) {
  ReplaceByMacPacket with_password{kActionMac, {1, 2, 3, 4, 5, 6}, true, To("v4", sink4_)};
  ReplaceByMacPacket without{kActionMac, {9, 9, 9, 9, 9, 9}, false, To("v6", sink6_)};
  settings_.ActionsByMacsList = {{kMac, {with_password, without}}, {kMac, {without}}};
  settings_.SendToHostsList = {To("v4", sink4_)};
  settings_.ReplaceMac = true;  // never applies to an action's packets
  settings_.ReplaceMacValue = {7, 7, 7, 7, 7, 7};
  Open();
  Dispatch(Received(120));

  auto expected = MagicPayload(kActionMac, 108);
  std::copy(with_password.Password.begin(), with_password.Password.end(), expected.begin() + 102);
  EXPECT_EQ(Next(sink4_), expected);
  EXPECT_EQ(Next(sink6_), MagicPayload(kActionMac, 102));
  EXPECT_TRUE(Next(sink4_, 50ms).empty());  // the received packet itself is never sent
  EXPECT_EQ(host_.sent.size(), 2u);
}

TEST_F(PacketSenderTest, TheArrivalFamilyChoosesTheDestinationAddress) {
  settings_.SendToHostsList = {{"both", 32, *sink4_.LocalPort()}};
  Open();
  Dispatch(Received(102), AddressFamily::kIpv4);
  EXPECT_FALSE(Next(sink4_).empty());
  settings_.SendToHostsList = {{"both", 32, *sink6_.LocalPort()}};
  Dispatch(Received(102), AddressFamily::kIpv6);
  EXPECT_FALSE(Next(sink6_).empty());
  // A name with only an IPv6 answer carries an IPv4 packet over IPv6.
  settings_.SendToHostsList = {To("v6", sink6_)};
  Dispatch(Received(102), AddressFamily::kIpv4);
  EXPECT_FALSE(Next(sink6_).empty());
}

TEST_F(PacketSenderTest, AFamilyWithoutSendSocketIsSkippedSilently) {
  settings_.IpMode = IpMode::UseIPv4;
  settings_.SendToHostsList = {To("v6", sink6_), To("v4", sink4_)};
  Open();
  Dispatch(Received(102));
  EXPECT_FALSE(Next(sink4_).empty());
  EXPECT_TRUE(Next(sink6_, 50ms).empty());
  EXPECT_EQ(host_.sent.size(), 1u);
  EXPECT_TRUE(host_.resolve_errors.empty() && host_.send_errors.empty());
}

TEST_F(PacketSenderTest, UnresolvableDestinationsAreReportedOncePerPacket) {
  settings_.SendToHostsList = {{"nowhere", 32, 9}, To("v4", sink4_), {"nowhere", 24, 9}};
  Open();
  Dispatch(Received(102));
  Dispatch(Received(102));
  EXPECT_EQ(host_.resolve_errors,
            (std::vector<std::string>{"nowhere", "nowhere", "nowhere", "nowhere"}));
  EXPECT_EQ(lookup_.questions("nowhere"), 1);  // the failure is cached
  EXPECT_EQ(host_.sent.size(), 2u);
  EXPECT_EQ(counters_.Read().resolve_failures, 4u);
  EXPECT_EQ(counters_.Read().sent, 2u);
}

TEST_F(PacketSenderTest, NothingToDoWithoutDestinationsOrAction) {
  Open();
  Dispatch(Received(102));
  EXPECT_TRUE(host_.sent.empty() && host_.resolve_errors.empty() && host_.send_errors.empty());
}

TEST_F(PacketSenderTest, ASendTheSystemRefusesIsReportedAndTheNextGoesOn) {
  settings_.SendToHostsList = {{"v4", 32, 0}, To("v4", sink4_)};  // port 0 cannot be sent to
  Open();
  Dispatch(Received(102));
  ASSERT_EQ(host_.send_errors.size(), 1u);
  EXPECT_EQ(host_.send_errors[0], Loopback(AddressFamily::kIpv4, 0));
  EXPECT_FALSE(Next(sink4_).empty());
}

TEST_F(PacketSenderTest, TheSendDelaySpacesSendsAcrossDestinationsAndPackets) {
  settings_.SendDelay = true;
  settings_.SendDelayTime = 100;
  ReplaceByMacPacket packet{kActionMac, {}, false, To("v4", sink4_)};
  settings_.ActionsByMacsList = {{kMac, {packet, packet, packet}}};
  Open();
  PacketSender sender(settings_, sockets_, cache_, host_, counters_, SystemTickClock());
  std::this_thread::sleep_for(110ms);  // a quiet start: the first send leaves at once
  const auto start = std::chrono::steady_clock::now();
  sender.Dispatch(Received(102), AddressFamily::kIpv4);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(host_.sent.size(), 3u);
  // Two waits of 100 ms; the tick clock moves in steps of a few milliseconds.
  EXPECT_GE(took, 190ms);
  EXPECT_LT(took, 1s);
}

TEST_F(PacketSenderTest, AStopEndsTheSendDelayAtOnceAndNothingMoreIsSent) {
  settings_.SendDelay = true;
  settings_.SendDelayTime = 10000;
  settings_.SendToHostsList = {To("v4", sink4_), To("v4", sink4_)};
  Open();
  PacketSender sender(settings_, sockets_, cache_, host_, counters_, SystemTickClock());
  std::thread stopper([&] {
    std::this_thread::sleep_for(50ms);
    host_.stop_.Request();
  });
  const auto start = std::chrono::steady_clock::now();
  sender.Dispatch(Received(102), AddressFamily::kIpv4);
  stopper.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_TRUE(host_.sent.empty());  // the first waited out a delay counted from the start
}

}  // namespace
}  // namespace corvane
