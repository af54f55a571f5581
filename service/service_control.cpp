#include "service/service_control.h"

#include <cerrno>
#include <filesystem>
#include <optional>
#include <tuple>

#include "config/profile_paths.h"
#include "platform/files.h"

namespace corvane {
namespace {

constexpr char kLineBreak[] = "\r\n";
constexpr char kAdministratorHint[] = "You need to run the program as an administrator.";
constexpr char kReinstallHint[] = "You need to reinstall the service.";
// Where no systemd runs (a container, another init system), no rights would help.
constexpr char kNoSystemdHint[] = "The systemd service manager is not running on this system.";

constexpr char kNoManager[] = "Failed: Can not get access to the service manager.";
constexpr char kCannotOpen[] = "Failed: Can not open the service.";
constexpr char kCannotStop[] = "Failed: Can not stop the service.";

// The texts name the real folders: the system folder, the user's profile file and the folder the
// desktop program was installed in.
std::string NoPaths() {
  return "Failed: Can not get the path to \"" + SystemDirectory() + "\" or \"~\".";
}

std::string CannotCreate(const char* file) {
  return std::string("Failed: Can not create file \"") + file + "\" in \"" + SystemDirectory() +
         "\".";
}

std::string WithHint(const std::string& text, const char* hint) { return text + kLineBreak + hint; }

std::string NoManager(std::error_code error) {
  return WithHint(kNoManager,
                  error == ServiceManagerError::kNotReady ? kNoSystemdHint : kAdministratorHint);
}

bool IsMissing(std::error_code error) {
  return error == ServiceManagerError::kFileNotFound || error == ServiceManagerError::kPathNotFound;
}

bool IsAbsent(std::error_code error) {
  return error == ServiceManagerError::kInvalidName || error == ServiceManagerError::kDoesNotExist;
}

// A state in which the service must be sent a stop before it can be replaced or removed.
bool IsActive(ServiceRunState state) {
  return state == ServiceRunState::kStartPending || state == ServiceRunState::kRunning ||
         state == ServiceRunState::kContinuePending || state == ServiceRunState::kPausePending ||
         state == ServiceRunState::kPaused;
}

// Copies the profile to the service configuration; the failure text, or nothing on success.
std::optional<std::string> CopyConfiguration(FileCopier& files, const ServicePaths& paths) {
  const std::error_code error =
      files.CopyFile(paths.profile, paths.service_configuration, kServiceConfigurationMode);
  if (!error) return std::nullopt;
  if (IsMissing(error)) return "Failed: The file \"" + paths.profile + "\" not found.";
  return WithHint(CannotCreate("CorvaneService.dat"), kAdministratorHint);
}

// Opens the manager and the service as Start, Stop do; the failure text, or nothing.
std::optional<std::string> OpenForControl(ServiceManager& manager,
                                          std::unique_ptr<ServiceManagerHandle>& connection,
                                          std::unique_ptr<ServiceHandle>& service) {
  if (const std::error_code error = manager.Connect(true, connection)) return NoManager(error);
  const std::error_code error = connection->OpenService(kServiceName, service);
  if (!error) return std::nullopt;
  const bool gone = IsAbsent(error) || error == ServiceManagerError::kMarkedForDelete;
  return WithHint(kCannotOpen, gone ? kReinstallHint : kAdministratorHint);
}

ServiceOutcome Succeeded(std::string text) { return {true, "Success: " + std::move(text)}; }

ServiceOutcome Failed(std::string message) { return {false, std::move(message)}; }

// The outcome, or a failure without a message when the action failed with an exception.
template <typename Action>
ServiceOutcome Guarded(Action action) {
  try {
    return action();
  } catch (...) {
    return {};
  }
}

}  // namespace

ServicePaths CurrentServicePaths() {
  ServicePaths paths;
  paths.profile = ProfilePathWithoutCreating().value_or("");
  paths.service_configuration = ServiceProfilePath().value_or("");
  paths.program_target = SystemFolderPath("CorvaneService").value_or("");
  // Empty when the program's own path is unknown.
  const std::filesystem::path own = std::filesystem::path(OwnExecutablePath()).parent_path();
  if (!own.empty()) paths.program_source = own / "CorvaneService";
  return paths;
}

ServiceOutcome ServiceControl::Install() {
  return Guarded([&]() -> ServiceOutcome {
    save_settings();
    if (paths.profile.empty() || paths.service_configuration.empty() ||
        paths.program_source.empty() || paths.program_target.empty()) {
      return Failed(NoPaths());
    }
    std::unique_ptr<ServiceManagerHandle> connection;
    if (const std::error_code error = manager.Connect(true, connection))
      return Failed(NoManager(error));

    bool ready = false, not_installed = false, state_known = false;
    std::unique_ptr<ServiceHandle> service;
    const std::error_code opened = connection->OpenService(kServiceName, service);
    if (!opened) {
      ServiceRunState state{};
      state_known = !service->QueryState(state);
      if (state_known && IsActive(state)) {
        ready = !service->SendStop();  // no wait for the stopped state
      } else {
        ready = state_known;
      }
      service.reset();
    } else {
      not_installed = IsAbsent(opened);
    }
    if (!ready && !not_installed) {
      return Failed(WithHint(state_known ? kCannotStop : kCannotOpen, kAdministratorHint));
    }

    if (auto failed = CopyConfiguration(files, paths)) return Failed(*failed);

    // A stopping service may still hold its program for a while.
    std::error_code copied =
        files.CopyFile(paths.program_source, paths.program_target, kServiceProgramMode);
    const bool source_missing = IsMissing(copied);
    for (int retry = 0; copied && !source_missing && retry < 15; ++retry) {
      copied = files.CopyFile(paths.program_source, paths.program_target, kServiceProgramMode);
      if (copied) sleep(std::chrono::milliseconds(1000));
    }
    if (copied) {
      if (source_missing) {
        return Failed("Failed: The file \"" + paths.program_source + "\" not found." + kLineBreak +
                      "You need to reinstall the program.");
      }
      return Failed(CannotCreate("CorvaneService"));
    }

    ServiceDefinition definition;
    definition.program = paths.program_target;
    // With a service handle, Install has succeeded: neither the reconfiguration's nor the
    // description's result is examined (the unit file written by either already holds the
    // description).
    if (!connection->OpenService(kServiceName, service)) {
      std::ignore = service->Reconfigure(definition);
      std::ignore = service->SetDescription(definition.description);
    } else if (!connection->CreateService(definition, service)) {
      std::ignore = service->SetDescription(definition.description);
    } else {
      service.reset();
    }
    if (!service) return Failed("Failed: Can not create service.");
    return Succeeded(std::string("The service was successfully installed.") + kLineBreak +
                     "The service will start automatically when the system boots." + kLineBreak +
                     "Click on \"Start\" to start the service immediately.");
  });
}

ServiceOutcome ServiceControl::Start() {
  return Guarded([&]() -> ServiceOutcome {
    stop_all_servers();  // before anything else, so local proxy servers stop even on failure
    std::unique_ptr<ServiceManagerHandle> connection;
    std::unique_ptr<ServiceHandle> service;
    if (auto failed = OpenForControl(manager, connection, service)) return Failed(*failed);
    const std::error_code started = service->Start();
    if (!started) return Succeeded("The service started successfully.");
    if (started == ServiceManagerError::kAlreadyRunning) {
      return Succeeded("The service is already running.");
    }
    if (started == ServiceManagerError::kDisabled) {
      ServiceRunState state{};
      if (!service->QueryState(state) && state == ServiceRunState::kRunning) {
        return Succeeded("The service is already running.");
      }
      return Failed(WithHint("Failed: The service is disabled.", kReinstallHint));
    }
    return Failed(WithHint("Failed: Can not start the service.", kReinstallHint));
  });
}

ServiceOutcome ServiceControl::Stop() {
  return Guarded([&]() -> ServiceOutcome {
    std::unique_ptr<ServiceManagerHandle> connection;
    std::unique_ptr<ServiceHandle> service;
    if (auto failed = OpenForControl(manager, connection, service)) return Failed(*failed);
    if (!service->SendStop()) return Succeeded("The service stopped successfully.");
    ServiceRunState state{};
    if (!service->QueryState(state) && state == ServiceRunState::kStopped) {
      return Succeeded("The service is already stopped.");
    }
    return Failed(kCannotStop);
  });
}

ServiceOutcome ServiceControl::Remove() {
  return Guarded([&]() -> ServiceOutcome {
    std::unique_ptr<ServiceManagerHandle> connection;
    if (const std::error_code error = manager.Connect(true, connection))
      return Failed(NoManager(error));
    std::unique_ptr<ServiceHandle> service;
    const std::error_code opened = connection->OpenService(kServiceName, service);
    if (IsAbsent(opened) || opened == ServiceManagerError::kMarkedForDelete) {
      return Succeeded("The service already deleted.");
    }
    if (opened) return Failed(WithHint(kCannotOpen, kAdministratorHint));
    ServiceRunState state{};
    if (!service->QueryState(state) && IsActive(state)) {
      std::ignore = service->SendStop();  // not examined, not waited for
    }
    const std::error_code deleted = service->Delete();
    if (!deleted) return Succeeded("The service removed successfully.");
    if (deleted == ServiceManagerError::kMarkedForDelete) {
      return Succeeded("The service already deleted.");
    }
    return Failed("Failed: Can not delete the service.");
  });
}

ServiceOutcome ServiceControl::Apply() {
  return Guarded([&]() -> ServiceOutcome {
    save_settings();
    if (paths.profile.empty() || paths.service_configuration.empty()) return Failed(NoPaths());
    if (auto failed = CopyConfiguration(files, paths)) return Failed(*failed);
    return Succeeded(std::string("Configuration file has been updated successfully.") + kLineBreak +
                     "You need to restart the service to take effect.");
  });
}

bool QueryServiceRunning(ServiceManager& manager) {
  try {
    std::unique_ptr<ServiceManagerHandle> connection;
    std::unique_ptr<ServiceHandle> service;
    ServiceRunState state{};
    if (manager.Connect(false, connection) || connection->OpenService(kServiceName, service) ||
        service->QueryState(state)) {
      return false;
    }
    return state == ServiceRunState::kRunning || state == ServiceRunState::kContinuePending ||
           state == ServiceRunState::kPausePending || state == ServiceRunState::kPaused;
  } catch (...) {
    return false;
  }
}

std::error_code SystemFileCopier::CopyFile(const std::string& from, const std::string& to,
                                           unsigned mode) {
  // "Not found" speaks of the source only: the system folder always exists for the service
  // actions, so it is made when missing (the Windows directory is never missing either).
  if (!PathExists(from)) return ServiceManagerError::kFileNotFound;
  // A bare name has no folder to make: it is the working folder's.
  const std::string folder = std::filesystem::path(to).parent_path();
  if (!folder.empty()) {
    CreateDirectory(folder, kServiceProgramMode);
    SetOwnFolderMode(folder, kServiceProgramMode);
  }
  const std::error_code error = CopyFileReplacing(from, to, mode);
  if (error == std::errc::no_such_file_or_directory) {
    // The source went away meanwhile, or the target folder could not be made.
    return PathExists(from) ? error : std::error_code(ServiceManagerError::kFileNotFound);
  }
  if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted ||
      error == std::errc::read_only_file_system) {
    return ServiceManagerError::kAccessDenied;
  }
  return error;  // none, or any other failure
}

}  // namespace corvane
