#include "cli/profile_json.h"

#include <algorithm>
#include <span>
#include <string_view>
#include <type_traits>

#include "cli/json_text.h"
#include "cli/profile_fields.h"
#include "config/list_entry_rules.h"
#include "config/utf8_text.h"

namespace corvane {
namespace {

using OrderedJson = nlohmann::ordered_json;
using profile_fields::HostRole;
using profile_fields::JsonFields;
using profile_fields::kIpModeNames;
using profile_fields::kMaxId;
using profile_fields::kMaxPort;
using profile_fields::kOptionsKey;
using profile_fields::kServersKey;
using profile_fields::ProgramOptions;

// Problems listed before the rest are only counted.
constexpr std::size_t kMaxProblems = 100;

std::string Indexed(const std::string& path, const char* key, std::size_t index) {
  return path + "." + key + "[" + std::to_string(index) + "]";
}

// Export: every field of a record as its JSON object, walking the record's description. Texts
// that are not UTF-8 become problems, since JSON cannot carry them.
class Exporter {
 public:
  template <typename Record>
  OrderedJson Object(const Record& record, const std::string& path,
                     HostRole role = HostRole::kSender) {
    Fields<Record> fields{*this, record, path, role, OrderedJson::object()};
    JsonFields<Record>::Walk(fields);
    return std::move(fields.object);
  }

  std::vector<JsonProblem> problems;

 private:
  template <typename Record>
  struct Fields {
    Exporter& out;
    const Record& record;
    const std::string& path;
    HostRole role;
    OrderedJson object;

    template <typename M>
    void Id(M m, const char* key) {
      object[key] = record.*m;
    }
    template <typename M>
    void Flag(M m, const char* key) {
      object[key] = record.*m;
    }
    template <typename M, typename... Rule>
    void Number(M m, const char* key, std::uint64_t, Rule...) {
      object[key] = record.*m;
    }
    template <typename M>
    void Text(M m, const char* key, const char*) {
      const std::string& text = record.*m;
      if (!IsUtf8(text)) {
        out.problems.push_back({path + "." + key, "is not UTF-8 text, which JSON cannot carry"});
      }
      object[key] = text;
    }
    template <typename M>
    void Mode(M m, const char* key) {
      // A mode that names no value is kept as stored; import refuses it as the engine does.
      const auto mode = static_cast<std::uint8_t>(record.*m);
      object[key] =
          mode < std::size(kIpModeNames) ? OrderedJson(kIpModeNames[mode]) : OrderedJson(mode);
    }
    template <typename M>
    void Six(M m, const char* key, bool) {
      object[key] = HexText(record.*m);
    }
    template <typename M, typename H>
    void Password(M m, H has, const char* key, const char* has_key) {
      object[key] = HexText(record.*m);
      object[has_key] = record.*has;
    }
    template <typename M>
    void Host(M m, const char* key, const char*) {
      object[key] = out.Object(record.*m, path + "." + key, HostRole::kDestination);
    }
    template <typename M>
    void Port(M m, const char* key) {
      if (role == HostRole::kDestination || record.*m != 0) object[key] = record.*m;
    }
    template <typename M, typename... Role>
    void List(M m, const char* key, Role... host_role) {
      OrderedJson list = OrderedJson::array();
      const auto& entries = record.*m;
      for (std::size_t i = 0; i < entries.size(); ++i) {
        if constexpr (std::is_same_v<std::decay_t<decltype(entries[i])>, MacAddress>) {
          list.push_back(HexText(entries[i]));
        } else {
          list.push_back(out.Object(entries[i], Indexed(path, key, i), host_role...));
        }
      }
      object[key] = std::move(list);
    }
  };
};

// The keys of a record's JSON object: those that export writes for it.
template <typename Record>
const std::vector<std::string>& KeysOf() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> all;
    Exporter exporter;
    const OrderedJson object = exporter.Object(Record{}, "", HostRole::kDestination);
    for (const auto& item : object.items()) all.push_back(item.key());
    return all;
  }();
  return keys;
}

