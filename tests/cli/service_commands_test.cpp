#include "cli/service_commands.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "config/profile_file.h"
#include "tests/support/fake_service_manager.h"
#include "tests/support/temp_home.h"

namespace corvane {
namespace {

using test::FakeManager;
using test::FakeServiceSystem;

// Real copies into the test's folder, failing where a test says so.
class ScriptedFiles final : public FileCopier {
 public:
  std::error_code CopyFile(const std::string& from, const std::string& to, unsigned mode) override {
    if (to.ends_with(".dat") && dat_error) return dat_error;
    return real.CopyFile(from, to, mode);
  }
  std::error_code dat_error;
  SystemFileCopier real;
};

const std::string kJson = R"({"ProxyServers": [{"ServerName": "relay",
    "ServerAutoStartOnService": true, "RecvPort": 9}]})";

class ServiceCommandsTest : public ::testing::Test {
 protected:
  ServiceCommandsTest() {
    std::filesystem::create_directories(folder_ + "/bin");
    std::filesystem::create_directories(folder_ + "/scratch");
    std::ofstream(folder_ + "/bin/CorvaneService") << "program";
    Write("relay.json", kJson);
  }

  void Write(const std::string& name, const std::string& text) {
    std::ofstream(folder_ + "/" + name, std::ios::binary) << text;
  }
  std::string Installed() {
    std::ifstream file(dat_, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
  }

  // Runs a command line; the text of both streams and the exit status.
  struct Outcome {
    std::string out, err;
    int status;
  };
  Outcome Run(std::vector<std::string> args) {
    ServiceCommandHost host{manager_,
                            files_,
                            {folder_ + "/home/Corvane/profile.dat", dat_,
                             folder_ + "/bin/CorvaneService", folder_ + "/sys/CorvaneService"},
                            [](std::chrono::milliseconds) {},
                            [this] { return status_; },
                            folder_ + "/scratch"};
    std::ostringstream out, err;
    const int status = RunServiceCommand(args, host, out, err);
    return {out.str(), err.str(), status};
  }

  test::TempHome home_;
  const std::string folder_ = home_.path();
  const std::string dat_ = folder_ + "/sys/CorvaneService.dat";
  FakeServiceSystem system_;
  FakeManager manager_{system_};
  ScriptedFiles files_;
  ServiceStatusReport status_;
};

const std::string kAdmin = "\nYou need to run the program as an administrator.\n";
const std::string kReinstall = "\nYou need to reinstall the service.\n";
const std::string kInstalled =
    "Success: The service was successfully installed.\n"
    "The service will start automatically when the system boots.\n"
    "Click on \"Start\" to start the service immediately.\n";
const std::string kApplied =
    "Success: Configuration file has been updated successfully.\n"
    "You need to restart the service to take effect.\n";

// Each action with each answer of the service manager: the text, where it goes, the status.
TEST_F(ServiceCommandsTest, EachActionAndEachScriptedFailure) {
  const std::error_code denied = ServiceManagerError::kAccessDenied;
  const std::string relay = folder_ + "/relay.json";
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::function<void(FakeServiceSystem&, ScriptedFiles&)> script;
    std::string text;
    int status;
  };
  const Case cases[] = {
      {"install", {"install", relay}, {}, kInstalled, 0},
      {"install, not root",
       {"install", relay},
       [&](auto& s, auto&) { s.connect_error = denied; },
       "Failed: Can not get access to the service manager." + kAdmin,
       1},
      {"install, running service will not stop",
       {"install", relay},
       [&](auto& s, auto&) {
         s.installed = true, s.state = ServiceRunState::kRunning, s.stop_error = denied;
       },
       "Failed: Can not stop the service." + kAdmin,
       1},
      {"install, configuration not writable",
       {"install", relay},
       [&](auto&, auto& f) { f.dat_error = denied; },
       "Failed: Can not create file \"CorvaneService.dat\" in \"/opt/corvane\"." + kAdmin,
       1},
      {"install, create refused",
       {"install", relay},
       [&](auto& s, auto&) { s.create_error = denied; },
       "Failed: Can not create service.\n",
       1},
      {"apply", {"apply", relay}, {}, kApplied, 0},
      {"apply, not root",
       {"apply", relay},
       [&](auto&, auto& f) { f.dat_error = denied; },
       "Failed: Can not create file \"CorvaneService.dat\" in \"/opt/corvane\"." + kAdmin,
       1},
      {"start",
       {"start"},
       [](auto& s, auto&) { s.installed = true; },
       "Success: The service started successfully.\n",
       0},
      {"start, running",
       {"start"},
       [](auto& s, auto&) { s.installed = true, s.state = ServiceRunState::kRunning; },
       "Success: The service is already running.\n",
       0},
      {"start, not installed", {"start"}, {}, "Failed: Can not open the service." + kReinstall, 1},
      {"start, not root",
       {"start"},
       [&](auto& s, auto&) { s.connect_error = denied; },
       "Failed: Can not get access to the service manager." + kAdmin,
       1},
      {"start, masked",
       {"start"},
       [](auto& s, auto&) { s.installed = true, s.disabled = true; },
       "Failed: The service is disabled." + kReinstall,
       1},
      {"start, fails",
       {"start"},
       [](auto& s, auto&) {
         s.installed = true, s.start_error = ServiceManagerError::kStartFailed;
       },
       "Failed: Can not start the service." + kReinstall,
       1},
      {"stop",
       {"stop"},
       [](auto& s, auto&) { s.installed = true, s.state = ServiceRunState::kRunning; },
       "Success: The service stopped successfully.\n",
       0},
      {"stop, stopped",
       {"stop"},
       [](auto& s, auto&) { s.installed = true; },
       "Success: The service is already stopped.\n",
       0},
      {"stop, refused",
       {"stop"},
       [&](auto& s, auto&) {
         s.installed = true, s.state = ServiceRunState::kRunning, s.stop_error = denied;
       },
       "Failed: Can not stop the service.\n",
       1},
      {"remove",
       {"remove"},
       [](auto& s, auto&) { s.installed = true; },
       "Success: The service removed successfully.\n",
       0},
      {"remove, not installed", {"remove"}, {}, "Success: The service already deleted.\n", 0},
      {"remove, refused",
       {"remove"},
       [&](auto& s, auto&) { s.installed = true, s.delete_error = denied; },
       "Failed: Can not delete the service.\n",
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    system_ = FakeServiceSystem{};
    files_.dat_error.clear();
    if (c.script) c.script(system_, files_);
    const Outcome outcome = Run(c.args);
    EXPECT_EQ(c.status == 0 ? outcome.out : outcome.err, c.text);
    EXPECT_EQ(c.status == 0 ? outcome.err : outcome.out, "");
    EXPECT_EQ(outcome.status, c.status);
  }
  EXPECT_TRUE(std::filesystem::is_empty(folder_ + "/scratch")) << "the private copies are removed";
}

TEST_F(ServiceCommandsTest, InstallWritesTheCheckedConfigurationReadableByRootOnly) {
  ASSERT_EQ(Run({"install", folder_ + "/relay.json"}).status, 0);
  struct stat info {};
  ASSERT_EQ(stat(dat_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  ProxyServerTable table;
  ASSERT_TRUE(LoadServiceProfileFrom(dat_, table));
  EXPECT_EQ(system_.definition.program, folder_ + "/sys/CorvaneService");

  // A profile file is installed byte for byte; install alone takes ~/Corvane/profile.dat.
  const std::string profile = Installed();
  std::filesystem::create_directories(folder_ + "/home/Corvane");
  Write("home/Corvane/profile.dat", profile);
  std::filesystem::remove(dat_);
  EXPECT_EQ(Run({"install"}).status, 0);
  EXPECT_EQ(Installed(), profile);
}

// What cannot be used is refused before the service manager is asked, and the installed
// configuration stays as it was.
TEST_F(ServiceCommandsTest, AFileThatCannotBeUsedChangesNothing) {
  ASSERT_EQ(Run({"apply", folder_ + "/relay.json"}).status, 0);
  const std::string before = Installed();
  Write("broken.json", R"({"ProxyServers": [)");
  Write("port.json", R"({"ProxyServers": [{"ServerName": "a", "RecvPort": 70000}]})");
  Write("short.dat", std::string(100, '\1'));
  std::filesystem::create_symlink(folder_ + "/relay.json", folder_ + "/link.json");
  std::filesystem::create_directory(folder_ + "/folder.json");
  std::filesystem::resize_file(folder_ + "/relay.json", 0);  // an empty file is not JSON either
  Write("huge.json", "");
  std::filesystem::resize_file(folder_ + "/huge.json", 129ull << 20);  // sparse
  const struct {
    std::string file, reason;
  } cases[] = {
      {"broken.json", "the JSON configuration was refused.\n$: "},
      {"port.json",
       "the JSON configuration was refused.\n$.ProxyServers[0].RecvPort: 70000 is outside"},
      {"short.dat", "it is neither JSON nor a readable profile ("},
      {"relay.json", "it is neither JSON nor a readable profile ("},
      {"link.json", "it is a symbolic link; name the file it points to."},
      {"folder.json", "it is not a regular file."},
      {"huge.json", "it is larger than 128 MiB."},
  };
  for (const auto& c : cases) {
    for (const char* action : {"install", "apply"}) {
      SCOPED_TRACE(c.file + " " + action);
      const Outcome outcome = Run({action, folder_ + "/" + c.file});
      EXPECT_EQ(outcome.status, 1);
      const std::string head =
          "Failed: Can not use \"" + folder_ + "/" + c.file + "\": " + c.reason;
      EXPECT_EQ(outcome.err.substr(0, head.size()), head);
      EXPECT_TRUE(outcome.err.ends_with("\nThe installed configuration was not changed.\n"));
      EXPECT_EQ(Installed(), before);
    }
  }
  EXPECT_EQ(Run({"apply", folder_ + "/none.json"}).err,
            "Failed: The file \"" + folder_ + "/none.json\" not found.\n");
  EXPECT_EQ(system_.connects_with_full_access, 0);
}

TEST_F(ServiceCommandsTest, StatusShowsTheStateAndTheTotals) {
  status_ = {
      {}, "loaded", "active", "running", "running, check point 0; 1 proxy server; 3 received"};
  Outcome outcome = Run({"status"});
  EXPECT_EQ(outcome.out,
            "CorvaneService.service: active (running)\n"
            "running, check point 0; 1 proxy server; 3 received\n");
  EXPECT_EQ(outcome.status, 0);
  status_ = {{}, "loaded", "failed", "failed", ""};
  outcome = Run({"status"});
  EXPECT_EQ(outcome.out, "CorvaneService.service: failed (failed)\n");
  EXPECT_EQ(outcome.status, 3);
  status_ = {{}, "not-found", "inactive", "dead", ""};
  EXPECT_EQ(Run({"status"}).out, "CorvaneService.service: not installed\n");
  status_ = {ServiceManagerError::kNotReady, "", "", "", ""};
  outcome = Run({"status"});
  EXPECT_EQ(outcome.err,
            "Failed: Can not ask the service manager about CorvaneService.service: no service "
            "manager runs on this system.\n");
  EXPECT_EQ(outcome.status, 1);
}

TEST_F(ServiceCommandsTest, UsageErrors) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"apply"}, {"install", "a", "b"}, {"start", "x"}, {"stop", "--force"}}) {
    EXPECT_EQ(Run(args).status, 2) << args[0];
  }
}

}  // namespace
}  // namespace corvane
