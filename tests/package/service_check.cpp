// The packaging test's driver for the service page's actions, run as root inside a throw-away
// system with a real systemd after the package was installed:
//   corvane_service_check install RECV_PORT SINK_PORT PROGRAM_FOLDER
//     writes ~/Corvane/profile.dat with one proxy server flagged for the service (receiving on
//     RECV_PORT, relaying to 127.0.0.1:SINK_PORT), then runs Install / ReInstall, taking the
//     service program from PROGRAM_FOLDER as the installed desktop program would, and Start.
//   corvane_service_check relay RECV_PORT SINK_PORT
//     sends magic packets to 127.0.0.1:RECV_PORT until one arrives at SINK_PORT (10 s at most).
// Prints what it did; exits 0 when every action succeeded or the packet arrived.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "config/profile_file.h"
#include "config/proxy_server_table.h"
#include "platform/files.h"
#include "platform/stop_request.h"
#include "platform/udp_socket.h"
#include "service/service_control.h"
#include "service/systemd_service_manager.h"

using namespace corvane;
using namespace std::chrono_literals;

namespace {

std::uint16_t PortArgument(const char* text) {
  const long value = std::strtol(text, nullptr, 10);
  return value > 0 && value < 65536 ? static_cast<std::uint16_t>(value) : 0;
}

bool WriteProfile(std::uint16_t receive_port, std::uint16_t sink_port) {
  ProxyServerSettings settings = *NewProxyServerSettings("Packaging test");
  settings.ServerAutoStartOnService = true;
  settings.RecvPort = receive_port;
  settings.SendPort = receive_port;
  settings.DontRecvFromYourIp = false;  // the test's packets come from this host
  settings.SendToHostsList = {{"127.0.0.1", 32, sink_port}};
  ProxyServerTable table;
  static_cast<void>(table.Register(settings));
  const std::string folder = UserProfileDirectory() + "/Corvane";
  return CreateDirectory(folder) &&
         ReplaceFile(folder + "/profile.dat", WriteProfileImage(table, {}, false, CurrentUtcTime()),
                     0600);
}

int Install(std::uint16_t receive_port, std::uint16_t sink_port, const std::string& folder) {
  if (!WriteProfile(receive_port, sink_port)) {
    std::fprintf(stderr, "cannot write the profile\n");
    return 1;
  }
  SystemdServiceManager manager;
  SystemFileCopier files;
  ServicePaths paths = CurrentServicePaths();
  paths.program_source = folder + "/CorvaneService";
  ServiceControl control{
      manager, files, paths,
      [] {},   [] {}, [](std::chrono::milliseconds wait) { std::this_thread::sleep_for(wait); }};
  const std::string installed = control.Install();
  std::printf("Install / ReInstall: %s\n", installed.c_str());
  if (installed.rfind("Success: ", 0) != 0) return 1;
  const std::string started = control.Start();
  std::printf("Start: %s\n", started.c_str());
  return started.rfind("Success: ", 0) == 0 ? 0 : 1;
}

int Relay(std::uint16_t receive_port, std::uint16_t sink_port) {
  UdpSocket sink = UdpSocket::Open(AddressFamily::kIpv4);
  UdpSocket peer = UdpSocket::Open(AddressFamily::kIpv4);
  if (!sink.Bind(sink_port) || !peer.Bind(0)) {
    std::fprintf(stderr, "cannot bind the test's sockets\n");
    return 1;
  }
  std::vector<std::uint8_t> packet(102, 0xFF);
  for (std::size_t i = 6; i < packet.size(); ++i) packet[i] = static_cast<std::uint8_t>(i % 6 + 1);
  const StopRequest never;
  std::vector<std::uint8_t> buffer(1000);
  Datagram arrived;
  for (int attempt = 0; attempt < 100; ++attempt) {
    static_cast<void>(peer.SendTo(packet, {IpAddress::Ipv4(127, 0, 0, 1), receive_port}));
    const int fd = sink.descriptor();
    never.WaitReadable({&fd, 1}, 100ms);
    if (sink.Receive(buffer, arrived) == ReceiveResult::kDatagram && arrived.length == 102) {
      std::printf("relayed: %zu bytes from port %u to port %u\n", arrived.length,
                  unsigned{arrived.sender.port}, unsigned{sink_port});
      return 0;
    }
  }
  std::fprintf(stderr, "no packet arrived at port %u in 10 s\n", unsigned{sink_port});
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  const std::uint16_t receive_port = argc > 3 ? PortArgument(argv[2]) : 0;
  const std::uint16_t sink_port = argc > 3 ? PortArgument(argv[3]) : 0;
  if (mode == "install" && argc == 5 && receive_port != 0 && sink_port != 0) {
    return Install(receive_port, sink_port, argv[4]);
  }
  if (mode == "relay" && argc == 4 && receive_port != 0 && sink_port != 0) {
    return Relay(receive_port, sink_port);
  }
  std::fprintf(stderr,
               "usage: %s install RECV_PORT SINK_PORT PROGRAM_FOLDER\n"
               "       %s relay RECV_PORT SINK_PORT\n",
               argv[0], argv[0]);
  return 2;
}
