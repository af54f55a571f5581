#include "platform/systemd_bus.h"

#include <systemd/sd-bus.h>
#include <systemd/sd-daemon.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/errno_code.h"

namespace corvane {
namespace {

constexpr char kDestination[] = "org.freedesktop.systemd1";
constexpr char kManagerPath[] = "/org/freedesktop/systemd1";
constexpr char kManager[] = "org.freedesktop.systemd1.Manager";
constexpr char kManagerSocket[] = "unix:path=/run/systemd/private";

// A direct connection to systemd (no bus daemon in between), given its address or socket by
// `attach` before it starts. Null and the reason when any step fails.
template <typename Attach>
std::pair<sd_bus*, std::error_code> StartDirectBus(Attach attach) {
  sd_bus* bus = nullptr;
  int result = sd_bus_new(&bus);
  if (result >= 0) result = attach(bus);
  if (result >= 0) result = sd_bus_start(bus);
  if (result < 0) {
    sd_bus_unref(bus);
    return {nullptr, ErrnoCode(-result)};
  }
  return {bus, {}};
}

// Frees sd-bus objects when the call is over.
struct CallState {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  ~CallState() {
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
  }
  BusResult Result(int returned) const {
    if (returned >= 0) return {};
    return {ErrnoCode(-returned), error.name != nullptr ? error.name : ""};
  }
};

// The JobRemoved signals seen while waiting for one job: its object path and its result.
struct JobEnds {
  std::vector<std::pair<std::string, std::string>> ended;

  static int Take(sd_bus_message* message, void* data, sd_bus_error*) {
    std::uint32_t id = 0;
    const char* job = nullptr;
    const char* unit = nullptr;
    const char* result = nullptr;
    if (sd_bus_message_read(message, "uoss", &id, &job, &unit, &result) >= 0) {
      static_cast<JobEnds*>(data)->ended.emplace_back(job, result);
    }
    return 0;
  }

