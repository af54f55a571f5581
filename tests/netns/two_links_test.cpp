// A host on two links: destinations that name an interface leave by that interface only, texts
// whose interface part is unusable are resolution errors, and the own-address filter follows the
// addresses that the host gains and loses while a proxy server runs.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "config/list_entry_rules.h"
#include "platform/interfaces.h"
#include "tests/netns/peer_namespace.h"
#include "tests/support/fake_window.h"
#include "tests/support/loopback.h"
#include "tests/support/packets.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using test::MagicPayload;
using test::Recorded;

Endpoint At(const std::string& address, std::uint16_t port) {
  return {*ParseIpAddress(address), port};
}

MacAddress Mac(std::size_t n) { return {0x02, 0, 0, 0, 0, static_cast<std::uint8_t>(n)}; }

class TwoLinksTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { links_ = new test::TwoLinks; }
  static void TearDownTestSuite() { delete links_; }
  void TearDown() override { Stop(); }

  // A proxy server of both families on a fresh window; its receive port is its send port.
  std::uint16_t Start(ProxyServerSettings settings) {
    settings.IpMode = IpMode::UseIPv4IPv6;
    settings.RecvPort = settings.SendPort = test::FreeUdpPort();
    window_ = test::FakeWindow::Create();
    thread_ = window_->StartServer(window_->AddServer(settings));
    return settings.RecvPort;
  }

  void Stop() {
    if (thread_ == nullptr) return;
    thread_->Terminate();
    EXPECT_TRUE(thread_->WaitUntilFinished(5s));
    thread_.reset();
  }

  // Why the packet waking `mac` was ignored, once its row is there.
  IgnoreReason ReceivedAs(const MacAddress& mac) {
    std::optional<IgnoreReason> reason;
    EXPECT_TRUE(window_->WaitUntil([&](const Recorded& r) {
      for (const EngineReport& row : r.packets) {
        if (row.ReportReceived && row.ReportMac == mac) reason = row.ReportIgnoreReason;
      }
      return reason.has_value();
    }));
    return reason.value_or(IgnoreReason::kStormGuard);
  }

  static inline test::TwoLinks* links_ = nullptr;
  std::shared_ptr<test::FakeWindow> window_;
  std::shared_ptr<WolServerThread> thread_;
};

TEST_F(TwoLinksTest, ADestinationThatNamesAnInterfaceLeavesByItOnly) {
  const std::uint16_t sink_port = test::FreeUdpPort();
  UdpSocket sinks[4];  // IPv4 and IPv6 of the first peer, then of the second
  for (int sink = 0; sink < 4; ++sink) {
    sinks[sink] =
        links_->peers[sink / 2].OpenSocket(static_cast<AddressFamily>(sink % 2), sink_port);
  }
  const std::string lan2_index = std::to_string(InterfaceIndex("lan2"));
  constexpr int kNowhere = -1;  // a resolution error
  const struct {
    std::string host;
    std::uint8_t prefix;
    int peer;  // whose sink receives it
    bool by_action = false;
  } kCases[] = {
      {"255.255.255.255", 32, 0},  // by the default route
      {"255.255.255.255%lan2", 32, 1},
      {"255.255.255.255%lan2", 32, 1, true},
      {"10.81.2.0%lan2", 24, 1},
      {"10.81.2.2%lan2", 32, 1},
      {"ff02::1%lan1", 128, 0},
      {"ff02::1%lan2", 128, 1},
      {"fe80::2%lan1", 128, 0},
      {"fe80::2%" + lan2_index, 128, 1},  // the same address on the other link
      {"10.81.2.2%nosuch", 32, kNowhere},
      {"10.81.2.2%4000000", 32, kNowhere},  // no such index
      {"%", 32, kNowhere},
      {"%lan2", 32, kNowhere},
      {"fe80::2%", 32, kNowhere},
      {"10.81.2.2%lan2" + std::string(16, 'x'), 32, kNowhere},  // never cut to "lan2"
      {"fe80::2%lan 2", 32, kNowhere},
      {std::string("10.81.2.2%lan2\0x", 16), 32, kNowhere},
      {"ff02::1%lan1%lan2", 32, kNowhere},
  };
  UdpSocket here = test::PeerSocket(AddressFamily::kIpv4);
  std::set<std::pair<int, std::vector<std::uint8_t>>> arrived;  // (sink, payload)
  for (std::size_t i = 0; i < std::size(kCases); ++i) {
    const auto& c = kCases[i];
    SCOPED_TRACE(c.host);
    ProxyServerSettings settings = *NewProxyServerSettings("links");
    settings.DontRecvFromYourIp = false;
    const HostEntry destination{c.host, c.prefix, sink_port};
    if (c.by_action) settings.ActionsByMacsList = {{Mac(i), {{Mac(i), {}, false, destination}}}};
    if (!c.by_action) settings.SendToHostsList = {destination};
    const std::uint16_t port = Start(settings);
    ASSERT_TRUE(
        test::SendUntilReported(*window_, here, MagicPayload(Mac(i)), At("127.0.0.1", port)));
    ASSERT_TRUE(window_->WaitUntil(
        [](const Recorded& r) { return r.packets.size() >= 2 || !r.errors.empty(); }));
    const std::vector<std::string> errors = window_->recorded().errors;
    if (c.peer == kNowhere) {
      EXPECT_EQ(errors.at(0), "Can not resolve " + c.host + " to IP address");
    } else {
      EXPECT_TRUE(errors.empty());
      const int sink = c.peer * 2 + (c.host.find(':') != std::string::npos ? 1 : 0);
      const auto received = test::ReceiveWithin(sinks[sink], 2s);
      ASSERT_TRUE(received.has_value());
      EXPECT_EQ(received->payload, MagicPayload(Mac(i)));
      arrived.insert({sink, received->payload});
    }
    Stop();
  }
  // Nothing else arrived anywhere, copies of a packet that had to be sent twice aside.
  for (int sink = 0; sink < 4; ++sink) {
    while (const auto received = test::ReceiveWithin(sinks[sink], 100ms)) {
      EXPECT_TRUE(arrived.count({sink, received->payload}) != 0) << "at sink " << sink;
    }
  }
}

