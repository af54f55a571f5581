#include "cli/profile_show.h"

#include <algorithm>
#include <cstdio>
#include <type_traits>
#include <vector>

#include "cli/profile_fields.h"
#include "config/list_entry_rules.h"
#include "config/utf8_text.h"

namespace corvane {
namespace {

// The service starts at most this many proxy servers (its thread limit) and fails beyond it.
constexpr std::size_t kServiceThreads = 64;
using profile_fields::HostRole;
using profile_fields::JsonFields;
using profile_fields::kIpModeNames;

std::string Plural(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

class Lines {
 public:
  void Field(std::string_view name, std::string_view value) {
    std::string line = "  " + std::string(name);
    line.resize(std::max<std::size_t>(line.size() + 1, 33), ' ');
    text_ += line + std::string(value) + "\n";
  }
  void Flag(std::string_view name, bool on) { Field(name, on ? "on" : "off"); }

  // Rows of one list, under its field line, with the columns aligned.
  void Rows(std::string_view name, const std::vector<std::vector<std::string>>& rows,
            std::string_view indent = "    ") {
    Field(name, Plural(rows.size(), "entry", "entries"));
    Table(rows, indent);
  }
  void Table(const std::vector<std::vector<std::string>>& rows, std::string_view indent) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
      widths.resize(std::max(widths.size(), row.size()));
      for (std::size_t c = 0; c < row.size(); ++c) {
        widths[c] = std::max(widths[c], Printable(row[c]).size());
      }
    }
    for (const auto& row : rows) {
      std::string line(indent);
      for (std::size_t c = 0; c < row.size(); ++c) {
        std::string cell = Printable(row[c]);
        if (c + 1 < row.size()) cell.resize(widths[c] + 2, ' ');
        line += cell;
      }
      while (!line.empty() && line.back() == ' ') line.pop_back();
      text_ += line + "\n";
    }
  }
  void Heading(const std::string& heading) {
    if (!text_.empty()) text_ += "\n";
    text_ += heading + "\n";
  }
  std::string& text() { return text_; }

 private:
  std::string text_;
};

template <typename Entry, typename RowOf>
std::vector<std::vector<std::string>> RowsOf(const std::vector<Entry>& list, RowOf row_of) {
  std::vector<std::vector<std::string>> rows;
  rows.reserve(list.size());
  for (const Entry& entry : list) rows.push_back(row_of(entry));
  return rows;
}

std::string IpModeText(IpMode mode) {
  const auto value = static_cast<std::uint8_t>(mode);
  if (value < std::size(kIpModeNames)) return kIpModeNames[value];
  return std::to_string(value) + " (none of UseIPv4, UseIPv6, UseIPv4IPv6)";
}

// One line per field of `record`, walking its description; list entries in the window's rows.
template <typename Record>
class FieldLines {
 public:
  FieldLines(Lines& out, const Record& record) : out_(out), record_(record) {}

  template <typename M>
  void Id(M, const char*) {}  // the heading names the record
  template <typename M>
  void Flag(M m, const char* key) {
    out_.Flag(key, record_.*m);
  }
  template <typename M, typename Rule = std::nullptr_t>
  void Number(M m, const char* key, std::uint64_t, Rule rule = nullptr) {
    std::string value = std::to_string(record_.*m);
    if constexpr (std::is_same_v<Rule, profile_fields::Unit>) value += rule.text;
    out_.Field(key, value);
  }
  template <typename M>
  void Text(M m, const char* key, const char*) {
    out_.Field(key, Printable(record_.*m));
  }
  template <typename M>
  void Mode(M m, const char* key) {
    out_.Field(key, IpModeText(record_.*m));
  }
  template <typename M>
  void Six(M m, const char* key, bool) {
    out_.Field(key, HexText(record_.*m));
  }
  template <typename M, typename... Role>
  void List(M m, const char* key, Role... role) {
    const auto& list = record_.*m;
    if constexpr (sizeof...(Role) != 0) {
      const bool senders = (... && (role == HostRole::kSender));
      out_.Rows(key, RowsOf(list, senders ? HostRow : DestinationRow));
    } else if constexpr (std::is_same_v<std::decay_t<decltype(list)>, std::vector<PortRange>>) {
      out_.Rows(key, RowsOf(list, PortRangeRow));
    } else if constexpr (std::is_same_v<std::decay_t<decltype(list)>, std::vector<MacAddress>>) {
      out_.Rows(key, RowsOf(list, HexRow));
    } else {
      out_.Field(key, Plural(list.size(), "entry", "entries"));
      for (const ActionByMac& action : list) {
        out_.Table({{HexText(action.Mac),
                     Plural(action.ReplaceByMacPacketsList.size(), "packet", "packets")}},
                   "    ");
        out_.Table(RowsOf(action.ReplaceByMacPacketsList, ReplacementPacketRow), "      ");
      }
    }
  }

