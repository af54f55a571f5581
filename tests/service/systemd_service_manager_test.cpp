#include "service/systemd_service_manager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "service/service_control.h"
#include "tests/support/fake_systemd.h"
#include "tests/support/temp_home.h"

namespace corvane {
namespace {

constexpr char kUnit[] = "CorvaneService.service";

TEST(SystemdServiceManager, TheUnitFileComesFromTheTemplate) {
  ServiceDefinition definition;
  definition.program = "/opt/corvane/CorvaneService";
  const std::string text = UnitFileText(definition);
  for (const char* line :
       {"Description=Corvane Service\n", "Wants=network-online.target\n",
        "After=network-online.target\n", "Type=notify\n", "ExecStart=/opt/corvane/CorvaneService\n",
        "SyslogIdentifier=CorvaneService\n", "Restart=on-abnormal\n", "WatchdogSec=30s\n",
        "ProtectSystem=strict\n", "ReadOnlyPaths=/opt/corvane\n", "ProtectHome=yes\n",
        "PrivateTmp=yes\n",
        "RestrictAddressFamilies=AF_INET AF_INET6 AF_UNIX AF_NETLINK AF_PACKET\n",
        "CapabilityBoundingSet=CAP_NET_BIND_SERVICE CAP_NET_RAW\n",
        "WantedBy=multi-user.target\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
  EXPECT_FALSE(std::regex_search(text, std::regex("@[A-Z_]+@"))) << "a placeholder is left";
}

TEST(SystemdServiceManager, ActiveStatesMapOntoServiceStates) {
  EXPECT_EQ(StateOfActiveState("active"), ServiceRunState::kRunning);
  EXPECT_EQ(StateOfActiveState("reloading"), ServiceRunState::kRunning);
  EXPECT_EQ(StateOfActiveState("activating"), ServiceRunState::kStartPending);
  EXPECT_EQ(StateOfActiveState("deactivating"), ServiceRunState::kStopPending);
  EXPECT_EQ(StateOfActiveState("inactive"), ServiceRunState::kStopped);
  EXPECT_EQ(StateOfActiveState("failed"), ServiceRunState::kStopped);
}

TEST(SystemdServiceManager, WithoutSystemdTheActionsSaySoRatherThanAskForRights) {
  for (const bool systemd_runs : {false, true}) {
    SystemdManagerOptions options;
    options.manager_running = [systemd_runs] { return systemd_runs; };
    options.open_bus = options.open_manager_socket = [] {
      return OpenedBus{nullptr, ErrnoCode(ENOENT)};
    };
    options.full_access_needs_root = false;
    SystemdServiceManager manager(options);
    std::unique_ptr<ServiceManagerHandle> connection;
    EXPECT_EQ(manager.Connect(true, connection) == ServiceManagerError::kNotReady, !systemd_runs);
    EXPECT_FALSE(QueryServiceRunning(manager));
    SystemFileCopier copier;
    ServiceControl control{manager, copier, {}, [] {}, [] {}, [](std::chrono::milliseconds) {}};
    const std::string hint = systemd_runs
                                 ? "You need to run the program as an administrator."
                                 : "The systemd service manager is not running on this system.";
    for (const std::string& result :
         {control.Start().message, control.Stop().message, control.Remove().message}) {
      EXPECT_EQ(result, "Failed: Can not get access to the service manager.\r\n" + hint);
    }
  }
}

// The five actions against the stand-in, through the real sd-bus client.
class ActionsOnSystemd : public ::testing::Test {
 protected:
  ActionsOnSystemd() {
    std::filesystem::create_directories(units_);
    std::filesystem::create_directories(home_.path() + "/Corvane");
    std::ofstream(home_.path() + "/Corvane/profile.dat") << "profile";
    std::ofstream(home_.path() + "/CorvaneService") << "program";
    SystemdManagerOptions options;
    options.unit_folder = units_;
    options.manager_running = [] { return true; };
    options.open_bus = [this] {
      if (bus_down_) return OpenedBus{nullptr, ErrnoCode(ECONNREFUSED)};
      return SystemdBus::OpenOnSocket(systemd_.Connect());
    };
    options.open_manager_socket = [this] {
      ++direct_connections_;
      return SystemdBus::OpenOnSocket(systemd_.Connect());
    };
    options.full_access_needs_root = false;
    options.start_wait = std::chrono::milliseconds(200);
    manager_ = std::make_unique<SystemdServiceManager>(options);
  }

  ServiceControl Control() {
    const std::string system = home_.path() + "/system";
    return ServiceControl{*manager_,
                          copier_,
                          {home_.path() + "/Corvane/profile.dat", system + "/CorvaneService.dat",
                           home_.path() + "/CorvaneService", system + "/CorvaneService"},
                          [] {},
                          [] {},
                          [](std::chrono::milliseconds) {}};
  }

  test::TempHome home_;
  const std::string units_ = home_.path() + "/units";
  test::FakeSystemd systemd_{units_};
  SystemFileCopier copier_;
  std::unique_ptr<SystemdServiceManager> manager_;
  bool bus_down_ = false;
  int direct_connections_ = 0;
};

TEST_F(ActionsOnSystemd, InstallStartStopRemove) {
  EXPECT_FALSE(QueryServiceRunning(*manager_));
  EXPECT_TRUE(Control().Install().message.starts_with(
      "Success: The service was successfully installed.\r\n"));
  const std::string unit_file = units_ + "/" + kUnit;
  ASSERT_TRUE(std::filesystem::exists(unit_file));
  ServiceDefinition expected;
  expected.program = home_.path() + "/system/CorvaneService";
  std::ifstream written(unit_file);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), UnitFileText(expected));
  EXPECT_TRUE(systemd_.Enabled(kUnit));
  EXPECT_GE(systemd_.reloads(), 1);
  EXPECT_TRUE(std::filesystem::exists(home_.path() + "/system/CorvaneService.dat"));

  EXPECT_EQ(Control().Start().message, "Success: The service started successfully.");
  EXPECT_TRUE(QueryServiceRunning(*manager_));
  EXPECT_EQ(Control().Start().message, "Success: The service is already running.");
  EXPECT_EQ(Control().Stop().message, "Success: The service stopped successfully.");
  EXPECT_EQ(Control().Stop().message, "Success: The service is already stopped.");

  // A second install reconfigures: the unit file is written again and stays enabled.
  EXPECT_EQ(Control().Install().message.substr(0, 8), "Success:");
  EXPECT_EQ(Control().Remove().message, "Success: The service removed successfully.");
  EXPECT_FALSE(std::filesystem::exists(unit_file));
  EXPECT_FALSE(systemd_.Enabled(kUnit));
  EXPECT_EQ(Control().Remove().message, "Success: The service already deleted.");
  EXPECT_EQ(Control().Start().message,
            "Failed: Can not open the service.\r\nYou need to reinstall the service.");
}

TEST_F(ActionsOnSystemd, AUnitRunningWithoutItsFileIsMarkedForDelete) {
  ASSERT_EQ(Control().Install().message.substr(0, 8), "Success:");
  ASSERT_EQ(Control().Start().message, "Success: The service started successfully.");
  std::filesystem::remove(units_ + "/" + kUnit);
  EXPECT_EQ(Control().Remove().message, "Success: The service already deleted.");
  EXPECT_EQ(Control().Stop().message,
            "Failed: Can not open the service.\r\nYou need to reinstall the service.");
  EXPECT_EQ(systemd_.ActiveState(kUnit), "active");
}

TEST_F(ActionsOnSystemd, StartSucceedsOnlyWhenTheStartJobIsDone) {
  ASSERT_EQ(Control().Install().message.substr(0, 8), "Success:");
  // "" is a job that does not end within the wait.
  for (const char* result : {"failed", "dependency", "timeout", ""}) {
    systemd_.SetStartResult(kUnit, result);
    systemd_.SetActiveState(kUnit, "inactive");
    EXPECT_EQ(Control().Start().message,
              "Failed: Can not start the service.\r\nYou need to reinstall the service.")
        << result;
  }
  systemd_.SetStartResult(kUnit, "done");
  systemd_.SetActiveState(kUnit, "inactive");
  EXPECT_EQ(Control().Start().message, "Success: The service started successfully.");
}

TEST_F(ActionsOnSystemd, WithoutTheBusDaemonRootTalksToSystemdDirectly) {
  bus_down_ = true;
  EXPECT_EQ(Control().Install().message.substr(0, 8), "Success:");
  EXPECT_EQ(Control().Start().message, "Success: The service started successfully.");
  EXPECT_EQ(Control().Stop().message, "Success: The service stopped successfully.");
  EXPECT_EQ(Control().Remove().message, "Success: The service removed successfully.");
  EXPECT_EQ(direct_connections_, 4);
}

}  // namespace
}  // namespace corvane
