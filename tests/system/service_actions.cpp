// The desktop program's service actions from the command line, for the tests that run them
// against a real systemd: the system tests and the packaging test. Like the desktop program, it
// finds the service program beside itself and the profile in ~/Corvane.
//
//   corvane_service_actions install [PROGRAM_FOLDER]    prints the result text; PROGRAM_FOLDER
//                                                       stands for the desktop program's folder
//   corvane_service_actions start|stop|remove|apply     prints the result text
//   corvane_service_actions running                     prints yes or no
//   corvane_service_actions profile                     writes the relay profile below
//   corvane_service_actions profile unflagged           the same, not flagged for the service
//   corvane_service_actions relay                       sends a magic packet to port 9 and waits
//                                                       for the relayed copies
//   corvane_service_actions profile RECV_PORT SINK_PORT writes a profile that relays RECV_PORT
//                                                       to 127.0.0.1:SINK_PORT
//   corvane_service_actions relay RECV_PORT SINK_PORT   sends magic packets to RECV_PORT until
//                                                       one arrives at SINK_PORT (15 s at most)
//   corvane_service_actions send PORT COUNT [MAC]       sends COUNT magic packets to PORT back to
//                                                       back, for MAC or each for a MAC of its own
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "config/list_entry_rules.h"
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
// interface (10.200.0.1/24), to "localhost" by name and to 10.200.0.2, a host on that link that
// answers no ARP; packets for kIgnoredMac are ignored.
constexpr std::uint16_t kBroadcastPort = 40009;
constexpr std::uint16_t kNamedPort = 40010;
constexpr std::uint16_t kSleepingPort = 40011;
constexpr MacAddress kIgnoredMac{0x02, 0x00, 0x00, 0x00, 0x00, 0x99};

// One proxy server (flagged for the service unless `flagged` is false), receiving on
// `receive_port` and sending to `to`; the test's packets come from this host.
int WriteProfile(std::uint16_t receive_port, std::vector<HostEntry> to, bool flagged = true) {
  ProxyServerTable table;
  ProxyServerSettings proxy = *NewProxyServerSettings("relay");
  proxy.ServerAutoStartOnService = flagged;
  proxy.RecvPort = proxy.SendPort = receive_port;
  proxy.DontRecvFromYourIp = false;
  proxy.SendToHostsList = std::move(to);
  proxy.DontRecvWithNextMacs = true;
  proxy.DontRecvWithNextMacsList = {kIgnoredMac};
  static_cast<void>(table.Register(proxy));
  const std::optional<std::string> path = ProfilePath();
  if (!path ||
      WriteFileReplacing(*path, WriteProfileImage(table, {}, false, CurrentUtcTime()), 0644)) {
    std::cout << "the profile could not be written\n";
    return 1;
  }
  return 0;
}

// The service waits a few seconds before its proxy servers start; so does this.
int CheckRelay() {
  UdpSocket broadcast_sink;
  UdpSocket named_sink;
  UdpSocket sender = test::PeerSocket(AddressFamily::kIpv4);
  if (broadcast_sink.Open(AddressFamily::kIpv4) || named_sink.Open(AddressFamily::kIpv4) ||
      broadcast_sink.Bind(kBroadcastPort) || broadcast_sink.EnableArrivalInfo() ||
      named_sink.Bind(kNamedPort)) {
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

// The packet sent to `receive_port` until a copy arrives at `sink_port`.
int CheckRelay(std::uint16_t receive_port, std::uint16_t sink_port) {
  UdpSocket sink;
  UdpSocket sender = test::PeerSocket(AddressFamily::kIpv4);
  if (sink.Open(AddressFamily::kIpv4) || sink.Bind(sink_port)) {
    std::cout << "the receiving socket could not be bound\n";
    return 1;
  }
  const auto packet = test::MagicPayload({0x00, 0x11, 0x22, 0x33, 0x44, 0x55});
  for (int attempt = 0; attempt < 150; ++attempt) {
    static_cast<void>(sender.SendTo(packet, test::Loopback(AddressFamily::kIpv4, receive_port)));
    const std::optional<test::Received> got = test::ReceiveWithin(sink, 100ms);
    if (got && got->payload == packet) {
      std::cout << "relayed: " << got->payload.size() << " bytes from port " << got->sender.port
                << " to port " << sink_port << "\n";
      return 0;
    }
  }
  std::cout << "no packet arrived at port " << sink_port << "\n";
  return 1;
}

int Send(std::uint16_t port, unsigned count, const std::optional<MacAddress>& mac) {
  UdpSocket sender = test::PeerSocket(AddressFamily::kIpv4);
  for (unsigned i = 0; i < count; ++i) {
    const MacAddress own{0x02,
                         0x00,
                         0x00,
                         static_cast<std::uint8_t>(i >> 16),
                         static_cast<std::uint8_t>(i >> 8),
                         static_cast<std::uint8_t>(i)};
    static_cast<void>(sender.SendTo(test::MagicPayload(mac.value_or(own)),
                                    test::Loopback(AddressFamily::kIpv4, port)));
  }
  std::cout << "sent " << count << " magic packets to port " << port << "\n";
  return 0;
}

int Act(const std::string& action, const std::string& program_folder) {
  SystemdServiceManager manager;
  SystemFileCopier copier;
  ServicePaths paths = CurrentServicePaths();
  if (!program_folder.empty()) paths.program_source = program_folder + "/CorvaneService";
  ServiceControl control{
      manager, copier, paths,
      [] {},   [] {},  [](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); }};
  std::string result;
  if (action == "install") {
    result = control.Install().message;
  } else if (action == "start") {
    result = control.Start().message;
  } else if (action == "stop") {
    result = control.Stop().message;
  } else if (action == "remove") {
    result = control.Remove().message;
  } else if (action == "apply") {
    result = control.Apply().message;
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

std::uint16_t PortArgument(const char* text) {
  const long value = std::strtol(text, nullptr, 10);
  return value > 0 && value < 65536 ? static_cast<std::uint16_t>(value) : 0;
}

}  // namespace
}  // namespace corvane

int main(int argc, char** argv) {
  using namespace corvane;
  const std::string action = argc > 1 ? argv[1] : "";
  if (action == "profile" && (argc == 2 || (argc == 3 && std::string(argv[2]) == "unflagged"))) {
    return WriteProfile(9,
                        {{"10.200.0.1", 24, kBroadcastPort},
                         {"localhost", 32, kNamedPort},
                         {"10.200.0.2", 32, kSleepingPort}},
                        argc == 2);
  }
  if (argc == 2 && action == "relay") return CheckRelay();
  if ((argc == 4 || argc == 5) && action == "send" && PortArgument(argv[2]) != 0) {
    std::optional<MacAddress> mac;
    if (argc == 5 && !(mac = ParseHexBytes(argv[4]))) return 2;
    return Send(PortArgument(argv[2]), static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)),
                mac);
  }
  if (argc == 4 && (action == "profile" || action == "relay")) {
    const std::uint16_t receive_port = PortArgument(argv[2]), sink_port = PortArgument(argv[3]);
    if (receive_port != 0 && sink_port != 0) {
      return action == "profile" ? WriteProfile(receive_port, {{"127.0.0.1", 32, sink_port}})
                                 : CheckRelay(receive_port, sink_port);
    }
  }
  if (argc == 2 || (argc == 3 && action == "install")) return Act(action, argc == 3 ? argv[2] : "");
  std::cerr << "usage: corvane_service_actions ACTION [ARGUMENTS]\n";
  return 2;
}
