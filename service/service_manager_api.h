// The service control manager as the desktop program's service actions use it: exactly the
// operations they need, each answering with an error number of the kinds they tell apart (0 is
// success). The systemd implementation maps its answers onto these numbers; tests use one in
// memory with scripted states and errors.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace corvane {

using ServiceError = std::uint32_t;
inline constexpr ServiceError kErrorSuccess = 0;
inline constexpr ServiceError kErrorFileNotFound = 2;
inline constexpr ServiceError kErrorPathNotFound = 3;
inline constexpr ServiceError kErrorAccessDenied = 5;
inline constexpr ServiceError kErrorInvalidName = 123;
inline constexpr ServiceError kErrorServiceRequestTimeout = 1053;  // start did not end in time
inline constexpr ServiceError kErrorServiceAlreadyRunning = 1056;
inline constexpr ServiceError kErrorServiceDisabled = 1058;
inline constexpr ServiceError kErrorServiceDoesNotExist = 1060;
inline constexpr ServiceError kErrorServiceNotActive = 1062;
inline constexpr ServiceError kErrorServiceStartFailed = 1066;  // the service failed to start
inline constexpr ServiceError kErrorServiceMarkedForDelete = 1072;
inline constexpr ServiceError kErrorNotReady = 21;  // no service manager runs on this system

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
  virtual ServiceError QueryState(ServiceRunState& state) = 0;
  virtual ServiceError SendStop() = 0;  // does not wait for the stopped state
  // Starts the service and waits, for a bounded time, until the start has succeeded or failed.
  virtual ServiceError Start() = 0;
  virtual ServiceError Delete() = 0;
  // Type, start type, error control, program and account; the display name is kept.
  virtual ServiceError Reconfigure(const ServiceDefinition& definition) = 0;
  virtual ServiceError SetDescription(std::string_view description) = 0;
};

class ServiceManagerHandle {
 public:
  virtual ~ServiceManagerHandle() = default;
  virtual ServiceError OpenService(std::string_view name, std::unique_ptr<ServiceHandle>& out) = 0;
  virtual ServiceError CreateService(const ServiceDefinition& definition,
                                     std::unique_ptr<ServiceHandle>& out) = 0;
};

class ServiceManager {
 public:
  virtual ~ServiceManager() = default;
  // `full_access`: every action but the running-state query, which only connects.
  virtual ServiceError Connect(bool full_access, std::unique_ptr<ServiceManagerHandle>& out) = 0;
};

}  // namespace corvane
