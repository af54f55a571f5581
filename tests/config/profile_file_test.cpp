#include "config/profile_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "config/little_endian.h"
#include "tests/support/temp_home.h"

namespace corvane {
namespace {

constexpr CalendarTime kWrittenAt{2026, 12, 2, 8, 13, 45, 30, 250};

// Collects what a reader hands over.
class Collected final : public ProfileImageSink {
 public:
  void TakeOptions(const StoredDisplayOptions& stored) override { options = stored; }
  void TakeRecord(ProxyServerSettings record) override { records.push_back(std::move(record)); }

  std::optional<StoredDisplayOptions> options;
  std::vector<ProxyServerSettings> records;
};

ProxyServerSettings Small() {
  ProxyServerSettings s = *NewProxyServerSettings("Office");
  s.DontRecvFromHosts = true;
  s.DontRecvFromHostsList = {{"192.168.1.0", 24, 0}};
  s.DontRecvFromPortsList = {{5, 3}};
  s.RecvWithNextPasswordsList = {{1, 2, 3, 4, 5, 6}};
  s.SendToHostsList = {{"255.255.255.255", 32, 9}};
  ReplaceByMacPacket packet{
      {0xA, 0xB, 0xC, 0xD, 0xE, 0xF}, {9, 8, 7, 6, 5, 4}, true, {"host.example", 200, 4000}};
  s.ActionsByMacsList = {{{1, 1, 1, 1, 1, 1}, {packet}}};
  return s;
}

std::uint32_t U32(const std::vector<std::uint8_t>& image, std::size_t at) {
  return LittleEndianReader(image).U32(at);
}

TEST(ProfileImage, SmallTableHasTheBytesOfTheLayout) {
  ProxyServerTable table;
  ASSERT_EQ(table.Register(Small()), 1u);
  StoredDisplayOptions options;
  options.DontShowSendErrors = true;
  const std::vector<std::uint8_t> image = WriteProfileImage(table, options, true, kWrittenAt);

  // 956 + one entry of 244, then its areas: 198 + 4 + 6 + 198 + 16 + 212.
  ASSERT_EQ(image.size(), 1834u);
  EXPECT_EQ(U32(image, 0), 1u);
  EXPECT_EQ(U32(image, 4), 1u);
  EXPECT_EQ(U32(image, 12), 640u);
  EXPECT_EQ(U32(image, 212), 956u);
  EXPECT_EQ(U32(image, 612), 1u);
  EXPECT_EQ(image[624], 0xEA);  // 2026, little-endian
  EXPECT_EQ(image[625], 0x07);
  EXPECT_EQ(image[628], 2);  // day of the week
  EXPECT_EQ(image[638], 250);
  // Program options at 640.
  EXPECT_EQ(U32(image, 640), 1u);  // last Id
  const std::vector<std::uint8_t> flags(image.begin() + 644, image.begin() + 659);
  EXPECT_EQ(flags, (std::vector<std::uint8_t>{1, 1, 0, 1, 1, 1, 0, 1, 0, 0, 0, 0, 1, 0, 0}));
  // The proxy entry at 956.
  const std::size_t e = 956;
  EXPECT_EQ(U32(image, e), 1u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&image[e + 4])), "Office");
  EXPECT_EQ(image[e + 103], 0);          // IpMode
  EXPECT_EQ(image[e + 104], 9);          // RecvPort
  EXPECT_EQ(U32(image, e + 112), 100u);  // SendDelayTime
  EXPECT_EQ(image[e + 116], 1);
  EXPECT_EQ(image[e + 117], 1);  // DontRecvFromYourIp
  EXPECT_EQ(image[e + 119], 1);  // DontRecvFromHosts
  const std::pair<std::size_t, std::pair<std::uint32_t, std::uint32_t>> lists[] = {
      {120, {1200, 1}}, {132, {1398, 0}}, {144, {1398, 1}}, {156, {1402, 0}}, {168, {1402, 0}},
      {180, {1402, 1}}, {192, {1408, 0}}, {204, {1408, 0}}, {228, {1408, 1}}, {236, {1606, 1}}};
  for (const auto& [field, expected] : lists) {
    EXPECT_EQ(U32(image, e + field), expected.first) << "offset of the list at " << field;
    EXPECT_EQ(U32(image, e + field + 4), expected.second) << "count of the list at " << field;
  }
  // Entries.
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&image[1200])), "192.168.1.0");
  EXPECT_EQ(image[1200 + 194], 24);
  EXPECT_EQ(image[1398], 5);  // the range as entered
  EXPECT_EQ(image[1400], 3);
  EXPECT_EQ(image[1402 + 5], 6);
  EXPECT_EQ(image[1408 + 196], 9);  // the destination's port
  EXPECT_EQ(image[1606], 1);        // the action's MAC
  EXPECT_EQ(U32(image, 1606 + 8), 1622u);
  EXPECT_EQ(U32(image, 1606 + 12), 1u);
  EXPECT_EQ(image[1622], 0xA);
  EXPECT_EQ(image[1622 + 6], 9);
  EXPECT_EQ(image[1622 + 12], 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&image[1622 + 14])), "host.example");
  EXPECT_EQ(image[1622 + 208], 200);  // stored as the record holds it
  EXPECT_EQ(image[1622 + 210], 0xA0);
  EXPECT_EQ(image[1622 + 211], 0x0F);  // 4000
}

