#include "cli/profile_json.h"

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <string_view>

#include "config/list_entry_rules.h"

namespace corvane {
namespace {

using OrderedJson = nlohmann::ordered_json;
using Json = nlohmann::json;

constexpr const char* kIpModeNames[] = {"UseIPv4", "UseIPv6", "UseIPv4IPv6"};
// The format nests seven levels deep; anything far deeper is not a profile.
constexpr int kMaxDepth = 16;
// Problems listed before the rest are only counted.
constexpr std::size_t kMaxProblems = 100;

bool IsUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    std::uint32_t value = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      length = 2;
      value = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      length = 3;
      value = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      length = 4;
      value = c & 0x07;
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      value = value << 6 | (next & 0x3F);
    }
    // Overlong forms, surrogates and values beyond Unicode are not UTF-8 either.
    static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

std::string Indexed(const std::string& path, const char* key, std::size_t index) {
  return path + "." + key + "[" + std::to_string(index) + "]";
}

// Export.

class Exporter {
 public:
  OrderedJson Document(const ProfileDocument& document) {
    OrderedJson options;
    options["LastId"] = document.LastId;
    options["AutoStart"] = document.AutoStart;
    const StoredDisplayOptions& o = document.Options;
    options["ShowErrors"] = o.ShowErrors;
    options["DontShowResolveErrors"] = o.DontShowResolveErrors;
    options["DontShowSendErrors"] = o.DontShowSendErrors;
    options["ShowRecvPackets"] = o.ShowRecvPackets;
    options["DontShowIgnoredPackets"] = o.DontShowIgnoredPackets;
    options["ShowSendPackets"] = o.ShowSendPackets;
    OrderedJson servers = OrderedJson::array();
    for (std::size_t i = 0; i < document.Records.size(); ++i) {
      servers.push_back(Record(document.Records[i], Indexed("$", "ProxyServers", i)));
    }
    OrderedJson root;
    root["ProgramOptions"] = std::move(options);
    root["ProxyServers"] = std::move(servers);
    return root;
  }

  std::vector<JsonProblem> problems;

 private:
  OrderedJson Record(const ProxyServerSettings& s, const std::string& path) {
    OrderedJson r;
    r["Id"] = s.Id;
    r["ServerName"] = Text(s.ServerName, path + ".ServerName");
    r["ServerAutoStart"] = s.ServerAutoStart;
    r["ServerAutoStartOnService"] = s.ServerAutoStartOnService;
    const auto mode = static_cast<std::uint8_t>(s.IpMode);
    if (mode < std::size(kIpModeNames)) {
      r["IpMode"] = kIpModeNames[mode];
    } else {
      r["IpMode"] = mode;  // kept as stored; import refuses it as the engine does
    }
    r["RecvPort"] = s.RecvPort;
    r["SendPort"] = s.SendPort;
    r["SendDelay"] = s.SendDelay;
    r["SendDelayTime"] = s.SendDelayTime;
    r["DontRecvFromYourIp"] = s.DontRecvFromYourIp;
    r["DontRecvFromBroadcastIp"] = s.DontRecvFromBroadcastIp;
    r["DontRecvFromHosts"] = s.DontRecvFromHosts;
    r["DontRecvFromHostsList"] = Senders(s.DontRecvFromHostsList, path, "DontRecvFromHostsList");
    r["RecvFromHosts"] = s.RecvFromHosts;
    r["RecvFromHostsList"] = Senders(s.RecvFromHostsList, path, "RecvFromHostsList");
    r["DontRecvFromPorts"] = s.DontRecvFromPorts;
    r["DontRecvFromPortsList"] = Ports(s.DontRecvFromPortsList);
    r["RecvFromPorts"] = s.RecvFromPorts;
    r["RecvFromPortsList"] = Ports(s.RecvFromPortsList);
    r["DontRecvWithPassword"] = s.DontRecvWithPassword;
    r["DontRecvWithoutPassword"] = s.DontRecvWithoutPassword;
    r["DontRecvWithNextPasswords"] = s.DontRecvWithNextPasswords;
    r["DontRecvWithNextPasswordsList"] = Hex(s.DontRecvWithNextPasswordsList);
    r["RecvWithNextPasswords"] = s.RecvWithNextPasswords;
    r["RecvWithNextPasswordsList"] = Hex(s.RecvWithNextPasswordsList);
    r["DontRecvWithNextMacs"] = s.DontRecvWithNextMacs;
    r["DontRecvWithNextMacsList"] = Hex(s.DontRecvWithNextMacsList);
    r["RecvWithNextMacs"] = s.RecvWithNextMacs;
    r["RecvWithNextMacsList"] = Hex(s.RecvWithNextMacsList);
    r["RemovePassword"] = s.RemovePassword;
    r["ReplacePassword"] = s.ReplacePassword;
    r["ReplacePasswordValue"] = HexText(s.ReplacePasswordValue);
    r["ReplaceMac"] = s.ReplaceMac;
    r["ReplaceMacValue"] = HexText(s.ReplaceMacValue);
    OrderedJson destinations = OrderedJson::array();
    for (std::size_t i = 0; i < s.SendToHostsList.size(); ++i) {
      destinations.push_back(
          Destination(s.SendToHostsList[i], Indexed(path, "SendToHostsList", i)));
    }
    r["SendToHostsList"] = std::move(destinations);
    OrderedJson actions = OrderedJson::array();
    for (std::size_t a = 0; a < s.ActionsByMacsList.size(); ++a) {
      const ActionByMac& action = s.ActionsByMacsList[a];
      const std::string action_path = Indexed(path, "ActionsByMacsList", a);
      OrderedJson packets = OrderedJson::array();
      for (std::size_t p = 0; p < action.ReplaceByMacPacketsList.size(); ++p) {
        const ReplaceByMacPacket& packet = action.ReplaceByMacPacketsList[p];
        OrderedJson j;
        j["Mac"] = HexText(packet.Mac);
        j["Password"] = HexText(packet.Password);
        j["HasPassword"] = packet.HasPassword;
        j["Destination"] =
            Destination(packet.Destination,
                        Indexed(action_path, "ReplaceByMacPacketsList", p) + ".Destination");
        packets.push_back(std::move(j));
      }
      OrderedJson j;
      j["Mac"] = HexText(action.Mac);
      j["ReplaceByMacPacketsList"] = std::move(packets);
      actions.push_back(std::move(j));
    }
    r["ActionsByMacsList"] = std::move(actions);
    return r;
  }

