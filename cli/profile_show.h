// The human-readable forms of a profile: `show` lists every field by its name with the window's
// row texts for list entries; `check` says what a program's reader found and what it corrected.
#pragma once

#include <string>
#include <string_view>

#include "cli/profile_document.h"

namespace corvane {

// Every display option and every field of every proxy server, one per line, in record order.
std::string ShowProfile(const ProfileDocument& document);

// `text` with control characters written as \xNN, so that a file's texts cannot steer the
// terminal.
std::string Printable(std::string_view text);

enum class CheckRules { kDesktop, kService };

struct CheckResult {
  std::string text;
  int status = 0;  // 0 valid, 1 readable with corrections or warnings, 2 unreadable
};

// The report of reading `path` with the desktop program's or the service's rules.
CheckResult CheckProfile(const std::string& path, const LoadedProfile& loaded, CheckRules rules);

}  // namespace corvane
