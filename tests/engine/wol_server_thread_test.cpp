#include "engine/wol_server_thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "config/list_entry_rules.h"
#include "engine/magic_packet.h"
#include "platform/host_lookup.h"
#include "tests/support/fake_window.h"
#include "tests/support/loopback.h"
#include "tests/support/packets.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using test::FakeWindow;
using test::Loopback;
using test::MagicPayload;
using test::Recorded;

constexpr MacAddress kMac{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
constexpr MacAddress kMarkerMac{0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};

ProxyServerSettings Listening(std::uint16_t port, IpMode mode = IpMode::UseIPv4) {
  ProxyServerSettings settings = *NewProxyServerSettings("test");
  settings.IpMode = mode;
  settings.RecvPort = port;
  settings.SendPort = port;
  settings.DontRecvFromYourIp = false;  // the test's packets come from this host
  return settings;
}

class WolServerThreadTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (auto& thread : threads_) {
      thread->Terminate();
      EXPECT_TRUE(thread->WaitUntilFinished(5s)) << "an engine thread did not end";
    }
  }

  std::shared_ptr<WolServerThread> Start(std::uint32_t id) {
    auto thread = window_->StartServer(id);
    EXPECT_NE(thread, nullptr);
    threads_.push_back(thread);
    return thread;
  }

  bool SendUntilReported(UdpSocket& from, const std::vector<std::uint8_t>& payload,
                         const Endpoint& to, std::size_t count = 1) {
    return test::SendUntilReported(*window_, from, payload, to, count);
  }

  std::shared_ptr<FakeWindow> window_ = FakeWindow::Create();
  std::vector<std::shared_ptr<WolServerThread>> threads_;
};

TEST_F(WolServerThreadTest, ReportsReceivedMagicPacketsWithTheirSender) {
  const std::uint16_t port = test::FreeUdpPort();
  const std::uint32_t id = window_->AddServer(Listening(port, IpMode::UseIPv4IPv6));
  Start(id);
  for (AddressFamily family : {AddressFamily::kIpv4, AddressFamily::kIpv6}) {
    UdpSocket peer = test::PeerSocket(family);
    const std::size_t before = window_->recorded().packets.size();
    ASSERT_TRUE(
        SendUntilReported(peer, MagicPayload(kMac, 106, 0x10), Loopback(family, port), before + 1));
    const EngineReport report = window_->recorded().packets.back();
    EXPECT_EQ(report.Id, id);
    EXPECT_TRUE(report.ReportReceived);
    EXPECT_FALSE(report.ReportIgnored);
    EXPECT_EQ(report.ReportAddress, Loopback(family, 0).address);
    EXPECT_EQ(report.ReportPort, *peer.LocalPort());
    EXPECT_EQ(report.ReportMac, kMac);
    // A 4-byte password is reported widened to 6 bytes.
    EXPECT_TRUE(report.ReportHasPassword);
    EXPECT_EQ(HexText(report.ReportPassword), "10:11:12:13:00:00");
  }
}

TEST_F(WolServerThreadTest, DatagramsThatAreNoMagicPacketsAreNeverReported) {
  const std::uint16_t port = test::FreeUdpPort();
  Start(window_->AddServer(Listening(port)));
  UdpSocket peer = test::PeerSocket(AddressFamily::kIpv4);
  const Endpoint to = Loopback(AddressFamily::kIpv4, port);
  ASSERT_TRUE(SendUntilReported(peer, MagicPayload(kMac), to));

  // Each rejected datagram wakes its own MAC, so a report of it would show.
  const MacAddress too_long{1, 1, 1, 1, 1, 1}, too_short{2, 2, 2, 2, 2, 2},
      broken_copy{3, 3, 3, 3, 3, 3};
  test::Send(peer, MagicPayload(too_long, 1001), to);  // longer than the receive buffer
  test::Send(peer, MagicPayload(too_short, 101), to);
  auto broken = MagicPayload(broken_copy);
  broken[97] ^= 0xFF;
  test::Send(peer, broken, to);
  test::Send(peer, std::vector<std::uint8_t>(1, 0xFF), to);
  test::Send(peer, std::vector<std::uint8_t>(500, 0x00), to);
  test::Send(peer, {}, to);
  // One socket takes its datagrams in order: once the marker is reported, the rest was handled.
  test::Send(peer, MagicPayload(kMarkerMac, 1000), to);
  ASSERT_TRUE(window_->WaitUntil([](const Recorded& r) {
    return !r.packets.empty() && r.packets.back().ReportMac == kMarkerMac;
  }));
  for (const EngineReport& report : window_->recorded().packets) {
    EXPECT_TRUE(report.ReportMac == kMac || report.ReportMac == kMarkerMac)
        << HexText(report.ReportMac);
  }
}

