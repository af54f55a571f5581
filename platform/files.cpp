#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string_view>

#include "platform/errno_code.h"

#ifndef CORVANE_SYSTEM_DIR
#define CORVANE_SYSTEM_DIR "/opt/corvane"
#endif

namespace corvane {
namespace {

// The folder that holds `path`, to be opened: a bare name is in the working folder.
std::string FolderToOpen(const std::string& path) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  return folder.empty() ? "." : folder.string();
}

// Temporaries of a replacement are named "<name>.saving-" and six characters.
constexpr std::string_view kSavingMark = ".saving-";
constexpr std::size_t kSavingSuffix = 6;

// Removes what replacements of `path` left behind when their process was killed between naming
// the new file and renaming it.
void RemoveStaleTemporaries(const std::string& path) {
  DIR* folder = opendir(FolderToOpen(path).c_str());
  if (folder == nullptr) return;
  const std::string prefix =
      std::filesystem::path(path).filename().string() + std::string(kSavingMark);
  while (const dirent* entry = readdir(folder)) {
    const std::string_view name = entry->d_name;
    if (name.size() == prefix.size() + kSavingSuffix && name.starts_with(prefix)) {
      unlinkat(dirfd(folder), entry->d_name, 0);
    }
  }
  closedir(folder);
}

std::string TemporaryName(const std::string& path) {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937 random{std::random_device{}()};
  std::string name = path + std::string(kSavingMark);
  for (std::size_t i = 0; i < kSavingSuffix; ++i) name += kLetters[random() % 62];
  return name;
}

// Writes a new file beside `path` with `fill`, flushes it, and renames it over `path`. Returns the
// error of the first failure; a failure leaves `path` as it was.
//
// The content is written into a file without a name (O_TMPFILE), so a process killed while
// writing leaves nothing behind; it gets a temporary name only for the moment before the rename.
// Where the file system has no unnamed files, it is written under the temporary name. Stale
// temporaries of earlier, killed replacements are removed first.
template <typename Fill>
std::error_code ReplaceWith(const std::string& path, mode_t mode, Fill fill) {
  RemoveStaleTemporaries(path);
  std::string temporary;
  bool named = false;
  int fd = open(FolderToOpen(path).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd < 0) {
    temporary = path + std::string(kSavingMark) + std::string(kSavingSuffix, 'X');
    fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return LastErrnoCode();
    named = true;
  }
  std::error_code error = fill(fd);
  if (!error && fchmod(fd, mode) != 0) error = LastErrnoCode();
  if (!error && fsync(fd) != 0) error = LastErrnoCode();
  if (!error && !named) {
    const std::string unnamed = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; !named && !error; ++attempt) {
      temporary = TemporaryName(path);
      if (linkat(AT_FDCWD, unnamed.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        named = true;
      } else if (errno != EEXIST || attempt == 100) {
        error = LastErrnoCode();
      }
    }
  }
  if (close(fd) != 0 && !error) error = LastErrnoCode();
  if (!error && rename(temporary.c_str(), path.c_str()) != 0) error = LastErrnoCode();
  if (error) {
    if (named) unlink(temporary.c_str());
    return error;
  }
  // Make the rename itself durable.
  const int folder = open(FolderToOpen(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    fsync(folder);
    close(folder);
  }
  return {};
}

CalendarTime CurrentTime(bool local) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm parts{};
  if (local) {
    localtime_r(&now.tv_sec, &parts);
  } else {
    gmtime_r(&now.tv_sec, &parts);
  }
  CalendarTime time;
  time.year = static_cast<std::uint16_t>(parts.tm_year + 1900);
  time.month = static_cast<std::uint16_t>(parts.tm_mon + 1);
  time.day_of_week = static_cast<std::uint16_t>(parts.tm_wday);
  time.day = static_cast<std::uint16_t>(parts.tm_mday);
  time.hour = static_cast<std::uint16_t>(parts.tm_hour);
  time.minute = static_cast<std::uint16_t>(parts.tm_min);
  time.second = static_cast<std::uint16_t>(parts.tm_sec);
  time.millisecond = static_cast<std::uint16_t>(now.tv_nsec / 1000000);
  return time;
}

}  // namespace

std::error_code WriteAll(int fd, std::span<const std::uint8_t> content) {
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t written = write(fd, content.data() + done, content.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return LastErrnoCode();
    // A write that takes nothing sets no errno; it must not read as a success.
    if (written == 0) return ErrnoCode(EIO);
    done += static_cast<std::size_t>(written);
  }
  return {};
}

std::string UserProfileDirectory() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') return home;
  passwd entry{};
  passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
      found->pw_dir == nullptr) {
    return {};
  }
  return found->pw_dir;
}

std::string SystemDirectory() { return CORVANE_SYSTEM_DIR; }

bool CreateDirectory(const std::string& path, unsigned mode) {
  if (mkdir(path.c_str(), static_cast<mode_t>(mode)) == 0) return true;
  struct stat info {};
  return errno == EEXIST && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string OwnExecutablePath() {
  std::vector<char> buffer(4096);
  const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  return length > 0 ? std::string(buffer.data(), static_cast<std::size_t>(length)) : std::string();
}

bool PathExists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path,
                                                       std::size_t max_size) {
  std::vector<std::uint8_t> content;
  if (ReadRegularFile(path, max_size, FollowLinks::kYes, content) != 0) return std::nullopt;
  return content;
}