  // Sender hosts carry no port; one that a file holds anyway is kept.
  OrderedJson Senders(const std::vector<HostEntry>& list, const std::string& path,
                      const char* key) {
    OrderedJson j = OrderedJson::array();
    for (std::size_t i = 0; i < list.size(); ++i) {
      OrderedJson entry;
      entry["Host"] = Text(list[i].Host, Indexed(path, key, i) + ".Host");
      entry["Prefix"] = list[i].Prefix;
      if (list[i].Port != 0) entry["Port"] = list[i].Port;
      j.push_back(std::move(entry));
    }
    return j;
  }

  OrderedJson Destination(const HostEntry& entry, const std::string& path) {
    OrderedJson j;
    j["Host"] = Text(entry.Host, path + ".Host");
    j["Prefix"] = entry.Prefix;
    j["Port"] = entry.Port;
    return j;
  }

  static OrderedJson Ports(const std::vector<PortRange>& list) {
    OrderedJson j = OrderedJson::array();
    for (const PortRange& range : list) {
      OrderedJson entry;
      entry["First"] = range.First;
      entry["Last"] = range.Last;
      j.push_back(std::move(entry));
    }
    return j;
  }

  static OrderedJson Hex(const std::vector<std::array<std::uint8_t, 6>>& list) {
    OrderedJson j = OrderedJson::array();
    for (const auto& bytes : list) j.push_back(HexText(bytes));
    return j;
  }

