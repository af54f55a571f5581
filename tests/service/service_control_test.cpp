#include "service/service_control.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

#include "tests/support/fake_service_manager.h"
#include "tests/support/temp_home.h"

namespace corvane {
namespace {

using test::FakeManager;
using test::FakeServiceSystem;

using namespace std::chrono_literals;

// Copies that succeed unless scripted otherwise, in a log.
class FakeFiles final : public FileCopier {
 public:
  std::error_code CopyFile(const std::string& from, const std::string& to, unsigned mode) override {
    char octal[8];
    std::snprintf(octal, sizeof octal, " %04o", mode);
    log->push_back("copy " + from + " -> " + to + octal);
    auto& script = failures[from];
    if (script.empty()) return {};
    const std::error_code error = script.front();
    if (script.size() > 1 || error == ServiceManagerError::kFileNotFound)
      script.erase(script.begin());
    return error;
  }
  std::map<std::string, std::vector<std::error_code>> failures;  // the last one repeats
  std::vector<std::string>* log = nullptr;
};

class ServiceControlTest : public ::testing::Test {
 protected:
  ServiceControlTest() {
    system_.log = &log_;
    files_.log = &log_;
  }

  ServiceControl Control() {
    return ServiceControl{manager_,
                          files_,
                          {"/home/u/Corvane/profile.dat", "/opt/corvane/CorvaneService.dat",
                           "/usr/bin/CorvaneService", "/opt/corvane/CorvaneService"},
                          [this] { log_.push_back("save"); },
                          [this] { log_.push_back("stop all"); },
                          [this](std::chrono::milliseconds wait) { sleeps_.push_back(wait); }};
  }

