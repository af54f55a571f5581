// corvanectl's service commands. install [FILE], apply FILE, start, stop and remove run the
// actions of the window's service page (service/service_control.h) and print their result text,
// "Success: ..." on standard output or "Failed: ..." on standard error, with exit status 0 or 1.
// status prints the unit's state and the service's status line.
//
// FILE, a JSON configuration (read with the profile tool's import rules) or a profile file (read
// with the programs' reader), stands in for the window's ~/Corvane/profile.dat; install without
// FILE takes that profile. The file is read once, whole, and checked before any action runs, and
// what was checked is what the action copies, from a private folder, so a file changed meanwhile
// cannot slip past the checks. A file that is missing, unreadable, too large, a symbolic link or
// refused by its rules ends the command with a "Failed: ..." text before the service manager is
// asked anything: the installed configuration and the running service stay as they were.
#pragma once

#include <chrono>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "service/service_control.h"
#include "service/service_status.h"

namespace corvane {

// What the commands work on; the program passes the real pieces, tests fakes.
struct ServiceCommandHost {
  ServiceManager& manager;
  FileCopier& files;
  ServicePaths paths;  // CurrentServicePaths(): the service program is taken from beside corvanectl
  std::function<void(std::chrono::milliseconds)> sleep;  // between the copy retries of install
  std::function<ServiceStatusReport()> query_status;
  std::string scratch_folder;  // a private folder for the checked FILE is made in it ("/tmp")
};

// Whether `command` is one of the service commands.
[[nodiscard]] bool IsServiceCommand(std::string_view command);

// Runs one service command line (without the program name). Exit status: 0 success, 1 failure,
// 2 a usage error; status answers 0 while the service runs and 3 when it is installed but stopped
// or not installed, as LSB status commands do.
int RunServiceCommand(const std::vector<std::string>& args, ServiceCommandHost& host,
                      std::ostream& out, std::ostream& err);

}  // namespace corvane
