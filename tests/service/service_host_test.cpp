#include "service/service_host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "service/service_program.h"
#include "tests/support/fakes.h"
#include "tests/support/loopback.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

using Event = test::ServiceEvent;

const Event kRunning{"Service is running.", false};
const Event kStopped{"Service is stopped.", false};

// A platform in memory; its engine threads are real.
class FakePlatform final : public ServicePlatform {
 public:
  bool SetServiceStatus(const ServiceStatus& status) override {
    std::lock_guard lock(mutex_);
    statuses_.push_back(status);
    return status_ok;
  }
  void ReportEvent(std::string_view text, bool error) override {
    std::lock_guard lock(mutex_);
    events_.push_back({std::string(text), error});
  }
  void ReportDebug(std::string_view) override {}
  void PublishMetrics(std::string_view) override {}
  bool StartNetwork() override {
    if (network_attempts == 0) keep_alives_before_network = keep_alives.load();
    return ++network_attempts >= network_ready_at;
  }
  void LoadResolver() override {}
  void ReleaseResolver() override { ++resolver_released; }
  bool LoadConfiguration(ProxyServerTable& table) override {
    keep_alives_before_configuration = keep_alives.load();
    for (const ProxyServerSettings& record : records) static_cast<void>(table.Register(record));
    return configuration_ok;
  }
  std::optional<std::thread> CreateThread(std::function<void()> body) override {
    if (++threads_created > fail_thread_at) return std::nullopt;
    return std::thread(std::move(body));
  }
  void KeepAlive() override { ++keep_alives; }

  std::vector<Event> events() {
    std::lock_guard lock(mutex_);
    return events_;
  }
  std::vector<ServiceStatus> statuses() {
    std::lock_guard lock(mutex_);
    return statuses_;
  }

  bool status_ok = true, configuration_ok = true;
  int network_ready_at = 1;
  std::atomic<int> network_attempts = 0, resolver_released = 0;
  std::atomic<int> threads_created = 0;
  std::atomic<int> keep_alives = 0, keep_alives_before_network = -1,
                   keep_alives_before_configuration = -1;
  int fail_thread_at = 1000;
  std::vector<ProxyServerSettings> records;

 private:
  std::mutex mutex_;
  std::vector<Event> events_;
  std::vector<ServiceStatus> statuses_;
};

ServiceStatus Status(ServiceState state, std::uint32_t check_point, std::string detail = "") {
  ServiceStatus status;
  status.CurrentState = state;
  status.CheckPoint = check_point;
  status.Detail = std::move(detail);
  return status;
}

// The states and check points reported, without the reports that only brought the totals up to
// date (those repeat the state and check point before them).
std::vector<std::pair<ServiceState, std::uint32_t>> States(
    const std::vector<ServiceStatus>& statuses) {
  std::vector<std::pair<ServiceState, std::uint32_t>> states;
  for (const ServiceStatus& status : statuses) {
    const std::pair next{status.CurrentState, status.CheckPoint};
    if (states.empty() || states.back() != next) states.push_back(next);
  }
  return states;
}

ProxyServerSettings Proxy(std::uint16_t port, bool flagged = true) {
  ProxyServerSettings settings = *NewProxyServerSettings("service");
  settings.ServerAutoStartOnService = flagged;
  settings.RecvPort = settings.SendPort = port;
  return settings;
}

bool PortHeld(std::uint16_t port) {
  UdpSocket probe;
  return probe.Open(AddressFamily::kIpv4) || probe.Bind(port);
}

class ServiceHostTest : public ::testing::Test {
 protected:
  static constexpr ServiceTimings kFast{5, 1ms, 60, 1ms, 20ms};

  // Runs the service main on a thread of its own.
  void Start(ServiceTimings timings = kFast) {
    host_ = std::make_unique<ServiceHost>(platform_, timings);
    main_ = std::async(std::launch::async, [this] { host_->ServiceMain(); });
  }
  bool Ended(std::chrono::milliseconds within = 10s) {
    return main_.wait_for(within) == std::future_status::ready;
  }
  bool WaitForEvents(std::size_t count) {
    for (int i = 0; i < 1000 && platform_.events().size() < count; ++i)
      std::this_thread::sleep_for(5ms);
    return platform_.events().size() >= count;
  }

  FakePlatform platform_;
  std::unique_ptr<ServiceHost> host_;
  std::future<void> main_;
};