int ReadRegularFile(const std::string& path, std::size_t max_size, FollowLinks follow,
                    std::vector<std::uint8_t>& content) {
  // O_NONBLOCK: a FIFO put in the file's place must not hold the reader; it is refused below.
  const int flags =
      O_RDONLY | O_CLOEXEC | O_NONBLOCK | (follow == FollowLinks::kNo ? O_NOFOLLOW : 0);
  const int fd = open(path.c_str(), flags);
  if (fd < 0) return errno;
  int error = 0;
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    error = errno;
  } else if (!S_ISREG(info.st_mode)) {
    error = EINVAL;
  } else if (info.st_size < 0 || static_cast<std::uint64_t>(info.st_size) > max_size) {
    error = EFBIG;
  } else {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t got = read(fd, bytes.data() + done, bytes.size() - done);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) error = errno;
      if (got <= 0) break;
      done += static_cast<std::size_t>(got);
    }
    if (error == 0 && done != bytes.size()) error = EIO;  // shorter than its size said
    if (error == 0) content = std::move(bytes);
  }
  close(fd);
  return error;
}

std::error_code WriteFileReplacing(const std::string& path, std::span<const std::uint8_t> content,
                                   unsigned mode) {
  return ReplaceWith(path, static_cast<mode_t>(mode),
                     [&](int fd) { return WriteAll(fd, content); });
}

const std::error_category& FolderRefusedCategory() {
  class Category final : public std::error_category {
   public:
    const char* name() const noexcept override { return "folder"; }
    std::string message(int value) const override {
      switch (static_cast<FolderRefused>(value)) {
        case FolderRefused::kSymbolicLink:
          return "the folder is a symbolic link";
        case FolderRefused::kNotAFolder:
          return "the folder is not a folder";
        case FolderRefused::kForeignOwner:
          return "the folder belongs to another user";
      }
      return "the folder is refused";
    }
  };
  static const Category category;
  return category;
}

std::error_code WriteFileInOwnFolder(const std::string& folder, const std::string& name,
                                     std::span<const std::uint8_t> content, unsigned mode) {
  const int directory = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (directory < 0) {
    const std::error_code error = LastErrnoCode();
    if (error == std::errc::not_a_directory) {
      struct stat info {};
      const bool link = lstat(folder.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
      return link ? FolderRefused::kSymbolicLink : FolderRefused::kNotAFolder;
    }
    return error == std::errc::too_many_symbolic_link_levels
               ? std::error_code(FolderRefused::kSymbolicLink)
               : error;
  }
  std::error_code error;
  struct stat info {};
  if (fstat(directory, &info) != 0) {
    error = LastErrnoCode();
  } else if (info.st_uid != 0 && info.st_uid != geteuid()) {
    error = FolderRefused::kForeignOwner;
  } else {
    // Unnamed until it is whole; where the file system has no unnamed files, under a temporary
    // name of its own.
    const std::string temporary = name + ".new-" + std::to_string(getpid());
    bool named = false;
    int fd = openat(directory, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) {
      unlinkat(directory, temporary.c_str(), 0);
      fd = openat(directory, temporary.c_str(),
                  O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600);
      named = fd >= 0;
    }
    if (fd < 0) {
      error = LastErrnoCode();
    } else {
      error = WriteAll(fd, content);
      if (!error && fchmod(fd, static_cast<mode_t>(mode)) != 0) error = LastErrnoCode();
      if (!error && !named) {
        unlinkat(directory, temporary.c_str(), 0);
        const std::string unnamed = "/proc/self/fd/" + std::to_string(fd);
        if (linkat(AT_FDCWD, unnamed.c_str(), directory, temporary.c_str(), AT_SYMLINK_FOLLOW) ==
            0) {
          named = true;
        } else {
          error = LastErrnoCode();
        }
      }
      if (close(fd) != 0 && !error) error = LastErrnoCode();
      if (!error && renameat(directory, temporary.c_str(), directory, name.c_str()) != 0) {
        error = LastErrnoCode();
      }
      if (error && named) unlinkat(directory, temporary.c_str(), 0);
    }
  }
  close(directory);
  return error;
}

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0 || errno == ENOENT; }

void SetOwnFolderMode(const std::string& path, unsigned mode) {
  const int folder = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder < 0) return;
  struct stat info {};
  if (fstat(folder, &info) == 0 && info.st_uid == geteuid() && (info.st_mode & 07777) != mode) {
    fchmod(folder, static_cast<mode_t>(mode));
  }
  close(folder);
}

std::error_code CopyFileReplacing(const std::string& from, const std::string& to, unsigned mode) {
  const int source = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (source < 0) return LastErrnoCode();
  struct stat info {};
  if (fstat(source, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(source);
    return ErrnoCode(EINVAL);
  }
  const std::error_code error = ReplaceWith(to, static_cast<mode_t>(mode), [&](int fd) {
    if (geteuid() == 0 && fchown(fd, 0, 0) != 0) return LastErrnoCode();
    std::vector<std::uint8_t> buffer(1 << 16);
    while (true) {
      const ssize_t got = read(source, buffer.data(), buffer.size());
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return LastErrnoCode();
      if (got == 0) return std::error_code();
      if (const std::error_code written =
              WriteAll(fd, {buffer.data(), static_cast<std::size_t>(got)})) {
        return written;
      }
    }
  });
  close(source);
  return error;
}

CalendarTime CurrentUtcTime() { return CurrentTime(false); }

CalendarTime CurrentLocalTime() { return CurrentTime(true); }

}  // namespace corvane