  FakeServiceSystem system_;
  FakeManager manager_{system_};
  FakeFiles files_;
  std::vector<std::string> log_;
  std::vector<std::chrono::milliseconds> sleeps_;
};

const std::string kAdmin = "\r\nYou need to run the program as an administrator.";
const std::string kReinstall = "\r\nYou need to reinstall the service.";
const std::string kInstalled =
    "Success: The service was successfully installed.\r\n"
    "The service will start automatically when the system boots.\r\n"
    "Click on \"Start\" to start the service immediately.";
const std::string kNoManager = "Failed: Can not get access to the service manager." + kAdmin;
// The message of an action's outcome, which says success exactly when the message does.
std::string Said(const ServiceOutcome& outcome) {
  EXPECT_EQ(outcome.succeeded, outcome.message.starts_with("Success: ")) << outcome.message;
  return outcome.message;
}

// The program file held by a stopping service.
const std::error_code kInUse = std::make_error_code(std::errc::text_file_busy);

TEST_F(ServiceControlTest, AFirstInstallCopiesThenCreatesTheService) {
  EXPECT_EQ(Said(Control().Install()), kInstalled);
  EXPECT_EQ(log_,
            (std::vector<std::string>{
                "save", "copy /home/u/Corvane/profile.dat -> /opt/corvane/CorvaneService.dat 0600",
                "copy /usr/bin/CorvaneService -> /opt/corvane/CorvaneService 0755", "create"}));
  EXPECT_EQ(system_.definition.display_name, "CorvaneService");
  EXPECT_EQ(system_.definition.program, "/opt/corvane/CorvaneService");
  EXPECT_EQ(system_.description, "Corvane Service");
}

TEST_F(ServiceControlTest, ASecondInstallStopsAndReconfiguresKeepingTheDisplayName) {
  ASSERT_EQ(Said(Control().Install()), kInstalled);
  system_.definition.display_name = "Renamed by hand";
  system_.state = ServiceRunState::kRunning;
  EXPECT_EQ(Said(Control().Install()), kInstalled);
  EXPECT_EQ(system_.stops, 1);
  EXPECT_EQ(system_.creates, 1);
  EXPECT_EQ(system_.reconfigures, 1);
  EXPECT_EQ(system_.definition.display_name, "Renamed by hand");
}

TEST_F(ServiceControlTest, ALockedProgramFailsAfterFifteenRetriesAndLeavesTheService) {
  system_.installed = true;
  files_.failures["/usr/bin/CorvaneService"] = {kInUse};  // for good
  EXPECT_EQ(Said(Control().Install()),
            "Failed: Can not create file \"CorvaneService\" in \"/opt/corvane\".");
  EXPECT_EQ(std::count_if(
                log_.begin(), log_.end(),
                [](const std::string& line) { return line.find("/usr/bin") != std::string::npos; }),
            16);
  EXPECT_EQ(sleeps_, std::vector<std::chrono::milliseconds>(15, 1000ms));
  EXPECT_EQ(system_.reconfigures + system_.creates, 0);

  sleeps_.clear();
  files_.failures["/usr/bin/CorvaneService"] = {
      kInUse, kInUse, kInUse, {}};  // released after a while
  EXPECT_EQ(Said(Control().Install()), kInstalled);
  EXPECT_EQ(sleeps_.size(), 2u);
}

TEST_F(ServiceControlTest, AMissingProgramIsNamedAfterTheConfigurationWasCopied) {
  files_.failures["/usr/bin/CorvaneService"] = {ServiceManagerError::kFileNotFound};
  EXPECT_EQ(Said(Control().Install()),
            "Failed: The file \"/usr/bin/CorvaneService\" not found.\r\n"
            "You need to reinstall the program.");
  EXPECT_EQ(log_[1], "copy /home/u/Corvane/profile.dat -> /opt/corvane/CorvaneService.dat 0600");
  EXPECT_TRUE(sleeps_.empty());
  EXPECT_EQ(system_.creates, 0);
}

TEST_F(ServiceControlTest, InstallFailureTexts) {
  system_.connect_error = ServiceManagerError::kAccessDenied;
  EXPECT_EQ(Said(Control().Install()), kNoManager);
  system_.connect_error.clear();

  system_.installed = true;
  system_.state = ServiceRunState::kRunning;
  system_.stop_error = ServiceManagerError::kAccessDenied;
  EXPECT_EQ(Said(Control().Install()), "Failed: Can not stop the service." + kAdmin);
  system_.stop_error.clear();
  system_.open_error = ServiceManagerError::kAccessDenied;
  EXPECT_EQ(Said(Control().Install()), "Failed: Can not open the service." + kAdmin);
  system_.open_error.clear();

  files_.failures["/home/u/Corvane/profile.dat"] = {ServiceManagerError::kPathNotFound};
  EXPECT_EQ(Said(Control().Install()),
            "Failed: The file \"/home/u/Corvane/profile.dat\" not found.");
  files_.failures["/home/u/Corvane/profile.dat"] = {ServiceManagerError::kAccessDenied};
  EXPECT_EQ(Said(Control().Install()),
            "Failed: Can not create file \"CorvaneService.dat\" in \"/opt/corvane\"." + kAdmin);
  files_.failures.clear();

  system_.installed = false;
  system_.create_error = ServiceManagerError::kAccessDenied;
  EXPECT_EQ(Said(Control().Install()), "Failed: Can not create service.");
}

TEST_F(ServiceControlTest, PathsThatCannotBeBuiltStopInstallAndApply) {
  const std::string no_paths = "Failed: Can not get the path to \"/opt/corvane\" or \"~\".";
  ServiceControl control = Control();
  control.paths.profile.clear();
  EXPECT_EQ(Said(control.Install()), no_paths);
  EXPECT_EQ(Said(control.Apply()), no_paths);
  EXPECT_EQ(system_.connects_with_full_access, 0);

  test::TempHome home;
  setenv("HOME", ("/" + std::string(230, 'h')).c_str(), 1);
  EXPECT_TRUE(CurrentServicePaths().profile.empty());
  setenv("HOME", (home.path() + "/").c_str(), 1);
  const ServicePaths paths = CurrentServicePaths();
  EXPECT_EQ(paths.profile, home.path() + "/Corvane/profile.dat");
  EXPECT_EQ(paths.service_configuration, "/opt/corvane/CorvaneService.dat");
  EXPECT_EQ(paths.program_target, "/opt/corvane/CorvaneService");
  EXPECT_FALSE(paths.program_source.empty());
}

TEST_F(ServiceControlTest, StartStopsTheLocalProxyServersFirstAndWordsEachOutcome) {
  system_.connect_error = ServiceManagerError::kAccessDenied;
  EXPECT_EQ(Said(Control().Start()), kNoManager);
  EXPECT_EQ(log_, std::vector<std::string>{"stop all"});
  system_.connect_error.clear();

  EXPECT_EQ(Said(Control().Start()),
            "Failed: Can not open the service." + kReinstall);  // not installed
  system_.installed = true;
  system_.open_error = ServiceManagerError::kAccessDenied;
  EXPECT_EQ(Said(Control().Start()), "Failed: Can not open the service." + kAdmin);
  system_.open_error.clear();

  EXPECT_EQ(Said(Control().Start()), "Success: The service started successfully.");
  EXPECT_EQ(Said(Control().Start()), "Success: The service is already running.");
  system_.disabled = true;
  EXPECT_EQ(Said(Control().Start()), "Success: The service is already running.");
  system_.state = ServiceRunState::kStopped;
  EXPECT_EQ(Said(Control().Start()), "Failed: The service is disabled." + kReinstall);
  system_.disabled = false;
  system_.start_error = ServiceManagerError::kRequestTimeout;
  EXPECT_EQ(Said(Control().Start()), "Failed: Can not start the service." + kReinstall);
}

TEST_F(ServiceControlTest, StopWordsEachOutcome) {
  system_.installed = true;
  system_.state = ServiceRunState::kRunning;
  EXPECT_EQ(Said(Control().Stop()), "Success: The service stopped successfully.");
  system_.state = ServiceRunState::kStopped;
  EXPECT_EQ(Said(Control().Stop()), "Success: The service is already stopped.");
  system_.state = ServiceRunState::kRunning;
  system_.stop_error = ServiceManagerError::kAccessDenied;
  EXPECT_EQ(Said(Control().Stop()), "Failed: Can not stop the service.");
  system_.open_error = ServiceManagerError::kMarkedForDelete;
  EXPECT_EQ(Said(Control().Stop()), "Failed: Can not open the service." + kReinstall);
}

TEST_F(ServiceControlTest, RemoveWordsEachOutcome) {
  EXPECT_EQ(Said(Control().Remove()), "Success: The service already deleted.");
  system_.installed = true;
  system_.state = ServiceRunState::kRunning;
  EXPECT_EQ(Said(Control().Remove()), "Success: The service removed successfully.");
  EXPECT_EQ(system_.stops, 1);
  EXPECT_FALSE(system_.installed);
  system_.installed = true;
  system_.delete_error = ServiceManagerError::kMarkedForDelete;
  EXPECT_EQ(Said(Control().Remove()), "Success: The service already deleted.");
  system_.delete_error = ServiceManagerError::kAccessDenied;
  EXPECT_EQ(Said(Control().Remove()), "Failed: Can not delete the service.");
  system_.open_error = ServiceManagerError::kAccessDenied;
  EXPECT_EQ(Said(Control().Remove()), "Failed: Can not open the service." + kAdmin);
  system_.connect_error = ServiceManagerError::kAccessDenied;
  EXPECT_EQ(Said(Control().Remove()), kNoManager);
}

TEST_F(ServiceControlTest, ApplyCopiesTheConfigurationOnly) {
  system_.installed = true;
  system_.state = ServiceRunState::kRunning;
  EXPECT_EQ(Said(Control().Apply()),
            "Success: Configuration file has been updated successfully.\r\n"
            "You need to restart the service to take effect.");
  EXPECT_EQ(log_, (std::vector<std::string>{
                      "save",
                      "copy /home/u/Corvane/profile.dat -> /opt/corvane/CorvaneService.dat 0600"}));
  EXPECT_EQ(system_.state, ServiceRunState::kRunning);
  EXPECT_EQ(system_.connects_with_full_access, 0);
}

TEST_F(ServiceControlTest, QueryServiceRunningCountsRunningPausedAndBetween) {
  EXPECT_FALSE(QueryServiceRunning(manager_));  // not installed
  system_.installed = true;
  const std::pair<ServiceRunState, bool> states[] = {
      {ServiceRunState::kStopped, false},        {ServiceRunState::kStartPending, false},
      {ServiceRunState::kStopPending, false},    {ServiceRunState::kRunning, true},
      {ServiceRunState::kContinuePending, true}, {ServiceRunState::kPausePending, true},
      {ServiceRunState::kPaused, true}};
  for (const auto& [state, running] : states) {
    system_.state = state;
    EXPECT_EQ(QueryServiceRunning(manager_), running) << static_cast<int>(state);
  }
  system_.query_error = ServiceManagerError::kAccessDenied;
  EXPECT_FALSE(QueryServiceRunning(manager_));
  EXPECT_EQ(system_.connects_with_full_access, 0);  // it only connects
}

// An errno never reads as an answer of the service manager: not with the answer's own number,
// nor with the number it had as an offset errno (errno 60 once read as 1060, "does not exist").
TEST(ServiceManagerError, ErrnoValuesStayApartFromTheManagersAnswers) {
  for (const ServiceManagerError answer :
       {ServiceManagerError::kFileNotFound, ServiceManagerError::kPathNotFound,
        ServiceManagerError::kAccessDenied, ServiceManagerError::kNotReady,
        ServiceManagerError::kInvalidName, ServiceManagerError::kRequestTimeout,
        ServiceManagerError::kAlreadyRunning, ServiceManagerError::kDisabled,
        ServiceManagerError::kDoesNotExist, ServiceManagerError::kNotActive,
        ServiceManagerError::kStartFailed, ServiceManagerError::kMarkedForDelete}) {
    const int number = static_cast<int>(answer);
    EXPECT_NE(ErrnoCode(number), answer) << number;
    EXPECT_NE(ErrnoCode(number % 1000), answer) << number;
    EXPECT_EQ(std::error_code(answer).message().find("unknown"), std::string::npos) << number;
  }
  EXPECT_EQ(std::error_code(ServiceManagerError::kDoesNotExist).message(),
            "the service does not exist");
}

// The copies never take their source's mode: a world-readable profile or a setuid, world-writable
// program gives a configuration for root alone and a program only root may change.
TEST(SystemFileCopier, CopiesWholeFilesWithTheirOwnModesIntoAFolderOfMode0755) {
  namespace fs = std::filesystem;
  test::TempHome home;
  const std::string source = home.path() + "/source";
  std::ofstream(source) << "#!/bin/sh\n";
  const std::string system = home.path() + "/system";
  SystemFileCopier copier;
  for (unsigned source_mode : {0644u, 04777u}) {
    fs::permissions(source, fs::perms(source_mode));
    for (unsigned mode : {kServiceConfigurationMode, kServiceProgramMode}) {
      const std::string target = system + "/copy";
      ASSERT_EQ(copier.CopyFile(source, target, mode), std::error_code());
      EXPECT_EQ(fs::file_size(target), 10u);
      struct stat info {};
      ASSERT_EQ(stat(target.c_str(), &info), 0);
      EXPECT_EQ(info.st_mode & 07777, mode) << std::oct << source_mode;
      EXPECT_EQ(info.st_uid, geteuid());
      if (geteuid() == 0) {
        EXPECT_EQ(info.st_gid, 0u);
      }
      EXPECT_EQ(fs::status(system).permissions(), fs::perms(0755));
      fs::permissions(system, fs::perms(0777));  // set right again by the next copy
    }
  }
  EXPECT_EQ(copier.CopyFile(home.path() + "/missing", system + "/copy", 0600),
            ServiceManagerError::kFileNotFound);
  EXPECT_EQ(fs::file_size(system + "/copy"), 10u);
}

}  // namespace
}  // namespace corvane
