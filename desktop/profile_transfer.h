// Copies of the profile in files the user chooses: Export writes the table as the profile file
// holds it; Import reads such a file completely, with the reader's checks, before anything of the
// window changes, so a damaged or foreign file changes nothing.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/profile_file.h"

namespace corvane::desktop {

// Writes the profile image of `table` to `path` (replaced only once complete). False on failure.
bool ExportProfile(const std::string& path, const ProxyServerTable& table,
                   const DisplayOptions& options, bool auto_start);

struct ImportedProfile {
  std::vector<ProxyServerSettings> records;  // in file order, at most 1000
  StoredDisplayOptions options;
};

// The whole file, or nothing when it is missing, unreadable or fails any check of the reader.
std::optional<ImportedProfile> ReadProfileCopy(const std::string& path);

}  // namespace corvane::desktop