TEST(ProfileImage, SizesOfEmptyTables) {
  ProxyServerTable table;
  EXPECT_EQ(WriteProfileImage(table, {}, false, kWrittenAt).size(), 956u);
  static_cast<void>(AddProxyServer(table, "empty"));
  EXPECT_EQ(WriteProfileImage(table, {}, false, kWrittenAt).size(), 1200u);
}

ProxyServerSettings Full(int n) {
  ProxyServerSettings s = *NewProxyServerSettings("server " + std::to_string(n));
  s.ServerAutoStart = n % 2 == 0;
  s.ServerAutoStartOnService = true;
  s.IpMode = static_cast<IpMode>(n % 3);
  s.RecvPort = static_cast<std::uint16_t>(4000 + n);
  s.SendPort = 9;
  s.SendDelay = true;
  s.SendDelayTime = 250;
  s.DontRecvFromYourIp = false;
  s.DontRecvFromBroadcastIp = s.DontRecvFromHosts = s.RecvFromHosts = true;
  s.DontRecvFromPorts = s.RecvFromPorts = s.DontRecvWithPassword = s.DontRecvWithoutPassword = true;
  s.DontRecvWithNextPasswords = s.RecvWithNextPasswords = s.DontRecvWithNextMacs = true;
  s.RecvWithNextMacs = s.RemovePassword = s.ReplacePassword = s.ReplaceMac = true;
  s.ReplacePasswordValue = {1, 2, 3, 4, 5, static_cast<std::uint8_t>(n)};
  s.ReplaceMacValue = {6, 5, 4, 3, 2, 1};
  s.DontRecvFromHostsList = {{"10.0.0.1", 8, 0}, {std::string(96, 'h'), 128, 0}};
  s.RecvFromHostsList = {{"fe80::1", 64, 0}};
  s.DontRecvFromPortsList = {{1, 2}, {9, 9}};
  s.RecvFromPortsList = {{40000, 40009}};
  s.DontRecvWithNextPasswordsList = {{0, 0, 0, 0, 0, 1}};
  s.RecvWithNextPasswordsList = {{0, 0, 0, 0, 0, 2}, {0, 0, 0, 0, 0, 3}};
  s.DontRecvWithNextMacsList = {{0xFF, 0, 0, 0, 0, 4}};
  s.RecvWithNextMacsList = {{0xFF, 0, 0, 0, 0, 5}};
  s.SendToHostsList = {{"printer.example", 24, 9}, {"::1", 0, 7}};
  ReplaceByMacPacket with{{1, 1, 1, 1, 1, 1}, {2, 2, 2, 2, 2, 2}, true, {"a", 32, 9}};
  ReplaceByMacPacket without{{3, 3, 3, 3, 3, 3}, {4, 4, 4, 4, 4, 4}, false, {"b", 0, 10}};
  s.ActionsByMacsList = {{{7, 7, 7, 7, 7, 7}, {with, without}},
                         {{8, 8, 8, 8, 8, 8}, {}},
                         {{9, 9, 9, 9, 9, 9}, {without}}};
  return s;
}

