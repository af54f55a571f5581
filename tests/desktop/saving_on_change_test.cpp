// Saving as the settings change, with the window in a child process of this test program: killed
// without warning, or in a mount namespace of its own where its profile folder is read-only even
// for root.
#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QLabel>
#include <QTimer>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <iostream>
#include <thread>

#include "config/profile_file.h"
#include "tests/desktop/window_fixture.h"
#include "tests/support/child_process.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

class SavingOnChange : public test::WindowTest {
 protected:
  static bool InChild() { return std::getenv("CORVANE_WINDOW_CHILD") != nullptr; }
  // This test again, in a child process; `prefix` runs it.
  static std::vector<std::string> ChildCommand(std::vector<std::string> prefix = {}) {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    prefix.push_back(std::filesystem::read_symlink("/proc/self/exe").string());
    prefix.push_back(std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name());
    return prefix;
  }
  void Add(const char* name) {
    Type("EditServerName", name);
    Click("ButtonAddServer");
  }
  // The proxy servers' names, in the profile of `home`, with their number of destinations.
  std::vector<std::string> Saved(const std::string& home) {
    ProxyServerTable saved;
    DisplayOptions options;
    setenv("HOME", home.c_str(), 1);
    EXPECT_TRUE(LoadProfile(saved, options));
    setenv("HOME", home_.path().c_str(), 1);
    std::vector<std::string> names;
    for (std::size_t i = 0; i < saved.size(); ++i) {
      names.push_back(saved[i].ServerName + " " + std::to_string(saved[i].SendToHostsList.size()));
    }
    return names;
  }
};

TEST_F(SavingOnChange, EditsAreOnTheDiskWithinSecondsWhateverEndsTheProgram) {
  if (InChild()) {
    Open();
    Add("one");
    Add("two");
    Type("EditServerName", "renamed");
    Click("ButtonRenameServer");
    QTest::qWait(2000);  // saved; a list edit alone is saved too
    Type("EditSendToHost", "10.9.8.7");
    Click("ButtonAddSendToHost");
    std::cout << "edited " << home_.path() << std::endl;
    QTest::qWait(60000);  // until killed
    return;
  }
  test::ChildProcess child(ChildCommand(), {"CORVANE_WINDOW_CHILD=1"});
  std::string output;
  for (int i = 0; i < 1000 && output.find('\n', output.find("edited ")) == std::string::npos; ++i) {
    std::this_thread::sleep_for(10ms);
    output = child.Output();
  }
  const std::size_t at = output.find("edited ");
  ASSERT_NE(at, std::string::npos) << output;
  const std::string home = output.substr(at + 7, output.find('\n', at) - at - 7);
  std::this_thread::sleep_for(3s);  // then the power fails
  child.Signal(SIGKILL);
  EXPECT_EQ(child.Wait(10s), 128 + SIGKILL);
  EXPECT_EQ(Saved(home), (std::vector<std::string>{"New proxy server 0", "one 0", "renamed 1"}));
  std::filesystem::remove_all(home);
}

TEST_F(SavingOnChange, AFailedSaveIsSaidAndKeepsTheOldProfileUntilASaveWorks) {
  if (!InChild()) {
    if (geteuid() != 0 || std::system("unshare --mount true") != 0) {
      if (std::getenv("CI") != nullptr) FAIL() << "no mount namespace here (needs root)";
      GTEST_SKIP() << "no mount namespace here (needs root)";
    }
    test::ChildProcess child(
        ChildCommand({"/usr/bin/unshare", "--mount", "--propagation", "private"}),
        {"CORVANE_WINDOW_CHILD=1"});
    EXPECT_EQ(child.Wait(60s), 0) << child.Output();
    return;
  }
  Open();
  const std::string folder = home_.path() + "/Corvane", profile = folder + "/profile.dat";
  Add("kept");
  ASSERT_TRUE(WaitFor([&] { return PathExists(profile); }));
  const auto before = ReadWholeFile(profile, kMaxProfileSize);
  ASSERT_EQ(mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr), 0);
  ASSERT_EQ(mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr), 0);
  Add("lost");
  auto* failure = Find<QLabel>("LabelSaveFailure");
  ASSERT_TRUE(WaitFor([&] { return !failure->isHidden(); }));
  EXPECT_EQ(failure->text(), "Settings not saved: Read-only file system");
  EXPECT_EQ(ReadWholeFile(profile, kMaxProfileSize), before);

  ASSERT_EQ(umount2(folder.c_str(), 0), 0);
  Add("found");
  ASSERT_TRUE(WaitFor([&] { return failure->isHidden(); }));
  EXPECT_EQ(Saved(home_.path()),
            (std::vector<std::string>{"New proxy server 0", "kept 0", "lost 0", "found 0"}));
}

// A stalled disk holds up no window: the hourly save and Apply hand the profile over and return,
// Apply's copy waiting for the write beside the window; a last save that fails at the end is
// said on standard error, the window being gone.
TEST_F(SavingOnChange, AStalledDiskHoldsUpNoWindowAndAFailedLastSaveIsSaid) {
  std::promise<void> release;
  const std::shared_future<void> released = release.get_future().share();
  std::atomic<bool> held_too_long{false}, failing{false};
  write_profile_ = [&, released](const std::vector<std::uint8_t>& image) -> std::error_code {
    if (released.wait_for(10s) != std::future_status::ready) held_too_long = true;
    if (failing) return std::make_error_code(std::errc::io_error);
    return WriteProfileFile(image);
  };
  Open();
  Add("stalled");
  QMetaObject::invokeMethod(Find<QTimer>("Timer1"), "timeout");  // the hourly save
  Click("ButtonServiceApply");
  QTest::qWait(200);
  EXPECT_TRUE(boxes_.empty());  // Apply copies only what is written
  release.set_value();
  ASSERT_TRUE(WaitFor([this] { return boxes_.size() == 1; }));
  EXPECT_TRUE(boxes_[0].second.startsWith("Success: Configuration file has been updated"));
  EXPECT_FALSE(held_too_long);

  failing = true;
  Add("lost");
  testing::internal::CaptureStderr();
  Close();
  EXPECT_NE(testing::internal::GetCapturedStderr().find(
                "Corvane: the settings could not be saved to " + home_.path() +
                "/Corvane/profile.dat: Input/output error\n"),
            std::string::npos);
}

}  // namespace
}  // namespace corvane
