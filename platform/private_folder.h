// What a per-user mechanism needs to keep other local users out: a folder only this user can
// enter, an exclusive claim on a file in it, and the user at the other end of a local socket.
#pragma once

#include <optional>
#include <string>

namespace corvane {

// A folder that only this process's user may enter: $XDG_RUNTIME_DIR when it is an absolute path
// to a folder of this user without access for anybody else, else `fallback` when that qualifies
// the same way. Empty when neither does. A shared folder such as /tmp is never a fallback: another
// user could make the name first.
std::string PrivateRuntimeDirectory(const std::string& fallback);

// Whether `path` is a folder (not a link to one) owned by this user that nobody else may enter.
bool IsPrivateFolder(const std::string& path);

// An exclusive lock on a file, held for as long as the object lives. The file is made with mode
// 0600 when missing. Locks of processes that end go with them, so a crash leaves no stale claim.
class ExclusiveFileLock {
 public:
  enum class Result { kTaken, kHeldElsewhere, kFailed };

  ExclusiveFileLock() = default;
  ~ExclusiveFileLock();
  ExclusiveFileLock(const ExclusiveFileLock&) = delete;
  ExclusiveFileLock& operator=(const ExclusiveFileLock&) = delete;

  // Tries once, without waiting.
  Result TryTake(const std::string& path);

 private:
  int fd_ = -1;
};

// The user id of the process at the other end of a connected local socket.
std::optional<unsigned> PeerUserId(int socket);

// The user id of this process.
unsigned OwnUserId();

}  // namespace corvane
