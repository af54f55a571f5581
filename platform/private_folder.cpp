#include "platform/private_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace corvane {

bool IsPrivateFolder(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid() &&
         (info.st_mode & 077) == 0;
}

std::string PrivateRuntimeDirectory(const std::string& fallback) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/' && IsPrivateFolder(runtime)) return runtime;
  return !fallback.empty() && IsPrivateFolder(fallback) ? fallback : std::string();
}

ExclusiveFileLock::~ExclusiveFileLock() {
  if (fd_ >= 0) close(fd_);
}

ExclusiveFileLock::Result ExclusiveFileLock::TryTake(const std::string& path) {
  if (fd_ >= 0) return Result::kTaken;
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return Result::kFailed;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const bool busy = errno == EWOULDBLOCK;
    close(fd);
    return busy ? Result::kHeldElsewhere : Result::kFailed;
  }
  fd_ = fd;
  return Result::kTaken;
}

std::optional<unsigned> PeerUserId(int socket) {
  ucred credentials{};
  socklen_t length = sizeof credentials;
  if (getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) return std::nullopt;
  return credentials.uid;
}

unsigned OwnUserId() { return getuid(); }

}  // namespace corvane
