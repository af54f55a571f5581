// A profile as the profile tool handles it: everything a profile file holds, read with the
// programs' reader, including what the programs ignore, so that writing it again gives the same
// bytes except the time of writing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/profile_file.h"

namespace corvane {

struct ProfileDocument {
  StoredDisplayOptions Options;
  bool AutoStart = false;                    // the writing program's login start; readers ignore it
  std::uint32_t LastId = 0;                  // the writing program's last Id; readers ignore it
  std::vector<ProxyServerSettings> Records;  // in file order; Id is the Id stored with each

  friend bool operator==(const ProfileDocument&, const ProfileDocument&) = default;
};

// A profile file read with the programs' reader, port ranges in the order stored.
struct LoadedProfile {
  std::string error;         // why the file could not be read at all ("No such file or directory")
  bool passed = false;       // the reader's result: every check passed
  ProfileDocument document;  // what was read (the records before a failed check)
  ProfileReadReport report;

  bool read() const { return error.empty(); }
};

LoadedProfile LoadProfileDocument(const std::string& path);

// The image that the window's writer makes of `document`, stamped with `written_at`. Empty when
// it cannot be written (more than 1000 proxy servers, larger than a reader accepts).
std::vector<std::uint8_t> WriteProfileDocument(const ProfileDocument& document,
                                               const CalendarTime& written_at);

}  // namespace corvane
