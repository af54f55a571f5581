#include "service/systemd_service_manager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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
       {"Description=Corvane Service\n", "Type=notify\n", "ExecStart=/opt/corvane/CorvaneService\n",
        "SyslogIdentifier=CorvaneService\n", "Restart=no\n", "ProtectSystem=strict\n",
        "ReadOnlyPaths=/opt/corvane\n", "ProtectHome=yes\n", "PrivateTmp=yes\n",
        "RestrictAddressFamilies=AF_INET AF_INET6 AF_UNIX AF_NETLINK\n",
        "WantedBy=multi-user.target\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(text.find('@'), std::string::npos);
}

TEST(SystemdServiceManager, ActiveStatesMapOntoServiceStates) {
  EXPECT_EQ(StateOfActiveState("active"), ServiceRunState::kRunning);
  EXPECT_EQ(StateOfActiveState("reloading"), ServiceRunState::kRunning);
  EXPECT_EQ(StateOfActiveState("activating"), ServiceRunState::kStartPending);
  EXPECT_EQ(StateOfActiveState("deactivating"), ServiceRunState::kStopPending);
  EXPECT_EQ(StateOfActiveState("inactive"), ServiceRunState::kStopped);
  EXPECT_EQ(StateOfActiveState("failed"), ServiceRunState::kStopped);
}

TEST(SystemdServiceManager, WithoutSystemdTheManagerCannotBeReached) {
  SystemdManagerOptions options;
  options.open_bus = [](int& error) {
    error = ENOENT;
    return std::unique_ptr<SystemdBus>();
  };
  options.full_access_needs_root = false;
  SystemdServiceManager manager(options);
  std::unique_ptr<ServiceManagerHandle> connection;
  EXPECT_EQ(manager.Connect(true, connection), kErrorNotReady);
  EXPECT_FALSE(QueryServiceRunning(manager));
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
    options.open_bus = [this](int& error) {
      return SystemdBus::OpenOnSocket(systemd_.Connect(), error);
    };
    options.full_access_needs_root = false;
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
};

TEST_F(ActionsOnSystemd, InstallStartStopRemove) {
  EXPECT_FALSE(QueryServiceRunning(*manager_));
  EXPECT_TRUE(
      Control().Install().starts_with("Success: The service was successfully installed.\r\n"));
  const std::string unit_file = units_ + "/" + kUnit;
  ASSERT_TRUE(std::filesystem::exists(unit_file));
  ServiceDefinition expected;
  expected.program = home_.path() + "/system/CorvaneService";
  std::ifstream written(unit_file);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), UnitFileText(expected));
  EXPECT_TRUE(systemd_.Enabled(kUnit));
  EXPECT_GE(systemd_.reloads(), 1);
  EXPECT_TRUE(std::filesystem::exists(home_.path() + "/system/CorvaneService.dat"));

  EXPECT_EQ(Control().Start(), "Success: The service started successfully.");
  EXPECT_TRUE(QueryServiceRunning(*manager_));
  EXPECT_EQ(Control().Start(), "Success: The service is already running.");
  EXPECT_EQ(Control().Stop(), "Success: The service stopped successfully.");
  EXPECT_EQ(Control().Stop(), "Success: The service is already stopped.");

  // A second install reconfigures: the unit file is written again and stays enabled.
  EXPECT_EQ(Control().Install().substr(0, 8), "Success:");
  EXPECT_EQ(Control().Remove(), "Success: The service removed successfully.");
  EXPECT_FALSE(std::filesystem::exists(unit_file));
  EXPECT_FALSE(systemd_.Enabled(kUnit));
  EXPECT_EQ(Control().Remove(), "Success: The service already deleted.");
  EXPECT_EQ(Control().Start(),
            "Failed: Can not open the service.\r\nYou need to reinstall the service.");
}

TEST_F(ActionsOnSystemd, AUnitRunningWithoutItsFileIsMarkedForDelete) {
  ASSERT_EQ(Control().Install().substr(0, 8), "Success:");
  ASSERT_EQ(Control().Start(), "Success: The service started successfully.");
  std::filesystem::remove(units_ + "/" + kUnit);
  EXPECT_EQ(Control().Remove(), "Success: The service already deleted.");
  EXPECT_EQ(Control().Stop(),
            "Failed: Can not open the service.\r\nYou need to reinstall the service.");
  EXPECT_EQ(systemd_.ActiveState(kUnit), "active");
}

}  // namespace
}  // namespace corvane
