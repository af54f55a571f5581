#include "platform/process_limits.h"

#include <sys/resource.h>

namespace corvane {

bool InDescriptorReserve(int fd, unsigned times) {
  rlimit limit{};
  if (fd < 0 || getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
    return false;
  }
  const rlim_t reserve = times * (32 + limit.rlim_cur / 16);
  return static_cast<rlim_t>(fd) + reserve >= limit.rlim_cur;
}

bool RaiseOpenFileLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
  if (limit.rlim_cur == limit.rlim_max) return true;
  limit.rlim_cur = limit.rlim_max;
  return setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

}  // namespace corvane