TEST_F(ServiceHostTest, RunsTheFlaggedProxyServersUntilAStop) {
  const std::uint16_t flagged = test::FreeUdpPort(), other = test::FreeUdpPort();
  platform_.records = {Proxy(other, false), Proxy(flagged)};
  Start();
  for (int i = 0; i < 400 && !PortHeld(flagged); ++i) std::this_thread::sleep_for(5ms);
  EXPECT_TRUE(PortHeld(flagged));
  EXPECT_FALSE(PortHeld(other));
  EXPECT_FALSE(Ended(50ms));

  host_->ServiceControlHandler(kControlStop);
  ASSERT_TRUE(Ended());
  EXPECT_EQ(platform_.events(), (std::vector<Event>{kRunning, kStopped}));
  EXPECT_EQ(States(platform_.statuses()),
            (std::vector<std::pair<ServiceState, std::uint32_t>>{{ServiceState::kRunning, 0},
                                                                 {ServiceState::kStopPending, 1},
                                                                 {ServiceState::kStopped, 0}}));
  // The stopped report has the run's totals.
  EXPECT_EQ(platform_.statuses().back().Detail,
            "0 proxy servers; 0 received, 0 ignored, 0 sent, 0 failed, 0 woke, 0 not seen");
  EXPECT_EQ(platform_.threads_created, 1);
  EXPECT_FALSE(PortHeld(flagged));
}

