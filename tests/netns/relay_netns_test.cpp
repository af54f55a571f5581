// The relay across two network namespaces joined by a veth pair: broadcasts that arrive, own
// addresses, broadcasts that leave, and host names from the test's own hosts file.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "config/list_entry_rules.h"
#include "engine/magic_packet.h"
#include "platform/host_lookup.h"
#include "tests/netns/peer_namespace.h"
#include "tests/support/fake_window.h"
#include "tests/support/loopback.h"
#include "tests/support/packets.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using test::MagicPayload;
using test::Recorded;

const Endpoint kHere4{IpAddress::Ipv4(10, 77, 0, 1), 0};
const MacAddress kLimited{1, 1, 1, 1, 1, 1}, kDirected{2, 2, 2, 2, 2, 2},
    kUnicast{3, 3, 3, 3, 3, 3}, kMarker{4, 4, 4, 4, 4, 4};

Endpoint At(const char* address, std::uint16_t port) { return {*ParseIpAddress(address), port}; }

class TwoHostsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { hosts_ = new test::TwoHosts; }
  static void TearDownTestSuite() {
    delete hosts_;
    hosts_ = nullptr;
  }

  void TearDown() override {
    for (auto& thread : threads_) {
      thread->Terminate();
      EXPECT_TRUE(thread->WaitUntilFinished(5s));
    }
  }

  ProxyServerSettings Proxy(IpMode mode = IpMode::UseIPv4) {
    ProxyServerSettings settings = *NewProxyServerSettings("netns");
    settings.IpMode = mode;
    settings.RecvPort = settings.SendPort = test::FreeUdpPort();
    settings.DontRecvFromYourIp = false;
    return settings;
  }

  void Start(const ProxyServerSettings& settings) {
    threads_.push_back(window_->StartServer(window_->AddServer(settings)));
  }

  // Whether the received row of the packet waking `mac` says "ignored" (it must exist).
  bool IgnoredRow(const MacAddress& mac) {
    for (const EngineReport& report : window_->recorded().packets) {
      if (report.ReportReceived && report.ReportMac == mac) return report.ReportIgnored;
    }
    ADD_FAILURE() << "no row for " << HexText(mac);
    return false;
  }

  bool WaitForMarker() {
    return window_->WaitUntil([](const Recorded& r) {
      for (const EngineReport& report : r.packets) {
        if (report.ReportMac == kMarker) return true;
      }
      return false;
    });
  }

  static test::TwoHosts* hosts_;
  std::shared_ptr<test::FakeWindow> window_ = test::FakeWindow::Create();
  std::vector<std::shared_ptr<WolServerThread>> threads_;
};

test::TwoHosts* TwoHostsTest::hosts_ = nullptr;

TEST_F(TwoHostsTest, BroadcastArrivalsAreIgnoredAndUnicastIsNot) {
  ProxyServerSettings settings = Proxy();
  settings.DontRecvFromBroadcastIp = true;
  Start(settings);
  const std::uint16_t port = settings.RecvPort;
  UdpSocket peer = hosts_->peer.OpenSocket(AddressFamily::kIpv4);
  ASSERT_TRUE(
      test::SendUntilReported(*window_, peer, MagicPayload(kUnicast), At("10.77.0.1", port)));
  test::Send(peer, MagicPayload(kLimited), At("255.255.255.255", port));
  test::Send(peer, MagicPayload(kDirected), At("10.77.0.255", port));
  test::Send(peer, MagicPayload(kMarker), At("10.77.0.1", port));
  ASSERT_TRUE(WaitForMarker());
  EXPECT_TRUE(IgnoredRow(kLimited));
  EXPECT_TRUE(IgnoredRow(kDirected));
  EXPECT_FALSE(IgnoredRow(kUnicast));
  EXPECT_FALSE(IgnoredRow(kMarker));
  for (const EngineReport& report : window_->recorded().packets) {
    if (report.ReportReceived && report.ReportMac == kLimited) {
      EXPECT_EQ(report.ReportIgnoreReason, IgnoreReason::kBroadcastArrival);
    }
  }
}

TEST_F(TwoHostsTest, WithoutTheBroadcastFilterBroadcastsAreAccepted) {
  ProxyServerSettings settings = Proxy();
  Start(settings);
  UdpSocket peer = hosts_->peer.OpenSocket(AddressFamily::kIpv4);
  ASSERT_TRUE(test::SendUntilReported(*window_, peer, MagicPayload(kDirected),
                                      At("10.77.0.255", settings.RecvPort)));
  EXPECT_FALSE(IgnoredRow(kDirected));
}