  const std::string& Text(const std::string& text, const std::string& path) {
    if (!IsUtf8(text)) problems.push_back({path, "is not UTF-8 text, which JSON cannot carry"});
    return text;
  }
};

// Import.

struct ParseAbort {
  std::string message;
};

std::string Found(const Json& value) {
  if (value.is_number_float()) return "a number with a fraction";
  if (value.is_number()) return "the number " + value.dump();
  if (value.is_string()) return "the text " + value.dump();
  if (value.is_boolean()) return value.dump();
  if (value.is_null()) return "null";
  return std::string("an ") + (value.is_array() ? "array" : "object");
}

class Importer {
 public:
  void Document(const Json& root, ProfileDocument& document) {
    if (!Object(root, "$", {"ProgramOptions", "ProxyServers"})) return;
    if (const Json* options = Member(root, "ProgramOptions")) {
      const std::string path = "$.ProgramOptions";
      if (Object(
              *options, path,
              {"LastId", "AutoStart", "ShowErrors", "DontShowResolveErrors", "DontShowSendErrors",
               "ShowRecvPackets", "DontShowIgnoredPackets", "ShowSendPackets"})) {
        StoredDisplayOptions& o = document.Options;
        Flag(*options, path, "AutoStart", document.AutoStart);
        Flag(*options, path, "ShowErrors", o.ShowErrors);
        Flag(*options, path, "DontShowResolveErrors", o.DontShowResolveErrors);
        Flag(*options, path, "DontShowSendErrors", o.DontShowSendErrors);
        Flag(*options, path, "ShowRecvPackets", o.ShowRecvPackets);
        Flag(*options, path, "DontShowIgnoredPackets", o.DontShowIgnoredPackets);
        Flag(*options, path, "ShowSendPackets", o.ShowSendPackets);
      }
    }
    std::size_t index = 0;
    List(root, "$", "ProxyServers", document.Records,
         [&](const Json& value, const std::string& path, ProxyServerSettings& record) {
           // An Id not given is the one a program gives the record it reads at this place.
           record.Id = static_cast<std::uint32_t>(++index);
           Record(value, path, record);
         });
    // The last Id handed out, unless given, is the largest one.
    std::uint32_t largest = 0;
    for (const ProxyServerSettings& record : document.Records) {
      largest = std::max(largest, record.Id);
    }
    document.LastId = largest;
    if (const Json* options = Member(root, "ProgramOptions"); options && options->is_object()) {
      Integer(*options, "$.ProgramOptions", "LastId", document.LastId,
              std::numeric_limits<std::uint32_t>::max());
    }
  }

  std::vector<JsonProblem> problems;

 private:
  void Problem(const std::string& path, std::string message) {
    if (problems.size() < kMaxProblems) {
      problems.push_back({path, std::move(message)});
    } else if (problems.size() == kMaxProblems) {
      problems.push_back({"$", "further problems are not listed"});
    }
  }

  static const Json* Member(const Json& object, const char* key) {
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
  }

  bool Object(const Json& value, const std::string& path,
              std::initializer_list<std::string_view> known) {
    if (!value.is_object()) {
      Problem(path, "expected an object, found " + Found(value));
      return false;
    }
    for (const auto& [key, member] : value.items()) {
      if (std::find(known.begin(), known.end(), key) == known.end()) {
        Problem(path + "." + key, "unknown key");
      }
    }
    return true;
  }

  void Flag(const Json& object, const std::string& path, const char* key, bool& out) {
    const Json* value = Member(object, key);
    if (value == nullptr) return;
    if (!value->is_boolean()) {
      Problem(path + "." + key, "expected true or false, found " + Found(*value));
      return;
    }
    out = value->get<bool>();
  }

  template <typename T>
  bool Integer(const Json& object, const std::string& path, const char* key, T& out,
               std::uint64_t max) {
    const Json* value = Member(object, key);
    if (value == nullptr) return false;
    const std::string at = path + "." + key;
    if (!value->is_number_integer()) {
      Problem(at, "expected a whole number, found " + Found(*value));
      return false;
    }
    const bool negative = !value->is_number_unsigned() && value->get<std::int64_t>() < 0;
    if (negative || value->get<std::uint64_t>() > max) {
      Problem(at, value->dump() + " is outside 0.." + std::to_string(max));
      return false;
    }
    out = static_cast<T>(value->get<std::uint64_t>());
    return true;
  }

  // A text of 1..96 bytes of UTF-8 without zero characters.
  void Text(const Json& object, const std::string& path, const char* key, std::string& out,
            const char* what) {
    const Json* value = Member(object, key);
    const std::string at = path + "." + key;
    if (value == nullptr) {
      Problem(at, std::string("missing: ") + what);
      return;
    }
    if (!value->is_string()) {
      Problem(at, "expected a text, found " + Found(*value));
      return;
    }
    const auto& text = value->get_ref<const std::string&>();
    if (text.empty()) {
      Problem(at, "is empty: " + std::string(what));
    } else if (text.size() > kMaxTextLength) {
      Problem(at, "is " + std::to_string(text.size()) + " bytes long, more than 96");
    } else if (text.find('\0') != std::string::npos) {
      Problem(at, "holds a zero character");
    } else {
      out = text;
    }
  }

