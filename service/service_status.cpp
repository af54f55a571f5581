#include "service/service_status.h"

#include <unistd.h>

#include <memory>

#include "platform/systemd_bus.h"
#include "service/service_manager.h"

namespace corvane {

ServiceStatusReport QueryServiceStatus() {
  ServiceStatusReport report;
  if (!SystemdBus::ManagerRunning()) {
    report.error = ServiceManagerError::kNotReady;
    return report;
  }
  OpenedBus opened = SystemdBus::OpenSystem();
  if (!opened.bus && geteuid() == 0) opened = SystemdBus::OpenManagerSocket();
  if (!opened.bus) {
    report.error = opened.error;
    return report;
  }
  SystemdBus* bus = opened.bus.get();
  std::string path;
  BusResult result = bus->LoadUnit(std::string(kServiceName) + ".service", path);
  if (result.ok()) result = bus->UnitProperty(path, "LoadState", report.load_state);
  if (result.ok()) result = bus->UnitProperty(path, "ActiveState", report.active_state);
  if (result.ok()) result = bus->UnitProperty(path, "SubState", report.sub_state);
  // A unit that is not installed has no service part to ask.
  if (result.ok() && report.load_state != "not-found") {
    result = bus->ServiceProperty(path, "StatusText", report.status_text);
  }
  if (!result.ok()) {
    report = {};
    report.error = result.error;
  }
  return report;
}

}  // namespace corvane
