// Debug-level lines for administrators: one line on standard error with the sd-daemon priority
// prefix for debug, so that the journal files it at debug level under the program's identifier. For
// facts worth a look that are no error (a system limit that keeps a buffer small). Any thread.
#pragma once

#include <string_view>

namespace corvane {

void WriteDebugLine(std::string_view text);

}  // namespace corvane
