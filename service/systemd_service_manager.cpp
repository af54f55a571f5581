#include "service/systemd_service_manager.h"

#include <unistd.h>

#include <cerrno>

#include "platform/files.h"

namespace corvane {

std::string_view UnitFileTemplate();  // generated from CorvaneService.service.in

namespace {

constexpr std::string_view kUnitSuffix = ".service";

void ReplaceAll(std::string& text, std::string_view placeholder, std::string_view value) {
  for (std::size_t at = text.find(placeholder); at != std::string::npos;
       at = text.find(placeholder, at + value.size())) {
    text.replace(at, placeholder.size(), value);
  }
}

ServiceError FromBus(const BusResult& result) {
  if (result.ok()) return kErrorSuccess;
  const std::string& name = result.error_name;
  if (name == "org.freedesktop.systemd1.NoSuchUnit" ||
      name == "org.freedesktop.systemd1.LoadFailed") {
    return kErrorServiceDoesNotExist;
  }
  if (name == "org.freedesktop.systemd1.UnitMasked") return kErrorServiceDisabled;
  if (name == "org.freedesktop.DBus.Error.InvalidArgs") return kErrorInvalidName;
  if (name == "org.freedesktop.DBus.Error.AccessDenied" ||
      name == "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired" ||
      result.error == EACCES || result.error == EPERM) {
    return kErrorAccessDenied;
  }
  return 1000 + static_cast<ServiceError>(result.error);
}

// Writes the unit file and makes systemd read it and start it at boot.
ServiceError InstallUnit(SystemdBus& bus, const std::string& unit, const std::string& file,
                         const std::string& text) {
  if (!ReplaceFile(file, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, 0644)) {
    return kErrorAccessDenied;
  }
  if (const ServiceError error = FromBus(bus.Reload())) return error;
  return FromBus(bus.EnableUnitFile(unit));
}

class SystemdService final : public ServiceHandle {
 public:
  SystemdService(std::shared_ptr<SystemdBus> bus, std::string unit, std::string path,
                 std::string file, std::chrono::milliseconds start_wait)
      : bus_(std::move(bus)),
        unit_(std::move(unit)),
        path_(std::move(path)),
        file_(std::move(file)),
        start_wait_(start_wait) {}

  ServiceError QueryState(ServiceRunState& state) override {
    std::string active;
    if (const ServiceError error = FromBus(bus_->UnitProperty(path_, "ActiveState", active))) {
      return error;
    }
    state = StateOfActiveState(active);
    return kErrorSuccess;
  }

  ServiceError SendStop() override {
    ServiceRunState state{};
    if (const ServiceError error = QueryState(state)) return error;
    if (state == ServiceRunState::kStopped) return kErrorServiceNotActive;
    return FromBus(bus_->StopUnit(unit_));
  }

  ServiceError Start() override {
    ServiceRunState state{};
    if (const ServiceError error = QueryState(state)) return error;
    if (state == ServiceRunState::kRunning || state == ServiceRunState::kStartPending) {
      return kErrorServiceAlreadyRunning;
    }
    std::string file_state;
    if (bus_->UnitProperty(path_, "UnitFileState", file_state).ok() &&
        file_state.rfind("masked", 0) == 0) {
      return kErrorServiceDisabled;
    }
    std::string job_result;
    if (const ServiceError error = FromBus(bus_->StartUnit(unit_, start_wait_, job_result))) {
      return error;
    }
    if (job_result.empty()) return kErrorServiceRequestTimeout;
    return job_result == "done" ? kErrorSuccess : kErrorServiceStartFailed;
  }

  ServiceError Delete() override {
    if (!PathExists(file_)) return kErrorServiceMarkedForDelete;
    static_cast<void>(bus_->DisableUnitFile(unit_));
    if (!RemoveFile(file_)) return kErrorAccessDenied;
    return FromBus(bus_->Reload());
  }

  ServiceError Reconfigure(const ServiceDefinition& definition) override {
    return InstallUnit(*bus_, unit_, file_, UnitFileText(definition));
  }

