// Starting the program at login: the XDG autostart entry Corvane.desktop in
// $XDG_CONFIG_HOME/autostart (~/.config/autostart by default), whose Exec= holds the program path.
#pragma once

#include <string>

namespace corvane::desktop {

// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
std::string UserConfigFolder();

std::string AutostartEntryPath();

// Whether the entry exists and starts exactly `program`, without arguments.
bool AutostartEntryStarts(const std::string& program);
bool WriteAutostartEntry(const std::string& program);
bool RemoveAutostartEntry();

}  // namespace corvane::desktop
