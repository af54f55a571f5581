// The window as a Linux desktop user meets it: Linux words, input that says why it was refused,
// menus, the tray menu, remembered geometry, status and accessibility.
#include <QAccessible>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <fstream>
#include <iterator>

#include "desktop/file_dialogs.h"
#include "desktop/logs_page.h"
#include "tests/desktop/window_fixture.h"
#include "tests/support/loopback.h"
#include "tests/support/packets.h"

namespace corvane {
namespace {

using test::WindowTest;

class WindowConventions : public WindowTest {
 protected:
  ~WindowConventions() override { desktop::FileDialogs::SetAnswerer(nullptr); }

  // Every file dialog answers `path`.
  void AnswerFiles(const std::string& path) {
    desktop::FileDialogs::SetAnswerer(
        [path](const QString&) { return QString::fromStdString(path); });
  }
  QAction* Action(const char* name) { return Find<QAction>(name); }
  QString Status() { return Find<QStatusBar>("StatusBar")->currentMessage(); }
};

std::string Bytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

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
      // Numbers that the field cannot hold: the key that would make one is refused.
      {"EditRecvPort", "70000", "7000"},
      {"EditSendPort", "65535", "65535"},
      {"EditSendDelayTime", "10001", "1000"},
      {"EditDontRecvFromHostPrefix", "129", "12"},
      {"EditReplaceByMacHostPrefix", "0128", "0128"},
      {"EditSendToHostPort", "99999", "9999"},
      {"EditRecvFromPort", "8 - 65536", "8 - 6553"},
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
  Type("EditSendToHost", "fe80::1");
  Click("ButtonAddSendToHost");
  EXPECT_EQ(status(), "fe80::1 reaches one link only: add the interface, for example %eth0.");
  Type("EditSendToHost", "fe80::1%eth0");
  Click("ButtonAddSendToHost");
  EXPECT_EQ(status(), "");

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
  EXPECT_EQ(Record().RecvPort, 65535);
  EXPECT_EQ(status(),
            "Receive port 70000 is not in 0..65535; 65535 is stored. Replacement MAC address "
            "\"01:02:03\" does not have 12 hexadecimal digits; 00:00:00:00:00:00 is stored.");
  Type("EditRecvPort", "");
  form_->StoreServerPages(&Record());
  EXPECT_EQ(status(),
            "Receive port \"\" is no number; 65535 is kept. Replacement MAC address \"01:02:03\" "
            "does not have 12 hexadecimal digits; 00:00:00:00:00:00 is stored.");
}

TEST_F(WindowConventions, MenusOfferImportExportQuitAndAbout) {
  Open();
  QStringList menus;
  for (QAction* menu : form_->menuBar()->actions()) menus << menu->text();
  EXPECT_EQ(menus, (QStringList{"&File", "&Help"}));
  EXPECT_EQ(Action("ActionImport")->text(), "&Import...");
  EXPECT_EQ(Action("ActionExport")->text(), "&Export...");
  EXPECT_EQ(Action("ActionQuit")->shortcut(), QKeySequence("Ctrl+Q"));
  EXPECT_EQ(Action("ActionAbout")->text(), "&About Corvane");
  answer_ = false;  // the close question
  Action("ActionQuit")->trigger();
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].second, "Are you sure you want to Close?");
  EXPECT_TRUE(form_->isVisible());
}

