#include "engine/service_proxy_thread.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/fakes.h"
#include "tests/support/loopback.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

using Event = test::ServiceEvent;

class EventLog {
 public:
  ServiceEventReporter Reporter() {
    return [this](std::string_view text, bool error) {
      std::lock_guard lock(mutex_);
      events_.push_back({std::string(text), error});
    };
  }
  std::vector<Event> events() {
    std::lock_guard lock(mutex_);
    return events_;
  }

 private:
  std::mutex mutex_;
  std::vector<Event> events_;
};

ProxyServerSettings Settings(IpMode mode, std::uint16_t receive, std::uint16_t send) {
  ProxyServerSettings settings;
  settings.IpMode = mode;
  settings.RecvPort = receive;
  settings.SendPort = send;
  return settings;
}

TEST(ServiceProxyThread, StartUpFailuresAreLoggedWithTheServiceTexts) {
  UdpSocket holder4 = test::PeerSocket(AddressFamily::kIpv4);
  UdpSocket holder6 = test::PeerSocket(AddressFamily::kIpv6);
  const std::uint16_t port4 = *holder4.LocalPort();
  const std::uint16_t port6 = *holder6.LocalPort();
  const struct {
    ProxyServerSettings settings;
    std::string text;
  } cases[] = {
      {Settings(IpMode::UseIPv4, port4, port4),
       "Can not bind port " + std::to_string(port4) + " for IPv4 socket"},
      {Settings(IpMode::UseIPv6, port6, port6),
       "Can not bind port " + std::to_string(port6) + " for IPv6 socket"},
      {Settings(static_cast<IpMode>(9), port4, port4), "Unknown error"},
  };
  for (const auto& c : cases) {
    EventLog log;
    const StopRequest stop;
    EXPECT_EQ(ServiceProxyThread(c.settings, stop, log.Reporter()), 0);
    EXPECT_EQ(log.events(), (std::vector<Event>{{c.text, true}}));
  }
}

// The events keep their texts; the system's reason and the port go to a debug line beside them.
TEST(ServiceProxyThread, TheSystemsReasonForASocketFailureGoesToADebugLine) {
  UdpSocket holder = test::PeerSocket(AddressFamily::kIpv4);
  const std::uint16_t held = *holder.LocalPort();
  const std::uint16_t free_port = test::FreeUdpPort();
  const auto run = [](std::uint16_t port) {
    EventLog log;
    std::vector<std::string> debug;
    const StopRequest stop;
    ServiceProxyThread(Settings(IpMode::UseIPv4, port, port), stop, log.Reporter(),
                       [&debug](std::string_view text) { debug.emplace_back(text); });
    EXPECT_EQ(log.events().size(), 1u);
    return debug;
  };
  EXPECT_EQ(run(held), (std::vector<std::string>{"Can not bind port " + std::to_string(held) +
                                                 " for IPv4 socket (port " + std::to_string(held) +
                                                 "): Address already in use"}));
  // So few descriptors left that a socket would take one of the process's reserve.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  const int next_descriptor = dup(0);
  close(next_descriptor);
  rlimit low = saved;
  low.rlim_cur = static_cast<rlim_t>(next_descriptor) + 16;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  const std::vector<std::string> debug = run(free_port);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
  EXPECT_EQ(debug,
            (std::vector<std::string>{"Can not create IPv4 socket (port " +
                                      std::to_string(free_port) + "): Too many open files"}));
}

TEST(ServiceProxyThread, ServesUntilTheStopFlagIsSet) {
  EventLog log;
  StopRequest stop;
  const std::uint16_t port = test::FreeUdpPort();
  const ProxyServerSettings settings = Settings(IpMode::UseIPv4IPv6, port, port);
  auto thread = std::async(std::launch::async,
                           [&] { return ServiceProxyThread(settings, stop, log.Reporter()); });
  EXPECT_EQ(thread.wait_for(100ms), std::future_status::timeout);
  stop.Request();
  ASSERT_EQ(thread.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(thread.get(), 0);
  EXPECT_TRUE(log.events().empty());
}

TEST(ServiceProxyThread, AnEscapingExceptionIsAnInternalError) {
  StopRequest stop;
  int calls = 0;
  const ServiceEventReporter throwing_once = [&](std::string_view text, bool error) {
    if (calls++ == 0) throw std::runtime_error("event log gone");
    EXPECT_EQ(text, "Internal error");
    EXPECT_TRUE(error);
  };
  UdpSocket holder = test::PeerSocket(AddressFamily::kIpv4);
  const std::uint16_t port = *holder.LocalPort();
  EXPECT_EQ(ServiceProxyThread(Settings(IpMode::UseIPv4, port, port), stop, throwing_once), 0);
  EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace corvane
