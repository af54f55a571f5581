#include "platform/systemd_bus.h"

#include <systemd/sd-bus.h>

#include <string>

namespace corvane {
namespace {

constexpr char kDestination[] = "org.freedesktop.systemd1";
constexpr char kManagerPath[] = "/org/freedesktop/systemd1";
constexpr char kManager[] = "org.freedesktop.systemd1.Manager";

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
    return {-returned, error.name != nullptr ? error.name : ""};
  }
};

}  // namespace

struct SystemdBus::Bus {
  sd_bus* bus = nullptr;
};

SystemdBus::~SystemdBus() {
  sd_bus_flush_close_unref(bus_->bus);
  delete bus_;
}

std::unique_ptr<SystemdBus> SystemdBus::OpenSystem(int& error) {
  sd_bus* bus = nullptr;
  const int opened = sd_bus_open_system(&bus);
  if (opened < 0) {
    error = -opened;
    return nullptr;
  }
  error = 0;
  return std::unique_ptr<SystemdBus>(new SystemdBus(new Bus{bus}));
}

std::unique_ptr<SystemdBus> SystemdBus::OpenOnSocket(int fd, int& error) {
  sd_bus* bus = nullptr;
  int result = sd_bus_new(&bus);
  if (result >= 0) result = sd_bus_set_fd(bus, fd, fd);
  if (result >= 0) result = sd_bus_start(bus);
  if (result < 0) {
    sd_bus_unref(bus);
    error = -result;
    return nullptr;
  }
  error = 0;
  return std::unique_ptr<SystemdBus>(new SystemdBus(new Bus{bus}));
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
  CallState call;
  char* text = nullptr;
  const std::string path(object_path);
  const int result =
      sd_bus_get_property_string(bus_->bus, kDestination, path.c_str(),
                                 "org.freedesktop.systemd1.Unit", property, &call.error, &text);
  if (result >= 0) {
    value = text;
    free(text);
  }
  return call.Result(result);
}

BusResult SystemdBus::StartUnit(std::string_view unit) {
  CallState call;
  const std::string name(unit);
  return call.Result(sd_bus_call_method(bus_->bus, kDestination, kManagerPath, kManager,
                                        "StartUnit", &call.error, &call.reply, "ss", name.c_str(),
                                        "replace"));
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
