#include "cli/profile_tool.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>

#include "cli/profile_fields.h"
#include "cli/profile_json.h"
#include "config/little_endian.h"
#include "tests/fuzz/seed_profiles.h"
#include "tests/support/temp_home.h"

namespace corvane {
namespace {

constexpr CalendarTime kWrittenAt{2026, 12, 8, 2, 19, 45, 0, 0};

// Every list kind at its limit of 1000 entries, texts at 96 bytes, and the values that only a
// file carries: Ids with gaps, a password kept without HasPassword, a port on a sender host.
std::vector<std::uint8_t> FullListsImage() {
  ProxyServerTable table;
  static_cast<void>(AddProxyServer(table, "removed"));
  ProxyServerSettings s = *NewProxyServerSettings("B\xC3\xBCro " + std::string(90, 'n'));
  s.IpMode = IpMode::UseIPv6;
  s.SendDelayTime = 10000;
  for (std::uint32_t i = 0; i < kMaxListEntries; ++i) {
    const auto b = static_cast<std::uint8_t>(i);
    const auto port = static_cast<std::uint16_t>(i * 61);
    const std::string host = std::to_string(i) + std::string(96 - std::to_string(i).size(), 'h');
    s.DontRecvFromHostsList.push_back({host, static_cast<std::uint8_t>(i % 129), port});
    s.RecvFromHostsList.push_back({"10.0.0." + std::to_string(i % 256), 32, 0});
    s.SendToHostsList.push_back({host, 128, port});
    s.DontRecvFromPortsList.push_back({port, static_cast<std::uint16_t>(port + 5)});
    s.RecvFromPortsList.push_back({port, port});
    s.DontRecvWithNextPasswordsList.push_back({b, 1, 2, 3, 4, 5});
    s.RecvWithNextPasswordsList.push_back({5, 4, 3, 2, 1, b});
    s.DontRecvWithNextMacsList.push_back({0xFF, b, 0, 0, 0, b});
    s.RecvWithNextMacsList.push_back({0xAA, 0xBB, b, 0xDD, 0xEE, 0xFF});
    s.ActionsByMacsList.push_back({{b, b, b, b, b, 0x0F}, {}});
  }
  for (std::uint32_t i = 0; i < kMaxListEntries; ++i) {
    s.ActionsByMacsList[0].ReplaceByMacPacketsList.push_back(
        {{1, 2, 3, 4, 5, 6},
         {9, 9, 9, 9, 9, static_cast<std::uint8_t>(i)},
         i % 2 == 0,
         {"fd00::" + std::to_string(i), static_cast<std::uint8_t>(i % 129), 9}});
  }
  static_cast<void>(table.Register(s));
  static_cast<void>(AddProxyServer(table, "New proxy server"));
  static_cast<void>(AddProxyServer(table, "removed too"));
  EXPECT_TRUE(table.Remove(1));
  EXPECT_TRUE(table.Remove(4));  // Ids 2 and 3 stay; the last one handed out is 4
  return WriteProfileImage(table, {false, true, true, false, true, false}, true, kWrittenAt);
}

class ProfileTool : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return home_.path() + "/" + name; }
  std::string Write(const std::string& name, std::span<const std::uint8_t> bytes) {
    EXPECT_FALSE(WriteFileReplacing(Path(name), bytes));
    return Path(name);
  }
  std::string WriteText(const std::string& name, const std::string& text) {
    return Write(name, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
  }
  int Run(std::vector<std::string> args, const std::string& input = {}) {
    std::istringstream in(input);
    std::ostringstream out, err;
    const int status = RunProfileTool(args, in, out, err);
    out_ = out.str();
    err_ = err.str();
    return status;
  }

  test::TempHome home_;
  std::string out_, err_;
};

TEST_F(ProfileTool, ExportThenImportGivesTheSameFileAndImportThenExportTheSameJson) {
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> profiles = test::SeedProfiles();
  profiles.emplace_back("full-lists", FullListsImage());
  for (const auto& [name, image] : profiles) {
    SCOPED_TRACE(name);
    const LoadedProfile loaded = LoadProfileDocument(Write(name, image));
    ASSERT_TRUE(loaded.passed);
    const ExportedJson exported = ExportProfileJson(loaded.document);
    ASSERT_TRUE(exported.problems.empty());
    const ImportedJson imported = ImportProfileJson(exported.text);
    ASSERT_TRUE(imported.problems.empty()) << imported.problems[0].Text();
    EXPECT_TRUE(WriteProfileDocument(imported.document, loaded.report.written_at) == image);
    EXPECT_EQ(ExportProfileJson(imported.document).text, exported.text);
  }
}

TEST_F(ProfileTool, TheCommandsRoundTripThroughFilesWrittenAtomicallyForTheOwnerOnly) {
  const std::string original = Write("original.dat", FullListsImage());
  ASSERT_EQ(Run({"export", original}), 0) << err_;
  const std::string exported = out_;
  ASSERT_EQ(Run({"import", WriteText("profile.json", exported), Path("copy.dat")}), 0) << err_;
  EXPECT_EQ(out_, "Wrote " + Path("copy.dat") + " (2 proxy servers).\n");
  ASSERT_EQ(Run({"import", "-", Path("piped.dat")}, exported), 0) << err_;
  ASSERT_EQ(Run({"export", Path("piped.dat")}), 0) << err_;
  EXPECT_EQ(out_, exported);

  const auto before = ReadWholeFile(original, kMaxProfileSize);
  const auto after = ReadWholeFile(Path("copy.dat"), kMaxProfileSize);
  ASSERT_TRUE(before && after);
  ASSERT_EQ(before->size(), after->size());
  for (std::size_t i = 0; i < before->size(); ++i) {
    if (i >= 624 && i < 640) continue;  // the time of writing
    ASSERT_EQ((*before)[i], (*after)[i]) << "byte " << i;
  }
  struct stat info {};
  ASSERT_EQ(stat(Path("copy.dat").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(ProfileTool, ImportRefusesEveryValueTheWindowWouldNotLetIn) {
  const auto server = [](const std::string& fields) {
    return R"({"ProxyServers": [{"ServerName": "a")" + fields + "}]}";
  };
  std::string many_macs = R"(, "RecvWithNextMacsList": [)";
  for (int i = 0; i < 1001; ++i) many_macs += std::string(i ? "," : "") + R"("001122334455")";
  std::string many_servers = R"({"ProxyServers": [)";
  for (int i = 0; i < 1001; ++i)
    many_servers += std::string(i ? "," : "") + R"({"ServerName": "a"})";
  const struct {
    std::string json;
    std::string problem;
  } cases[] = {
      {"[]", "$: expected an object, found an array"},
      {R"({"ProxyServers": [], "Extra": 1})", "$.Extra: unknown key"},
      {R"({"ProgramOptions": {"ShowErrors": 1}})",
       "$.ProgramOptions.ShowErrors: expected true or false, found the number 1"},
      {R"({"ProxyServers": [{}]})",
       "$.ProxyServers[0].ServerName: missing: a proxy server needs a name"},
      {server(R"(, "ServerName": "b")"), R"($: the key "ServerName" appears twice in one object)"},
      {R"({"ProxyServers": [{"ServerName": ""}]})",
       "$.ProxyServers[0].ServerName: is empty: a proxy server needs a name"},
      {R"({"ProxyServers": [{"ServerName": ")" + std::string(97, 'x') + R"("}]})",
       "$.ProxyServers[0].ServerName: is 97 bytes long, more than 96"},
      {server(R"(, "Colour": "red")"), "$.ProxyServers[0].Colour: unknown key"},
      {server(R"(, "IpMode": 1)"),
       R"($.ProxyServers[0].IpMode: expected "UseIPv4", "UseIPv6" or "UseIPv4IPv6", found the number 1)"},
      {server(R"(, "RecvPort": 65536)"), "$.ProxyServers[0].RecvPort: 65536 is outside 0..65535"},
      {server(R"(, "SendPort": -1)"), "$.ProxyServers[0].SendPort: -1 is outside 0..65535"},
      {server(R"(, "SendPort": 9.0)"),
       "$.ProxyServers[0].SendPort: expected a whole number, found a number with a fraction"},
      {server(R"(, "SendDelayTime": 10001)"),
       "$.ProxyServers[0].SendDelayTime: 10001 is outside 0..10000"},
      {server(R"(, "SendDelay": null)"),
       "$.ProxyServers[0].SendDelay: expected true or false, found null"},
      {server(R"(, "SendToHostsList": [{"Host": "h", "Prefix": 129}])"),
       "$.ProxyServers[0].SendToHostsList[0].Prefix: 129 is outside 0..128"},
      {server(R"(, "SendToHostsList": [{"Host": ""}])"),
       "$.ProxyServers[0].SendToHostsList[0].Host: is empty: an IPv4 or IPv6 address or a host "
       "name"},
      {server(R"(, "RecvFromHostsList": [{"Host": "h", "Mask": 8}])"),
       "$.ProxyServers[0].RecvFromHostsList[0].Mask: unknown key"},
      {server(R"(, "ReplaceMacValue": "00:11:22:33:44")"),
       R"($.ProxyServers[0].ReplaceMacValue: "00:11:22:33:44" does not hold 12 hexadecimal digits, as 00:11:22:AA:BB:CC does)"},
      {server(R"(, "DontRecvWithNextPasswordsList": "00:11:22:33:44:55")"),
       R"($.ProxyServers[0].DontRecvWithNextPasswordsList: expected an array, found the text "00:11:22:33:44:55")"},
      {server(many_macs + "]"),
       "$.ProxyServers[0].RecvWithNextMacsList: holds 1001 entries, more than 1000"},
      {many_servers + "]}", "$.ProxyServers: holds 1001 entries, more than 1000"},
      {server(
           R"(, "ActionsByMacsList": [{"Mac": "00:00:00:00:00:01", "ReplaceByMacPacketsList": [{"Mac": "00:00:00:00:00:02", "Password": "", "HasPassword": true, "Destination": {"Host": "h"}}]}])"),
       "$.ProxyServers[0].ActionsByMacsList[0].ReplaceByMacPacketsList[0].HasPassword: is true, "
       "but "
       "the password is empty"},
      {server(R"(, "ActionsByMacsList": [{"ReplaceByMacPacketsList": []}])"),
       "$.ProxyServers[0].ActionsByMacsList[0].Mac: missing: a MAC address such as "
       "00:11:22:AA:BB:CC"},
      {server(R"(,)"),
       "$: parse error at line 1, column 38: syntax error while parsing object key - "
       "unexpected '}'; expected string literal"},
  };
  for (const auto& c : cases) {
    const ImportedJson imported = ImportProfileJson(c.json);
    ASSERT_EQ(imported.problems.size(), 1u) << c.json;
    EXPECT_EQ(imported.problems[0].Text(), c.problem);
  }

  // Through the tool: every problem is listed and nothing is written.
  const std::string json = WriteText("bad.json", server(R"(, "RecvPort": "9", "SendPort": 1e9)"));
  EXPECT_EQ(Run({"import", json, Path("out.dat")}), 1);
  EXPECT_NE(err_.find("RecvPort: expected a whole number"), std::string::npos) << err_;
  EXPECT_NE(err_.find("SendPort: expected a whole number"), std::string::npos) << err_;
  EXPECT_NE(err_.find("nothing was written"), std::string::npos);
  EXPECT_FALSE(PathExists(Path("out.dat")));
}

TEST_F(ProfileTool, MissingKeysTakeTheDefaultsOfANewProxyServerAndOfTheEditFields) {
  const ImportedJson imported = ImportProfileJson(R"({"ProxyServers": [
      {"ServerName": "a"},
      {"ServerName": "b", "Id": 7,
       "DontRecvFromHostsList": [{"Host": "sender"}], "SendToHostsList": [{"Host": "to"}],
       "RecvFromPortsList": [{"First": 40000}],
       "ActionsByMacsList": [{"Mac": "00-11-22-33-44-55", "ReplaceByMacPacketsList": [
         {"Mac": "001122334455", "Password": "01:02:03:04:05:06", "Destination": {"Host": "d"}},
         {"Mac": "001122334455", "Destination": {"Host": "d", "Prefix": 24, "Port": 7}}]}]}]})");
  ASSERT_TRUE(imported.problems.empty()) << imported.problems[0].Text();
  const ProfileDocument& d = imported.document;
  EXPECT_EQ(d.Options, StoredDisplayOptions{});
  EXPECT_EQ(d.LastId, 7u);
  ASSERT_EQ(d.Records.size(), 2u);
  ProxyServerSettings a = *NewProxyServerSettings("a");
  a.Id = 1;
  EXPECT_EQ(d.Records[0], a);
  const ProxyServerSettings& b = d.Records[1];
  EXPECT_EQ(b.Id, 7u);
  EXPECT_EQ(b.DontRecvFromHostsList, (std::vector<HostEntry>{{"sender", 32, 0}}));
  EXPECT_EQ(b.SendToHostsList, (std::vector<HostEntry>{{"to", 32, 9}}));
  EXPECT_EQ(b.RecvFromPortsList, (std::vector<PortRange>{{40000, 40000}}));
  const MacAddress mac{0, 0x11, 0x22, 0x33, 0x44, 0x55};
  EXPECT_EQ(b.ActionsByMacsList[0].Mac, mac);
  EXPECT_EQ(b.ActionsByMacsList[0].ReplaceByMacPacketsList,
            (std::vector<ReplaceByMacPacket>{{mac, {1, 2, 3, 4, 5, 6}, true, {"d", 32, 9}},
                                             {mac, {}, false, {"d", 24, 7}}}));
}

TEST_F(ProfileTool, CheckTellsValidCorrectedAndUnreadableFilesApart) {
  const std::vector<std::uint8_t> good = FullListsImage();
  const std::uint32_t second_entry = 956 + 244;
  const struct {
    const char* name;
    std::size_t at;  // a 32-bit value to change, or the size to cut the file to
    std::uint32_t value;
    bool cut;
    std::vector<std::string> args;
    int status;
    std::string line;
  } cases[] = {
      {"good", 0, 1, false, {}, 0, "Result: valid"},
      {"delay",
       second_entry + 112,
       20000,
       false,
       {},
       1,
       "  proxy server 2 (New proxy server): SendDelayTime 20000 is above 10000: read as 10000"},
      {"mode",
       second_entry + 100,
       0x07000000,
       false,
       {},
       1,
       "  proxy server 2 (New proxy server): IpMode 7 is none of UseIPv4, UseIPv6, UseIPv4IPv6: "
       "the proxy "
       "server cannot start"},
      {"surrogate",  // ED A0 80: a surrogate, which JSON export refuses too
       second_entry + 4,
       0x0080A0ED,
       false,
       {},
       1,
       "  proxy server 2 (\xED\xA0\x80): ServerName is not UTF-8 text"},
      {"count",
       second_entry + 132 + 4,
       1001,
       false,
       {},
       2,
       "Reading stopped: proxy server 2: RecvFromHostsList counts 1001 entries, more than 1000"},
      {"short",
       639,
       0,
       true,
       {},
       2,
       "Reading stopped: the file has 639 bytes, fewer than the 640 of its header"},
      {"unflagged",
       0,
       1,
       false,
       {"--service"},
       1,
       "  no proxy server is flagged ServerAutoStartOnService: the service would stop at once"},
  };
  for (const auto& c : cases) {
    std::vector<std::uint8_t> image = good;
    if (c.cut) {
      image.resize(c.at);
    } else {
      LittleEndianWriter(image).U32(c.at, c.value);
    }
    std::vector<std::string> args = {"check"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.push_back(Write(c.name, image));
    EXPECT_EQ(Run(args), c.status) << c.name << "\n" << out_;
    EXPECT_NE(out_.find(c.line + "\n"), std::string::npos) << c.name << "\n" << out_;
  }
  // The window stores a range as typed; the programs read it swapped.
  EXPECT_EQ(Run({"check", Write("three", test::SeedProfiles()[3].second)}), 1);
  EXPECT_NE(out_.find("proxy server 2 (full): DontRecvFromPortsList[0] 5 - 3 is reversed: read as "
                      "3 - 5\n"),
            std::string::npos)
      << out_;
  EXPECT_EQ(Run({"check", Path("missing")}), 2);
  EXPECT_EQ(Run({"export", Write("short", std::vector<std::uint8_t>(700))}), 2);
  EXPECT_EQ(out_, "");
  EXPECT_EQ(Run({"show"}), 2);
  EXPECT_EQ(Run({"import", "--service"}), 2);
}

TEST_F(ProfileTool, CheckWarnsOfDestinationsThatNeedAnInterfaceAndOnlyOfThose) {
  ProxyServerTable table;
  ProxyServerSettings s = *NewProxyServerSettings("v6");
  s.RecvFromHostsList = {{"fe80::1", 64, 0}};  // a sender filter needs no interface
  s.SendToHostsList = {{"ff02::1%eth0", 128, 9}, {"fe80::1", 128, 9}};
  s.ActionsByMacsList = {{{}, {{{}, {}, false, {"%", 32, 9}}}}};
  static_cast<void>(table.Register(s));
  EXPECT_EQ(Run({"check", Write("v6", WriteProfileImage(table, {}, true, kWrittenAt))}), 1);
  EXPECT_NE(
      out_.find("Warnings:\n  proxy server 1 (v6): SendToHostsList[1].Host fe80::1 reaches "
                "one link only: add the interface, for example %eth0\n  proxy server 1 (v6): "
                "ActionsByMacsList[0].ReplaceByMacPacketsList[0].Destination.Host % names "
                "no address before the %\nResult: readable with 0 corrections and 2 warnings"),
      std::string::npos)
      << out_;
}

// Changes one field of a record (`target`), or every field (`kAll`), to a value that is not its
// default, walking the JSON field table; list fields get one entry with every field changed.
template <typename Record>
class ChangeField {
 public:
  static constexpr int kAll = -1;
  ChangeField(Record& record, int target) : record_(record), target_(target) {}
  bool changed() const { return changed_; }

  template <typename M>
  void Id(M m, const char*) {
    if (Take()) record_.*m = 77;
  }
  template <typename M>
  void Flag(M m, const char*) {
    if (Take()) record_.*m = !(record_.*m);
  }
  template <typename M, typename... Rule>
  void Number(M m, const char*, std::uint64_t max, Rule...) {
    if (Take()) record_.*m = static_cast<std::remove_reference_t<decltype(record_.*m)>>(max - 1);
  }
  template <typename M>
  void Text(M m, const char*, const char*) {
    if (Take()) record_.*m = "B\xC3\xBCro";
  }
  template <typename M>
  void Mode(M m, const char*) {
    if (Take()) record_.*m = IpMode::UseIPv4IPv6;
  }
  template <typename M>
  void Six(M m, const char*, bool) {
    if (Take()) record_.*m = {1, 2, 3, 4, 5, 6};
  }
  template <typename M, typename H>
  void Password(M m, H has, const char*, const char*) {
    if (Take()) record_.*m = {6, 5, 4, 3, 2, 1};
    if (Take()) record_.*has = true;
  }
  template <typename M>
  void Host(M m, const char*, const char*) {
    if (Take()) All(record_.*m);
  }
  template <typename M>
  void Port(M m, const char*) {
    if (Take()) record_.*m = 7;
  }
  template <typename M, typename... Role>
  void List(M m, const char*, Role...) {
    if (!Take()) return;
    auto& list = record_.*m;
    list.emplace_back();
    if constexpr (std::is_same_v<std::decay_t<decltype(list.back())>, MacAddress>) {
      list.back() = {1, 2, 3, 4, 5, 6};
    } else {
      All(list.back());
    }
  }

 private:
  bool Take() {
    const bool take = target_ == kAll || target_ == count_++;
    changed_ = changed_ || take;
    return take;
  }
  template <typename Entry>
  static void All(Entry& entry) {
    ChangeField<Entry> all(entry, kAll);
    profile_fields::JsonFields<Entry>::Walk(all);
  }

  Record& record_;
  int target_;
  int count_ = 0;
  bool changed_ = false;
};

// Every field of the table, changed alone, leaves export under its key and comes back through
// import: a field that one of them left out, or read into another member, comes back unequal.
TEST(ProfileJsonFields, EveryFieldAloneRoundTrips) {
  ProfileDocument plain;
  plain.Records.push_back(*NewProxyServerSettings("a"));
  plain.Records[0].Id = 1;
  plain.LastId = 1;
  const std::string plain_json = ExportProfileJson(plain).text;
  int fields = 0;
  int target = 0;
  for (;; ++target) {
    ProfileDocument document = plain;
    profile_fields::ProgramOptions options{document.Options, document.LastId, document.AutoStart};
    ChangeField<profile_fields::ProgramOptions> in_options(options, target);
    profile_fields::JsonFields<profile_fields::ProgramOptions>::Walk(in_options);
    document.Options = options;
    document.LastId = options.LastId;
    document.AutoStart = options.AutoStart;
    ChangeField<ProxyServerSettings> in_record(document.Records[0], target - fields);
    if (!in_options.changed()) profile_fields::JsonFields<ProxyServerSettings>::Walk(in_record);
    if (!in_options.changed() && !in_record.changed()) break;
    SCOPED_TRACE("field " + std::to_string(target));
    const ExportedJson exported = ExportProfileJson(document);
    ASSERT_TRUE(exported.problems.empty());
    EXPECT_NE(exported.text, plain_json);
    const ImportedJson imported = ImportProfileJson(exported.text);
    ASSERT_TRUE(imported.problems.empty()) << imported.problems[0].Text();
    EXPECT_TRUE(imported.document == document) << exported.text;
    if (in_options.changed()) fields = target + 1;
  }
  EXPECT_EQ(fields, 8);            // the options' fields
  EXPECT_EQ(target - fields, 36);  // a proxy server's
}

}  // namespace
}  // namespace corvane
