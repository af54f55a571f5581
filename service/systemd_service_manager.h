// The service control manager on systemd: the service is the unit CorvaneService.service, whose
// unit file the actions write into /etc/systemd/system from the repository's template, and which
// they load, enable, start, stop, disable and remove through systemd's D-Bus API.
//
// States: active and reloading are running, activating is start pending, deactivating is stop
// pending, inactive and failed are stopped. A unit whose file is gone while it still runs is
// "marked for delete". systemd has no display name apart from the description; the definition's
// display name is not written.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/systemd_bus.h"
#include "service/service_manager_api.h"

namespace corvane {

// The unit file of `definition`: the template with its description, program and system folder.
std::string UnitFileText(const ServiceDefinition& definition);

ServiceRunState StateOfActiveState(std::string_view active_state);

struct SystemdManagerOptions {
  std::string unit_folder = "/etc/systemd/system";
  // Opens the connection to systemd; nothing (and the errno) when it cannot be reached.
  std::function<std::unique_ptr<SystemdBus>(int& error)> open_bus = SystemdBus::OpenSystem;
  // Writing unit files needs root: without it, full access is refused at once.
  bool full_access_needs_root = true;
};

class SystemdServiceManager final : public ServiceManager {
 public:
  explicit SystemdServiceManager(SystemdManagerOptions options = {})
      : options_(std::move(options)) {}
  ServiceError Connect(bool full_access, std::unique_ptr<ServiceManagerHandle>& out) override;

 private:
  SystemdManagerOptions options_;
};

}  // namespace corvane
