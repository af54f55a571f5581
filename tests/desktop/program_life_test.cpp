#include <QCloseEvent>
#include <QTabWidget>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "config/little_endian.h"
#include "config/profile_file.h"
#include "desktop/autostart.h"
#include "desktop/logs_page.h"
#include "tests/desktop/window_fixture.h"
#include "tests/support/loopback.h"
#include "tests/support/packets.h"

namespace corvane {
namespace {

using test::WindowTest;

class ProgramLife : public WindowTest {
 protected:
  std::string ProfilePath() const { return home_.path() + "/Corvane/profile.dat"; }
  std::vector<std::uint8_t> ProfileBytes() const {
    return ReadWholeFile(ProfilePath(), kMaxProfileSize).value_or(std::vector<std::uint8_t>{});
  }
  void WriteProfile(const std::vector<std::uint8_t>& bytes) {
    std::filesystem::create_directories(home_.path() + "/Corvane");
    ASSERT_FALSE(WriteFileReplacing(ProfilePath(), bytes, 0644));
  }
  void WriteProfile(const ProxyServerTable& table, const StoredDisplayOptions& options = {}) {
    WriteProfile(WriteProfileImage(table, options, false, CalendarTime{}));
  }
};

TEST_F(ProgramLife, AMissingEmptyOrBrokenProfileStartsWithOneNewProxyServer) {
  ProxyServerTable table;
  static_cast<void>(AddProxyServer(table, "saved"));
  std::vector<std::uint8_t> broken = WriteProfileImage(table, {}, false, CalendarTime{});
  broken.resize(639);
  for (const std::vector<std::uint8_t>& content :
       {std::vector<std::uint8_t>{}, broken, std::vector<std::uint8_t>(5000, 0xFF)}) {
    WriteProfile(content);
    Open();
    EXPECT_EQ(Rows("ListViewServers"), QStringList{"New proxy server"});
    EXPECT_EQ(Text("EditTitle"), "New proxy server");
    Close();
  }
}

TEST_F(ProgramLife, TheProfileIsLoadedAndItsFlaggedProxyServersStart) {
  UdpSocket sink = test::PeerSocket(AddressFamily::kIpv4);
  ProxyServerTable table;
  ProxyServerSettings relay = test::LoopbackRelay("relay", *sink.LocalPort());
  relay.ServerAutoStart = true;
  static_cast<void>(table.Register(relay));
  static_cast<void>(AddProxyServer(table, "idle"));
  StoredDisplayOptions options;
  options.ShowSendPackets = false;
  WriteProfile(table, options);

  Open();
  EXPECT_EQ(Rows("ListViewServers"), (QStringList{"idle", "relay"}));
  EXPECT_EQ(Text("EditTitle"), "idle");  // the first item
  EXPECT_FALSE(Find<QCheckBox>("CheckBoxShowSendPackets")->isChecked());
  UdpSocket peer = test::PeerSocket(AddressFamily::kIpv4);
  std::optional<test::Received> relayed;
  for (int i = 0; i < 200 && !relayed; ++i) {
    test::Send(peer, test::MagicPayload({1, 2, 3, 4, 5, 6}),
               test::Loopback(AddressFamily::kIpv4, relay.RecvPort));
    QTest::qWait(10);
    relayed = test::ReceiveWithin(sink, std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(relayed.has_value());
}

TEST_F(ProgramLife, NoProxyServerStartsWhileTheServiceRuns) {
  services_.installed = true;
  services_.state = ServiceRunState::kPaused;
  ProxyServerTable table;
  ProxyServerSettings flagged = *NewProxyServerSettings("flagged");
  flagged.ServerAutoStart = true;
  flagged.RecvPort = flagged.SendPort = test::FreeUdpPort();
  static_cast<void>(table.Register(flagged));
  WriteProfile(table);
  Open();
  EXPECT_FALSE(form_->ServerRunning(Record().Id));
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(ProgramLife, TheEndOfTheSessionSavesOnceAndClosesWithoutAsking) {
  Open();
  Type("EditRecvPort", "4001");
  form_->EndSession();
  EXPECT_TRUE(boxes_.empty());
  ProxyServerTable saved;
  DisplayOptions options;
  ASSERT_TRUE(LoadProfile(saved, options));
  EXPECT_EQ(saved[0].RecvPort, 4001);
  const std::vector<std::uint8_t> after_log_off = ProfileBytes();
  Type("EditRecvPort", "4002");
  Type("EditServerName", "after");
  Click("ButtonAddServer");
  EXPECT_FALSE(Find<QTimer>("TimerSave")->isActive());  // changes are not saved either
  Close();                                              // the destruction does not save again
  EXPECT_EQ(ProfileBytes(), after_log_off);
}

TEST_F(ProgramLife, ASessionThatEndsDuringTheCloseQuestionStillEndsTheProgram) {
  Open();
  desktop::MessageBoxes::SetAnswerer([this](const QString&, const QString&) {
    form_->EndSession();  // SIGTERM while the question is open
    return false;         // and then the user says No
  });
  form_->close();
  EXPECT_FALSE(form_->isVisible());
  const std::vector<std::uint8_t> saved = ProfileBytes();
  EXPECT_FALSE(saved.empty());
  Close();
  EXPECT_EQ(ProfileBytes(), saved);  // saved once
}

TEST_F(ProgramLife, ClosingAsksAndNoKeepsEverything) {
  Open();
  answer_ = false;
  form_->close();
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].second, "Are you sure you want to Close?");
  EXPECT_TRUE(form_->isVisible());
  answer_ = true;
  form_->close();
  EXPECT_FALSE(form_->isVisible());
  Close();
  EXPECT_FALSE(ProfileBytes().empty());  // saved on destruction
}

TEST_F(ProgramLife, AProfileThatFailsToLoadIsKeptAsideOnceAndNeverWrittenOver) {
  ProxyServerTable table;
  for (const char* name : {"first", "second", "third"}) {
    static_cast<void>(AddProxyServer(table, name));
  }
  std::vector<std::uint8_t> damaged = WriteProfileImage(table, {}, false, CalendarTime{});
  LittleEndianWriter(damaged).U32(956 + 2 * 244 + 124, 1001);  // third entry: a host list count
  WriteProfile(damaged);

  Open();
  EXPECT_EQ(Rows("ListViewServers"), (QStringList{"first", "second"}));
  ASSERT_TRUE(WaitFor([this] { return !boxes_.empty(); }));
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_TRUE(boxes_[0].second.contains("could not be read")) << boxes_[0].second.toStdString();
  ASSERT_EQ(form_->Record(form_->selected_server_id())->history.errors().size(), 1u);
  EXPECT_EQ(ProfileBytes(), damaged);  // untouched until the first save
  Close();

  std::vector<std::string> kept;
  for (const auto& entry : std::filesystem::directory_iterator(home_.path() + "/Corvane")) {
    if (entry.path().filename().string().starts_with("profile.dat.unreadable-")) {
      kept.push_back(entry.path().string());
    }
  }
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_TRUE(boxes_[0].second.contains(
      QString::fromStdString(std::filesystem::path(kept[0]).filename().string())));
  EXPECT_EQ(ReadWholeFile(kept[0], kMaxProfileSize), damaged);
  Open();  // the new profile reads whole: nothing more to say
  EXPECT_EQ(Rows("ListViewServers"), (QStringList{"first", "second"}));
  QTest::qWait(50);
  EXPECT_EQ(boxes_.size(), 1u);
}

TEST_F(ProgramLife, AFailedStartLeavesTheProfileAsItWas) {
  ProxyServerTable table;
  static_cast<void>(AddProxyServer(table, "precious"));
  WriteProfile(table);
  const std::vector<std::uint8_t> before = ProfileBytes();
  network_ready_ = false;
  Open(false);
  EXPECT_FALSE(form_->FormCreate());
  EXPECT_FALSE(form_->form_ready());
  Close();
  EXPECT_EQ(ProfileBytes(), before);
}

TEST_F(ProgramLife, TheAutostartEntryFollowsTheBoxOnceTheWindowIsReady) {
  setenv("XDG_CONFIG_HOME", (home_.path() + "/config").c_str(), 1);
  Open();
  auto* box = Find<QCheckBox>("CheckBoxAutoStart");
  EXPECT_FALSE(box->isChecked());
  box->setChecked(true);
  EXPECT_TRUE(desktop::AutostartEntryStarts("/opt/test/Corvane"));
  Close();
  Open();
  EXPECT_TRUE(Find<QCheckBox>("CheckBoxAutoStart")->isChecked());
  Find<QCheckBox>("CheckBoxAutoStart")->setChecked(false);
  EXPECT_FALSE(std::filesystem::exists(desktop::AutostartEntryPath()));
  Close();

  // An entry that differs in any way (arguments, another path) leaves the box clear.
  for (const char* exec :
       {"/opt/test/Corvane --hidden", "/opt/Test/Corvane", "\"/opt/test/Corvane\""}) {
    std::filesystem::create_directories(home_.path() + "/config/autostart");
    std::ofstream(desktop::AutostartEntryPath()) << "[Desktop Entry]\nExec=" << exec << "\n";
    Open();
    EXPECT_FALSE(Find<QCheckBox>("CheckBoxAutoStart")->isChecked()) << exec;
    Close();
  }
  unsetenv("XDG_CONFIG_HOME");
}

TEST(LogHistory, FullHistoriesLoseTheirOldest100Rows) {
  desktop::LogHistory history;
  for (int i = 0; i < 4000; ++i) {
    desktop::PacketRow row;
    row.port = static_cast<std::uint16_t>(i);
    history.AddReceived(row);
  }
  history.AddReceived({});
  ASSERT_EQ(history.received().size(), 3901u);
  EXPECT_EQ(history.received().front().port, 100);  // the 101st before
  for (int i = 0; i < 1001; ++i) history.AddError({{}, std::string(200, 'e')});
  EXPECT_EQ(history.errors().size(), 901u);
  EXPECT_EQ(history.errors().back().message.size(), 150u);
  EXPECT_EQ(desktop::LogTimeText({2026, 12, 7, 7, 9, 37}), "2026.12.07 07:09:37");
}

TEST_F(ProgramLife, FullViewsLoseTheirFirst100Rows) {
  Open();
  desktop::LogsPage* page = form_->logs_page();
  for (int i = 0; i < 1000; ++i) page->AddError({{}, "error " + std::to_string(i)});
  page->AddError({{}, "one more"});
  EXPECT_EQ(Rows("ListViewErrors").size(), 901);
  EXPECT_EQ(Rows("ListViewErrors", 1).front(), "error 100");
  for (int i = 0; i < 4001; ++i) page->AddSent({});
  EXPECT_EQ(Rows("ListViewSendLogs").size(), 3901);

  // Rows added in batches end up as if added one by one (the history trims the same way).
  desktop::LogHistory history;
  for (const QString& message : Rows("ListViewErrors", 1)) {
    history.AddError({{}, message.toStdString()});
  }
  for (const int batch : {50, 99, 1, 1500, 700}) {
    page->BeginBatch();
    for (int i = 0; i < batch; ++i) {
      const desktop::ErrorRow row{{}, "batch " + std::to_string(batch) + " " + std::to_string(i)};
      history.AddError(row);
      page->AddError(row);
    }
    page->EndBatch();
    QStringList expected;
    for (const desktop::ErrorRow& row : history.errors()) {
      expected << QString::fromStdString(row.message);
    }
    ASSERT_EQ(Rows("ListViewErrors", 1), expected) << batch;
  }
}

// Rows of a running proxy server: its own view only; options decide what is recorded at all.
TEST_F(ProgramLife, EachProxyServerKeepsItsOwnRowsAsTheOptionsSay) {
  Open();
  const std::uint16_t port = test::FreeUdpPort();
  Type("EditRecvPort", QString::number(port));
  Type("EditSendPort", QString::number(port));
  Find<QCheckBox>("CheckBoxDontRecvFromYourIp")->setChecked(false);
  Find<QCheckBox>("CheckBoxRecvWithNextMacs")->setChecked(true);
  Type("EditRecvWithMac", "01:01:01:01:01:01");
  Click("ButtonAddRecvWithMac");
  Click("ButtonStartServer");
  ASSERT_TRUE(WaitFor([&] { return Enabled("ButtonStopServer"); }));
  const std::uint32_t a = form_->selected_server_id();
  UdpSocket peer = test::PeerSocket(AddressFamily::kIpv4);
  const auto send = [&](std::uint8_t mac_byte) {
    test::Send(peer,
               test::MagicPayload({mac_byte, mac_byte, mac_byte, mac_byte, mac_byte, mac_byte}),
               test::Loopback(AddressFamily::kIpv4, port));
  };
  ASSERT_TRUE(WaitFor([&] {
    send(1);
    return !Rows("ListViewRecvLogs").isEmpty();
  }));

  // An ignored packet shown says why.
  Find<QCheckBox>("CheckBoxDontShowIgnoredPackets")->setChecked(false);
  send(2);
  ASSERT_TRUE(WaitFor([&] { return Rows("ListViewRecvLogs", 5).contains("Yes"); }));
  const QTreeWidgetItem* ignored =
      Find<QTreeWidget>("ListViewRecvLogs")->findItems("Yes", Qt::MatchExactly, 5).value(0);
  EXPECT_EQ(ignored->toolTip(3), "Ignored because of the filter by MAC address");

  // Ignored packets hidden, then received packets off altogether: nothing of it is kept.
  Find<QCheckBox>("CheckBoxDontShowIgnoredPackets")->setChecked(true);
  send(2);  // ignored
  Find<QCheckBox>("CheckBoxShowRecvPackets")->setChecked(false);
  send(1);
  QTest::qWait(100);
  Find<QCheckBox>("CheckBoxShowRecvPackets")->setChecked(true);
  send(3);  // a marker, ignored and hidden
  send(1);
  const std::size_t before = form_->Record(a)->history.received().size();
  ASSERT_TRUE(WaitFor([&] { return form_->Record(a)->history.received().size() > before; }));
  // Only the one ignored packet sent while they were shown is kept.
  EXPECT_EQ(std::count_if(form_->Record(a)->history.received().begin(),
                          form_->Record(a)->history.received().end(),
                          [](const desktop::PacketRow& row) { return row.ignored; }),
            1);

  Type("EditServerName", "B");
  Click("ButtonAddServer");
  EXPECT_TRUE(Rows("ListViewRecvLogs").isEmpty());  // B shows only its own rows
  send(1);
  QTest::qWait(50);
  EXPECT_TRUE(Rows("ListViewRecvLogs").isEmpty());
  SelectServer("New proxy server");
  EXPECT_EQ(static_cast<std::size_t>(Rows("ListViewRecvLogs").size()),
            form_->Record(a)->history.received().size());
}

}  // namespace
}  // namespace corvane
