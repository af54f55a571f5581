// The desktop program's service actions from the command line, for the system tests that run them
// against a real systemd. Like the desktop program, it finds the service program beside itself
// and the profile in ~/Corvane.
//
//   corvane_service_actions install|start|stop|remove|apply   prints the result text
//   corvane_service_actions running                           prints yes or no
//   corvane_service_actions profile                           writes the relay profile below
//   corvane_service_actions relay                             sends a magic packet to port 9 and
//                                                             waits for the relayed copies
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

#include "config/profile_file.h"
#include "platform/files.h"
#include "service/service_control.h"
#include "service/systemd_service_manager.h"
#include "tests/support/loopback.h"
#include "tests/support/packets.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

// The relay the profile sets up: port 9 in, out as a directed broadcast on the test's own
// interface (10.200.0.1/24) and to "localhost" by name.
constexpr std::uint16_t kBroadcastPort = 40009;
constexpr std::uint16_t kNamedPort = 40010;

int WriteProfile() {
  ProxyServerTable table;
  ProxyServerSettings proxy = *NewProxyServerSettings("relay");
  proxy.ServerAutoStartOnService = true;
  proxy.RecvPort = proxy.SendPort = 9;
  proxy.DontRecvFromYourIp = false;
  proxy.SendToHostsList = {{"10.200.0.1", 24, kBroadcastPort}, {"localhost", 32, kNamedPort}};
  static_cast<void>(table.Register(proxy));
  const std::optional<std::string> path = ProfilePath();
  if (!path || !ReplaceFile(*path, WriteProfileImage(table, {}, false, CurrentUtcTime()), 0644)) {
    std::cout << "the profile could not be written\n";
    return 1;
  }
  return 0;
}

// The service waits a few seconds before its proxy servers start; so does this.
int CheckRelay() {
  UdpSocket broadcast_sink = UdpSocket::Open(AddressFamily::kIpv4);
  UdpSocket named_sink = UdpSocket::Open(AddressFamily::kIpv4);
  UdpSocket sender = test::PeerSocket(AddressFamily::kIpv4);
  if (!broadcast_sink.Bind(kBroadcastPort) || !broadcast_sink.EnableArrivalInfo() ||
      !named_sink.Bind(kNamedPort)) {
    std::cout << "the receiving sockets could not be bound\n";
    return 1;
  }
  const auto packet = test::MagicPayload({0x00, 0x11, 0x22, 0x33, 0x44, 0x55});
  std::optional<test::Received> broadcast, named;
  for (int attempt = 0; attempt < 150 && !(broadcast && named); ++attempt) {
    static_cast<void>(sender.SendTo(packet, test::Loopback(AddressFamily::kIpv4, 9)));
    if (!broadcast) broadcast = test::ReceiveWithin(broadcast_sink, 100ms);
    if (!named) named = test::ReceiveWithin(named_sink, 1ms);
  }
  const auto describe = [&](const char* what, const std::optional<test::Received>& got) {
    std::cout << what << ": ";
    if (!got) {
      std::cout << "nothing\n";
    } else {
      std::cout << got->payload.size() << " bytes from port " << got->sender.port
                << (got->payload == packet ? ", the packet sent" : ", OTHER BYTES")
                << (got->broadcast ? ", as a broadcast" : "") << "\n";
    }
  };
  describe("directed broadcast", broadcast);
  describe("by host name", named);
  const bool ok = broadcast && broadcast->payload == packet && broadcast->broadcast &&
                  broadcast->sender.port == 9 && named && named->payload == packet;
  return ok ? 0 : 1;
}

int Act(const std::string& action) {
  SystemdServiceManager manager;
  SystemFileCopier copier;
  ServiceControl control{
      manager, copier, CurrentServicePaths(),
      [] {},   [] {},  [](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); }};
  std::string result;
  if (action == "install") {
    result = control.Install();
  } else if (action == "start") {
    result = control.Start();
  } else if (action == "stop") {
    result = control.Stop();
  } else if (action == "remove") {
    result = control.Remove();
  } else if (action == "apply") {
    result = control.Apply();
  } else if (action == "running") {
    result = QueryServiceRunning(manager) ? "yes" : "no";
  } else {
    std::cerr << "unknown action " << action << "\n";
    return 2;
  }
  // One line per line of the message box.
  for (std::size_t at = result.find("\r\n"); at != std::string::npos; at = result.find("\r\n")) {
    result.replace(at, 2, "\n");
  }
  std::cout << result << "\n";
  return 0;
}

}  // namespace
}  // namespace corvane

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: corvane_service_actions ACTION\n";
    return 2;
  }
  const std::string action = argv[1];
  if (action == "profile") return corvane::WriteProfile();
  if (action == "relay") return corvane::CheckRelay();
  return corvane::Act(action);
}
