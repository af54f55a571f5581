// Status reports to the service manager that started this program, in systemd's notify protocol
// ("READY=1", "STOPPING=1", "STATUS=...", "WATCHDOG=1"), sent to the socket NOTIFY_SOCKET names:
// a path, or an abstract name when it starts with '@'.
#pragma once

#include <string_view>

namespace corvane {

// Sends one message as one datagram. False when it was not sent: NOTIFY_SOCKET is missing (no
// service manager started the program), names no absolute path or abstract name, or nobody
// listens there. Any thread.
[[nodiscard]] bool NotifyServiceManager(std::string_view message);

// Tells the service manager's watchdog that the program is alive ("WATCHDOG=1"), when the manager
// watches it: WATCHDOG_USEC is set, and WATCHDOG_PID, when set, names this process. Without a
// watchdog nothing is sent. A ping that does not reach the manager is not retried: the next one
// is due within a second. Any thread.
void NotifyWatchdog();

}  // namespace corvane
