// corvane-profile: shows, checks, exports and imports profile files from the command line, with
// the programs' own reader and writer. main() only hands over its arguments and streams.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace corvane {

// Runs one command line (without the program name). Returns the exit status: 0 success; `check`
// 1 for a file read with corrections or warnings and 2 for an unreadable one; `import` 1 when the
// JSON was refused; 2 for anything that could not be read or written and for usage errors.
int RunProfileTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                   std::ostream& err);

}  // namespace corvane
