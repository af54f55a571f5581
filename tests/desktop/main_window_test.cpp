#include <QRadioButton>
#include <QScreen>
#include <QTabWidget>

#include "desktop/prefix_help.h"
#include "tests/desktop/window_fixture.h"
#include "tests/support/loopback.h"
#include "tests/support/packets.h"

namespace corvane {
namespace {

using test::WindowTest;

class MainWindow : public WindowTest {};

TEST_F(MainWindow, ANewWindowHasItsTabsAndOneSelectedProxyServer) {
  Open();
  EXPECT_EQ(form_->windowTitle(), "Corvane v1.2");
  // The program's own icon is built in, down to the tray's size.
  EXPECT_EQ(form_->windowIcon().pixmap(QSize(16, 16)).size(), QSize(16, 16));
  EXPECT_EQ(form_->windowIcon().pixmap(QSize(256, 256)).size(), QSize(256, 256));
  // The designed size is the least the window takes, unless the screen is smaller.
  const QSize room = form_->screen()->availableGeometry().size() - QSize(16, 48);
  EXPECT_EQ(form_->minimumSize(), QSize(820, 560).boundedTo(room));
  auto* tabs = Find<QTabWidget>("PageControlMain");
  ASSERT_EQ(tabs->count(), 4);
  EXPECT_EQ(tabs->tabText(0), "Proxy servers");
  EXPECT_EQ(tabs->tabText(3), "Import and Export");
  EXPECT_EQ(Rows("ListViewServers"), QStringList{"New proxy server"});
  EXPECT_EQ(Text("EditTitle"), "New proxy server");
  EXPECT_TRUE(Enabled("ButtonStartServer"));
  EXPECT_FALSE(Enabled("ButtonStopServer"));
  EXPECT_EQ(Text("EditSendToHost"), "255.255.255.255");
  EXPECT_EQ(Find<QLineEdit>("EditRecvPort")->maxLength(), 5);
}

TEST_F(MainWindow, PortsAndDelayAreClampedOrKept) {
  Open();
  Type("EditRecvPort", "70000");
  Type("EditSendPort", "-1");
  Type("EditSendDelayTime", "99999");
  form_->StoreServerPages(&Record());
  EXPECT_EQ(Record().RecvPort, 65535);
  EXPECT_EQ(Record().SendPort, 0);
  EXPECT_EQ(Record().SendDelayTime, 10000u);
  Type("EditRecvPort", "abc");
  Type("EditSendDelayTime", "-5");
  form_->StoreServerPages(&Record());
  EXPECT_EQ(Record().RecvPort, 65535);  // kept
  EXPECT_EQ(Record().SendDelayTime, 0u);
  EXPECT_EQ(Text("EditRecvPort"), "abc");  // until the record is loaded again
  form_->LoadServerPages(&Record());
  EXPECT_EQ(Text("EditRecvPort"), "65535");
}

TEST_F(MainWindow, SelectingAwayAndBackShowsWhatWasStored) {
  Open();
  Type("EditDontRecvFromHost", "zeta.example");
  Click("ButtonAddDontRecvFromHost");
  Type("EditDontRecvFromHost", "alpha.example");
  Type("EditDontRecvFromHostPrefix", "200");
  Click("ButtonAddDontRecvFromHost");
  Type("EditReplaceMac", "01-02-03-04-05-06");
  Type("EditReplacePassword", "01:02:03");
  Find<QCheckBox>("CheckBoxDontRecvFromHosts")->setChecked(true);
  Find<QRadioButton>("RadioButtonUseIPv6")->setChecked(true);
  Type("EditServerName", "second");
  Click("ButtonAddServer");
  EXPECT_EQ(Text("EditTitle"), "second");
  EXPECT_TRUE(Rows("ListViewDontRecvFromHosts").isEmpty());

  SelectServer("New proxy server");
  EXPECT_EQ(Rows("ListViewDontRecvFromHosts"), (QStringList{"alpha.example", "zeta.example"}));
  EXPECT_EQ(Rows("ListViewDontRecvFromHosts", 1), (QStringList{"/128", "/32"}));
  EXPECT_EQ(Text("EditReplaceMac"), "01:02:03:04:05:06");
  EXPECT_EQ(Text("EditReplacePassword"), "00:00:00:00:00:00");  // not 12 digits: all zero
  EXPECT_TRUE(Find<QCheckBox>("CheckBoxDontRecvFromHosts")->isChecked());
  EXPECT_TRUE(Find<QRadioButton>("RadioButtonUseIPv6")->isChecked());
  // Lists go into the record in display order.
  EXPECT_EQ(Record().DontRecvFromHostsList[0].Host, "alpha.example");
}

TEST_F(MainWindow, AddRenameAndDeleteFollowTheirRules) {
  Open();
  Type("EditServerName", "");
  Click("ButtonAddServer");
  EXPECT_EQ(Rows("ListViewServers").size(), 1);
  for (const char* name : {"b", "c", "a"}) {
    Type("EditServerName", name);
    Click("ButtonAddServer");
  }
  EXPECT_EQ(Rows("ListViewServers"), (QStringList{"a", "b", "c", "New proxy server"}));
  // Duplicate names are allowed and stay apart.
  SelectServer("c");
  Type("EditRecvPort", "4000");
  Type("EditServerName", "b");
  Click("ButtonRenameServer");
  const std::uint32_t renamed = form_->selected_server_id();
  EXPECT_EQ(Rows("ListViewServers"), (QStringList{"a", "b", "b", "New proxy server"}));
  EXPECT_EQ(Text("EditTitle"), "b");

  SelectServer("a");
  Click("ButtonDeleteServer");  // the top one: the one below is selected
  EXPECT_EQ(Text("EditTitle"), "b");
  SelectServer("New proxy server");
  Click("ButtonDeleteServer");  // the one above is selected
  EXPECT_EQ(Text("EditTitle"), "b");
  EXPECT_EQ(Rows("ListViewServers"), (QStringList{"b", "b"}));
  // The two of the same name keep their own settings.
  form_->StoreServerPages(&Record());
  for (std::size_t i = 0; i < form_->table().size(); ++i) {
    const ProxyServerSettings& s = form_->table()[i];
    EXPECT_EQ(s.RecvPort, s.Id == renamed ? 4000 : 9);
  }
  Click("ButtonDeleteServer");
  Click("ButtonDeleteServer");  // the last one stays
  EXPECT_EQ(Rows("ListViewServers"), QStringList{"b"});
}

TEST_F(MainWindow, DeletingSelectsTheNeighbourWithoutTouchingAnyOtherRecord) {
  Open();
  for (const char* name : {"a", "b", "c"}) {
    Type("EditServerName", name);
    Click("ButtonAddServer");
  }
  SelectServer("b");
  ProxyServerSettings* c = nullptr;
  for (std::size_t i = 0; i < form_->table().size(); ++i) {
    if (form_->table()[i].ServerName == "c") c = &form_->table()[i];
  }
  ASSERT_NE(c, nullptr);
  c->IpMode = static_cast<IpMode>(7);  // a value the pages cannot show
  Click("ButtonDeleteServer");
  EXPECT_EQ(Text("EditTitle"), "a");
  EXPECT_EQ(static_cast<int>(c->IpMode), 7);  // c was never loaded into the pages and stored
}

TEST_F(MainWindow, The1001stProxyServerIsNotAdded) {
  Open();
  for (int i = 0; i < 999; ++i) ASSERT_TRUE(form_->InsertServer(*NewProxyServerSettings("x")));
  Type("EditServerName", "one too many");
  Click("ButtonAddServer");
  EXPECT_EQ(form_->table().size(), 1000u);
  EXPECT_TRUE(
      Find<QTreeWidget>("ListViewServers")->findItems("one too many", Qt::MatchExactly).isEmpty());
}

TEST_F(MainWindow, ListEditorsFillTheEditsAndRefuseQuietly) {
  Open();
  EXPECT_FALSE(Enabled("ButtonEditRecvWithMac"));
  Type("EditRecvWithMac", "1:2:3");
  Click("ButtonAddRecvWithMac");
  Type("EditRecvWithMac", "00:11:22:33:44:55:66");
  Click("ButtonAddRecvWithMac");
  EXPECT_TRUE(Rows("ListViewRecvWithNextMacs").isEmpty());
  Type("EditRecvWithMac", "00-11-22-aa-bb-cc");
  Click("ButtonAddRecvWithMac");
  Click("ButtonAddRecvWithMac");  // no duplicate check
  EXPECT_EQ(Rows("ListViewRecvWithNextMacs"),
            (QStringList{"00:11:22:AA:BB:CC", "00:11:22:AA:BB:CC"}));

  Type("EditDontRecvFromPort", "80 - 8");
  Click("ButtonAddDontRecvFromPort");
  Type("EditDontRecvFromPort", "x");
  SelectRow("ListViewDontRecvFromPorts", 0);
  EXPECT_TRUE(Enabled("ButtonEditDontRecvFromPort"));
  EXPECT_EQ(Text("EditDontRecvFromPort"), "80 - 8");
  Type("EditDontRecvFromPort", "70000");
  Click("ButtonEditDontRecvFromPort");
  EXPECT_EQ(Rows("ListViewDontRecvFromPorts"), QStringList{"65535"});
  Click("ButtonDeleteDontRecvFromPort");
  EXPECT_TRUE(Rows("ListViewDontRecvFromPorts").isEmpty());
  EXPECT_FALSE(Enabled("ButtonDeleteDontRecvFromPort"));
}

TEST_F(MainWindow, AnActionsPacketsAreCommittedWhenAnotherActionIsSelected) {
  Open();
  EXPECT_FALSE(Enabled("ButtonAddReplaceByMacPacket"));
  Type("EditActionByMac", "AA:AA:AA:AA:AA:AA");
  Click("ButtonAddActionByMac");
  Type("EditActionByMac", "BB:BB:BB:BB:BB:BB");
  Click("ButtonAddActionByMac");
  SelectRow("ListViewActionsByMacs", 0);
  EXPECT_TRUE(Enabled("ButtonAddReplaceByMacPacket"));
  Type("EditReplaceByMacPassword", "");
  Type("EditReplaceByMacHost", "10.0.0.255");
  Click("ButtonAddReplaceByMacPacket");
  EXPECT_EQ(Rows("ListViewReplaceByMacPackets", 1), QStringList{""});  // no password
  SelectRow("ListViewActionsByMacs", 1);
  EXPECT_TRUE(Rows("ListViewReplaceByMacPackets").isEmpty());
  EXPECT_EQ(Text("EditActionByMac"), "BB:BB:BB:BB:BB:BB");
  SelectRow("ListViewActionsByMacs", 0);
  EXPECT_EQ(Rows("ListViewReplaceByMacPackets", 2), QStringList{"10.0.0.255"});

  form_->StoreServerPages(&Record());
  ASSERT_EQ(Record().ActionsByMacsList.size(), 2u);
  const ReplaceByMacPacket& packet = Record().ActionsByMacsList[0].ReplaceByMacPacketsList.at(0);
  EXPECT_FALSE(packet.HasPassword);
  EXPECT_EQ(packet.Destination.Port, 9);
  // Deleting the shown action empties the packets; the neighbour then shows its own.
  Click("ButtonDeleteActionByMac");
  EXPECT_EQ(Rows("ListViewActionsByMacs"), QStringList{"BB:BB:BB:BB:BB:BB"});
  EXPECT_TRUE(Rows("ListViewReplaceByMacPackets").isEmpty());
  Click("ButtonDeleteActionByMac");
  EXPECT_FALSE(Enabled("ButtonAddReplaceByMacPacket"));
}

TEST_F(MainWindow, StartIsRefusedWhileTheServiceRuns) {
  services_.installed = true;
  services_.state = ServiceRunState::kRunning;
  Open();
  Click("ButtonStartServer");
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].first, "Information");
  EXPECT_EQ(boxes_[0].second,
            "You can not start a new proxy server when the service is running.\r\n"
            "You need to stop the service and try again.");
  EXPECT_FALSE(form_->ServerRunning(Record().Id));
  EXPECT_TRUE(Enabled("ButtonStartServer"));
  Click("ButtonStopServer");  // on a stopped proxy server: the buttons are set all the same
  EXPECT_TRUE(Enabled("ButtonStartServer"));
  EXPECT_FALSE(Enabled("ButtonStopServer"));
}

