#include "platform/debug_log.h"

#include <systemd/sd-daemon.h>

#include <cstdio>
#include <string>

namespace corvane {

void WriteDebugLine(std::string_view text) {
  // One write per line, so that lines of several threads never interleave.
  const std::string line = SD_DEBUG + std::string(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace corvane