TEST_F(WolServerThreadTest, StopWhileIdleEndsTheThreadAtOnce) {
  const std::uint16_t port = test::FreeUdpPort();
  const std::uint32_t id = window_->AddServer(Listening(port));
  auto thread = Start(id);
  UdpSocket peer = test::PeerSocket(AddressFamily::kIpv4);
  ASSERT_TRUE(SendUntilReported(peer, MagicPayload(kMac), Loopback(AddressFamily::kIpv4, port)));
  std::this_thread::sleep_for(30ms);  // idle now

  const auto asked = std::chrono::steady_clock::now();
  thread->Terminate();
  ASSERT_TRUE(thread->WaitUntilFinished(5s));
  const auto took = std::chrono::steady_clock::now() - asked;
  RecordProperty(
      "stop_microseconds",
      static_cast<int>(std::chrono::duration_cast<std::chrono::microseconds>(took).count()));
  EXPECT_LT(took, 1s);  // microseconds in practice; the bound only guards against a hang
  EXPECT_TRUE(thread->Terminated());
  // The sockets are closed: the port can be held exclusively again.
  UdpSocket exclusive;
  ASSERT_FALSE(exclusive.Open(AddressFamily::kIpv4));
  EXPECT_FALSE(exclusive.Bind(port));
}

TEST_F(WolServerThreadTest, BindFailureIsReportedAndTheProxyServerShowsAsStopped) {
  UdpSocket holder = test::PeerSocket(AddressFamily::kIpv4);
  const std::uint16_t held = *holder.LocalPort();
  const std::uint32_t id = window_->AddServer(Listening(held));
  auto thread = Start(id);
  ASSERT_TRUE(thread->WaitUntilFinished(5s));

  const Recorded recorded = window_->recorded();
  ASSERT_EQ(recorded.errors.size(), 1u);
  EXPECT_EQ(recorded.errors[0], "Can not bind " + std::to_string(held) + " port for IPv4 socket");
  // Told started when it took its settings, then stopped; the window dropped the link.
  EXPECT_EQ(recorded.states, (std::vector<bool>{true, false}));
  EXPECT_FALSE(window_->LinksThread(id));
  EXPECT_TRUE(thread->Terminated());
}

TEST_F(WolServerThreadTest, WithoutShowErrorsNothingIsRecorded) {
  UdpSocket holder = test::PeerSocket(AddressFamily::kIpv4);
  Set(window_->options().ShowErrors, false);
  Set(window_->options().DontShowResolveErrors, false);
  Set(window_->options().DontShowSendErrors, false);
  const std::uint32_t id = window_->AddServer(Listening(*holder.LocalPort()));
  auto thread = Start(id);
  ASSERT_TRUE(thread->WaitUntilFinished(5s));
  EXPECT_TRUE(window_->recorded().errors.empty());
  EXPECT_FALSE(window_->LinksThread(id));  // still told stopped
}

TEST_F(WolServerThreadTest, AnUnusableIpModeIsAnUnknownError) {
  ProxyServerSettings settings = Listening(test::FreeUdpPort());
  settings.IpMode = static_cast<IpMode>(200);
  auto thread = Start(window_->AddServer(settings));
  ASSERT_TRUE(thread->WaitUntilFinished(5s));
  EXPECT_EQ(window_->recorded().errors, (std::vector<std::string>{"Unknown error"}));
}

