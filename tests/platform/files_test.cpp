// Replacing a file while the process may be killed at any moment: the file is always whole, and
// what killed replacements leave behind is gone after the next one.
#include "platform/files.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
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

// A folder written into on root's behalf: only a real folder of root's (or this user's) takes
// the file; a symbolic link, a file and another user's folder are refused and get nothing.
TEST(WriteFileInOwnFolder, OnlyARealFolderOfOwnTakesTheFile) {
  test::TempHome home;
  const std::string real = home.path() + "/real", elsewhere = home.path() + "/elsewhere";
  ASSERT_TRUE(CreateDirectory(real, 0755) && CreateDirectory(elsewhere, 0755));
  std::filesystem::create_directory_symlink(elsewhere, home.path() + "/link");
  ASSERT_FALSE(WriteFileReplacing(home.path() + "/file", std::vector<std::uint8_t>{1}));
  const std::string foreign = home.path() + "/foreign";
  ASSERT_TRUE(CreateDirectory(foreign, 0777));
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(foreign.c_str(), 65534, 65534), 0);
  }
  const std::vector<std::uint8_t> text = {'x', '\n'};
  const struct {
    std::string folder;
    std::error_code expected;
  } cases[] = {
      {real, {}},
      {home.path() + "/link", FolderRefused::kSymbolicLink},
      {home.path() + "/file", FolderRefused::kNotAFolder},
      {foreign, root ? std::error_code(FolderRefused::kForeignOwner) : std::error_code()},
      {home.path() + "/missing", std::make_error_code(std::errc::no_such_file_or_directory)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WriteFileInOwnFolder(c.folder, "corvane.prom", text, 0644), c.expected) << c.folder;
  }
  EXPECT_EQ(Names(real), std::vector<std::string>{"corvane.prom"});  // no temporary left
  EXPECT_EQ(ReadWholeFile(real + "/corvane.prom", 10), text);
  struct stat info {};
  ASSERT_EQ(stat((real + "/corvane.prom").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
  EXPECT_TRUE(Names(elsewhere).empty());
  if (root) {
    EXPECT_TRUE(Names(foreign).empty());
  }
  // Again over the file it wrote.
  EXPECT_EQ(WriteFileInOwnFolder(real, "corvane.prom", {text.data(), 1}, 0644), std::error_code());
  EXPECT_EQ(ReadWholeFile(real + "/corvane.prom", 10), std::vector<std::uint8_t>{'x'});
}

}  // namespace
}  // namespace corvane
