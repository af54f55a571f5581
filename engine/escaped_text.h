// Texts taken from a profile (proxy server names, host texts) made safe for the line formats they
// end up in. A profile may hold any bytes; a journal line or a metrics line must stay one line and
// readable whatever they are.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// For journal lines: valid UTF-8 stays as it is; a backslash or a double quote gets a backslash
// before it; control characters (C0, C1, line and paragraph separators, bidirectional controls)
// and bytes that are no valid UTF-8 become \xHH, byte by byte.
std::string JournalText(std::string_view text);

// For a label value of the Prometheus text format: backslash, double quote and line feed escaped
// as \\, \" and \n; bytes that are no valid UTF-8 become U+FFFD, the format allowing UTF-8 only.
std::string MetricsLabelValue(std::string_view text);

}  // namespace corvane