 private:
  Lines& out_;
  const Record& record_;
};

template <typename Record>
void ShowFields(Lines& out, const Record& record) {
  FieldLines<Record> lines(out, record);
  JsonFields<Record>::Walk(lines);
}

// Values the reader keeps as stored that a program cannot use as they are.
void Warnings(const ProxyServerSettings& s, std::vector<std::string>& out) {
  if (s.ServerName.empty()) out.push_back("ServerName is empty");
  if (static_cast<std::uint8_t>(s.IpMode) >= std::size(kIpModeNames)) {
    out.push_back("IpMode " + std::to_string(static_cast<int>(s.IpMode)) +
                  " is none of UseIPv4, UseIPv6, UseIPv4IPv6: the proxy server cannot start");
  }
  // Sender filters ignore an interface part; a destination cannot do without one where its
  // address is link-scoped.
  const auto host = [&](const HostEntry& entry, const std::string& name, bool destination) {
    if (entry.Host.empty()) {
      out.push_back(name + ".Host is empty");
    } else if (const std::string lacks = DestinationHostNote(entry.Host);
               destination && !lacks.empty()) {
      out.push_back(name + ".Host " + Printable(lacks));
    }
  };
  const auto hosts = [&](const std::vector<HostEntry>& list, const char* name, bool destination) {
    for (std::size_t i = 0; i < list.size(); ++i) {
      host(list[i], std::string(name) + "[" + std::to_string(i) + "]", destination);
    }
  };
  hosts(s.DontRecvFromHostsList, "DontRecvFromHostsList", false);
  hosts(s.RecvFromHostsList, "RecvFromHostsList", false);
  hosts(s.SendToHostsList, "SendToHostsList", true);
  for (std::size_t a = 0; a < s.ActionsByMacsList.size(); ++a) {
    const auto& packets = s.ActionsByMacsList[a].ReplaceByMacPacketsList;
    for (std::size_t p = 0; p < packets.size(); ++p) {
      host(packets[p].Destination,
           "ActionsByMacsList[" + std::to_string(a) + "].ReplaceByMacPacketsList[" +
               std::to_string(p) + "].Destination",
           true);
    }
  }
  if (!IsUtf8(s.ServerName)) out.push_back("ServerName is not UTF-8 text");
}

std::string Where(const std::optional<std::uint32_t>& proxy, const ProfileDocument& document) {
  if (!proxy) return "";
  std::string where = "proxy server " + std::to_string(*proxy + 1);
  if (*proxy < document.Records.size()) {
    where += " (" + Printable(document.Records[*proxy].ServerName) + ")";
  }
  return where + ": ";
}

}  // namespace

std::string Printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == '\\') {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out;
}

std::string ShowProfile(const ProfileDocument& document) {
  Lines out;
  out.Heading("Display options");
  ShowFields(out, document.Options);
  const std::size_t count = document.Records.size();
  for (std::size_t i = 0; i < count; ++i) {
    out.Heading("Proxy server " + std::to_string(i + 1) + " of " + std::to_string(count));
    ShowFields(out, document.Records[i]);
  }
  if (count == 0) out.Heading("No proxy server");
  return std::move(out.text());
}

CheckResult CheckProfile(const std::string& path, const LoadedProfile& loaded, CheckRules rules) {
  const bool service = rules == CheckRules::kService;
  std::string text = Printable(path) + ": read with the " +
                     (service ? "service's" : "desktop program's") + " rules\n";
  if (!loaded.read()) {
    return {text + "Unreadable: " + loaded.error + "\n", 2};
  }
  const ProfileDocument& document = loaded.document;
  const ProfileReadReport& report = loaded.report;
  if (report.options_read) {
    text += service ? "Display options: present (the service does not use them)\n"
                    : "Display options: read\n";
  }
  std::size_t flagged = 0;
  text += "Proxy servers read: " + std::to_string(document.Records.size()) + "\n";
  for (std::size_t i = 0; i < document.Records.size(); ++i) {
    const ProxyServerSettings& s = document.Records[i];
    const bool starts = service ? s.ServerAutoStartOnService : s.ServerAutoStart;
    flagged += starts ? 1 : 0;
    text += "  " + std::to_string(i + 1) + "  " + Printable(s.ServerName);
    if (starts) text += service ? "  (started by the service)" : "  (started with the program)";
    text += "\n";
  }

  if (!report.corrections.empty()) {
    text += "Corrections:\n";
    for (const ProfileReadNote& note : report.corrections) {
      text += "  " + Where(note.proxy, document) + Printable(Describe(note)) + "\n";
    }
    if (report.more_corrections != 0) {
      text += "  ... and " + std::to_string(report.more_corrections) + " more\n";
    }
  }
  std::vector<std::string> warnings;
  for (std::size_t i = 0; i < document.Records.size(); ++i) {
    std::vector<std::string> found;
    Warnings(document.Records[i], found);
    for (const std::string& w : found) {
      warnings.push_back(Where(static_cast<std::uint32_t>(i), document) + w);
    }
  }
  if (service && loaded.passed && flagged == 0) {
    warnings.push_back(
        "no proxy server is flagged ServerAutoStartOnService: the service would stop at once");
  } else if (service && flagged > kServiceThreads) {
    warnings.push_back(std::to_string(flagged) +
                       " proxy servers are flagged ServerAutoStartOnService: the service starts "
                       "at most 64 and otherwise stops");
  }
  if (!warnings.empty()) {
    text += "Warnings:\n";
    for (const std::string& w : warnings) text += "  " + w + "\n";
  }

  if (!loaded.passed) {
    if (report.failure) {
      text += "Reading stopped: " + Where(report.failure->proxy, document) +
              Printable(Describe(*report.failure)) + "\n";
    }
    const std::string program = service ? "The service" : "The desktop program";
    text += document.Records.empty()
                ? program + " loads no proxy server.\n"
                : program + " keeps the " +
                      Plural(document.Records.size(), "proxy server", "proxy servers") +
                      " read before it.\n";
    text += "Result: unreadable\n";
    return {text, 2};
  }
  const std::uint64_t corrections = report.correction_count();
  if (corrections == 0 && warnings.empty()) return {text + "Result: valid\n", 0};
  text += "Result: readable with " + Plural(corrections, "correction", "corrections") + " and " +
          Plural(warnings.size(), "warning", "warnings") + "\n";
  return {text, 1};
}

}  // namespace corvane
