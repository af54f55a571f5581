#include "platform/event_log.h"

#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <string>

#include "platform/files.h"

namespace corvane {

bool WriteEventLine(std::string_view text, bool error) {
  std::string line = error ? SD_ERR : SD_INFO;
  line.append(text);
  line += '\n';
  return WriteAll(STDERR_FILENO, {reinterpret_cast<const std::uint8_t*>(line.data()), line.size()});
}

}  // namespace corvane
