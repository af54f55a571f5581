// The window tests run headless, on Qt's offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <string_view>

int main(int argc, char** argv) {
  // Offscreen, on the screen that CTest may name (offscreen:configfile=...).
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform == nullptr || std::string_view(platform).rfind("offscreen", 0) != 0) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  ::testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
