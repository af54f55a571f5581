// The profile image: the whole proxy server table and the program-wide display options as one
// little-endian image with a fixed header, an options block, a table of fixed-size proxy entries,
// and the variable-length lists behind it, each found through an offset and a count
// (config/profile_layout.h describes every field). Readers follow the offsets, check every offset
// and count before use, and never read outside the image. config/profile_file.h keeps the files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

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

}  // namespace corvane