  // Six bytes by the window's rule: 12 hexadecimal digits, other characters between them.
  void Six(const Json& object, const std::string& path, const char* key,
           std::array<std::uint8_t, 6>& out, bool required) {
    const Json* value = Member(object, key);
    const std::string at = path + "." + key;
    if (value == nullptr) {
      if (required) Problem(at, "missing: a MAC address such as 00:11:22:AA:BB:CC");
      return;
    }
    if (!value->is_string()) {
      Problem(at, "expected a text such as 00:11:22:AA:BB:CC, found " + Found(*value));
      return;
    }
    const std::optional<std::array<std::uint8_t, 6>> bytes =
        ParseHexBytes(value->get_ref<const std::string&>());
    if (!bytes) {
      Problem(at,
              value->dump() + " does not hold 12 hexadecimal digits, as 00:11:22:AA:BB:CC does");
      return;
    }
    out = *bytes;
  }

  template <typename Entry, typename ReadEntry>
  void List(const Json& object, const std::string& path, const char* key, std::vector<Entry>& out,
            ReadEntry read) {
    const Json* value = Member(object, key);
    if (value == nullptr) return;
    const std::string at = path + "." + key;
    if (!value->is_array()) {
      Problem(at, "expected an array, found " + Found(*value));
      return;
    }
    if (value->size() > kMaxListEntries) {
      Problem(at, "holds " + std::to_string(value->size()) + " entries, more than 1000");
      return;
    }
    out.resize(value->size());
    for (std::size_t i = 0; i < value->size(); ++i) {
      read((*value)[i], at + "[" + std::to_string(i) + "]", out[i]);
    }
  }