TEST(ProfileImage, ThreeFullProxyServersRoundTripWithNewIds) {
  ProxyServerTable written;
  for (int n = 0; n < 3; ++n) static_cast<void>(AddProxyServer(written, "x"));
  ASSERT_TRUE(written.Remove(1));  // Ids 2, 3 in the file; the reader gives new ones
  for (int n = 0; n < 3; ++n) {
    if (n < 2) {
      written[n] = Full(n);
    } else {
      ASSERT_EQ(written.Register(Full(n)), 4u);
    }
  }
  StoredDisplayOptions options{false, true, true, false, true, false};
  const auto image = WriteProfileImage(written, options, false, kWrittenAt);

  ProxyServerTable table;
  DisplayOptions read_options;
  class Registering final : public ProfileImageSink {
   public:
    Registering(ProxyServerTable& t, DisplayOptions& o) : table(t), display(o) {}
    void TakeOptions(const StoredDisplayOptions& stored) override { Apply(stored, display); }
    void TakeRecord(ProxyServerSettings record) override {
      static_cast<void>(table.Register(std::move(record)));
    }
    ProxyServerTable& table;
    DisplayOptions& display;
  } sink(table, read_options);
  ASSERT_TRUE(ReadProfileImage(image, sink));
  ASSERT_EQ(table.size(), 3u);
  for (std::uint32_t n = 0; n < 3; ++n) {
    ProxyServerSettings expected = Full(static_cast<int>(n));
    expected.Id = n + 1;
    EXPECT_EQ(table[n], expected) << "proxy server " << n;
  }
  EXPECT_EQ(Snapshot(read_options).DontShowIgnoredPackets, true);
  EXPECT_EQ(Snapshot(read_options).ShowErrors, false);
}

// Malformed files, each made from a good image of three proxy servers.
class MalformedProfile : public ::testing::Test {
 protected:
  MalformedProfile() {
    for (int n = 0; n < 3; ++n) static_cast<void>(table_.Register(Full(n)));
    image_ = WriteProfileImage(table_, {}, false, kWrittenAt);
  }
  std::size_t Entry(int n) const { return 956 + 244 * static_cast<std::size_t>(n); }
  void Put32(std::size_t at, std::uint32_t value) { LittleEndianWriter(image_).U32(at, value); }
  bool Read() {
    collected_ = Collected();
    return ReadProfileImage(image_, collected_);
  }

  ProxyServerTable table_;
  std::vector<std::uint8_t> image_;
  Collected collected_;
};

TEST_F(MalformedProfile, AShortHeaderOrWrongVersionLoadsNothing) {
  image_.resize(639);
  EXPECT_FALSE(Read());
  EXPECT_FALSE(collected_.options.has_value());
  EXPECT_TRUE(collected_.records.empty());
}

TEST_F(MalformedProfile, OptionsSurviveABadProxyPart) {
  Put32(4, 2);  // proxy part version
  EXPECT_FALSE(Read());
  EXPECT_TRUE(collected_.options.has_value());
  EXPECT_TRUE(collected_.records.empty());
  Put32(4, 1);
  Put32(612, 1001);
  EXPECT_FALSE(Read());
  EXPECT_TRUE(collected_.records.empty());
  Put32(612, 3);
  Put32(12, 0xFFFFFFF0u);  // options block past the end, also once 316 is added
  EXPECT_FALSE(Read());
  EXPECT_FALSE(collected_.options.has_value());
}