TEST_F(WolServerThreadTest, PacketRowsFollowTheDisplayOptions) {
  Set(window_->options().ShowRecvPackets, false);
  const std::uint16_t port = test::FreeUdpPort();
  Start(window_->AddServer(Listening(port)));
  UdpSocket peer = test::PeerSocket(AddressFamily::kIpv4);
  const Endpoint to = Loopback(AddressFamily::kIpv4, port);
  for (int i = 0; i < 20; ++i) {
    test::Send(peer, MagicPayload(kMac), to);
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_TRUE(window_->recorded().packets.empty());
  // A change takes effect with the next event.
  Set(window_->options().ShowRecvPackets, true);
  EXPECT_TRUE(SendUntilReported(peer, MagicPayload(kMac), to));
}

TEST_F(WolServerThreadTest, AThreadWhoseProxyServerIsGoneEndsByItself) {
  // The proxy server was deleted before its thread took its settings: "Unknown error" is raised
  // but the window drops it, as the record is gone.
  auto thread = Start(42);
  ASSERT_TRUE(thread->WaitUntilFinished(5s));
  EXPECT_TRUE(window_->recorded().errors.empty());
  EXPECT_TRUE(window_->recorded().states.empty());
}

TEST_F(WolServerThreadTest, AStopBeforeTheStartMakesNoWindowCallButTheRelease) {
  const std::uint32_t id = window_->AddServer(Listening(test::FreeUdpPort()));
  auto thread = WolServerThread::Create(true, id, window_);
  threads_.push_back(thread);
  thread->Terminate();
  ASSERT_TRUE(thread->Resume());
  ASSERT_TRUE(thread->WaitUntilFinished(5s));
  const Recorded recorded = window_->recorded();
  EXPECT_TRUE(recorded.errors.empty());
  EXPECT_TRUE(recorded.states.empty());  // neither started nor stopped
}

TEST_F(WolServerThreadTest, AThreadOutlivingItsWindowEndsWithoutTouchingIt) {
  const std::uint32_t id = window_->AddServer(Listening(test::FreeUdpPort()));
  window_->CloseBridge();
  auto thread = Start(id);
  ASSERT_TRUE(thread->WaitUntilFinished(5s));
  EXPECT_TRUE(window_->recorded().states.empty());
}

TEST_F(WolServerThreadTest, EditsAfterTheStartDoNotReachTheRunningThread) {
  const std::uint16_t port = test::FreeUdpPort();
  const std::uint32_t id = window_->AddServer(Listening(port));
  Start(id);
  UdpSocket peer = test::PeerSocket(AddressFamily::kIpv4);
  const Endpoint to = Loopback(AddressFamily::kIpv4, port);
  ASSERT_TRUE(SendUntilReported(peer, MagicPayload(kMac), to));
  window_->OnWindow([&] { window_->table().Find(id)->RecvPort = port + 1; });
  EXPECT_TRUE(SendUntilReported(peer, MagicPayload(kMac), to, 2));
}

TEST_F(WolServerThreadTest, RelaysToEveryDestinationAndReportsEachStep) {
  ASSERT_TRUE(LoadAddressInfoEntryPoints());
  UdpSocket sink4 = test::PeerSocket(AddressFamily::kIpv4);
  UdpSocket sink6 = test::PeerSocket(AddressFamily::kIpv6);
  ProxyServerSettings settings = Listening(test::FreeUdpPort(), IpMode::UseIPv4IPv6);
  settings.SendPort = test::FreeUdpPort();
  settings.ReplacePassword = true;
  settings.ReplacePasswordValue = {1, 2, 3, 4, 5, 6};
  settings.SendToHostsList = {{"127.0.0.1", 32, *sink4.LocalPort()},
                              {"::1", 128, *sink6.LocalPort()},
                              {"127.0.0.1", 32, 0}};  // refused by the system
  const std::uint16_t port = settings.RecvPort;
  Start(window_->AddServer(settings));
  UdpSocket peer = test::PeerSocket(AddressFamily::kIpv6);
  ASSERT_TRUE(
      SendUntilReported(peer, MagicPayload(kMac, 102), Loopback(AddressFamily::kIpv6, port), 3));

  auto expected = MagicPayload(kMac, 108);
  std::copy_n(settings.ReplacePasswordValue.begin(), 6, expected.begin() + 102);
  const auto at4 = test::ReceiveWithin(sink4, 2s);
  ASSERT_TRUE(at4.has_value());
  EXPECT_EQ(at4->payload, expected);
  EXPECT_EQ(at4->sender.port, settings.SendPort);
  const auto at6 = test::ReceiveWithin(sink6, 2s);
  ASSERT_TRUE(at6.has_value());
  EXPECT_EQ(at6->payload, expected);

  ASSERT_TRUE(window_->WaitUntil([](const Recorded& r) { return !r.errors.empty(); }));
  const Recorded recorded = window_->recorded();
  // The received row comes first, then one row per send; the sent rows carry the new password.
  ASSERT_GE(recorded.packets.size(), 3u);
  EXPECT_TRUE(recorded.packets[0].ReportReceived);
  EXPECT_FALSE(recorded.packets[0].ReportHasPassword);
  EXPECT_FALSE(recorded.packets[1].ReportReceived);
  EXPECT_EQ(recorded.packets[1].ReportAddress, Loopback(AddressFamily::kIpv4, 0).address);
  EXPECT_EQ(recorded.packets[1].ReportPort, *sink4.LocalPort());
  EXPECT_EQ(HexText(recorded.packets[1].ReportPassword), "01:02:03:04:05:06");
  EXPECT_EQ(recorded.packets[2].ReportAddress.family, AddressFamily::kIpv6);
  EXPECT_EQ(recorded.errors[0], "Can not send packet to 127.0.0.1 : 0");
}

TEST_F(WolServerThreadTest, IgnoredPacketsAreShownUnlessHiddenAndNeverSent) {
  UdpSocket sink = test::PeerSocket(AddressFamily::kIpv4);
  ProxyServerSettings settings = Listening(test::FreeUdpPort());
  settings.RecvWithNextMacs = true;
  settings.RecvWithNextMacsList = {kMarkerMac};
  settings.SendToHostsList = {{"127.0.0.1", 32, *sink.LocalPort()}};
  const Endpoint to = Loopback(AddressFamily::kIpv4, settings.RecvPort);
  Start(window_->AddServer(settings));
  UdpSocket peer = test::PeerSocket(AddressFamily::kIpv4);
  ASSERT_TRUE(SendUntilReported(peer, MagicPayload(kMac), to));
  EXPECT_TRUE(window_->recorded().packets[0].ReportIgnored);

  Set(window_->options().DontShowIgnoredPackets, true);
  for (int i = 0; i < 5; ++i) test::Send(peer, MagicPayload(kMac), to);
  test::Send(peer, MagicPayload(kMarkerMac), to);
  ASSERT_TRUE(window_->WaitUntil([](const Recorded& r) {
    return !r.packets.empty() && r.packets.back().ReportMac == kMarkerMac;
  }));
  const auto relayed = test::ReceiveWithin(sink, 2s);
  ASSERT_TRUE(relayed.has_value());
  EXPECT_EQ(relayed->payload, MagicPayload(kMarkerMac));
  EXPECT_FALSE(test::ReceiveWithin(sink, 50ms).has_value());
  for (const EngineReport& report : window_->recorded().packets) {
    if (report.ReportMac == kMarkerMac && report.ReportReceived) {
      EXPECT_FALSE(report.ReportIgnored);
    }
  }
}

TEST_F(WolServerThreadTest, ACallQueuedBeforeTheStopDoesNotRunAfterIt) {
  UdpSocket holder = test::PeerSocket(AddressFamily::kIpv4);
  const std::uint32_t id = window_->AddServer(Listening(*holder.LocalPort()));
  std::shared_ptr<WolServerThread> thread = WolServerThread::Create(true, id, window_);
  threads_.push_back(thread);
  // Right behind CopySettings the window is busy for a while; meanwhile the thread fails to bind
  // and queues its error. Then the user stops it, before the queued error gets its turn.
  window_->on_state = [&](bool started) {
    if (!started) return;
    window_->Post([&] {
      std::this_thread::sleep_for(200ms);
      thread->Terminate();
      window_->Unlink(id);
    });
  };
  ASSERT_TRUE(thread->Resume());
  ASSERT_TRUE(thread->WaitUntilFinished(5s));
  window_->OnWindow([] {});  // let the queue drain
  const Recorded recorded = window_->recorded();
  EXPECT_TRUE(recorded.errors.empty());
  EXPECT_EQ(recorded.states, std::vector<bool>{true});  // not told stopped either
}

}  // namespace
}  // namespace corvane
