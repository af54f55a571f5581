// The service control manager on systemd: the service is the unit CorvaneService.service, whose
// unit file the actions write into /etc/systemd/system from the repository's template, and which
// they load, enable, start, stop, disable and remove through systemd's D-Bus API.
//
// States: active and reloading are running, activating is start pending, deactivating is stop
// pending, inactive and failed are stopped. A unit whose file is gone while it still runs is
// "marked for delete". systemd has no display name apart from the description; the definition's
// display name is not written.
//
// The actions reach systemd over the system bus, or, for root when the bus daemon is not there,
// over systemd's own socket. Where systemd does not run at all, Connect answers kNotReady.
// Start waits for the start job: success only when systemd reports it done.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/systemd_bus.h"
#include "service/service_manager.h"

namespace corvane {

// The unit file of `definition`: the template with its description, program and system folder.
[[nodiscard]] std::string UnitFileText(const ServiceDefinition& definition);

[[nodiscard]] ServiceRunState StateOfActiveState(std::string_view active_state);

struct SystemdManagerOptions {
  std::string unit_folder = "/etc/systemd/system";
  std::function<bool()> manager_running = SystemdBus::ManagerRunning;
  // Open the connection to systemd through the bus, or directly on its own socket; no bus (and
  // why) when it cannot be reached.
  std::function<OpenedBus()> open_bus = SystemdBus::OpenSystem;
  std::function<OpenedBus()> open_manager_socket = SystemdBus::OpenManagerSocket;
  // Writing unit files and systemd's own socket need root: without it, full access is refused
  // at once and there is no second way in.
  bool full_access_needs_root = true;
  // How long Start waits for systemd to report how the start ended.
  std::chrono::milliseconds start_wait{30000};
};

class SystemdServiceManager final : public ServiceManager {
 public:
  explicit SystemdServiceManager(SystemdManagerOptions options = {})
      : options_(std::move(options)) {}
  std::error_code Connect(bool full_access, std::unique_ptr<ServiceManagerHandle>& out) override;

 private:
  SystemdManagerOptions options_;
};

}  // namespace corvane