TEST_F(TwoHostsTest, PacketsFromTheHostsOwnAddressesAreIgnored) {
  ProxyServerSettings settings = Proxy();
  settings.DontRecvFromYourIp = true;
  Start(settings);
  const std::uint16_t port = settings.RecvPort;
  UdpSocket peer = hosts_->peer.OpenSocket(AddressFamily::kIpv4);
  ASSERT_TRUE(
      test::SendUntilReported(*window_, peer, MagicPayload(kUnicast), At("10.77.0.1", port)));
  UdpSocket here = test::PeerSocket(AddressFamily::kIpv4);
  test::Send(here, MagicPayload(kDirected), At("10.77.0.1", port));  // from 10.77.0.1 itself
  test::Send(here, MagicPayload(kLimited), At("127.0.0.1", port));   // from 127.0.0.1
  test::Send(peer, MagicPayload(kMarker), At("10.77.0.1", port));
  ASSERT_TRUE(WaitForMarker());
  EXPECT_FALSE(IgnoredRow(kUnicast));
  EXPECT_TRUE(IgnoredRow(kDirected));
  EXPECT_TRUE(IgnoredRow(kLimited));
}

// A proxy server whose destination is one of this host's own addresses receives its own packet
// back; the own-address filter stops it after one copy, for IPv6 and for an address far down the
// interface list alike.
TEST_F(TwoHostsTest, OwnAddressDestinationsGiveOneCopy) {
  for (int i = 1; i <= 40; ++i)
    test::Shell("ip addr add 10.78.0." + std::to_string(i) + "/32 dev lo");
  const struct {
    IpMode mode;
    const char* destination;
    const char* arrival;
  } kCases[] = {{IpMode::UseIPv6, "fd77::1", "fd77::1"},
                {IpMode::UseIPv4, "10.78.0.40", "10.77.0.1"}};
  UdpSocket peer4 = hosts_->peer.OpenSocket(AddressFamily::kIpv4);
  UdpSocket peer6 = hosts_->peer.OpenSocket(AddressFamily::kIpv6);
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.destination);
    window_ = test::FakeWindow::Create();
    ProxyServerSettings settings = Proxy(c.mode);
    settings.DontRecvFromYourIp = true;
    settings.SendToHostsList = {{c.destination, 128, settings.RecvPort}};
    Start(settings);
    UdpSocket& peer = c.mode == IpMode::UseIPv6 ? peer6 : peer4;
    ASSERT_TRUE(test::SendUntilReported(*window_, peer, MagicPayload(kUnicast),
                                        At(c.arrival, settings.RecvPort), 3));
    std::this_thread::sleep_for(300ms);
    // Per packet from the peer (a new thread may have needed more than one): one copy sent, and
    // that copy received back and ignored as the host's own.
    std::size_t from_peer = 0, sent = 0, own = 0;
    for (const EngineReport& report : window_->recorded().packets) {
      if (!report.ReportReceived) {
        ++sent;
      } else if (AddressToString(report.ReportAddress) == c.destination) {
        own += report.ReportIgnoreReason == IgnoreReason::kOwnAddress;
      } else {
        ++from_peer;
      }
    }
    EXPECT_GE(from_peer, 1u);
    EXPECT_EQ(sent, from_peer);
    EXPECT_EQ(own, from_peer);
  }
  test::Shell("ip addr flush dev lo scope global");
}

TEST_F(TwoHostsTest, PrefixDestinationsLeaveAsBroadcastsAndReachThePeer) {
  UdpSocket sink = hosts_->peer.OpenSocket(AddressFamily::kIpv4, test::FreeUdpPort());
  ASSERT_FALSE(sink.EnableArrivalInfo());
  const std::uint16_t sink_port = *sink.LocalPort();
  ProxyServerSettings settings = Proxy();
  settings.SendToHostsList = {{"10.77.0.9", 24, sink_port}, {"10.77.0.9", 0, sink_port}};
  Start(settings);
  UdpSocket peer = hosts_->peer.OpenSocket(AddressFamily::kIpv4);
  ASSERT_TRUE(test::SendUntilReported(*window_, peer, MagicPayload(kUnicast, 108),
                                      At("10.77.0.1", settings.RecvPort), 3));
  const Recorded recorded = window_->recorded();
  EXPECT_EQ(AddressToString(recorded.packets[1].ReportAddress), "10.77.0.255");
  EXPECT_EQ(AddressToString(recorded.packets[2].ReportAddress), "255.255.255.255");

  // Both arrive at the peer's sink, marked as broadcasts by the receiving side too.
  for (int i = 0; i < 2; ++i) {
    const auto arrived = test::ReceiveWithin(sink, 2s);
    ASSERT_TRUE(arrived.has_value());
    EXPECT_EQ(arrived->payload, MagicPayload(kUnicast, 108));
    EXPECT_EQ(arrived->sender, At("10.77.0.1", settings.SendPort));
    EXPECT_TRUE(arrived->broadcast);
  }
}

