#include "platform/service_notify.h"

#include <systemd/sd-daemon.h>

#include <string>

namespace corvane {

bool NotifyServiceManager(std::string_view message) {
  // Above 0 only when a manager was named and the datagram went out; 0 without NOTIFY_SOCKET.
  return sd_notify(/*unset_environment=*/0, std::string(message).c_str()) > 0;
}

void NotifyWatchdog() {
  if (sd_watchdog_enabled(/*unset_environment=*/0, nullptr) > 0) {
    static_cast<void>(sd_notify(/*unset_environment=*/0, "WATCHDOG=1"));
  }
}

}  // namespace corvane
