// The profile files: the desktop program writes its profile image (config/profile_image.h) as
// ~/Corvane/profile.dat and reads it once at start-up; the service reads its byte-for-byte copy
// CorvaneService.dat from the system folder. A profile that failed to load is set aside, never
// written over.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "config/display_options.h"
#include "config/profile_image.h"
#include "config/profile_paths.h"  // where the profiles are, for their readers and writers
#include "config/proxy_server_table.h"

namespace corvane {

// Writes the table and the options to the profile file, replacing the old file only once the new
// one is complete on the disk. False when nothing or not all was written; the old file is then
// unchanged.
[[nodiscard]] bool SaveProfile(const ProxyServerTable& table, const DisplayOptions& options,
                               bool auto_start);

// The same in two steps, for a writer on another thread: the image of the table and the options,
// stamped with the time now, and its writing, which returns why it failed: the file system's
// reason (no space left, read-only...), file_too_large for an empty image (a table larger than
// a reader accepts), filename_too_long when the home folder's name is out of its bounds.
std::vector<std::uint8_t> ProfileImage(const ProxyServerTable& table, const DisplayOptions& options,
                                       bool auto_start);
[[nodiscard]] std::error_code WriteProfileFile(std::span<const std::uint8_t> image);

// Reads the profile file into `table` (empty before), sets the display options from it and
// registers every proxy server read, in file order. True when the whole file passed every check.
bool LoadProfile(ProxyServerTable& table, DisplayOptions& options);

// A profile that failed to load is never written over: before the first save it is moved to
// "<profile>.unreadable-YYYYMMDD-HHMMSS" (local time), and of such copies the newest
// kKeptUnreadableProfiles stay.
inline constexpr std::size_t kKeptUnreadableProfiles = 3;
std::string UnreadableProfilePath(const std::string& profile, const CalendarTime& local_time);

// Moves `profile` to `aside` without replacing anything there, then removes the oldest copies
// beyond kKeptUnreadableProfiles. True when nothing is left at `profile` to be written over (also
// when it was not there); false, with the profile in its place, when it could not be moved.
bool SetProfileAside(const std::string& profile, const std::string& aside);

// The service's reader: empties `table`, then takes every proxy server of CorvaneService.dat,
// flagged for the service or not, up to 1000. The options block must be there but is not used.
bool LoadServiceProfile(ProxyServerTable& table);
bool LoadServiceProfileFrom(const std::string& path, ProxyServerTable& table);

// Frees every record of the service's table. Always true.
bool ReleaseServiceProfile(ProxyServerTable& table);

StoredDisplayOptions Snapshot(const DisplayOptions& options);
void Apply(const StoredDisplayOptions& stored, DisplayOptions& options);

}  // namespace corvane