TEST_F(MainWindow, AStartedProxyServerRelaysAndLogsAndDeletingItEndsIt) {
  Open();
  UdpSocket sink = test::PeerSocket(AddressFamily::kIpv4);
  const std::uint16_t port = test::FreeUdpPort();
  Type("EditRecvPort", QString::number(port));
  Type("EditSendPort", QString::number(port));
  Find<QCheckBox>("CheckBoxDontRecvFromYourIp")->setChecked(false);
  Type("EditSendToHost", "127.0.0.1");
  Type("EditSendToHostPort", QString::number(*sink.LocalPort()));
  Click("ButtonAddSendToHost");
  Click("ButtonStartServer");
  ASSERT_TRUE(
      WaitFor([&] { return Enabled("ButtonStopServer") && !Enabled("ButtonStartServer"); }));

  UdpSocket peer = test::PeerSocket(AddressFamily::kIpv4);
  const auto packet = test::MagicPayload({1, 2, 3, 4, 5, 6});
  std::optional<test::Received> relayed;
  for (int i = 0; i < 100 && !relayed; ++i) {
    test::Send(peer, packet, test::Loopback(AddressFamily::kIpv4, port));
    QTest::qWait(10);
    relayed = test::ReceiveWithin(sink, std::chrono::milliseconds(1));
  }
  ASSERT_TRUE(relayed.has_value());
  ASSERT_TRUE(WaitFor([&] { return !Rows("ListViewSendLogs").isEmpty(); }));
  EXPECT_EQ(Rows("ListViewRecvLogs", 3).front(), "01:02:03:04:05:06");
  EXPECT_EQ(Rows("ListViewRecvLogs", 5).front(), "No");
  EXPECT_EQ(Rows("ListViewSendLogs", 2).front(), QString::number(*sink.LocalPort()));

  // Stop and start again: the old thread's port is free at once, the window does not wait long.
  const auto before = std::chrono::steady_clock::now();
  Click("ButtonStartServer");
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(900));
  ASSERT_TRUE(WaitFor([&] { return Enabled("ButtonStopServer"); }));

  // A second proxy server, then delete the running one: its thread ends, its port is free.
  Type("EditServerName", "other");
  Click("ButtonAddServer");
  SelectServer("New proxy server");
  Click("ButtonDeleteServer");
  EXPECT_TRUE(WaitFor([&] {
    UdpSocket probe;
    return !probe.Open(AddressFamily::kIpv4) && !probe.Bind(port);
  }));
  EXPECT_EQ(form_->table().size(), 1u);
}

