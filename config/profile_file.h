// The profile file: the whole proxy server table and the program-wide display options as one
// little-endian image with a fixed header, an options block, a table of fixed-size proxy entries,
// and the variable-length lists behind it, each found through an offset and a count.
//
// The desktop program writes it as ~/Corvane/profile.dat and reads it once at start-up; the
// service reads its byte-for-byte copy CorvaneService.dat from the system folder. Readers follow
// the offsets, check every offset and count before use, and never read outside the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "config/display_options.h"
#include "config/profile_paths.h"  // where the profiles are, for their readers and writers
#include "config/profile_read_report.h"
#include "config/proxy_server_table.h"
#include "platform/files.h"

namespace corvane {

inline constexpr std::size_t kMaxProfileSize = 64 * 1024 * 1024;

// The six display options as stored.
struct StoredDisplayOptions {
  bool ShowErrors = true;
  bool DontShowResolveErrors = false;
  bool DontShowSendErrors = false;
  bool ShowRecvPackets = true;
  bool DontShowIgnoredPackets = false;
  bool ShowSendPackets = true;

  friend bool operator==(const StoredDisplayOptions&, const StoredDisplayOptions&) = default;
};

// The image of `table` and the options; empty when it would be larger than a reader accepts
// (kMaxProfileSize), since such a file could never be loaded again. `auto_start` is stored for
// the record only: readers take that state from the system's autostart entry.
std::vector<std::uint8_t> WriteProfileImage(const ProxyServerTable& table,
                                            const StoredDisplayOptions& options, bool auto_start,
                                            const CalendarTime& written_at);
// The same for records that are not in a table (the profile tool's import): each record's Id and
// `last_id` are written as given. Empty also for more than 1000 records.
std::vector<std::uint8_t> WriteProfileImage(std::span<const ProxyServerSettings> records,
                                            std::uint32_t last_id,
                                            const StoredDisplayOptions& options, bool auto_start,
                                            const CalendarTime& written_at);

// What a reader does with what it finds, in file order.
class ProfileImageSink {
 public:
  virtual ~ProfileImageSink() = default;
  // The options block passed its checks (also when the proxy part then fails).
  virtual void TakeOptions(const StoredDisplayOptions& options) = 0;
  // One proxy entry passed every check; its lists are within the limits and clamped.
  virtual void TakeRecord(ProxyServerSettings record) = 0;
};

// Reads an image. True when every check passed. A failed check ends the reading: the entries
// handed over before it stay with the sink, the failing one is dropped. A `report`, when given,
// receives the corrections made, the failed check and what readers otherwise ignore.
bool ReadProfileImage(std::span<const std::uint8_t> image, ProfileImageSink& sink,
                      ProfileReadReport* report = nullptr);

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
