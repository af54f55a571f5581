// A demonstration of Corvane where no display exists: a temporary home folder whose profile holds
// a proxy server on a loopback port, flagged to start with the program; Corvane started on Qt's
// offscreen platform; a magic packet sent to the proxy server and shown as it arrives, relayed,
// at a loopback sink; Corvane ended through the log-off path (SIGTERM); the saved profile shown.
// Usage: corvane_demo <path of Corvane>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "config/list_entry_rules.h"
#include "config/profile_file.h"
#include "platform/stop_request.h"
#include "platform/udp_socket.h"

using namespace corvane;
using namespace std::chrono_literals;

namespace {

UdpSocket LoopbackSocket() {
  UdpSocket socket;
  if (!socket.Open(AddressFamily::kIpv4)) static_cast<void>(socket.Bind(0));
  return socket;
}

std::vector<std::uint8_t> MagicPacket(const MacAddress& mac) {
  std::vector<std::uint8_t> packet(102, 0xFF);
  for (int copy = 0; copy < 16; ++copy)
    std::copy(mac.begin(), mac.end(), packet.begin() + 6 + copy * 6);
  return packet;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <path of Corvane>\n", argv[0]);
    return 2;
  }
  char folder[] = "/tmp/corvane-demo-XXXXXX";
  if (mkdtemp(folder) == nullptr) return 1;
  const std::string home = folder;

  UdpSocket sink = LoopbackSocket();
  UdpSocket probe = LoopbackSocket();
  const std::uint16_t port = *probe.LocalPort();
  probe.Close();
  ProxyServerTable table;
  ProxyServerSettings demo = *NewProxyServerSettings("Demonstration");
  demo.ServerAutoStart = true;
  demo.RecvPort = demo.SendPort = port;
  demo.DontRecvFromYourIp = false;
  demo.SendToHostsList = {{"127.0.0.1", 32, *sink.LocalPort()}};
  static_cast<void>(table.Register(demo));
  std::filesystem::create_directories(home + "/Corvane");
  const auto image = WriteProfileImage(table, {}, false, CurrentUtcTime());
  if (WriteFileReplacing(home + "/Corvane/profile.dat", image, 0644)) {
    std::fprintf(stderr, "cannot write the demonstration's profile\n");
    return 1;
  }
  std::printf(
      "profile: %s/Corvane/profile.dat, proxy server \"Demonstration\" on 127.0.0.1:%u,\n"
      "         relaying to 127.0.0.1:%u\n",
      home.c_str(), unsigned{port}, unsigned{*sink.LocalPort()});

  const pid_t corvane = fork();
  if (corvane == 0) {
    setenv("HOME", home.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    execl(argv[1], argv[1], static_cast<char*>(nullptr));
    _exit(127);
  }
  std::printf("started Corvane (offscreen), process %d\n", corvane);

  const MacAddress mac{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
  const auto packet = MagicPacket(mac);
  UdpSocket peer = LoopbackSocket();
  const StopRequest never;
  std::vector<std::uint8_t> buffer(1000);
  Datagram arrived;
  bool relayed = false;
  for (int attempt = 0; attempt < 100 && !relayed; ++attempt) {
    static_cast<void>(peer.SendTo(packet, {IpAddress::Ipv4(127, 0, 0, 1), port}));
    const int fd = sink.descriptor();
    never.WaitReadable({&fd, 1}, 100ms);
    relayed = sink.Receive(buffer, arrived) == ReceiveResult::kDatagram;
  }
  if (relayed) {
    std::printf("sent a magic packet for %s to 127.0.0.1:%u\n", HexText(mac).c_str(),
                unsigned{port});
    std::printf(
        "relayed: %zu bytes from %s:%u, for %s\n", arrived.length,
        AddressToString(arrived.sender.address).c_str(), unsigned{arrived.sender.port},
        HexText({buffer[6], buffer[7], buffer[8], buffer[9], buffer[10], buffer[11]}).c_str());
  } else {
    std::printf("no relayed packet arrived\n");
  }

  kill(corvane, SIGTERM);
  int status = 0;
  waitpid(corvane, &status, 0);
  std::printf("Corvane ended on SIGTERM (log-off path), exit code %d\n",
              WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
  const std::string profile = home + "/Corvane/profile.dat";
  if (std::filesystem::exists(profile)) {
    ProxyServerTable saved;
    const auto content = ReadWholeFile(profile, kMaxProfileSize);
    class Names final : public ProfileImageSink {
     public:
      void TakeOptions(const StoredDisplayOptions&) override {}
      void TakeRecord(ProxyServerSettings record) override {
        names += " \"" + record.ServerName + "\"";
      }
      std::string names;
    } names;
    if (content) ReadProfileImage(*content, names);
    std::printf("saved profile: %s, %ju bytes, proxy servers:%s\n", profile.c_str(),
                static_cast<std::uintmax_t>(std::filesystem::file_size(profile)),
                names.names.c_str());
  }
  std::filesystem::remove_all(home);
  return relayed ? 0 : 1;
}
