// The desktop program's service actions: Install / ReInstall, Start, Stop, UnInstall and Apply,
// each returning its outcome and the text of its one result message, and the running-state query.
// Qt-free; the window shows the text.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "service/service_manager.h"

namespace corvane {

// The modes of what the actions copy: the configuration holds passwords and is for the service
// (root) alone; the service program runs as root, so nobody else may change it. Neither takes
// the mode of its source.
inline constexpr unsigned kServiceConfigurationMode = 0600;
inline constexpr unsigned kServiceProgramMode = 0755;

// Copies a file over another with permission bits `mode`, replacing it only once the copy is
// complete, so that a running service never reads half a configuration. Answers no error,
// kFileNotFound or kPathNotFound (the source is missing), kAccessDenied, or an errno.
class FileCopier {
 public:
  virtual ~FileCopier() = default;
  [[nodiscard]] virtual std::error_code CopyFile(const std::string& from, const std::string& to,
                                                 unsigned mode) = 0;
};

// The files the actions work with. An empty path could not be built.
struct ServicePaths {
  std::string profile;                // ~/Corvane/profile.dat
  std::string service_configuration;  // <system folder>/CorvaneService.dat
  std::string program_source;         // beside the running desktop program
  std::string program_target;         // <system folder>/CorvaneService
};

// The paths of this process: the profile of its user, the system folder, and the folder of its
// own executable; each empty when its folder's name is out of bounds.
[[nodiscard]] ServicePaths CurrentServicePaths();

// What a service action came to: whether it succeeded (the service is as asked, also when it
// already was), and the text of its one result message. An action that failed with an exception
// has no message.
struct ServiceOutcome {
  bool succeeded = false;
  std::string message;
};

struct ServiceControl {
  ServiceManager& manager;
  FileCopier& files;
  ServicePaths paths;
  std::function<void()> save_settings;     // Install and Apply: store the pages, write the profile
  std::function<void()> stop_all_servers;  // Start: stop every local proxy server first
  std::function<void(std::chrono::milliseconds)> sleep;  // between copy retries

  [[nodiscard]] ServiceOutcome Install();
  [[nodiscard]] ServiceOutcome Start();
  [[nodiscard]] ServiceOutcome Stop();
  [[nodiscard]] ServiceOutcome Remove();
  [[nodiscard]] ServiceOutcome Apply();
};

// Whether the service runs (or continues, pauses or is paused); false on any failure.
[[nodiscard]] bool QueryServiceRunning(ServiceManager& manager);

// The real pieces: files copied through a new file and a rename. The target folder is made, or
// set, with mode 0755 when it is ours; copies made by root belong to root.
class SystemFileCopier final : public FileCopier {
 public:
  std::error_code CopyFile(const std::string& from, const std::string& to, unsigned mode) override;
};

}  // namespace corvane
