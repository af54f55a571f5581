// What the whole-program benchmarks set up alike: a proxy server that relays loopback to loopback,
// a profile of proxy servers in a home folder, and the desktop program started on Qt's offscreen
// platform in that home.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "config/profile_file.h"
#include "config/proxy_server_settings.h"
#include "platform/files.h"

namespace corvane::bench {

// A proxy server `name` that receives and sends on `port` and relays every magic packet, this
// host's own included, to 127.0.0.1 at each of `destinations`.
inline ProxyServerSettings LoopbackRelay(const std::string& name, std::uint16_t port,
                                         std::initializer_list<std::uint16_t> destinations) {
  ProxyServerSettings settings = *NewProxyServerSettings(name);
  settings.RecvPort = settings.SendPort = port;
  settings.DontRecvFromYourIp = false;
  settings.SendToHostsList.clear();
  for (std::uint16_t to : destinations) settings.SendToHostsList.push_back({"127.0.0.1", 32, to});
  return settings;
}

// Writes ~/Corvane/profile.dat of `home` with `servers`, in order.
inline bool WriteProfile(const std::string& home, const std::vector<ProxyServerSettings>& servers) {
  ProxyServerTable table;
  for (const ProxyServerSettings& settings : servers) static_cast<void>(table.Register(settings));
  std::filesystem::create_directories(home + "/Corvane");
  return !WriteFileReplacing(home + "/Corvane/profile.dat",
                             WriteProfileImage(table, {}, false, CurrentUtcTime()), 0644);
}

// Starts the desktop program `program` offscreen with `home` as its home folder, its output
// thrown away; the child's pid, or -1.
inline pid_t StartDesktop(const std::string& program, const std::string& home) {
  std::fflush(nullptr);  // not once more by the child
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("HOME", home.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("XDG_RUNTIME_DIR", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    static_cast<void>(std::freopen("/dev/null", "w", stdout));
    static_cast<void>(std::freopen("/dev/null", "w", stderr));
    execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

}  // namespace corvane::bench
