#include "tests/support/fake_systemd.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <filesystem>

namespace corvane::test {
namespace {

constexpr char kUnitPathPrefix[] = "/org/freedesktop/systemd1/unit/";

std::string UnitOfPath(const std::string& path) {
  std::string escaped = path.substr(sizeof kUnitPathPrefix - 1);
  for (std::size_t at = escaped.find("_2e"); at != std::string::npos; at = escaped.find("_2e")) {
    escaped.replace(at, 3, ".");
  }
  return escaped;
}

std::string PathOfUnit(const std::string& unit) {
  std::string escaped;
  for (char c : unit) escaped += c == '.' ? std::string("_2e") : std::string(1, c);
  return kUnitPathPrefix + escaped;
}

}  // namespace

struct FakeSystemd::Handler {
  static int Call(sd_bus_message* message, void* data, sd_bus_error*) {
    auto& self = *static_cast<FakeSystemd*>(data);
    const std::string member = sd_bus_message_get_member(message);
    const std::string path = sd_bus_message_get_path(message);
    std::lock_guard lock(self.mutex_);

    if (member == "Get") {  // org.freedesktop.DBus.Properties
      const char* interface = nullptr;
      const char* property = nullptr;
      sd_bus_message_read(message, "ss", &interface, &property);
      const std::string unit = UnitOfPath(path);
      std::string value;
      if (std::string(property) == "LoadState") {
        value = std::filesystem::exists(self.unit_folder_ + "/" + unit) ? "loaded" : "not-found";
      } else if (std::string(property) == "ActiveState") {
        value = self.active_.count(unit) ? self.active_[unit] : "inactive";
      } else {
        value = self.enabled_.count(unit) ? "enabled" : "disabled";
      }
      return sd_bus_reply_method_return(message, "v", "s", value.c_str());
    }

    const char* unit = nullptr;
    if (member == "LoadUnit") {
      sd_bus_message_read(message, "s", &unit);
      self.calls_.push_back(member + " " + unit);
      return sd_bus_reply_method_return(message, "o", PathOfUnit(unit).c_str());
    }
    if (member == "StartUnit" || member == "StopUnit") {
      const char* mode = nullptr;
      sd_bus_message_read(message, "ss", &unit, &mode);
      self.calls_.push_back(member + " " + unit);
      if (!std::filesystem::exists(self.unit_folder_ + "/" + unit)) {
        return sd_bus_reply_method_errorf(message, "org.freedesktop.systemd1.NoSuchUnit",
                                          "Unit %s not found.", unit);
      }
      constexpr char kJob[] = "/org/freedesktop/systemd1/job/1";
      if (member == "StopUnit") {
        self.active_[unit] = "inactive";
        return sd_bus_reply_method_return(message, "o", kJob);
      }
      const auto scripted = self.start_results_.find(unit);
      const std::string result = scripted == self.start_results_.end() ? "done" : scripted->second;
      self.active_[unit] = result == "done" ? "active" : result.empty() ? "activating" : "failed";
      const int replied = sd_bus_reply_method_return(message, "o", kJob);
      if (replied < 0 || result.empty()) return replied;
      return sd_bus_emit_signal(sd_bus_message_get_bus(message), "/org/freedesktop/systemd1",
                                "org.freedesktop.systemd1.Manager", "JobRemoved", "uoss", 1u, kJob,
                                unit, result.c_str());
    }
    if (member == "Reload") {
      self.calls_.push_back(member);
      ++self.reloads_;
      return sd_bus_reply_method_return(message, "");
    }
    if (member == "EnableUnitFiles" || member == "DisableUnitFiles") {
      sd_bus_message_enter_container(message, 'a', "s");
      while (sd_bus_message_read(message, "s", &unit) > 0) {
        self.calls_.push_back(member + " " + unit);
        if (member == "EnableUnitFiles") {
          self.enabled_.insert(unit);
        } else {
          self.enabled_.erase(unit);
        }
      }
      if (member == "EnableUnitFiles") return sd_bus_reply_method_return(message, "ba(sss)", 0, 0);
      return sd_bus_reply_method_return(message, "a(sss)", 0);
    }
    return 0;  // sd-bus answers "unknown method"
  }
};

FakeSystemd::~FakeSystemd() {
  quit_ = true;
  for (std::thread& server : servers_) server.join();
}

int FakeSystemd::Connect() {
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    ADD_FAILURE() << "socketpair";
    return -1;
  }
  servers_.emplace_back([this, fd = ends[0]] { Serve(fd); });
  return ends[1];
}

void FakeSystemd::Serve(int fd) {
  sd_bus* bus = nullptr;
  sd_id128_t id;
  sd_id128_randomize(&id);
  if (sd_bus_new(&bus) < 0 || sd_bus_set_fd(bus, fd, fd) < 0 || sd_bus_set_server(bus, 1, id) < 0 ||
      sd_bus_add_fallback(bus, nullptr, "/", &Handler::Call, this) < 0 || sd_bus_start(bus) < 0) {
    ADD_FAILURE() << "the stand-in for systemd could not serve";
    sd_bus_unref(bus);
    return;
  }
  while (!quit_) {
    const int processed = sd_bus_process(bus, nullptr);
    if (processed < 0) break;  // the client went away
    if (processed == 0) sd_bus_wait(bus, 50000);
  }
  sd_bus_flush_close_unref(bus);
}

void FakeSystemd::SetActiveState(const std::string& unit, const std::string& state) {
  std::lock_guard lock(mutex_);
  active_[unit] = state;
}

void FakeSystemd::SetStartResult(const std::string& unit, const std::string& result) {
  std::lock_guard lock(mutex_);
  start_results_[unit] = result;
}

std::string FakeSystemd::ActiveState(const std::string& unit) {
  std::lock_guard lock(mutex_);
  return active_.count(unit) ? active_[unit] : "inactive";
}

bool FakeSystemd::Enabled(const std::string& unit) {
  std::lock_guard lock(mutex_);
  return enabled_.count(unit) != 0;
}

int FakeSystemd::reloads() {
  std::lock_guard lock(mutex_);
  return reloads_;
}

std::vector<std::string> FakeSystemd::calls() {
  std::lock_guard lock(mutex_);
  return calls_;
}

}  // namespace corvane::test
