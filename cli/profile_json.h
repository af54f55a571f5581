// The profile as JSON text: every field of every record under the record's own field names, MAC
// addresses and passwords in the window's text form ("00:11:22:AA:BB:CC"), host entries, port
// ranges, actions and packets as objects. data/corvane-profile.schema.json describes the format.
//
// Export writes every key; import takes a missing key as the window's default for a new proxy
// server or list entry, and refuses, naming its JSON path, every value that the window's limits
// would not let into a record (1000 entries, 96 bytes of text, prefixes 0..128, ports, the delay
// range), every value of the wrong type and every unknown key.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/profile_document.h"

namespace corvane {

struct JsonProblem {
  std::string path;  // "$.ProxyServers[0].SendToHostsList[2].Prefix"
  std::string message;

  std::string Text() const { return path + ": " + message; }
};

// The text that ExportProfileJson would produce, or the fields that JSON text cannot carry (text
// that is not UTF-8).
struct ExportedJson {
  std::string text;
  std::vector<JsonProblem> problems;
};
ExportedJson ExportProfileJson(const ProfileDocument& document);

// The largest JSON text import reads.
inline constexpr std::size_t kMaxJsonSize = 128 * 1024 * 1024;

struct ImportedJson {
  ProfileDocument document;           // meaningful only without problems
  std::vector<JsonProblem> problems;  // in document order; the first parse error alone
};
ImportedJson ImportProfileJson(std::string_view text);

}  // namespace corvane