TEST_F(WindowConventions, TheTrayIconComesWhenTheTrayDoesAndHasAMenu) {
  tray_ = true;
  bool tray_up = false;
  tray_available_ = [&tray_up] { return tray_up; };
  Open();
  QTest::qWait(30);
  EXPECT_EQ(form_->findChild<QSystemTrayIcon*>(), nullptr);
  tray_up = true;
  ASSERT_TRUE(WaitFor([this] { return form_->findChild<QSystemTrayIcon*>() != nullptr; }));
  QMenu* menu = form_->findChild<QSystemTrayIcon*>()->contextMenu();
  ASSERT_NE(menu, nullptr);
  QStringList entries;
  for (QAction* action : menu->actions()) {
    if (!action->isSeparator()) entries << action->text();
  }
  EXPECT_EQ(entries, (QStringList{"Hide", "Quit"}));
  Action("ActionShowHide")->trigger();
  EXPECT_FALSE(form_->isVisible());
  emit menu->aboutToShow();
  EXPECT_EQ(Action("ActionShowHide")->text(), "Show");
  Action("ActionShowHide")->trigger();
  EXPECT_TRUE(form_->isVisible());
  answer_ = false;
  Action("ActionTrayQuit")->trigger();
  EXPECT_EQ(boxes_.size(), 1u);  // asked, and refused
}

TEST_F(WindowConventions, ExportAndImportRoundTripAndAFailedImportChangesNothing) {
  Open();
  Type("EditRecvPort", "4009");
  Type("EditServerName", "second");
  Click("ButtonAddServer");
  const std::string copy = home_.path() + "/copy.dat";
  AnswerFiles(copy);
  Action("ActionExport")->trigger();
  EXPECT_EQ(Status(), QString::fromStdString("Exported 2 proxy servers to \"" + copy + "\"."));

  Type("EditServerName", "third");
  Click("ButtonAddServer");
  answer_ = false;  // the question before replacing
  Click("ButtonImport");
  EXPECT_EQ(Rows("ListViewServers").size(), 3);
  answer_ = true;
  Click("ButtonImport");
  EXPECT_EQ(Rows("ListViewServers"), (QStringList{"New proxy server", "second"}));
  SelectServer("New proxy server");
  EXPECT_EQ(Text("EditRecvPort"), "4009");
  const std::string profile = home_.path() + "/Corvane/profile.dat";
  // An import is saved at once, on the writer's thread.
  ASSERT_TRUE(WaitFor([&] {
    const std::string bytes = Bytes(profile);
    return !bytes.empty() && bytes.find("third") == std::string::npos;
  }));
  const std::string saved = Bytes(profile);

  std::ofstream(copy, std::ios::binary | std::ios::trunc) << saved.substr(0, saved.size() / 2);
  boxes_.clear();
  Click("ButtonImport");
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].second, QString::fromStdString("Failed: The file \"" + copy +
                                                     "\" is not a complete Corvane profile.\r\n"
                                                     "Nothing was changed."));
  EXPECT_EQ(Rows("ListViewServers"), (QStringList{"New proxy server", "second"}));
  EXPECT_EQ(Bytes(profile), saved);
}

TEST_F(WindowConventions, GeometryAndTabsAreKeptApartFromTheProfile) {
  Open();
  Find<QTabWidget>("PageControlMain")->setCurrentIndex(2);
  Find<QTabWidget>("PageControlServer")->setCurrentIndex(5);
  form_->move(40, 30);
  const QRect where = form_->geometry();
  Close();
  EXPECT_TRUE(std::ifstream(home_.path() + "/.config/Corvane/Corvane.conf").good());
  Open();
  EXPECT_EQ(Find<QTabWidget>("PageControlMain")->currentIndex(), 2);
  EXPECT_EQ(Find<QTabWidget>("PageControlServer")->currentIndex(), 5);
  EXPECT_EQ(form_->geometry(), where);
}

TEST_F(WindowConventions, LogsFollowTheNewestRowUnlessScrolledBack) {
  Open();
  Find<QTabWidget>("PageControlServer")->setCurrentIndex(5);
  desktop::LogsPage* logs = form_->logs_page();
  QTreeWidget* errors = Find<QTreeWidget>("ListViewErrors");
  const auto last_shown = [errors] {
    const QRect last =
        errors->visualItemRect(errors->topLevelItem(errors->topLevelItemCount() - 1));
    return last.isValid() && last.bottom() <= errors->viewport()->height();
  };
  for (int i = 0; i < 200; ++i) logs->AddError({{}, "error " + std::to_string(i)});
  EXPECT_TRUE(last_shown());
  errors->verticalScrollBar()->setValue(0);
  logs->AddError({{}, "one more"});
  EXPECT_EQ(errors->verticalScrollBar()->value(), 0);
  EXPECT_FALSE(last_shown());
}

