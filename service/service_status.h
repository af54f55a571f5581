// What `corvanectl status` shows of the installed service: the unit's states and the status line
// that the service program keeps current (its check point and the totals of its proxy servers).
// Anyone may ask; nothing is changed.
#pragma once

#include <string>
#include <system_error>

namespace corvane {

struct ServiceStatusReport {
  std::error_code error;     // why systemd could not be asked; the rest is empty then
  std::string load_state;    // "loaded", or "not-found" when the service is not installed
  std::string active_state;  // "active", "inactive", "failed", ...
  std::string sub_state;     // "running", "dead", ...
  std::string status_text;   // the service's own status line; empty when it never sent one
};

// Asks systemd over the system bus, or, for root when the bus daemon is down, over systemd's own
// socket. kNotReady where systemd does not run.
[[nodiscard]] ServiceStatusReport QueryServiceStatus();

}  // namespace corvane
