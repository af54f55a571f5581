// Saving the profile onto a full or read-only file system, mounted privately inside the tests'
// own mount namespace: the previous profile must survive byte for byte.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/mount.h>

#include <filesystem>

#include "config/profile_file.h"
#include "tests/netns/peer_namespace.h"

namespace corvane {
namespace {

class SmallFileSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/corvane-fs-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    ASSERT_EQ(mount("tmpfs", root_.c_str(), "tmpfs", 0, "size=64k"), 0);
    setenv("HOME", root_.c_str(), 1);
  }
  void TearDown() override {
    umount2(root_.c_str(), MNT_DETACH);
    std::filesystem::remove_all(root_);
  }

  std::vector<std::uint8_t> Profile() {
    return *ReadWholeFile(root_ + "/Corvane/profile.dat", kMaxProfileSize);
  }
  // A table whose file needs about `bytes` bytes.
  static void Fill(ProxyServerTable& table, std::size_t bytes) {
    ProxyServerSettings settings = *NewProxyServerSettings("big");
    settings.SendToHostsList.assign(bytes / 198, HostEntry{"10.0.0.1", 32, 9});
    static_cast<void>(table.Register(settings));
  }

  std::string root_;
  DisplayOptions options_;
};

TEST_F(SmallFileSystem, AFullDiskLeavesThePreviousProfile) {
  ProxyServerTable small;
  static_cast<void>(AddProxyServer(small, "kept"));
  ASSERT_TRUE(SaveProfile(small, options_, false));
  const std::vector<std::uint8_t> before = Profile();

  ProxyServerTable big;
  Fill(big, 120 * 1024);  // more than the file system holds
  EXPECT_FALSE(SaveProfile(big, options_, false));
  EXPECT_EQ(Profile(), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root_ + "/Corvane"),
                          std::filesystem::directory_iterator{}),
            1);  // no half-written temporary file stays
}

TEST_F(SmallFileSystem, AReadOnlyFolderLeavesThePreviousProfile) {
  ProxyServerTable table;
  static_cast<void>(AddProxyServer(table, "kept"));
  ASSERT_TRUE(SaveProfile(table, options_, false));
  const std::vector<std::uint8_t> before = Profile();
  ASSERT_EQ(mount(nullptr, root_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, "size=64k"), 0);
  static_cast<void>(AddProxyServer(table, "lost"));
  EXPECT_FALSE(SaveProfile(table, options_, false));
  EXPECT_EQ(Profile(), before);
}

}  // namespace
}  // namespace corvane
