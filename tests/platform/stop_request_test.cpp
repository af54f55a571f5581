#include "platform/stop_request.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <thread>

#include "platform/process_limits.h"
#include "platform/tick_clock.h"
#include "tests/support/loopback.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(StopRequest, EndsAWaitAtOnceAndEveryLaterWaitToo) {
  StopRequest stop;
  std::thread requester([&] {
    std::this_thread::sleep_for(20ms);
    stop.Request();
  });
  const auto start = Clock::now();
  stop.WaitReadable({});  // no time-out: only the request ends it
  requester.join();
  EXPECT_LT(Clock::now() - start, 5s);
  EXPECT_TRUE(stop.IsRequested());

  const auto later = Clock::now();
  EXPECT_FALSE(stop.Sleep(10s));
  stop.Request();  // a second request changes nothing
  stop.WaitReadable({}, 10s);
  EXPECT_LT(Clock::now() - later, 1s);
}

TEST(StopRequest, WaitEndsWhenADescriptorTurnsReadable) {
  const StopRequest stop;
  UdpSocket receiver = test::PeerSocket(AddressFamily::kIpv4);
  UdpSocket sender = test::PeerSocket(AddressFamily::kIpv4);
  const std::vector<std::uint8_t> payload(8, 1);
  test::Send(sender, payload, test::Loopback(AddressFamily::kIpv4, *receiver.LocalPort()));
  const int descriptor = receiver.descriptor();
  const auto start = Clock::now();
  stop.WaitReadable({&descriptor, 1}, 10s);
  EXPECT_LT(Clock::now() - start, 5s);
  EXPECT_FALSE(stop.IsRequested());
}

TEST(StopRequest, SleepRunsItsCourseWithoutARequest) {
  const StopRequest stop;
  const auto start = Clock::now();
  EXPECT_TRUE(stop.Sleep(30ms));
  EXPECT_GE(Clock::now() - start, 30ms);
}

TEST(ProcessLimits, OpenFilesMayReachTheHardLimit) {
  ASSERT_TRUE(RaiseOpenFileLimit());
  rlimit limit{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
  EXPECT_EQ(limit.rlim_cur, limit.rlim_max);
}

TEST(TickClock, CountsMilliseconds) {
  const TickClock& clock = SystemTickClock();
  const std::uint32_t before = clock.GetTickCount();
  std::this_thread::sleep_for(50ms);
  const std::uint32_t elapsed = clock.GetTickCount() - before;  // wraps like the engine's sums
  EXPECT_GE(elapsed, 40u);  // the tick advances in steps of a few milliseconds
  EXPECT_LT(elapsed, 5000u);
}

}  // namespace
}  // namespace corvane
