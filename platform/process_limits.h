// Limits of the process that the programs adjust at start-up.
#pragma once

namespace corvane {

// Raises the soft limit of open files to the hard limit. Each running proxy server holds up to
// four sockets and a wake-up descriptor, so 1000 of them need more than the usual soft limit of
// 1024. Returns whether the soft limit now equals the hard limit.
bool RaiseOpenFileLimit();

}  // namespace corvane
