// The window as a Linux desktop user meets it: Linux words, input that says why it was refused,
// menus, the tray menu, remembered geometry, status and accessibility.
#include <QLabel>
#include <QTabWidget>

#include "tests/desktop/window_fixture.h"

namespace corvane {
namespace {

using test::WindowTest;

class WindowConventions : public WindowTest {};

TEST_F(WindowConventions, TextsNameLinuxPlaces) {
  Open();
  EXPECT_EQ(Find<QCheckBox>("CheckBoxAutoStart")->text(), "Start program on login");
  auto* tabs = Find<QTabWidget>("PageControlMain");
  const QLabel* where = tabs->widget(3)->findChild<QLabel*>();
  ASSERT_NE(where, nullptr);
  EXPECT_EQ(where->text(), "All settings are stored in the folder: \"" +
                               QString::fromStdString(home_.path()) +
                               "/Corvane\". You can copy \"Corvane\" folder to \"~\" folder on "
                               "another computer.");
}

}  // namespace
}  // namespace corvane
