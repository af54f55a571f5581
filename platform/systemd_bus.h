// A connection to systemd's manager over D-Bus (sd-bus): the few calls the service actions make.
// Every call answers with a BusResult: success, or the errno and D-Bus error name of the failure.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

namespace corvane {

struct [[nodiscard]] BusResult {
  int error = 0;           // 0, or a positive errno
  std::string error_name;  // the D-Bus error name, when the peer sent one

  bool ok() const { return error == 0; }
};

class SystemdBus {
 public:
  ~SystemdBus();
  SystemdBus(const SystemdBus&) = delete;
  SystemdBus& operator=(const SystemdBus&) = delete;

  // Whether systemd runs as this system's service manager (it keeps /run/systemd/system/).
  [[nodiscard]] static bool ManagerRunning();
  // The system bus; nothing (with the errno) when there is none to reach, as in a container.
  [[nodiscard]] static std::unique_ptr<SystemdBus> OpenSystem(int& error);
  // systemd's own socket, /run/systemd/private, which works without the bus daemon. Only root
  // may talk on it.
  [[nodiscard]] static std::unique_ptr<SystemdBus> OpenManagerSocket(int& error);
  // A direct connection over a connected stream socket, which the bus object then owns (tests
  // talk to a stand-in for systemd this way).
  [[nodiscard]] static std::unique_ptr<SystemdBus> OpenOnSocket(int fd, int& error);

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

}  // namespace corvane
