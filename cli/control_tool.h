// corvanectl: the command line for hosts without a display. The profile commands of
// corvane-profile (show, check, export, import) and the service commands of service_commands.h.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/service_commands.h"

namespace corvane {

// Runs one command line (without the program name); returns the exit status.
int RunControlTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                   std::ostream& err, ServiceCommandHost& host);

}  // namespace corvane
