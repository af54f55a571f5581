// The journal's lines: one line per event on standard error with the journal's priority prefix
// (error, information or debug). The unit names the program as the lines' source, so the journal
// shows the source and the level. Any thread.
#pragma once

#include <string_view>

namespace corvane {

// One event line. One write per line, so lines of several threads never mix. False when the line
// could not be written.
bool WriteEventLine(std::string_view text, bool error);

// A debug-level line for administrators: for facts worth a look that are no error (a system limit
// that keeps a buffer small, the system's reason for a socket that could not be made).
void WriteDebugLine(std::string_view text);

}  // namespace corvane
