// Replacing a file while the process may be killed at any moment: the file is always whole, and
// what killed replacements leave behind is gone after the next one.
#include "platform/files.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <thread>

#include "tests/support/temp_home.h"

namespace corvane {
namespace {

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ReplaceFile, KilledReplacementsLeaveNothingBehindAndTheFileWhole) {
  test::TempHome folder;
  const std::string path = folder.path() + "/profile.dat";
  const std::vector<std::uint8_t> first(4 << 20, 1), second(4 << 20, 2);
  ASSERT_FALSE(WriteFileReplacing(path, first));
  // A temporary left by a replacement killed after naming it, and files that only look alike.
  for (const char* name :
       {"profile.dat.saving-k1ll3d", "profile.dat.backup", "profile.dat.saving-"}) {
    ASSERT_FALSE(WriteFileReplacing(folder.path() + "/" + name, first));
  }

  std::mt19937 random(12);
  for (int kill_number = 0; kill_number < 40; ++kill_number) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      while (true) static_cast<void>(WriteFileReplacing(path, second));
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    const std::optional<std::vector<std::uint8_t>> content = ReadWholeFile(path, 8 << 20);
    ASSERT_TRUE(content == first || content == second);
  }
  ASSERT_FALSE(WriteFileReplacing(path, first));
  EXPECT_EQ(Names(folder.path()),
            (std::vector<std::string>{"profile.dat", "profile.dat.backup", "profile.dat.saving-"}));
}

}  // namespace
}  // namespace corvane