  void Record(const Json& value, const std::string& path, ProxyServerSettings& s) {
    if (!Object(value, path,
                {"Id",
                 "ServerName",
                 "ServerAutoStart",
                 "ServerAutoStartOnService",
                 "IpMode",
                 "RecvPort",
                 "SendPort",
                 "SendDelay",
                 "SendDelayTime",
                 "DontRecvFromYourIp",
                 "DontRecvFromBroadcastIp",
                 "DontRecvFromHosts",
                 "DontRecvFromHostsList",
                 "RecvFromHosts",
                 "RecvFromHostsList",
                 "DontRecvFromPorts",
                 "DontRecvFromPortsList",
                 "RecvFromPorts",
                 "RecvFromPortsList",
                 "DontRecvWithPassword",
                 "DontRecvWithoutPassword",
                 "DontRecvWithNextPasswords",
                 "DontRecvWithNextPasswordsList",
                 "RecvWithNextPasswords",
                 "RecvWithNextPasswordsList",
                 "DontRecvWithNextMacs",
                 "DontRecvWithNextMacsList",
                 "RecvWithNextMacs",
                 "RecvWithNextMacsList",
                 "RemovePassword",
                 "ReplacePassword",
                 "ReplacePasswordValue",
                 "ReplaceMac",
                 "ReplaceMacValue",
                 "SendToHostsList",
                 "ActionsByMacsList"})) {
      return;
    }
    const std::uint32_t id = s.Id;
    s = *NewProxyServerSettings("-");  // the defaults of a new proxy server
    s.ServerName.clear();
    s.Id = id;
    Integer(value, path, "Id", s.Id, std::numeric_limits<std::uint32_t>::max());
    Text(value, path, "ServerName", s.ServerName, "a proxy server needs a name");
    Flag(value, path, "ServerAutoStart", s.ServerAutoStart);
    Flag(value, path, "ServerAutoStartOnService", s.ServerAutoStartOnService);
    if (const Json* mode = Member(value, "IpMode")) {
      const auto* name =
          std::find_if(std::begin(kIpModeNames), std::end(kIpModeNames),
                       [&](const char* n) { return mode->is_string() && *mode == n; });
      if (name == std::end(kIpModeNames)) {
        Problem(path + ".IpMode",
                "expected \"UseIPv4\", \"UseIPv6\" or \"UseIPv4IPv6\", found " + Found(*mode));
      } else {
        s.IpMode = static_cast<IpMode>(name - std::begin(kIpModeNames));
      }
    }
    Integer(value, path, "RecvPort", s.RecvPort, 65535);
    Integer(value, path, "SendPort", s.SendPort, 65535);
    Flag(value, path, "SendDelay", s.SendDelay);
    Integer(value, path, "SendDelayTime", s.SendDelayTime, kMaxSendDelayTime);
    Flag(value, path, "DontRecvFromYourIp", s.DontRecvFromYourIp);
    Flag(value, path, "DontRecvFromBroadcastIp", s.DontRecvFromBroadcastIp);
    Flag(value, path, "DontRecvFromHosts", s.DontRecvFromHosts);
    const auto sender = [this](const Json& entry, const std::string& at, HostEntry& host) {
      Host(entry, at, host, 0);
    };
    List(value, path, "DontRecvFromHostsList", s.DontRecvFromHostsList, sender);
    Flag(value, path, "RecvFromHosts", s.RecvFromHosts);
    List(value, path, "RecvFromHostsList", s.RecvFromHostsList, sender);
    const auto ports = [this](const Json& entry, const std::string& at, PortRange& range) {
      if (!Object(entry, at, {"First", "Last"})) return;
      if (!Integer(entry, at, "First", range.First, 65535) && !Member(entry, "First")) {
        Problem(at + ".First", "missing: the first port of the range");
      }
      range.Last = range.First;
      Integer(entry, at, "Last", range.Last, 65535);
    };
    Flag(value, path, "DontRecvFromPorts", s.DontRecvFromPorts);
    List(value, path, "DontRecvFromPortsList", s.DontRecvFromPortsList, ports);
    Flag(value, path, "RecvFromPorts", s.RecvFromPorts);
    List(value, path, "RecvFromPortsList", s.RecvFromPortsList, ports);
    const auto hex = [this](const Json& entry, const std::string& at,
                            std::array<std::uint8_t, 6>& bytes) {
      if (!entry.is_string()) {
        Problem(at, "expected a text such as 00:11:22:AA:BB:CC, found " + Found(entry));
        return;
      }
      const auto parsed = ParseHexBytes(entry.get_ref<const std::string&>());
      if (!parsed) {
        Problem(at,
                entry.dump() + " does not hold 12 hexadecimal digits, as 00:11:22:AA:BB:CC does");
        return;
      }
      bytes = *parsed;
    };
    Flag(value, path, "DontRecvWithPassword", s.DontRecvWithPassword);
    Flag(value, path, "DontRecvWithoutPassword", s.DontRecvWithoutPassword);
    Flag(value, path, "DontRecvWithNextPasswords", s.DontRecvWithNextPasswords);
    List(value, path, "DontRecvWithNextPasswordsList", s.DontRecvWithNextPasswordsList, hex);
    Flag(value, path, "RecvWithNextPasswords", s.RecvWithNextPasswords);
    List(value, path, "RecvWithNextPasswordsList", s.RecvWithNextPasswordsList, hex);
    Flag(value, path, "DontRecvWithNextMacs", s.DontRecvWithNextMacs);
    List(value, path, "DontRecvWithNextMacsList", s.DontRecvWithNextMacsList, hex);
    Flag(value, path, "RecvWithNextMacs", s.RecvWithNextMacs);
    List(value, path, "RecvWithNextMacsList", s.RecvWithNextMacsList, hex);
    Flag(value, path, "RemovePassword", s.RemovePassword);
    Flag(value, path, "ReplacePassword", s.ReplacePassword);
    Six(value, path, "ReplacePasswordValue", s.ReplacePasswordValue, false);
    Flag(value, path, "ReplaceMac", s.ReplaceMac);
    Six(value, path, "ReplaceMacValue", s.ReplaceMacValue, false);
    List(value, path, "SendToHostsList", s.SendToHostsList,
         [this](const Json& entry, const std::string& at, HostEntry& host) {
           Host(entry, at, host, 9);
         });
    List(value, path, "ActionsByMacsList", s.ActionsByMacsList,
         [this](const Json& entry, const std::string& at, ActionByMac& action) {
           if (!Object(entry, at, {"Mac", "ReplaceByMacPacketsList"})) return;
           Six(entry, at, "Mac", action.Mac, true);
           List(entry, at, "ReplaceByMacPacketsList", action.ReplaceByMacPacketsList,
                [this](const Json& p, const std::string& p_at, ReplaceByMacPacket& packet) {
                  Packet(p, p_at, packet);
                });
         });
  }