  ServiceError SetDescription(std::string_view description) override {
    const auto current = ReadWholeFile(file_, 1 << 20);
    if (!current) return kErrorServiceDoesNotExist;
    std::string text(current->begin(), current->end());
    const std::size_t line = text.find("\nDescription=");
    if (line == std::string::npos) return kErrorSuccess;
    const std::size_t end = text.find('\n', line + 1);
    text.replace(line + 1, end - line - 1, "Description=" + std::string(description));
    return InstallUnit(*bus_, unit_, file_, text);
  }

 private:
  std::shared_ptr<SystemdBus> bus_;
  std::string unit_, path_, file_;
  std::chrono::milliseconds start_wait_;
};

class SystemdConnection final : public ServiceManagerHandle {
 public:
  SystemdConnection(std::shared_ptr<SystemdBus> bus, std::string unit_folder,
                    std::chrono::milliseconds start_wait)
      : bus_(std::move(bus)), unit_folder_(std::move(unit_folder)), start_wait_(start_wait) {}

  ServiceError OpenService(std::string_view name, std::unique_ptr<ServiceHandle>& out) override {
    if (name.empty() || name.find('/') != std::string_view::npos) return kErrorInvalidName;
    const std::string unit = std::string(name) + std::string(kUnitSuffix);
    std::string path;
    if (const ServiceError error = FromBus(bus_->LoadUnit(unit, path))) return error;
    std::string load_state, active_state;
    if (const ServiceError error = FromBus(bus_->UnitProperty(path, "LoadState", load_state))) {
      return error;
    }
    if (load_state == "not-found") {
      // Its file is gone; while it still runs it is on its way out.
      bus_->UnitProperty(path, "ActiveState", active_state);
      return StateOfActiveState(active_state) == ServiceRunState::kStopped
                 ? kErrorServiceDoesNotExist
                 : kErrorServiceMarkedForDelete;
    }
    out =
        std::make_unique<SystemdService>(bus_, unit, path, unit_folder_ + "/" + unit, start_wait_);
    return kErrorSuccess;
  }

  ServiceError CreateService(const ServiceDefinition& definition,
                             std::unique_ptr<ServiceHandle>& out) override {
    const std::string unit = definition.name + std::string(kUnitSuffix);
    if (const ServiceError error =
            InstallUnit(*bus_, unit, unit_folder_ + "/" + unit, UnitFileText(definition))) {
      return error;
    }
    return OpenService(definition.name, out);
  }

 private:
  std::shared_ptr<SystemdBus> bus_;
  std::string unit_folder_;
  std::chrono::milliseconds start_wait_;
};

}  // namespace

std::string UnitFileText(const ServiceDefinition& definition) {
  std::string text(UnitFileTemplate());
  const std::size_t slash = definition.program.rfind('/');
  const std::string folder =
      slash == std::string::npos || slash == 0 ? "/" : definition.program.substr(0, slash);
  ReplaceAll(text, "@DESCRIPTION@", definition.description);
  ReplaceAll(text, "@PROGRAM@", definition.program);
  ReplaceAll(text, "@SYSTEM_DIR@", folder);
  return text;
}

ServiceRunState StateOfActiveState(std::string_view active_state) {
  if (active_state == "active" || active_state == "reloading") return ServiceRunState::kRunning;
  if (active_state == "activating") return ServiceRunState::kStartPending;
  if (active_state == "deactivating") return ServiceRunState::kStopPending;
  return ServiceRunState::kStopped;  // inactive, failed, or anything unknown
}

ServiceError SystemdServiceManager::Connect(bool full_access,
                                            std::unique_ptr<ServiceManagerHandle>& out) {
  if (!options_.manager_running()) return kErrorNotReady;
  const bool root = !options_.full_access_needs_root || geteuid() == 0;
  if (full_access && !root) return kErrorAccessDenied;
  int error = 0;
  std::unique_ptr<SystemdBus> bus = options_.open_bus(error);
  if (!bus && root) bus = options_.open_manager_socket(error);  // the bus daemon is down
  if (!bus) {
    return error == EACCES || error == EPERM ? kErrorAccessDenied
                                             : 1000 + static_cast<ServiceError>(error);
  }
  out = std::make_unique<SystemdConnection>(std::shared_ptr<SystemdBus>(std::move(bus)),
                                            options_.unit_folder, options_.start_wait);
  return kErrorSuccess;
}

}  // namespace corvane
