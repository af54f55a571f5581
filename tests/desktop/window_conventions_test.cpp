// The window as a Linux desktop user meets it: Linux words, input that says why it was refused,
// menus, the tray menu, remembered geometry, status and accessibility.
#include <QLabel>
#include <QStatusBar>
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

TEST_F(WindowConventions, TheKeyboardEntersOnlyWhatAFieldCanHold) {
  Open();
  const struct {
    const char* edit;
    const char* typed;
    const char* kept;
  } cases[] = {
      {"EditRecvPort", "9a1", "91"},
      {"EditSendDelayTime", "-5", "5"},
      {"EditDontRecvFromHostPrefix", "2x4", "24"},
      {"EditSendToHostPort", "8 0", "80"},
      {"EditDontRecvFromPort", "8 - 80x", "8 - 80"},
      {"EditDontRecvWithMac", "zz:0A-b.1 g", ":0A-b.1 "},
      {"EditReplaceByMacPassword", "0x1", "01"},
      {"EditDontRecvFromHost", "a host", "ahost"},
      {"EditServerName", "a name", "a name"},
  };
  for (const auto& c : cases) {
    QLineEdit* edit = Find<QLineEdit>(c.edit);
    edit->clear();
    QTest::keyClicks(edit, c.typed);
    EXPECT_EQ(edit->text(), c.kept) << c.edit;
  }
}

TEST_F(WindowConventions, EnterAddsDeleteRemovesAndRefusalsSayWhy) {
  Open();
  const auto status = [this] { return Find<QStatusBar>("StatusBar")->currentMessage(); };
  Type("EditDontRecvFromHost", "10.0.0.1");
  Type("EditDontRecvFromHostPrefix", "40");
  QTest::keyClick(Find<QLineEdit>("EditDontRecvFromHostPrefix"), Qt::Key_Return);
  EXPECT_EQ(Rows("ListViewDontRecvFromHosts", 1), QStringList{"/40"});
  EXPECT_EQ(status(), "Network prefix 40 is above 32: the IPv4 address is used whole.");
  Type("EditDontRecvFromHostPrefix", "200");
  QTest::keyClick(Find<QLineEdit>("EditDontRecvFromHost"), Qt::Key_Enter);
  EXPECT_EQ(Rows("ListViewDontRecvFromHosts", 1), (QStringList{"/40", "/128"}));
  EXPECT_EQ(status(), "Network prefix 200 is not in 0..128; 128 is used.");

  const struct {
    const char* edit;
    const char* text;
    const char* add;
    const char* message;
  } refused[] = {
      {"EditDontRecvFromHost", "", "ButtonAddDontRecvFromHost",
       "Not added: the IP address or host name is empty."},
      {"EditSendToHostPort", "", "ButtonAddSendToHost", "Not added: the port is empty."},
      {"EditDontRecvWithMac", "00:11", "ButtonAddDontRecvWithMac",
       "Not added: the MAC address needs exactly 12 hexadecimal digits."},
      {"EditRecvWithPassword", "", "ButtonAddRecvWithPassword",
       "Not added: the magic password is empty."},
      {"EditServerName", "", "ButtonAddServer", "Not added: the proxy server name is empty."},
      {"EditServerName", "", "ButtonRenameServer", "Not renamed: the proxy server name is empty."},
      {"EditServerName", "x", "ButtonDeleteServer", "Not deleted: the last proxy server stays."},
  };
  for (const auto& r : refused) {
    Type(r.edit, r.text);
    Click(r.add);
    EXPECT_EQ(status(), r.message) << r.add;
  }
  EXPECT_EQ(Rows("ListViewDontRecvWithNextMacs").size(), 0);
  EXPECT_EQ(Rows("ListViewServers").size(), 1);

  QTreeWidget* hosts = Find<QTreeWidget>("ListViewDontRecvFromHosts");
  SelectRow("ListViewDontRecvFromHosts", 0);
  hosts->setFocus();
  QTest::keyClick(hosts, Qt::Key_Delete);
  EXPECT_EQ(Rows("ListViewDontRecvFromHosts", 1), QStringList{"/128"});

  Type("EditRecvPort", "70000");
  Type("EditReplaceMac", "01:02:03");
  form_->StoreServerPages(&Record());
  EXPECT_EQ(Record().Settings.RecvPort, 65535);
  EXPECT_EQ(status(),
            "Receive port 70000 is not in 0..65535; 65535 is stored. Replacement MAC address "
            "\"01:02:03\" does not have 12 hexadecimal digits; 00:00:00:00:00:00 is stored.");
  Type("EditRecvPort", "");
  form_->StoreServerPages(&Record());
  EXPECT_EQ(status(),
            "Receive port \"\" is no number; 65535 is kept. Replacement MAC address \"01:02:03\" "
            "does not have 12 hexadecimal digits; 00:00:00:00:00:00 is stored.");
}

}  // namespace
}  // namespace corvane