TEST_F(MalformedProfile, AFailingEntryKeepsTheOnesBeforeIt) {
  Put32(Entry(2) + 132 + 4, 1001);  // third entry: host list count
  EXPECT_FALSE(Read());
  EXPECT_EQ(collected_.records.size(), 2u);
  Put32(Entry(2) + 132 + 4, 1);
  Put32(Entry(1) + 228, static_cast<std::uint32_t>(image_.size()) - 197);  // area past the end
  EXPECT_FALSE(Read());
  EXPECT_EQ(collected_.records.size(), 1u);
  Put32(Entry(1) + 228, 0xFFFFFFFFu);
  EXPECT_FALSE(Read());
  EXPECT_EQ(collected_.records.size(), 1u);
}

TEST_F(MalformedProfile, StoredValuesAreClampedOnTheWayIn) {
  LittleEndianWriter out(image_);
  out.U32(Entry(0) + 112, 20000);  // SendDelayTime
  const std::uint32_t hosts = LittleEndianReader(image_).U32(Entry(0) + 120);
  out.U8(hosts + 194, 200);  // Prefix
  const std::uint32_t ports = LittleEndianReader(image_).U32(Entry(0) + 144);
  out.U16(ports, 5);
  out.U16(ports + 2, 3);
  for (std::size_t i = 0; i < 97; ++i) image_[Entry(0) + 4 + i] = 'n';  // no zero byte
  for (std::size_t i = 0; i < 98; ++i) image_[hosts + i] = 'h';         // nor here
  image_[Entry(0) + 103] = 7;  // IpMode as stored, for the engine to refuse
  ASSERT_TRUE(Read());
  const ProxyServerSettings& s = collected_.records[0];
  EXPECT_EQ(s.SendDelayTime, 10000u);
  EXPECT_EQ(s.DontRecvFromHostsList[0].Prefix, 128);
  EXPECT_EQ(s.DontRecvFromHostsList[0].Host, std::string(96, 'h'));
  EXPECT_EQ(s.DontRecvFromPortsList[0], (PortRange{3, 5}));
  EXPECT_EQ(s.ServerName, std::string(96, 'n'));
  EXPECT_EQ(static_cast<int>(s.IpMode), 7);
}

TEST_F(MalformedProfile, TheReportNamesEveryCorrectionWithoutChangingWhatIsRead) {
  const LittleEndianReader in(image_);
  LittleEndianWriter out(image_);
  out.U32(Entry(1) + 112, 20000);
  const std::uint32_t hosts = in.U32(Entry(1) + 120);
  for (std::size_t i = 0; i < 98; ++i) image_[hosts + i] = 'h';
  out.U8(hosts + 194, 200);
  out.U16(in.U32(Entry(1) + 144) + 2, 0);  // {1, 2} becomes {1, 0}
  const std::uint32_t packets = in.U32(in.U32(Entry(2) + 236) + 8);
  out.U8(packets + 212 + 208, 129);
  for (std::size_t i = 0; i < 97; ++i) image_[Entry(2) + 4 + i] = 'n';

  ASSERT_TRUE(Read());
  const std::vector<ProxyServerSettings> plain = collected_.records;
  ProfileReadReport report;
  Collected reported;
  ASSERT_TRUE(ReadProfileImage(image_, reported, &report));
  EXPECT_EQ(reported.records, plain);
  std::vector<std::string> lines;
  for (const ProfileReadNote& note : report.corrections) {
    lines.push_back(std::to_string(note.proxy.value_or(9)) + " " + Describe(note));
  }
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "1 SendDelayTime 20000 is above 10000: read as 10000",
                       "1 DontRecvFromHostsList[0].Host has no zero byte after 96 bytes: read as "
                       "its first 96 bytes",
                       "1 DontRecvFromHostsList[0].Prefix 200 is above 128: read as 128",
                       "1 DontRecvFromPortsList[0] 1 - 0 is reversed: read as 0 - 1",
                       "2 ServerName has no zero byte after 96 bytes: read as its first 96 bytes",
                       "2 ActionsByMacsList[0].ReplaceByMacPacketsList[1].Destination.Prefix 129 "
                       "is above 128: read as 128"}));
  EXPECT_FALSE(report.failure.has_value());
  EXPECT_EQ(report.stored_ids, (std::vector<std::uint32_t>{1, 2, 3}));
  EXPECT_EQ(report.last_id, 3u);
  EXPECT_EQ(report.written_at.millisecond, 250);
}