  const std::string* ResultOf(const std::string& job) const {
    for (const auto& [path, result] : ended) {
      if (path == job) return &result;
    }
    return nullptr;
  }
};

}  // namespace

struct SystemdBus::Bus {
  sd_bus* bus = nullptr;
  bool direct = false;  // a connection to systemd itself rather than through the bus daemon
};

SystemdBus::~SystemdBus() {
  sd_bus_flush_close_unref(bus_->bus);
  delete bus_;
}

bool SystemdBus::ManagerRunning() { return sd_booted() > 0; }

OpenedBus SystemdBus::OpenSystem() {
  sd_bus* bus = nullptr;
  const int opened = sd_bus_open_system(&bus);
  if (opened < 0) return {nullptr, ErrnoCode(-opened)};
  return {std::unique_ptr<SystemdBus>(new SystemdBus(new Bus{bus})), {}};
}

OpenedBus SystemdBus::OpenManagerSocket() {
  const auto [bus, error] =
      StartDirectBus([](sd_bus* fresh) { return sd_bus_set_address(fresh, kManagerSocket); });
  if (bus == nullptr) return {nullptr, error};
  return {std::unique_ptr<SystemdBus>(new SystemdBus(new Bus{bus, true})), {}};
}

OpenedBus SystemdBus::OpenOnSocket(int fd) {
  const auto [bus, error] =
      StartDirectBus([fd](sd_bus* fresh) { return sd_bus_set_fd(fresh, fd, fd); });
  if (bus == nullptr) return {nullptr, error};
  return {std::unique_ptr<SystemdBus>(new SystemdBus(new Bus{bus, true})), {}};
}

BusResult SystemdBus::LoadUnit(std::string_view unit, std::string& object_path) {
  CallState call;
  const std::string name(unit);
  int result = sd_bus_call_method(bus_->bus, kDestination, kManagerPath, kManager, "LoadUnit",
                                  &call.error, &call.reply, "s", name.c_str());
  const char* path = nullptr;
  if (result >= 0) result = sd_bus_message_read(call.reply, "o", &path);
  if (result >= 0) object_path = path;
  return call.Result(result);
}

BusResult SystemdBus::UnitProperty(std::string_view object_path, const char* property,
                                   std::string& value) {
  return StringProperty(object_path, "org.freedesktop.systemd1.Unit", property, value);
}

BusResult SystemdBus::ServiceProperty(std::string_view object_path, const char* property,
                                      std::string& value) {
  return StringProperty(object_path, "org.freedesktop.systemd1.Service", property, value);
}

BusResult SystemdBus::StringProperty(std::string_view object_path, const char* interface,
                                     const char* property, std::string& value) {
  CallState call;
  char* text = nullptr;
  const std::string path(object_path);
  const int result = sd_bus_get_property_string(bus_->bus, kDestination, path.c_str(), interface,
                                                property, &call.error, &text);
  if (result >= 0) {
    value = text;
    free(text);
  }
  return call.Result(result);
}

BusResult SystemdBus::StartUnit(std::string_view unit, std::chrono::milliseconds bound,
                                std::string& job_result) {
  job_result.clear();
  // systemd tells the client that queued a job how it ended, without a subscription. The match
  // is in place before the job exists, so that its end cannot pass unseen. Through the bus daemon
  // only systemd may speak for systemd; a direct connection has no one else on it (and no sender
  // names).
  JobEnds ends;
  sd_bus_slot* slot = nullptr;
  CallState match;
  int result = sd_bus_match_signal(bus_->bus, &slot, bus_->direct ? nullptr : kDestination,
                                   kManagerPath, kManager, "JobRemoved", &JobEnds::Take, &ends);
  if (result < 0) return match.Result(result);

  CallState call;
  const std::string name(unit);
  result = sd_bus_call_method(bus_->bus, kDestination, kManagerPath, kManager, "StartUnit",
                              &call.error, &call.reply, "ss", name.c_str(), "replace");
  const char* job_path = nullptr;
  if (result >= 0) result = sd_bus_message_read(call.reply, "o", &job_path);
  if (result < 0) {
    sd_bus_slot_unref(slot);
    return call.Result(result);
  }
  const std::string job(job_path);
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (true) {
    // Everything already received first; then wait for more, up to the deadline.
    while ((result = sd_bus_process(bus_->bus, nullptr)) > 0) {
    }
    if (const std::string* ended = ends.ResultOf(job)) {
      job_result = *ended;
      break;
    }
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
        deadline - std::chrono::steady_clock::now());
    if (result < 0 || left.count() <= 0) break;  // a lost connection ends the wait as well
    sd_bus_wait(bus_->bus, static_cast<std::uint64_t>(left.count()));
  }
  sd_bus_slot_unref(slot);
  return {};
}

BusResult SystemdBus::StopUnit(std::string_view unit) {
  CallState call;
  const std::string name(unit);
  return call.Result(sd_bus_call_method(bus_->bus, kDestination, kManagerPath, kManager, "StopUnit",
                                        &call.error, &call.reply, "ss", name.c_str(), "replace"));
}

BusResult SystemdBus::Reload() {
  CallState call;
  return call.Result(sd_bus_call_method(bus_->bus, kDestination, kManagerPath, kManager, "Reload",
                                        &call.error, &call.reply, ""));
}

BusResult SystemdBus::EnableUnitFile(std::string_view unit) {
  CallState call;
  const std::string name(unit);
  // Not only for this boot (runtime false), replacing conflicting links (force true).
  return call.Result(sd_bus_call_method(bus_->bus, kDestination, kManagerPath, kManager,
                                        "EnableUnitFiles", &call.error, &call.reply, "asbb", 1,
                                        name.c_str(), 0, 1));
}

BusResult SystemdBus::DisableUnitFile(std::string_view unit) {
  CallState call;
  const std::string name(unit);
  return call.Result(sd_bus_call_method(bus_->bus, kDestination, kManagerPath, kManager,
                                        "DisableUnitFiles", &call.error, &call.reply, "asb", 1,
                                        name.c_str(), 0));
}

}  // namespace corvane
