// The service's event log: one line per event on standard error with the journal's priority
// prefix (error or information). The unit names the program as the lines' source, so the journal
// shows the source and the level.
#pragma once

#include <string_view>

namespace corvane {

// One event line. One write per line, so lines of several threads never mix. False when the line
// could not be written.
bool WriteEventLine(std::string_view text, bool error);

}  // namespace corvane
