// corvanectl: installs and controls the service and handles profiles from the command line, on
// hosts without a display. Everything but the hand-over of the command line lives in cli/.
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "cli/control_tool.h"
#include "service/systemd_service_manager.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  corvane::SystemdServiceManager manager;
  corvane::SystemFileCopier files;
  const char* tmpdir = std::getenv("TMPDIR");
  corvane::ServiceCommandHost host{
      manager, files, corvane::CurrentServicePaths(),
      [](std::chrono::milliseconds wait) { std::this_thread::sleep_for(wait); },
      corvane::QueryServiceStatus,
      // Root's private copy never goes where another user chose.
      tmpdir != nullptr && *tmpdir == '/' && geteuid() != 0 ? tmpdir : "/tmp"};
  return corvane::RunControlTool(args, std::cin, std::cout, std::cerr, host);
}