class HostNamesTest : public TwoHostsTest {
 protected:
  void SetUp() override {
    port_ = test::FreeUdpPort();
    sink4_ = hosts_->peer.OpenSocket(AddressFamily::kIpv4, port_);
    sink6_ = hosts_->peer.OpenSocket(AddressFamily::kIpv6, port_);
    peer4_ = hosts_->peer.OpenSocket(AddressFamily::kIpv4);
    peer6_ = hosts_->peer.OpenSocket(AddressFamily::kIpv6);
  }

  // Starts a proxy server for both families relaying to `destinations`, and sends it one IPv4
  // packet from the peer; returns the proxy server's receive port.
  std::uint16_t StartAndSend(std::vector<HostEntry> destinations, std::size_t rows) {
    ProxyServerSettings settings = Proxy(IpMode::UseIPv4IPv6);
    settings.SendToHostsList = std::move(destinations);
    Start(settings);
    EXPECT_TRUE(test::SendUntilReported(*window_, peer4_, MagicPayload(kUnicast),
                                        At("10.77.0.1", settings.RecvPort), rows));
    return settings.RecvPort;
  }

  std::uint16_t port_ = 0;
  UdpSocket sink4_, sink6_, peer4_, peer6_;
};

TEST_F(HostNamesTest, ANameOfBothFamiliesFollowsTheArrivalFamily) {
  const std::uint16_t port = StartAndSend({{"peer.corvane.test", 32, port_}}, 2);
  auto arrived = test::ReceiveWithin(sink4_, 2s);
  ASSERT_TRUE(arrived.has_value());
  EXPECT_EQ(arrived->sender.address, IpAddress::Ipv4(10, 77, 0, 1));

  test::Send(peer6_, MagicPayload(kMarker), At("fd77::1", port));
  arrived = test::ReceiveWithin(sink6_, 2s);
  ASSERT_TRUE(arrived.has_value());
  EXPECT_EQ(arrived->payload, MagicPayload(kMarker));
  EXPECT_EQ(arrived->sender.address, *ParseIpAddress("fd77::1"));
  // A second copy of the first packet may have been needed while the thread started; the marker
  // itself must not come over IPv4.
  while (const auto other = test::ReceiveWithin(sink4_, 50ms)) {
    EXPECT_NE(other->payload, MagicPayload(kMarker));
  }
}

TEST_F(HostNamesTest, AnIpv6OnlyNameCarriesIpv4PacketsOverIpv6) {
  StartAndSend({{"v6only.corvane.test", 32, port_}}, 2);
  const auto arrived = test::ReceiveWithin(sink6_, 2s);
  ASSERT_TRUE(arrived.has_value());
  EXPECT_EQ(arrived->payload, MagicPayload(kUnicast));
}

TEST_F(HostNamesTest, UnresolvableNamesAreReportedOncePerPacketAndDestination) {
  const std::uint16_t port = StartAndSend({{"nothing.corvane.test", 32, 9},
                                           {"peer.corvane.test", 32, port_},
                                           {"nothing.corvane.test", 24, 9}},
                                          2);
  test::Send(peer4_, MagicPayload(kMarker), At("10.77.0.1", port));
  // Each received packet gives exactly one error per unresolvable destination, though the failed
  // answer comes from the cache after the first packet.
  const auto settled = [](const Recorded& r) {
    std::size_t received = 0;
    bool marker = false;
    for (const EngineReport& report : r.packets) {
      received += report.ReportReceived;
      marker |= report.ReportReceived && report.ReportMac == kMarker;
    }
    return marker && r.errors.size() == 2 * received;
  };
  ASSERT_TRUE(window_->WaitUntil(settled));
  std::this_thread::sleep_for(20ms);
  const Recorded recorded = window_->recorded();
  EXPECT_TRUE(settled(recorded));
  for (const std::string& error : recorded.errors) {
    EXPECT_EQ(error, "Can not resolve nothing.corvane.test to IP address");
  }
}

TEST_F(HostNamesTest, WithoutAddressInfoNamesResolveToIpv4Only) {
  ReleaseAddressInfoEntryPoints();
  const std::uint16_t port =
      StartAndSend({{"v6only.corvane.test", 32, port_}, {"peer.corvane.test", 32, port_}}, 1);
  // An IPv6 packet goes to the IPv4 address: the host database has no IPv6 answer.
  test::Send(peer6_, MagicPayload(kMarker), At("fd77::1", port));
  const auto arrived = test::ReceiveWithin(sink4_, 2s);
  ASSERT_TRUE(LoadAddressInfoEntryPoints());
  ASSERT_TRUE(arrived.has_value());
  EXPECT_FALSE(test::ReceiveWithin(sink6_, 50ms).has_value());
  ASSERT_TRUE(window_->WaitUntil([](const Recorded& r) { return !r.errors.empty(); }));
  EXPECT_EQ(window_->recorded().errors[0], "Can not resolve v6only.corvane.test to IP address");
}

}  // namespace
}  // namespace corvane