TEST_F(MalformedProfile, TheReportNamesTheCheckThatEndedTheReading) {
  const LittleEndianReader in(image_);
  const std::uint32_t actions = in.U32(Entry(1) + 236);
  const struct {
    std::size_t at;
    std::uint32_t value;
    const char* expected;
  } cases[] = {
      {0, 3, "- the version of the options part is 3, not 1"},
      {4, 2, "- the version of the proxy part is 2, not 1"},
      {612, 1001, "- the file counts 1001 proxy servers, more than 1000"},
      {212, 0xFFFFFF00u, "- the 3 proxy entries at offset 4294967040 do not lie within the file"},
      {Entry(2) + 132 + 4, 1001, "2 RecvFromHostsList counts 1001 entries, more than 1000"},
      {actions + 8, 0xFFFFFFFFu,
       "1 ActionsByMacsList[0].ReplaceByMacPacketsList: 2 entries at offset 4294967295 do not lie "
       "within the file"},
  };
  const std::vector<std::uint8_t> good = image_;
  for (const auto& c : cases) {
    image_ = good;
    Put32(c.at, c.value);
    ProfileReadReport report;
    Collected collected;
    EXPECT_FALSE(ReadProfileImage(image_, collected, &report)) << c.expected;
    ASSERT_TRUE(report.failure.has_value()) << c.expected;
    const std::string where =
        report.failure->proxy ? std::to_string(*report.failure->proxy) : std::string("-");
    EXPECT_EQ(where + " " + Describe(*report.failure), c.expected);
  }
}

TEST_F(MalformedProfile, AreasUsedOverAndOverAreRefused) {
  // Every action of the first entry points at the same packets: far more entries than bytes.
  const LittleEndianReader in(image_);
  const std::uint32_t actions = in.U32(Entry(0) + 236);
  const std::uint32_t packets = in.U32(actions + 8);
  Put32(Entry(0) + 236 + 4, 1000);
  Put32(actions + 8, packets);
  image_.resize(image_.size() + 16 * 1000);
  for (std::uint32_t a = 0; a < 1000; ++a) {
    const std::size_t at = image_.size() - 16 * 1000 + 16 * a;
    Put32(at + 8, packets);
    Put32(at + 12, 2);
  }
  Put32(Entry(0) + 236, static_cast<std::uint32_t>(image_.size() - 16 * 1000));
  EXPECT_FALSE(Read());
  EXPECT_TRUE(collected_.records.empty());
}

TEST(ProfileFile, SavedAndLoadedThroughTheHomeFolder) {
  test::TempHome home;
  ProxyServerTable table;
  static_cast<void>(table.Register(Full(1)));
  DisplayOptions options;
  Set(options.ShowSendPackets, false);
  ASSERT_TRUE(SaveProfile(table, options, false));
  EXPECT_TRUE(std::filesystem::exists(home.path() + "/Corvane/profile.dat"));
  EXPECT_EQ(std::filesystem::status(home.path() + "/Corvane/profile.dat").permissions() &
                std::filesystem::perms::group_read,
            std::filesystem::perms::none);
  ASSERT_TRUE(SaveProfile(table, options, false));  // over an existing file
  ProxyServerTable loaded;
  DisplayOptions loaded_options;
  ASSERT_TRUE(LoadProfile(loaded, loaded_options));
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_EQ(loaded[0].ServerName, "server 1");
  EXPECT_FALSE(IsSet(loaded_options.ShowSendPackets));
  // Only the profile is in the folder: no temporary file stays behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.path() + "/Corvane"),
                          std::filesystem::directory_iterator{}),
            1);
}