TEST_F(MainWindow, PrefixHelpShowsItsTwoTexts) {
  Open();
  Click("SpeedButtonHelpPrefix");
  Click("SpeedButtonHelpPrefix3");
  Click("SpeedButtonHelpPrefix2");
  ASSERT_EQ(boxes_.size(), 3u);
  EXPECT_EQ(boxes_[0].second, desktop::SenderPrefixHelpText());
  EXPECT_EQ(boxes_[1].second, desktop::DestinationPrefixHelpText());
  EXPECT_EQ(boxes_[2].second, desktop::DestinationPrefixHelpText());
  EXPECT_EQ(boxes_[0].first, "Information");
  EXPECT_TRUE(boxes_[0].second.contains("0..128 for IPv6"));
  EXPECT_FALSE(boxes_[1].second.contains("IPv6 addresses\r\n"));
  EXPECT_TRUE(
      boxes_[1].second.endsWith("The program don't use the network prefix for IPv6 addresses"));
  EXPECT_TRUE(boxes_[0].second.endsWith("/128 for IPv6 addresses"));
}

TEST_F(MainWindow, ServiceButtonsShowOneResultEach) {
  Open();
  // Each action runs beside the window thread; its result comes back to the window.
  Click("ButtonServiceStart");
  EXPECT_FALSE(Enabled("ButtonServiceStart"));  // until the result is shown
  ASSERT_TRUE(WaitFor([this] { return boxes_.size() == 1; }));
  EXPECT_TRUE(Enabled("ButtonServiceStart"));
  Click("ButtonServiceApply");
  ASSERT_TRUE(WaitFor([this] { return boxes_.size() == 2; }));
  EXPECT_EQ(boxes_[0].second,
            "Failed: Can not open the service.\r\nYou need to reinstall the service.");
  EXPECT_TRUE(boxes_[1].second.startsWith("Success: Configuration file has been updated"));
  Click("ButtonInstallService");
  ASSERT_TRUE(WaitFor([this] { return boxes_.size() == 3; }));
  EXPECT_TRUE(boxes_.back().second.startsWith("Success: The service was successfully installed."));
}

}  // namespace
}  // namespace corvane