TEST_F(ServiceHostTest, EveryStepOfThePauseTheNetworkRetriesAndTheSupervisionKeepsItAlive) {
  platform_.records = {Proxy(test::FreeUdpPort())};
  platform_.network_ready_at = 3;
  Start();
  const int supervised = 5 + 2 + 3;
  for (int i = 0; i < 1000 && platform_.keep_alives < supervised; ++i) {
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_GE(platform_.keep_alives, supervised);
  host_->ServiceControlHandler(kControlStop);
  ASSERT_TRUE(Ended());
  EXPECT_EQ(platform_.keep_alives_before_network, 5);        // one per pause step
  EXPECT_EQ(platform_.keep_alives_before_configuration, 7);  // one per failed network attempt
}

TEST_F(ServiceHostTest, OtherControlsReportTheStateAgainWithACountedCheckPoint) {
  platform_.records = {Proxy(test::FreeUdpPort())};
  Start();
  ASSERT_TRUE(WaitForEvents(1));
  host_->ServiceControlHandler(kControlInterrogate);
  host_->ServiceControlHandler(kControlInterrogate);
  host_->ServiceControlHandler(kControlShutdown);
  ASSERT_TRUE(Ended());
  EXPECT_EQ(States(platform_.statuses()),
            (std::vector<std::pair<ServiceState, std::uint32_t>>{{ServiceState::kRunning, 0},
                                                                 {ServiceState::kRunning, 1},
                                                                 {ServiceState::kRunning, 2},
                                                                 {ServiceState::kStopPending, 3},
                                                                 {ServiceState::kStopped, 0}}));
}

TEST_F(ServiceHostTest, ANetworkThatNeverComesUpStopsTheService) {
  platform_.network_ready_at = 1000;
  Start();
  ASSERT_TRUE(Ended());
  EXPECT_EQ(platform_.network_attempts, 60);
  const Event not_ready{"The underlying network subsystem is not ready for network communication.",
                        true};
  EXPECT_EQ(platform_.events(), (std::vector<Event>{kRunning, not_ready, kStopped}));
  EXPECT_EQ(platform_.statuses().back(), Status(ServiceState::kStopped, 0));
}

TEST_F(ServiceHostTest, AStopDuringTheStartUpPauseSkipsTheNetworkAndItsError) {
  Start({5, 10s, 60, 1ms, 20ms});
  ASSERT_TRUE(WaitForEvents(1));
  host_->ServiceControlHandler(kControlStop);
  ASSERT_TRUE(Ended(2s));  // the pause ends at once
  EXPECT_EQ(platform_.network_attempts, 0);
  EXPECT_EQ(platform_.events(), (std::vector<Event>{kRunning, kStopped}));
}

TEST_F(ServiceHostTest, ConfigurationFailuresAndEmptyConfigurations) {
  platform_.configuration_ok = false;
  Start();
  ASSERT_TRUE(Ended());
  EXPECT_EQ(platform_.events(),
            (std::vector<Event>{kRunning, {"Configuration file was not found.", true}, kStopped}));
  EXPECT_EQ(platform_.resolver_released, 1);

  FakePlatform unflagged;
  unflagged.records = {Proxy(test::FreeUdpPort(), false)};
  unflagged.records[0].ServerAutoStart = true;  // flagged for the desktop only
  ServiceHost host(unflagged, kFast);
  host.ServiceMain();
  EXPECT_EQ(unflagged.threads_created, 0);
  EXPECT_EQ(
      unflagged.events(),
      (std::vector<Event>{
          kRunning,
          {"Configuration file does not contain proxies that must be started with the service.",
           true},
          kStopped}));
}

TEST_F(ServiceHostTest, SixtyFourProxyServersRunAndASixtyFifthStopsThemAll) {
  for (int i = 0; i < 64; ++i) platform_.records.push_back(Proxy(test::FreeUdpPort()));
  Start();
  ASSERT_TRUE(WaitForEvents(1));
  for (int i = 0; i < 400 && !PortHeld(platform_.records[63].RecvPort); ++i) {
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_TRUE(PortHeld(platform_.records[63].RecvPort));
  EXPECT_FALSE(Ended(50ms));
  host_->ServiceControlHandler(kControlStop);
  ASSERT_TRUE(Ended());
  EXPECT_EQ(platform_.threads_created, 64);

  FakePlatform too_many;
  too_many.records = platform_.records;
  too_many.records.push_back(Proxy(test::FreeUdpPort()));
  ServiceHost host(too_many, kFast);
  host.ServiceMain();
  EXPECT_EQ(too_many.threads_created, 64);
  EXPECT_EQ(too_many.events(),
            (std::vector<Event>{kRunning, {"Can not create threads.", true}, kStopped}));
  EXPECT_FALSE(PortHeld(too_many.records[0].RecvPort));  // the 64 were stopped again
}

TEST_F(ServiceHostTest, AThreadThatCannotBeCreatedStopsTheService) {
  platform_.records = {Proxy(test::FreeUdpPort()), Proxy(test::FreeUdpPort())};
  platform_.fail_thread_at = 1;
  Start();
  ASSERT_TRUE(Ended());
  EXPECT_EQ(platform_.events(),
            (std::vector<Event>{kRunning, {"Can not create threads.", true}, kStopped}));
}

TEST_F(ServiceHostTest, OneProxyServerThatCannotStartStopsAllOthers) {
  UdpSocket holder = test::PeerSocket(AddressFamily::kIpv4);
  const std::uint16_t held = *holder.LocalPort();
  platform_.records = {Proxy(test::FreeUdpPort()), Proxy(held), Proxy(test::FreeUdpPort())};
  Start();
  ASSERT_TRUE(Ended());
  char digits[8];
  std::snprintf(digits, sizeof digits, "%05u", unsigned{held});
  EXPECT_EQ(
      platform_.events(),
      (std::vector<Event>{kRunning,
                          {std::string("Can not bind port ") + digits + " for IPv4 socket", true},
                          kStopped}));
  EXPECT_FALSE(PortHeld(platform_.records[0].RecvPort));
  EXPECT_EQ(States(platform_.statuses()).back(), std::pair(ServiceState::kStopped, 0u));
}

TEST_F(ServiceHostTest, ARefusedRunningReportEndsWithoutAnEvent) {
  FakePlatform refused;
  refused.status_ok = false;
  ServiceHost host(refused, kFast);
  host.ServiceMain();
  EXPECT_EQ(refused.statuses().size(), 1u);
  EXPECT_TRUE(refused.events().empty());
}

TEST(ServiceProgram, NotifyMessagesCarryTheStateAndCheckPoint) {
  EXPECT_EQ(NotifyMessage(Status(ServiceState::kRunning, 0)),
            "READY=1\nSTATUS=running, check point 0");
  EXPECT_EQ(NotifyMessage(Status(ServiceState::kStopPending, 3)),
            "STOPPING=1\nSTATUS=stop pending, check point 3");
  EXPECT_EQ(NotifyMessage(Status(ServiceState::kStopped, 0)), "STATUS=stopped, check point 0");
  EXPECT_EQ(NotifyMessage(Status(ServiceState::kRunning, 2, "1 proxy server; 5 received")),
            "READY=1\nSTATUS=running, check point 2; 1 proxy server; 5 received");
}

}  // namespace
}  // namespace corvane