TEST(ProfileFile, TheHomeFolderMustHaveASensibleLength) {
  test::TempHome home;
  ProxyServerTable table;
  DisplayOptions options;
  setenv("HOME", "/", 1);
  EXPECT_FALSE(ProfilePath().has_value());
  EXPECT_FALSE(SaveProfile(table, options, false));
  setenv("HOME", ("/" + std::string(220, 'x')).c_str(), 1);
  EXPECT_FALSE(ProfilePath().has_value());
  setenv("HOME", (home.path() + "/").c_str(), 1);
  EXPECT_EQ(ProfilePath(), home.path() + "/Corvane/profile.dat");
  EXPECT_FALSE(LoadProfile(table, options));  // no file yet
}

TEST(ProfileFile, TheServiceReaderTakesEveryProxyServer) {
  test::TempHome home;
  ProxyServerTable written;
  ProxyServerSettings unflagged = Full(0);
  unflagged.ServerAutoStartOnService = false;
  static_cast<void>(written.Register(unflagged));
  static_cast<void>(written.Register(Full(1)));
  const auto image = WriteProfileImage(written, {}, false, kWrittenAt);
  const std::string path = home.path() + "/CorvaneService.dat";
  ASSERT_FALSE(WriteFileReplacing(path, image, 0644));

  ProxyServerTable table;
  static_cast<void>(AddProxyServer(table, "left over"));
  ASSERT_TRUE(LoadServiceProfileFrom(path, table));
  ASSERT_EQ(table.size(), 2u);
  EXPECT_FALSE(table[0].ServerAutoStartOnService);
  EXPECT_TRUE(ReleaseServiceProfile(table));
  EXPECT_TRUE(table.empty());
  EXPECT_FALSE(LoadServiceProfileFrom(home.path() + "/missing.dat", table));
}

TEST(ProfileFile, UnreadableProfilesAreMovedAsideNeverOverAnotherAndOnlyTheNewestThreeStay) {
  test::TempHome home;
  const std::string profile = *ProfilePath();
  const auto aside = [&](int second) {
    return UnreadableProfilePath(
        profile, CalendarTime{2026, 12, 2, 8, 19, 30, static_cast<std::uint16_t>(second), 0});
  };
  EXPECT_EQ(aside(5), profile + ".unreadable-20261208-193005");
  for (int second = 1; second <= 5; ++second) {
    const std::vector<std::uint8_t> content(10, static_cast<std::uint8_t>(second));
    ASSERT_FALSE(WriteFileReplacing(profile, content));
    ASSERT_TRUE(SetProfileAside(profile, aside(second)));
    EXPECT_FALSE(PathExists(profile));
    EXPECT_EQ(ReadWholeFile(aside(second), 100), content);
  }
  for (int second = 1; second <= 5; ++second) EXPECT_EQ(PathExists(aside(second)), second > 2);

  const std::vector<std::uint8_t> content(10, 9);
  ASSERT_FALSE(WriteFileReplacing(profile, content));
  EXPECT_FALSE(SetProfileAside(profile, aside(5)));  // taken: nothing is replaced or lost
  EXPECT_EQ(ReadWholeFile(profile, 100), content);
  EXPECT_EQ(ReadWholeFile(aside(5), 100), std::vector<std::uint8_t>(10, 5));
  RemoveFile(profile);
  EXPECT_TRUE(SetProfileAside(profile, aside(6)));  // nothing there to keep
  EXPECT_FALSE(PathExists(aside(6)));
}

}  // namespace
}  // namespace corvane