// After a flood of changes, an address added on a link is the host's own and, moved to the peer,
// no longer is.
TEST_F(TwoLinksTest, AddressesGainedAfterTheStartAreOwnAndLostOnesAreNot) {
  ProxyServerSettings settings = *NewProxyServerSettings("own");
  settings.DontRecvFromYourIp = true;
  const std::uint16_t port = Start(settings);
  const test::PeerNamespace& peer = links_->peers[0];
  UdpSocket from_peer[2] = {peer.OpenSocket(AddressFamily::kIpv4),
                            peer.OpenSocket(AddressFamily::kIpv6)};
  ASSERT_TRUE(
      test::SendUntilReported(*window_, from_peer[0], MagicPayload(Mac(0)), At("10.81.1.1", port)));
  test::FloodAddresses("10.82", 1000);
  const struct {
    const char *address, *here, *ip, *options;
  } kCases[] = {{"10.81.1.50/32", "10.81.1.1", "ip", ""},
                {"fd81:1::50/128", "fd81:1::1", "ip -6", " nodad"}};
  for (std::size_t k = 0; k < std::size(kCases); ++k) {
    const auto& c = kCases[k];
    SCOPED_TRACE(c.address);
    const std::string ip = c.ip, with_prefix = c.address, here = c.here;
    const std::string address = with_prefix.substr(0, with_prefix.find('/'));
    test::Shell(ip + " addr add " + with_prefix + " dev lan1" + c.options);
    // IPv6 addresses are announced, and reachable, a moment after the command returns.
    test::Shell("for i in $(seq 200); do " + ip + " route show table local | grep -q '" + address +
                " ' && exit 0; sleep 0.01; done; exit 1");
    UdpSocket local = test::PeerSocket(ParseIpAddress(address)->family);
    test::Send(local, MagicPayload(Mac(2 * k + 1)), At(address, port));  // from the address
    EXPECT_EQ(ReceivedAs(Mac(2 * k + 1)), IgnoreReason::kOwnAddress);

    test::Shell(ip + " addr del " + with_prefix + " dev lan1");
    peer.Run(ip + " addr add " + with_prefix + " dev eth0" + c.options + " && " + ip +
             " route add " + here + " dev eth0 src " + address);
    test::Send(from_peer[k], MagicPayload(Mac(2 * k + 2)), At(here, port));
    EXPECT_EQ(ReceivedAs(Mac(2 * k + 2)), IgnoreReason::kNone);
    peer.Run(ip + " route del " + here + " && " + ip + " addr del " + with_prefix + " dev eth0");
  }
}

}  // namespace
}  // namespace corvane