// Import.

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
    static const std::string kRootKeys[] = {kOptionsKey, kServersKey};
    if (!Object(root, "$", kRootKeys)) return;
    ProgramOptions options{document.Options, 0, document.AutoStart};
    const Json* options_json = Member(root, kOptionsKey);
    const std::string options_path = std::string("$.") + kOptionsKey;
    if (options_json) Read(*options_json, options_path, options, Ids::kLater);
    std::size_t index = 0;
    List(Member(root, kServersKey), std::string("$.") + kServersKey, document.Records,
         [&](const Json& value, const std::string& path, ProxyServerSettings& record) {
           record = *NewProxyServerSettings("-");  // the defaults of a new proxy server
           record.ServerName.clear();
           // An Id not given is the one a program gives the record it reads at this place.
           record.Id = static_cast<std::uint32_t>(++index);
           Read(value, path, record);
         });
    // The last Id handed out, unless given, is the largest one.
    for (const ProxyServerSettings& record : document.Records) {
      options.LastId = std::max(options.LastId, record.Id);
    }
    if (options_json && options_json->is_object()) {
      Walk(*options_json, options_path, options, Ids::kOnly);
    }
    document.Options = options;
    document.AutoStart = options.AutoStart;
    document.LastId = options.LastId;
  }

  std::vector<JsonProblem> problems;

 private:
  // Whether Id fields are read with the rest, or later alone (LastId, after the proxy servers).
  enum class Ids { kWithTheRest, kLater, kOnly };

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

  bool Object(const Json& value, const std::string& path, std::span<const std::string> known) {
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

  template <typename Entry, typename ReadEntry>
  void List(const Json* value, const std::string& at, std::vector<Entry>& out, ReadEntry read) {
    if (value == nullptr) return;
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

  // Six bytes by the window's rule: 12 hexadecimal digits, other characters between them.
  void Hex(const Json& value, const std::string& at, MacAddress& out) {
    const std::optional<MacAddress> bytes =
        value.is_string() ? ParseHexBytes(value.get_ref<const std::string&>()) : std::nullopt;
    if (!value.is_string()) {
      Problem(at, "expected a text such as 00:11:22:AA:BB:CC, found " + Found(value));
    } else if (!bytes) {
      Problem(at, value.dump() + " does not hold 12 hexadecimal digits, as 00:11:22:AA:BB:CC does");
    } else {
      out = *bytes;
    }
  }

  // Reads the record at `path`, which must be an object of the record's keys, walking its
  // description.
  template <typename Record>
  void Read(const Json& value, const std::string& path, Record& record,
            Ids ids = Ids::kWithTheRest) {
    if (Object(value, path, KeysOf<Record>())) Walk(value, path, record, ids);
  }
  template <typename Record>
  void Walk(const Json& value, const std::string& path, Record& record, Ids ids) {
    Fields<Record> fields{*this, value, path, record, ids};
    JsonFields<Record>::Walk(fields);
  }

  template <typename Record>
  struct Fields {
    Importer& in;
    const Json& object;
    const std::string& path;
    Record& record;
    Ids ids;

    const Json* Get(const char* key) const { return Member(object, key); }
    std::string At(const char* key) const { return path + "." + key; }

    // False when the number is missing or refused.
    template <typename T>
    bool Integer(const char* key, T& out, std::uint64_t max) {
      const Json* value = Get(key);
      if (value == nullptr) return false;
      if (!value->is_number_integer()) {
        in.Problem(At(key), "expected a whole number, found " + Found(*value));
        return false;
      }
      const bool negative = !value->is_number_unsigned() && value->get<std::int64_t>() < 0;
      if (negative || value->get<std::uint64_t>() > max) {
        in.Problem(At(key), value->dump() + " is outside 0.." + std::to_string(max));
        return false;
      }
      out = static_cast<T>(value->get<std::uint64_t>());
      return true;
    }

    template <typename M>
    void Id(M m, const char* key) {
      if (ids != Ids::kLater) Integer(key, record.*m, kMaxId);
    }
    template <typename M>
    void Flag(M m, const char* key) {
      const Json* value = Get(key);
      if (value == nullptr || ids == Ids::kOnly) return;
      if (!value->is_boolean()) {
        in.Problem(At(key), "expected true or false, found " + Found(*value));
        return;
      }
      record.*m = value->template get<bool>();
    }
    template <typename M, typename Rule = std::nullptr_t>
    void Number(M m, const char* key, std::uint64_t max, Rule rule = nullptr) {
      if constexpr (std::is_member_object_pointer_v<Rule>) record.*m = record.*rule;
      if (!Integer(key, record.*m, max)) {
        if constexpr (std::is_same_v<Rule, const char*>) {
          if (!Get(key)) in.Problem(At(key), std::string("missing: ") + rule);
        }
      }
    }
    template <typename M>
    void Text(M m, const char* key, const char* what) {
      const Json* value = Get(key);
      if (value == nullptr) {
        in.Problem(At(key), std::string("missing: ") + what);
        return;
      }
      if (!value->is_string()) {
        in.Problem(At(key), "expected a text, found " + Found(*value));
        return;
      }
      const auto& text = value->template get_ref<const std::string&>();
      if (text.empty()) {
        in.Problem(At(key), "is empty: " + std::string(what));
      } else if (text.size() > kMaxTextLength) {
        in.Problem(At(key), "is " + std::to_string(text.size()) + " bytes long, more than 96");
      } else if (text.find('\0') != std::string::npos) {
        in.Problem(At(key), "holds a zero character");
      } else {
        record.*m = text;
      }
    }
    template <typename M>
    void Mode(M m, const char* key) {
      const Json* mode = Get(key);
      if (mode == nullptr) return;
      const auto* name =
          std::find_if(std::begin(kIpModeNames), std::end(kIpModeNames),
                       [&](const char* n) { return mode->is_string() && *mode == n; });
      if (name == std::end(kIpModeNames)) {
        in.Problem(At(key),
                   "expected \"UseIPv4\", \"UseIPv6\" or \"UseIPv4IPv6\", found " + Found(*mode));
      } else {
        record.*m = static_cast<IpMode>(name - std::begin(kIpModeNames));
      }
    }
    template <typename M>
    void Six(M m, const char* key, bool required) {
      if (const Json* value = Get(key)) {
        in.Hex(*value, At(key), record.*m);
      } else if (required) {
        in.Problem(At(key), "missing: a MAC address such as 00:11:22:AA:BB:CC");
      }
    }
    // The password is taken by the window's rule for packets: 12 hexadecimal digits, or an empty
    // text for none.
    template <typename M, typename H>
    void Password(M m, H has, const char* key, const char* has_key) {
      record.*has = false;
      const Json* password = Get(key);
      if (password != nullptr) {
        const std::optional<PacketPassword> parsed =
            password->is_string()
                ? ParsePacketPassword(password->template get_ref<const std::string&>())
                : std::nullopt;
        if (!parsed) {
          in.Problem(At(key),
                     "expected 12 hexadecimal digits, as in 00:11:22:AA:BB:CC, or an empty text, "
                     "found " +
                         Found(*password));
        } else {
          record.*m = parsed->Password;
          record.*has = parsed->HasPassword;
        }
      }
      const bool had_password = record.*has;
      Flag(has, has_key);
      if (record.*has && !had_password && password != nullptr) {
        in.Problem(At(has_key), "is true, but the password is empty");
      }
    }
    template <typename M>
    void Host(M m, const char* key, const char* missing) {
      if (const Json* host = Get(key)) {
        record.*m = profile_fields::NewHost(HostRole::kDestination);
        in.Read(*host, At(key), record.*m);
      } else {
        in.Problem(At(key), std::string("missing: ") + missing);
      }
    }
    template <typename M>
    void Port(M m, const char* key) {
      Integer(key, record.*m, kMaxPort);
    }
    template <typename M, typename... Role>
    void List(M m, const char* key, Role... host_role) {
      in.List(Get(key), At(key), record.*m,
              [&](const Json& value, const std::string& at, auto& entry) {
                if constexpr (std::is_same_v<std::decay_t<decltype(entry)>, MacAddress>) {
                  in.Hex(value, at, entry);
                } else {
                  if constexpr (sizeof...(Role) != 0) entry = profile_fields::NewHost(host_role...);
                  in.Read(value, at, entry);
                }
              });
    }
  };
};

}  // namespace

ExportedJson ExportProfileJson(const ProfileDocument& document) {
  Exporter exporter;
  OrderedJson root;
  root[kOptionsKey] =
      exporter.Object(ProgramOptions{document.Options, document.LastId, document.AutoStart}, "$");
  OrderedJson& servers = root[kServersKey] = OrderedJson::array();
  for (std::size_t i = 0; i < document.Records.size(); ++i) {
    servers.push_back(exporter.Object(document.Records[i], Indexed("$", kServersKey, i)));
  }
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
  std::string problem;
  const std::optional<Json> root = ParseJsonText(text, problem);
  if (!root) {
    imported.problems.push_back({"$", problem});
    return imported;
  }
  Importer importer;
  importer.Document(*root, imported.document);
  imported.problems = std::move(importer.problems);
  return imported;
}

}  // namespace corvane
