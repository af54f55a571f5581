#include "desktop/autostart.h"

#include <cstdlib>
#include <sstream>

#include "platform/files.h"

namespace corvane::desktop {
namespace {

// The Exec value that starts `program` with no arguments; quoted when the path needs it.
std::string ExecValue(const std::string& program) {
  if (program.find_first_of(" \t\"'\\$`<>|&;*?#()") == std::string::npos) return program;
  std::string quoted = "\"";
  for (char c : program) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

std::string UserConfigFolder() {
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && config[0] == '/') {
    return config;
  }
  return UserProfileDirectory() + "/.config";
}

std::string AutostartEntryPath() { return UserConfigFolder() + "/autostart/Corvane.desktop"; }

bool AutostartEntryStarts(const std::string& program) {
  const auto content = ReadWholeFile(AutostartEntryPath(), 64 * 1024);
  if (!content || program.empty()) return false;
  std::istringstream lines(std::string(content->begin(), content->end()));
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Exec=", 0) == 0) return line.substr(5) == ExecValue(program);
  }
  return false;
}

bool WriteAutostartEntry(const std::string& program) {
  const std::string config = UserConfigFolder();
  CreateDirectory(config, 0700);
  CreateDirectory(config + "/autostart", 0700);
  const std::string text =
      "[Desktop Entry]\nType=Application\nName=Corvane\nIcon=corvane\nExec=" + ExecValue(program) +
      "\nX-GNOME-Autostart-enabled=true\n";
  return !WriteFileReplacing(AutostartEntryPath(),
                             {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()},
                             0644);
}

bool RemoveAutostartEntry() { return RemoveFile(AutostartEntryPath()); }

}  // namespace corvane::desktop
