// The service control manager as the desktop program's service actions use it: exactly the
// operations they need, each answering with an error code: none on success, a ServiceManagerError
// for the answers the actions tell apart, an errno (generic category) for a failure of the system.
// The systemd implementation maps its answers onto these; tests use one in memory with scripted
// states and errors.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "service/service_manager_error.h"

namespace corvane {

enum class ServiceRunState : std::uint32_t {
  kStopped = 1,
  kStartPending = 2,
  kStopPending = 3,
  kRunning = 4,
  kContinuePending = 5,
  kPausePending = 6,
  kPaused = 7,
};

inline constexpr char kServiceName[] = "CorvaneService";

// What Install writes: own process, automatic start, normal error control, the local system
// account, no group, tag or dependencies.
struct ServiceDefinition {
  std::string name = kServiceName;
  std::string display_name = kServiceName;  // set only when the service is created
  std::string description = "Corvane Service";
  std::string program;  // the service program in the system folder
};

class ServiceHandle {
 public:
  virtual ~ServiceHandle() = default;
  [[nodiscard]] virtual std::error_code QueryState(ServiceRunState& state) = 0;
  [[nodiscard]] virtual std::error_code SendStop() = 0;  // does not wait for the stopped state
  // Starts the service and waits, for a bounded time, until the start has succeeded or failed.
  [[nodiscard]] virtual std::error_code Start() = 0;
  [[nodiscard]] virtual std::error_code Delete() = 0;
  // Type, start type, error control, program and account; the display name is kept.
  [[nodiscard]] virtual std::error_code Reconfigure(const ServiceDefinition& definition) = 0;
  [[nodiscard]] virtual std::error_code SetDescription(std::string_view description) = 0;
};

class ServiceManagerHandle {
 public:
  virtual ~ServiceManagerHandle() = default;
  [[nodiscard]] virtual std::error_code OpenService(std::string_view name,
                                                    std::unique_ptr<ServiceHandle>& out) = 0;
  [[nodiscard]] virtual std::error_code CreateService(const ServiceDefinition& definition,
                                                      std::unique_ptr<ServiceHandle>& out) = 0;
};

class ServiceManager {
 public:
  virtual ~ServiceManager() = default;
  // `full_access`: every action but the running-state query, which only connects.
  [[nodiscard]] virtual std::error_code Connect(bool full_access,
                                                std::unique_ptr<ServiceManagerHandle>& out) = 0;
};

}  // namespace corvane
