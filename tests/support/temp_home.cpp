#include "tests/support/temp_home.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

namespace corvane::test {

TempHome::TempHome() {
  char pattern[] = "/tmp/corvane-home-XXXXXX";
  EXPECT_NE(mkdtemp(pattern), nullptr);
  path_ = pattern;
  if (const char* home = getenv("HOME")) {
    had_home_ = true;
    saved_home_ = home;
  }
  setenv("HOME", path_.c_str(), 1);
}

TempHome::~TempHome() {
  if (had_home_) {
    setenv("HOME", saved_home_.c_str(), 1);
  } else {
    unsetenv("HOME");
  }
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace corvane::test
