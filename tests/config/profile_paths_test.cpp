#include "config/profile_paths.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

// The one place of the folder rules: the home folder counts from 2 to 220 characters, the system
// folder from 1 to 200 (so the root folder serves), each without one trailing slash.
TEST(ProfilePaths, FoldersCountOnlyWithinTheirBounds) {
  const std::string long_home = "/" + std::string(219, 'h');
  const std::string long_system = "/" + std::string(199, 's');
  const struct {
    std::string folder;
    FolderBounds bounds;
    std::optional<std::string> path;
  } cases[] = {
      {"/", kHomeFolderBounds, std::nullopt},
      {"/h", kHomeFolderBounds, "/h/x"},
      {"/h/", kHomeFolderBounds, "/h/x"},
      {long_home, kHomeFolderBounds, long_home + "/x"},
      {long_home + "h", kHomeFolderBounds, std::nullopt},
      {"", kSystemFolderBounds, std::nullopt},
      {"/", kSystemFolderBounds, "/x"},
      {"/opt/corvane/", kSystemFolderBounds, "/opt/corvane/x"},
      {long_system, kSystemFolderBounds, long_system + "/x"},
      {long_system + "s", kSystemFolderBounds, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PathIn(c.folder, c.bounds, "x"), c.path) << c.folder.size() << " " << c.folder;
  }
}

}  // namespace
}  // namespace corvane