  // A host entry; its prefix is 32 and its port `port` unless given, as in the window.
  void Host(const Json& value, const std::string& path, HostEntry& entry, std::uint16_t port) {
    if (!Object(value, path, {"Host", "Prefix", "Port"})) return;
    Text(value, path, "Host", entry.Host, "an IPv4 or IPv6 address or a host name");
    entry.Prefix = 32;
    Integer(value, path, "Prefix", entry.Prefix, kMaxPrefix);
    entry.Port = port;
    Integer(value, path, "Port", entry.Port, 65535);
  }

  // The password is taken by the window's rule for packets: 12 hexadecimal digits, or an empty
  // text for none. HasPassword, unless given, says whether a password was given.
  void Packet(const Json& value, const std::string& path, ReplaceByMacPacket& packet) {
    if (!Object(value, path, {"Mac", "Password", "HasPassword", "Destination"})) return;
    Six(value, path, "Mac", packet.Mac, true);
    packet.HasPassword = false;
    if (const Json* password = Member(value, "Password")) {
      const std::optional<PacketPassword> parsed =
          password->is_string() ? ParsePacketPassword(password->get_ref<const std::string&>())
                                : std::nullopt;
      if (!parsed) {
        Problem(path + ".Password",
                "expected 12 hexadecimal digits, as in 00:11:22:AA:BB:CC, or an empty text, "
                "found " +
                    Found(*password));
      } else {
        packet.Password = parsed->Password;
        packet.HasPassword = parsed->HasPassword;
      }
    }
    const bool had_password = packet.HasPassword;
    Flag(value, path, "HasPassword", packet.HasPassword);
    if (packet.HasPassword && !had_password && Member(value, "Password")) {
      Problem(path + ".HasPassword", "is true, but the password is empty");
    }
    if (const Json* destination = Member(value, "Destination")) {
      Host(*destination, path + ".Destination", packet.Destination, 9);
    } else {
      Problem(path + ".Destination", "missing: where the packet is sent");
    }
  }
};

}  // namespace

ExportedJson ExportProfileJson(const ProfileDocument& document) {
  Exporter exporter;
  const OrderedJson root = exporter.Document(document);
  ExportedJson exported;
  exported.problems = std::move(exporter.problems);
  if (exported.problems.empty()) exported.text = root.dump(2) + "\n";
  return exported;
}

ImportedJson ImportProfileJson(std::string_view text) {
  ImportedJson imported;
  if (text.size() > kMaxJsonSize) {
    imported.problems.push_back({"$", "the text is larger than 128 MiB"});
    return imported;
  }
  // The parser keeps the last of two equal keys; a profile must not hold such a pair, since one
  // of the two values would be lost without a word.
  std::vector<std::set<std::string>> open_objects;
  const Json::parser_callback_t check = [&](int depth, Json::parse_event_t event, Json& parsed) {
    if (depth > kMaxDepth) throw ParseAbort{"nested more than 16 levels deep"};
    switch (event) {
      case Json::parse_event_t::object_start:
        open_objects.emplace_back();
        break;
      case Json::parse_event_t::object_end:
        if (!open_objects.empty()) open_objects.pop_back();
        break;
      case Json::parse_event_t::key:
        if (!open_objects.empty() &&
            !open_objects.back().insert(parsed.get<std::string>()).second) {
          throw ParseAbort{"the key " + parsed.dump() + " appears twice in one object"};
        }
        break;
      default:
        break;
    }
    return true;
  };
  Json root;
  try {
    root = Json::parse(text.begin(), text.end(), check);
  } catch (const Json::exception& error) {
    std::string message = error.what();
    // "[json.exception.parse_error.101] parse error at line 3, column 5: ..."
    if (const std::size_t end = message.find("] ");
        message.starts_with("[json.") && end != std::string::npos) {
      message.erase(0, end + 2);
    }
    imported.problems.push_back({"$", message});
    return imported;
  } catch (const ParseAbort& abort) {
    imported.problems.push_back({"$", abort.message});
    return imported;
  }
  Importer importer;
  importer.Document(root, imported.document);
  imported.problems = std::move(importer.problems);
  return imported;
}

}  // namespace corvane
