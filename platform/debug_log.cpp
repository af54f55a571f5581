#include "platform/debug_log.h"

#include <cstdio>
#include <string>

namespace corvane {

void WriteDebugLine(std::string_view text) {
  // One write per line, so that lines of several threads never interleave.
  const std::string line = "<7>" + std::string(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace corvane
