// corvane-profile: shows, checks, exports and imports profile files from the command line, with
// the programs' own reader and writer. main() only hands over its arguments and streams.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// Runs one command line (without the program name). Returns the exit status: 0 success; `check`
// 1 for a file read with corrections or warnings and 2 for an unreadable one; `import` 1 when the
// JSON was refused; 2 for anything that could not be read or written and for usage errors.
// `program` is the name that messages begin with.
int RunProfileTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                   std::ostream& err, std::string_view program = "corvane-profile");

}  // namespace corvane
