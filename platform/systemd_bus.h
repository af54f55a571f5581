// A connection to systemd's manager over D-Bus (sd-bus): the few calls the service actions make.
// Every call answers with a BusResult: success, or the system's error (platform/errno_code.h) and
// the D-Bus error name of the failure.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

namespace corvane {

struct [[nodiscard]] BusResult {
  std::error_code error;
  std::string error_name;  // the D-Bus error name, when the peer sent one

  bool ok() const { return !error; }
};

struct OpenedBus;

class SystemdBus {
 public:
  ~SystemdBus();
  SystemdBus(const SystemdBus&) = delete;
  SystemdBus& operator=(const SystemdBus&) = delete;

  // Whether systemd runs as this system's service manager (it keeps /run/systemd/system/).
  [[nodiscard]] static bool ManagerRunning();
  // The system bus; no bus (and why) when there is none to reach, as in a container.
  [[nodiscard]] static OpenedBus OpenSystem();
  // systemd's own socket, /run/systemd/private, which works without the bus daemon. Only root
  // may talk on it.
  [[nodiscard]] static OpenedBus OpenManagerSocket();
  // A direct connection over a connected stream socket, which the bus object then owns (tests
  // talk to a stand-in for systemd this way).
  [[nodiscard]] static OpenedBus OpenOnSocket(int fd);

  BusResult LoadUnit(std::string_view unit, std::string& object_path);
  BusResult UnitProperty(std::string_view object_path, const char* property, std::string& value);
  // A property of the unit's service part (StatusText, ...).
  BusResult ServiceProperty(std::string_view object_path, const char* property, std::string& value);
  // Starts `unit` and waits up to `bound` for its start job to end. `job_result` is systemd's
  // word for how the job ended ("done" only when the unit reached its started state; "failed",
  // "dependency", "timeout", "canceled", ...), or empty when the wait ran out first.
  BusResult StartUnit(std::string_view unit, std::chrono::milliseconds bound,
                      std::string& job_result);
  BusResult StopUnit(std::string_view unit);
  BusResult Reload();
  BusResult EnableUnitFile(std::string_view unit);
  BusResult DisableUnitFile(std::string_view unit);

 private:
  struct Bus;
  BusResult StringProperty(std::string_view object_path, const char* interface,
                           const char* property, std::string& value);
  explicit SystemdBus(Bus* bus) : bus_(bus) {}
  Bus* bus_;
};

// A connection, or none and the system's reason.
struct [[nodiscard]] OpenedBus {
  std::unique_ptr<SystemdBus> bus;
  std::error_code error;
};

}  // namespace corvane
