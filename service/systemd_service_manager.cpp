#include "service/systemd_service_manager.h"

#include <unistd.h>

#include <filesystem>
#include <tuple>

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

bool IsRefusal(std::error_code error) {
  return error == std::errc::permission_denied || error == std::errc::operation_not_permitted;
}

std::error_code FromBus(const BusResult& result) {
  if (result.ok()) return {};
  const std::string& name = result.error_name;
  if (name == "org.freedesktop.systemd1.NoSuchUnit" ||
      name == "org.freedesktop.systemd1.LoadFailed") {
    return ServiceManagerError::kDoesNotExist;
  }
  if (name == "org.freedesktop.systemd1.UnitMasked") return ServiceManagerError::kDisabled;
  if (name == "org.freedesktop.DBus.Error.InvalidArgs") return ServiceManagerError::kInvalidName;
  if (name == "org.freedesktop.DBus.Error.AccessDenied" ||
      name == "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired" ||
      IsRefusal(result.error)) {
    return ServiceManagerError::kAccessDenied;
  }
  return result.error;
}

// Writes the unit file and makes systemd read it and start it at boot.
std::error_code InstallUnit(SystemdBus& bus, const std::string& unit, const std::string& file,
                            const std::string& text) {
  if (WriteFileReplacing(file, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()},
                         0644)) {
    return ServiceManagerError::kAccessDenied;
  }
  if (const std::error_code error = FromBus(bus.Reload())) return error;
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

  std::error_code QueryState(ServiceRunState& state) override {
    std::string active;
    if (const std::error_code error = FromBus(bus_->UnitProperty(path_, "ActiveState", active))) {
      return error;
    }
    state = StateOfActiveState(active);
    return {};
  }

  std::error_code SendStop() override {
    ServiceRunState state{};
    if (const std::error_code error = QueryState(state)) return error;
    if (state == ServiceRunState::kStopped) return ServiceManagerError::kNotActive;
    return FromBus(bus_->StopUnit(unit_));
  }

  std::error_code Start() override {
    ServiceRunState state{};
    if (const std::error_code error = QueryState(state)) return error;
    if (state == ServiceRunState::kRunning || state == ServiceRunState::kStartPending) {
      return ServiceManagerError::kAlreadyRunning;
    }
    std::string file_state;
    if (bus_->UnitProperty(path_, "UnitFileState", file_state).ok() &&
        file_state.rfind("masked", 0) == 0) {
      return ServiceManagerError::kDisabled;
    }
    std::string job_result;
    if (const std::error_code error = FromBus(bus_->StartUnit(unit_, start_wait_, job_result))) {
      return error;
    }
    if (job_result.empty()) return ServiceManagerError::kRequestTimeout;
    if (job_result != "done") return ServiceManagerError::kStartFailed;
    return {};
  }

  std::error_code Delete() override {
    if (!PathExists(file_)) return ServiceManagerError::kMarkedForDelete;
    static_cast<void>(bus_->DisableUnitFile(unit_));
    if (!RemoveFile(file_)) return ServiceManagerError::kAccessDenied;
    return FromBus(bus_->Reload());
  }

  std::error_code Reconfigure(const ServiceDefinition& definition) override {
    return InstallUnit(*bus_, unit_, file_, UnitFileText(definition));
  }

  std::error_code SetDescription(std::string_view description) override {
    const auto current = ReadWholeFile(file_, 1 << 20);
    if (!current) return ServiceManagerError::kDoesNotExist;
    std::string text(current->begin(), current->end());
    const std::size_t line = text.find("\nDescription=");
    if (line == std::string::npos) return {};
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

  std::error_code OpenService(std::string_view name, std::unique_ptr<ServiceHandle>& out) override {
    if (name.empty() || name.find('/') != std::string_view::npos) {
      return ServiceManagerError::kInvalidName;
    }
    const std::string unit = std::string(name) + std::string(kUnitSuffix);
    std::string path;
    if (const std::error_code error = FromBus(bus_->LoadUnit(unit, path))) return error;
    std::string load_state, active_state;
    if (const std::error_code error = FromBus(bus_->UnitProperty(path, "LoadState", load_state))) {
      return error;
    }
    if (load_state == "not-found") {
      // Its file is gone; while it still runs it is on its way out.
      // Unreadable, it counts as stopped: the service does not exist.
      std::ignore = bus_->UnitProperty(path, "ActiveState", active_state);
      return StateOfActiveState(active_state) == ServiceRunState::kStopped
                 ? ServiceManagerError::kDoesNotExist
                 : ServiceManagerError::kMarkedForDelete;
    }
    out =
        std::make_unique<SystemdService>(bus_, unit, path, unit_folder_ + "/" + unit, start_wait_);
    return {};
  }

  std::error_code CreateService(const ServiceDefinition& definition,
                                std::unique_ptr<ServiceHandle>& out) override {
    const std::string unit = definition.name + std::string(kUnitSuffix);
    if (const std::error_code error =
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
  // The program's folder; the root folder when it names none (a unit file wants an absolute one).
  std::string folder = std::filesystem::path(definition.program).parent_path();
  if (folder.empty()) folder = "/";
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

std::error_code SystemdServiceManager::Connect(bool full_access,
                                               std::unique_ptr<ServiceManagerHandle>& out) {
  if (!options_.manager_running()) return ServiceManagerError::kNotReady;
  const bool root = !options_.full_access_needs_root || geteuid() == 0;
  if (full_access && !root) return ServiceManagerError::kAccessDenied;
  OpenedBus opened = options_.open_bus();
  if (!opened.bus && root) opened = options_.open_manager_socket();  // the bus daemon is down
  if (!opened.bus)
    return IsRefusal(opened.error) ? ServiceManagerError::kAccessDenied : opened.error;
  out = std::make_unique<SystemdConnection>(std::shared_ptr<SystemdBus>(std::move(opened.bus)),
                                            options_.unit_folder, options_.start_wait);
  return {};
}

}  // namespace corvane
