// Files and folders as the configuration needs them: the user's profile folder, the system folder
// of the service, whole-file reads and crash-safe replacement of a file. What can fail for a
// reason the caller may tell answers with the system's error (platform/errno_code.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <type_traits>
#include <vector>

#include "platform/errno_code.h"

namespace corvane {
enum class FolderRefused;
}
template <>
struct std::is_error_code_enum<corvane::FolderRefused> : std::true_type {};

namespace corvane {

// The user's home folder: $HOME when set and not empty, else the password database entry of the
// process's user. Empty when neither is known.
std::string UserProfileDirectory();

// The folder that holds the service program and its configuration (/opt/corvane unless the build
// chose another).
std::string SystemDirectory();

// Creates one folder; false when it could not be made. An existing folder is no error.
bool CreateDirectory(const std::string& path, unsigned mode = 0700);

// The full path of the running program.
std::string OwnExecutablePath();

// Whether `path` names an existing file system entry.
bool PathExists(const std::string& path);

// Copies `from` over `to` with permission bits `mode` (never the source's), through a new file in
// the target folder that is flushed and then renamed over `to`; when the process runs as root,
// the copy belongs to root's user and group whatever the folder would give it. Returns the
// system's error of the step that failed (EINVAL: `from` is no regular file).
[[nodiscard]] std::error_code CopyFileReplacing(const std::string& from, const std::string& to,
                                                unsigned mode);

// Sets the permission bits of a folder that this process's user owns; others are left alone.
void SetOwnFolderMode(const std::string& path, unsigned mode);

// The whole content of a regular file no larger than `max_size` bytes, read in one read. Nothing
// when the file is missing, unreadable, larger, or shorter than its size said.
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path,
                                                       std::size_t max_size);

// The same, saying why it failed: 0, or EINVAL for what is not a regular file, EFBIG for a file
// larger than `max_size`, EIO for one shorter than its size said, ELOOP for a symbolic link when
// links are not followed, or the errno of opening or reading it. `content` is set only on success.
enum class FollowLinks { kYes, kNo };
[[nodiscard]] int ReadRegularFile(const std::string& path, std::size_t max_size, FollowLinks follow,
                                  std::vector<std::uint8_t>& content);

// Replaces `path` with `content` so that a failure at any point leaves the previous file as it
// was: the content goes to a new file in the same folder, is flushed to the disk, and only then
// renamed over `path` with permission bits `mode`. Returns the system's error of the step that
// failed (no space left, a read-only file system, no permission...). A process killed on the way
// leaves no file behind for long: the content is written to an unnamed file, and the next
// replacement of `path` removes a temporary "<name>.saving-XXXXXX" that a kill left.
[[nodiscard]] std::error_code WriteFileReplacing(const std::string& path,
                                                 std::span<const std::uint8_t> content,
                                                 unsigned mode = 0600);

// Why a folder was refused for WriteFileInOwnFolder.
enum class FolderRefused {
  kSymbolicLink = 1,
  kNotAFolder,
  kForeignOwner,  // owned by neither root nor this process's user
};
const std::error_category& FolderRefusedCategory();
inline std::error_code make_error_code(FolderRefused refused) {
  return {static_cast<int>(refused), FolderRefusedCategory()};
}

// Replaces the file `name` in `folder` with `content` and permission bits `mode`, for a process
// that may write where others cannot: the folder is opened once, without following a symbolic
// link, and must be a real folder owned by root or by this process's user; the file is written
// and renamed relative to that folder, so nothing that replaces the folder meanwhile is written
// into. The replacement is atomic (readers see the old file or the new one) but not flushed to
// the disk: for a file that is written again within seconds. Returns a FolderRefused code, or the
// errno of the step that failed (ENOENT: no such folder).
[[nodiscard]] std::error_code WriteFileInOwnFolder(const std::string& folder,
                                                   const std::string& name,
                                                   std::span<const std::uint8_t> content,
                                                   unsigned mode);

// Removes a file; true when it is gone (also when it was not there).
bool RemoveFile(const std::string& path);

// Writes all of `content` to `fd`, going on after partial writes and interruptions.
[[nodiscard]] std::error_code WriteAll(int fd, std::span<const std::uint8_t> content);

// A moment broken down into its calendar fields (the layout the profile file records).
struct CalendarTime {
  std::uint16_t year = 0, month = 0, day_of_week = 0, day = 0;
  std::uint16_t hour = 0, minute = 0, second = 0, millisecond = 0;
};
CalendarTime CurrentUtcTime();
// The same fields in the local time zone.
CalendarTime CurrentLocalTime();

}  // namespace corvane
