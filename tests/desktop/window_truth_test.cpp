// The window never lets a user believe something that is not so: a start shows the numbers it
// uses, a value that would be relayed as something else stops the start, a running proxy server
// says when its settings wait for a restart, the service's Start gives back what it could not
// replace, and ignored packets and errors say why and what to do.
#include <QHeaderView>
#include <QStatusBar>
#include <QTabWidget>

#include "desktop/logs_page.h"
#include "desktop/widgets.h"
#include "tests/desktop/window_fixture.h"
#include "tests/support/loopback.h"
#include "tests/support/packets.h"

namespace corvane {
namespace {

using test::WindowTest;

class WindowTruth : public WindowTest {
 protected:
  // Starts the selected proxy server on a free loopback port and waits until it runs.
  std::uint16_t StartOnFreePort() {
    const std::uint16_t port = test::FreeUdpPort();
    Type("EditRecvPort", QString::number(port));
    Click("ButtonStartServer");
    EXPECT_TRUE(WaitFor([this] { return Enabled("ButtonStopServer"); }));
    return port;
  }
  // The state words that the proxy list shows under `name`.
  QString Words(const QString& name) {
    return Find<QTreeWidget>("ListViewServers")
        ->findItems(name, Qt::MatchExactly)
        .value(0)
        ->toolTip(0)
        .section('\n', 1, 1);
  }
  QString Status() { return Find<QStatusBar>("StatusBar")->currentMessage(); }
};

// (What the keyboard cannot enter is in WindowConventions.TheKeyboardEntersOnlyWhatAFieldCanHold.)
TEST_F(WindowTruth, AStartShowsTheValuesItUses) {
  Open();
  const std::uint16_t port = StartOnFreePort();
  Click("ButtonStopServer");
  Type("EditRecvPort", "");
  Type("EditSendDelayTime", "");
  Click("ButtonStartServer");  // keeps the stored numbers, and shows them
  EXPECT_EQ(Text("EditRecvPort"), QString::number(port));
  EXPECT_EQ(Text("EditSendDelayTime"), "100");
}

TEST_F(WindowTruth, AMalformedReplacementShowsItselfAndStopsTheStartWhileItsBoxIsTicked) {
  Open();
  Type("EditRecvPort", QString::number(test::FreeUdpPort()));
  const struct {
    const char* box;
    const char* edit;
    const char* problem;
    QString message;
  } cases[] = {
      {"CheckBoxReplaceMac", "EditReplaceMac", "LabelReplaceMacProblem",
       "\"Replace MAC address on:\" is ticked, but \"00:11:22:33:44:5\" is not a MAC address"},
      {"CheckBoxReplacePassword", "EditReplacePassword", "LabelReplacePasswordProblem",
       "\"Add/Replace magic password on:\" is ticked, but \"00:11:22:33:44:5\" is not a magic "
       "password"},
  };
  for (const auto& c : cases) {
    QLineEdit* edit = Find<QLineEdit>(c.edit);
    edit->clear();
    QTest::keyClicks(edit, "00:11:22:33:44:5");
    const QLabel* problem = Find<QLabel>(c.problem);
    EXPECT_FALSE(problem->isHidden()) << c.edit;
    EXPECT_TRUE(problem->text().endsWith(": 11 of 12 hexadecimal digits")) << c.edit;
    EXPECT_EQ(edit->accessibleDescription(), problem->text());

    Find<QCheckBox>(c.box)->setChecked(true);
    boxes_.clear();
    Click("ButtonStartServer");
    ASSERT_EQ(boxes_.size(), 1u) << c.edit;
    EXPECT_EQ(boxes_[0].second, "The proxy server was not started: " + c.message +
                                    " (it has 11 hexadecimal digits instead of 12).");
    EXPECT_FALSE(form_->ServerRunning(Record().Id));
    EXPECT_EQ(Find<QTabWidget>("PageControlServer")->currentIndex(), 3);  // where the field is

    Find<QCheckBox>(c.box)->setChecked(false);  // the value is not used: the start goes on
    Click("ButtonStartServer");
    EXPECT_EQ(boxes_.size(), 1u);
    EXPECT_TRUE(WaitFor([this] { return Enabled("ButtonStopServer"); }));
    Click("ButtonStopServer");
    QTest::keyClick(edit, Qt::Key_5);
    EXPECT_TRUE(problem->isHidden()) << c.edit;
  }
}

TEST_F(WindowTruth, AnEditOfARunningProxyServerShowsThatItWaitsForARestart) {
  Open();
  StartOnFreePort();
  const QLabel* changed = Find<QLabel>("LabelServerChanged");
  Find<QCheckBox>("CheckBoxServerAutoStart")->setChecked(true);  // needs no restart
  QTest::qWait(100);
  EXPECT_TRUE(changed->isHidden());
  EXPECT_EQ(Words("New proxy server"), "running");

  Type("EditDontRecvFromHost", "10.1.1.1");
  Click("ButtonAddDontRecvFromHost");
  ASSERT_TRUE(WaitFor([&] { return !changed->isHidden(); }));
  EXPECT_EQ(Words("New proxy server"), "running; changed; restart to apply");
  Type("EditServerName", "other");
  Click("ButtonAddServer");  // the edit went into the record; the list still says so
  EXPECT_TRUE(changed->isHidden());
  EXPECT_EQ(Words("New proxy server"), "running; changed; restart to apply");

  SelectServer("New proxy server");
  EXPECT_FALSE(changed->isHidden());
  Click("ButtonStopServer");
  EXPECT_TRUE(changed->isHidden());
  Click("ButtonStartServer");
  ASSERT_TRUE(WaitFor([&] { return Words("New proxy server") == "running"; }));
  QTest::qWait(100);
  EXPECT_TRUE(changed->isHidden());
}

TEST_F(WindowTruth, TheServiceStartGivesBackTheProxyServersItCouldNotReplace) {
  Open();
  StartOnFreePort();
  const std::uint32_t id = Record().Id;
  Type("EditServerName", "idle");
  Click("ButtonAddServer");
  Click("ButtonServiceStart");  // not installed: the start fails
  ASSERT_TRUE(WaitFor([this] { return boxes_.size() == 1; }));
  EXPECT_EQ(boxes_[0].second,
            "Failed: Can not open the service.\r\nYou need to reinstall the service.\r\n"
            "1 proxy server of this window that had been stopped for the service was started "
            "again.");
  ASSERT_TRUE(WaitFor([&] { return Words("New proxy server") == "running"; }));
  EXPECT_EQ(Words("idle"), "stopped");

  services_.installed = true;
  Click("ButtonServiceStart");
  ASSERT_TRUE(WaitFor([this] { return boxes_.size() == 2; }));
  EXPECT_EQ(boxes_[1].second,
            "Success: The service started successfully.\r\n1 proxy server of this window was "
            "stopped.");
  EXPECT_FALSE(form_->ServerRunning(id));
}

TEST_F(WindowTruth, IgnoredRowsSayWhyAndErrorsSayWhatToDo) {
  Open();
  form_->resize(form_->minimumSize());
  Find<QTabWidget>("PageControlServer")->setCurrentIndex(5);
  const std::uint16_t port = StartOnFreePort();  // packets from this host are ignored
  UdpSocket peer = test::PeerSocket(AddressFamily::kIpv4);
  const auto send = [&] {
    test::Send(peer, test::MagicPayload({1, 2, 3, 4, 5, 6}),
               test::Loopback(AddressFamily::kIpv4, port));
  };
  ASSERT_TRUE(WaitFor([&] {
    send();
    return !Rows("ListViewRecvLogs").isEmpty();
  }));
  EXPECT_EQ(Rows("ListViewRecvLogs", 6).front(), "sent from this host");
  EXPECT_EQ(Status(),
            "New proxy server: a magic packet from 127.0.0.1 was ignored because it came from an "
            "address of this host. To receive such packets, untick \"Don't receive magic packets "
            "that are sent from your IP addresses\" on the page \"Filters by sender\".");
  // The reason is seen without scrolling.
  QTreeWidget* received = Find<QTreeWidget>("ListViewRecvLogs");
  EXPECT_LE(received->header()->sectionViewportPosition(6) + received->columnWidth(6),
            received->viewport()->width());
  // Said once only.
  desktop::ShowStatus(form_.get(), "");
  const int rows = Rows("ListViewRecvLogs").size();
  ASSERT_TRUE(WaitFor([&] {
    send();
    return Rows("ListViewRecvLogs").size() > rows;
  }));
  EXPECT_EQ(Status(), "");

  // An error row's tooltip, and the status bar's, hold the remedy in full.
  const desktop::ErrorRow bind9{{}, "Can not bind 9 port for IPv4 socket", 9};
  form_->logs_page()->AddError(bind9);
  const QString remedy =
      "Ports below 1024 need the CAP_NET_BIND_SERVICE capability (sudo setcap "
      "cap_net_bind_service=ep /opt/test/Corvane), or use a port of 1024 or above.";
  QTreeWidget* errors = Find<QTreeWidget>("ListViewErrors");
  EXPECT_EQ(errors->topLevelItem(errors->topLevelItemCount() - 1)->toolTip(1),
            "Can not bind 9 port for IPv4 socket\n" + remedy);
  const QString long_text = form_->ErrorStatus("New proxy server", bind9);
  desktop::ShowStatus(form_.get(), long_text);
  EXPECT_EQ(Find<QStatusBar>("StatusBar")->toolTip(), long_text);

  // A deleted proxy server leaves nothing of its record behind, the ignores it noted included.
  const std::uint32_t id = form_->selected_server_id();
  ASSERT_EQ(form_->Record(id)->noted_ignores.size(), 1u);
  Type("EditServerName", "other");
  Click("ButtonAddServer");
  const std::uint32_t other = form_->selected_server_id();
  SelectServer("New proxy server");
  Click("ButtonDeleteServer");
  EXPECT_EQ(form_->Record(id), nullptr);
  form_->DeleteAllServers();
  EXPECT_EQ(form_->Record(other), nullptr);
}

}  // namespace
}  // namespace corvane
