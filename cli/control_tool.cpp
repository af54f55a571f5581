#include "cli/control_tool.h"

#include <ostream>

#include "cli/profile_tool.h"
#include "corvane_version.h"

namespace corvane {
namespace {

std::string HelpText() {
  return "Usage: corvanectl install [FILE]\n"
         "       corvanectl apply FILE\n"
         "       corvanectl start | stop | remove | status\n"
         "       corvanectl show FILE | check [--service] FILE | export FILE\n"
         "       corvanectl import JSON OUT | import --service JSON\n"
         "\n"
         "Installs and controls the Corvane service, and shows, checks, exports and imports\n"
         "Corvane profiles. The service commands do what the buttons of the window's service\n"
         "page do, and need root, except status.\n"
         "\n"
         "  install [FILE]  installs or reinstalls the service with FILE as its configuration\n"
         "                  (default ~/Corvane/profile.dat); does not start it\n"
         "  apply FILE      makes FILE the service's configuration; used at its next start\n"
         "  start, stop     starts or stops the service\n"
         "  remove          stops and removes the service\n"
         "  status          the service's state and its totals\n"
         "  show, check, export, import   as corvane-profile(1)\n"
         "\n"
         "FILE is a JSON configuration (see corvane-profile.schema.json) or a profile file.\n"
         "Exit status 0 success, 1 failure, 2 usage; status 3 when the service does not run.\n"
         "See corvanectl(1).\n";
}

}  // namespace

int RunControlTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                   std::ostream& err, ServiceCommandHost& host) {
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    out << HelpText();
    return out.flush() ? 0 : 2;
  }
  if (!args.empty() && args[0] == "--version") {
    out << "corvanectl " << kProgramVersion << "\n";
    return out.flush() ? 0 : 2;
  }
  if (!args.empty() && IsServiceCommand(args[0])) return RunServiceCommand(args, host, out, err);
  return RunProfileTool(args, in, out, err, "corvanectl");
}

}  // namespace corvane