TEST_F(WindowConventions, TheListSaysInWordsWhichProxyServersRunOrFailedAndWhy) {
  Open();
  const auto tooltip = [this](const QString& name) {
    return Find<QTreeWidget>("ListViewServers")->findItems(name, Qt::MatchExactly)[0]->toolTip(0);
  };
  // What a screen reader reads for each row of the list.
  const auto spoken = [this] {
    QStringList names;
    QAccessibleInterface* list =
        QAccessible::queryAccessibleInterface(Find<QTreeWidget>("ListViewServers"));
    for (int i = 0; i < list->childCount(); ++i) {
      if (list->child(i)->role() != QAccessible::ColumnHeader) {
        names << list->child(i)->text(QAccessible::Name);
      }
    }
    return names.join(" | ").toStdString();
  };
  EXPECT_EQ(tooltip("New proxy server"), "New proxy server\nstopped");
  EXPECT_EQ(spoken(), "New proxy server, stopped");

  UdpSocket holder = test::PeerSocket(AddressFamily::kIpv4);  // the port is taken
  const QString taken = QString::number(*holder.LocalPort());
  Type("EditRecvPort", taken);
  Click("ButtonStartServer");
  const QString error = "Can not bind " + taken + " port for IPv4 socket";
  ASSERT_TRUE(WaitFor([&] { return tooltip("New proxy server").contains("failed"); }));
  EXPECT_EQ(tooltip("New proxy server"), "New proxy server\nfailed: " + error);
  EXPECT_EQ(Status(), "New proxy server: " + error);

  Type("EditServerName", "second");
  Click("ButtonAddServer");
  const std::uint16_t port = test::FreeUdpPort();
  Type("EditRecvPort", QString::number(port));
  Click("ButtonStartServer");
  ASSERT_TRUE(WaitFor([&] { return tooltip("second").startsWith("second\nrunning\n0 received"); }));
  EXPECT_EQ(spoken(), ("New proxy server, failed: " + error + " | second, running").toStdString());
  // The counters of the one shown follow its packets, above the logs and in the tooltip.
  const QLabel* counters = Find<QLabel>("LabelCounters");
  UdpSocket peer = test::PeerSocket(AddressFamily::kIpv4);
  ASSERT_TRUE(WaitFor([&] {
    test::Send(peer, test::MagicPayload({1, 2, 3, 4, 5, 6}),
               test::Loopback(AddressFamily::kIpv4, port));
    return counters->text().startsWith("Counters since the start: ") &&
           !counters->text().contains(": 0 received");
  }));
  const QString line = counters->text().section(": ", 1);
  EXPECT_TRUE(line.contains(" received, 0 accepted, ") && line.contains(" own_address), 0 sent"))
      << line.toStdString();
  EXPECT_TRUE(WaitFor([&] { return tooltip("second") == "second\nrunning\n" + line; }));
  Click("ButtonStopServer");
  EXPECT_EQ(tooltip("second"), "second\nstopped");
  EXPECT_TRUE(WaitFor([&] { return counters->text().contains("not running"); }));

  // Ports below 1024 name the capability, and the program to give it to.
  EXPECT_EQ(form_->ErrorStatus("A", {{}, "Can not bind 9 port for IPv6 socket", 9}),
            "A: Can not bind 9 port for IPv6 socket. Ports below 1024 need the "
            "CAP_NET_BIND_SERVICE capability (sudo setcap cap_net_bind_service=ep "
            "/opt/test/Corvane), or use a port of 1024 or above.");
}

}  // namespace
}  // namespace corvane
