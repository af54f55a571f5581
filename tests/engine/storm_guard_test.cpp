#include "engine/storm_guard.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/support/fake_window.h"
#include "tests/support/fakes.h"
#include "tests/support/loopback.h"
#include "tests/support/packets.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

MacAddress Mac(unsigned n) {
  return {0x02,
          0,
          0,
          static_cast<std::uint8_t>(n >> 16),
          static_cast<std::uint8_t>(n >> 8),
          static_cast<std::uint8_t>(n)};
}

// How many of `count` packets for `mac`, sent back to back, the guard admits.
int Admitted(StormGuard& guard, const MacAddress& mac, int count) {
  int admitted = 0;
  for (int i = 0; i < count; ++i) admitted += guard.Admit(mac);
  return admitted;
}

TEST(StormGuard, PassesBurstsAndRepeatsButLimitsOneMacToOnePerSecond) {
  test::FakeClock clock(0xFFFFFF00u);  // the tick count wraps during the test
  StormGuard guard(clock);
  EXPECT_EQ(Admitted(guard, Mac(1), 5), 5);  // a wake-up tool's copies
  clock.Advance(2000);
  EXPECT_EQ(Admitted(guard, Mac(1), 5), 5);  // pressed again: 7 s of credit left
  EXPECT_EQ(Admitted(guard, Mac(1), 5), 2);
  clock.Advance(999);
  EXPECT_FALSE(guard.Admit(Mac(1)));
  clock.Advance(1);
  EXPECT_EQ(Admitted(guard, Mac(1), 3), 1);
  clock.Advance(StormGuard::kBurst * StormGuard::kRefillMs);
  EXPECT_EQ(Admitted(guard, Mac(1), 20), static_cast<int>(StormGuard::kBurst));

  // A wake-all burst of 3000 MACs, three copies each: every packet passes.
  for (int copy = 0; copy < 3; ++copy) {
    for (unsigned mac = 100; mac < 3100; ++mac) ASSERT_TRUE(guard.Admit(Mac(mac))) << mac;
  }
}

TEST(StormGuard, CountsABoundedNumberOfMacs) {
  test::FakeClock clock;
  StormGuard guard(clock);
  for (unsigned mac = 0; mac < StormGuard::kMaxTracked + 500; ++mac) guard.Admit(Mac(mac));
  EXPECT_EQ(guard.tracked(), StormGuard::kMaxTracked);  // the rest passed uncounted
  // Once their buckets have filled up again, counted MACs make room for new ones.
  clock.Advance(StormGuard::kBurst * StormGuard::kRefillMs);
  EXPECT_TRUE(guard.Admit(Mac(1'000'000)));
  EXPECT_EQ(guard.tracked(), 1u);
}

// Two proxy servers that relay to each other: one datagram goes round until the guard stops it.
TEST(StormGuard, ALoopBetweenTwoRelaysDiesOut) {
  auto window = test::FakeWindow::Create();
  const std::uint16_t port_a = test::FreeUdpPort(), port_b = test::FreeUdpPort();
  const auto relay = [&](std::uint16_t port, std::uint16_t to) {
    ProxyServerSettings settings = *NewProxyServerSettings("loop");
    settings.RecvPort = settings.SendPort = port;
    settings.DontRecvFromYourIp = false;  // cannot tell another host's relay anyway
    settings.SendToHostsList = {{"127.0.0.1", 32, to}};
    return window->AddServer(settings);
  };
  const std::uint32_t a = relay(port_a, port_b), b = relay(port_b, port_a);
  auto thread_a = window->StartServer(a), thread_b = window->StartServer(b);
  UdpSocket peer = test::PeerSocket(AddressFamily::kIpv4);
  const auto guarded = [](const test::Recorded& r) {
    for (const EngineReport& report : r.packets) {
      if (report.ReportIgnoreReason == IgnoreReason::kStormGuard) return true;
    }
    return false;
  };
  // A new thread binds a moment after it starts: one datagram, once both ports are taken.
  const auto taken = [](std::uint16_t port) {
    UdpSocket probe;
    return probe.Open(AddressFamily::kIpv4) || probe.Bind(port);
  };
  for (int i = 0; i < 500 && !(taken(port_a) && taken(port_b)); ++i) {
    std::this_thread::sleep_for(10ms);
  }
  test::Send(peer, test::MagicPayload(Mac(7)), test::Loopback(AddressFamily::kIpv4, port_a));
  ASSERT_TRUE(window->WaitUntil(guarded));
  std::this_thread::sleep_for(300ms);
  thread_a->Terminate();
  thread_b->Terminate();
  ASSERT_TRUE(thread_a->WaitUntilFinished(5s) && thread_b->WaitUntilFinished(5s));

  int sent_a = 0, sent_b = 0, guarded_rows = 0;
  for (const EngineReport& report : window->recorded().packets) {
    if (!report.ReportReceived) (report.Id == a ? sent_a : sent_b) += 1;
    guarded_rows += report.ReportIgnoreReason == IgnoreReason::kStormGuard;
    if (report.ReportIgnoreReason == IgnoreReason::kStormGuard) {
      EXPECT_TRUE(report.ReportIgnored);
    }
  }
  // Each relay passed its burst (one more if a second went by meanwhile), then the loop was cut.
  EXPECT_GE(sent_a, static_cast<int>(StormGuard::kBurst));
  EXPECT_LE(sent_a, static_cast<int>(StormGuard::kBurst) + 1);
  EXPECT_GE(sent_b, static_cast<int>(StormGuard::kBurst) - 1);
  EXPECT_LE(sent_b, static_cast<int>(StormGuard::kBurst) + 1);
  EXPECT_EQ(guarded_rows, 1);
}

}  // namespace
}  // namespace corvane
