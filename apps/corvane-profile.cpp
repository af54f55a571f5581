// corvane-profile: the profile tool for headless hosts. Everything but the hand-over of the
// command line lives in cli/.
#include <iostream>
#include <string>
#include <vector>

#include "cli/profile_tool.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return corvane::RunProfileTool(args, std::cin, std::cout, std::cerr);
}
