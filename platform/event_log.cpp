#include "platform/event_log.h"

#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <string>

#include "platform/files.h"

namespace corvane {

namespace {

bool WriteJournalLine(const char* priority, std::string_view text) {
  std::string line = priority;
  line.append(text);
  line += '\n';
  return !WriteAll(STDERR_FILENO,
                   {reinterpret_cast<const std::uint8_t*>(line.data()), line.size()});
}

}  // namespace

bool WriteEventLine(std::string_view text, bool error) {
  return WriteJournalLine(error ? SD_ERR : SD_INFO, text);
}

void WriteDebugLine(std::string_view text) {
  // A debug line that cannot be written is lost like any other write to a closed standard error.
  static_cast<void>(WriteJournalLine(SD_DEBUG, text));
}

}  // namespace corvane
