// What reaching sleeping hosts and watching them wake costs, in a network namespace of its own
// (scripts/bench.sh runs it under `unshare --net`; it refuses to run outside one):
//   - CPU per send to an on-link unicast destination: the plain send, the send with the route and
//     neighbour lookups (asked once a second) of a known neighbour, and the send plus its frame to
//     a silent one;
//   - memory under a flood of 20,000 MACs with their watches pending;
//   - idle CPU of the process with no watch and with a full watch set.
//
//   corvane_sleeping_host_bench RESULTS_FILE
#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/link_delivery.h"
#include "engine/magic_packet.h"
#include "engine/wake_watcher.h"
#include "platform/link_frame.h"
#include "platform/udp_socket.h"

namespace corvane {
namespace {

constexpr int kSends = 20000;

double ThreadCpuMicroseconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

double ProcessCpuMilliseconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return (static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

long ResidentKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

struct NoListener final : WakeListener {
  void WakeOutcomeReady(const WakeOutcome&) override {}
};

MagicPacket Packet(std::uint8_t last) {
  MagicPacket packet;
  packet.length = 102;
  for (int i = 0; i < 6; ++i) packet.bytes[i] = 0xFF;
  for (int copy = 0; copy < 16; ++copy) {
    const std::uint8_t mac[6] = {0x02, 0, 0x5E, 0x10, 0, last};
    for (int i = 0; i < 6; ++i) packet.bytes[6 + copy * 6 + i] = mac[i];
  }
  return packet;
}

// "CPU microseconds per send (wall microseconds)" to `to`, with the link delivery when `link` is
// given.
std::string PerSend(UdpSocket& socket, const Endpoint& to, LinkDelivery* link) {
  const MagicPacket packet = Packet(2);
  const double start = ThreadCpuMicroseconds();
  const auto wall_start = std::chrono::steady_clock::now();
  for (int i = 0; i < kSends; ++i) {
    if (link != nullptr) link->Prepare(to);
    bool sent = false;
    if (link == nullptr || link->OrdinarySendWanted(socket)) {
      sent = !socket.SendTo(packet.payload(), to);
    }
    if (link != nullptr) link->Complete(packet, to, socket, sent);
  }
  const double wall =
      std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - wall_start)
          .count();
  std::ostringstream text;
  text.precision(3);
  text << (ThreadCpuMicroseconds() - start) / kSends << " us CPU (" << wall / kSends << " us wall)";
  return text.str();
}

int Run(const std::string& results) {
  if (std::getenv("CORVANE_BENCH_NETNS") == nullptr) {
    std::cerr << "run me in a network namespace of my own (scripts/bench.sh does)\n";
    return 2;
  }
  // A link whose far end answers nothing, with one neighbour the kernel knows for good.
  if (std::system("ip link set lo up && ip link add veth0 type veth peer name veth1 && "
                  "ip addr add 10.86.0.1/24 dev veth0 && ip link set veth0 up && "
                  "ip link set veth1 up && ip neigh add 10.86.0.3 lladdr 02:00:5e:10:00:03 "
                  "dev veth0 nud permanent") != 0) {
    std::cerr << "the namespace's links could not be made\n";
    return 1;
  }
  if (!LinkLayerAllowed()) {
    std::cerr << "needs CAP_NET_RAW\n";
    return 1;
  }
  std::ostringstream out;
  UdpSocket socket;
  if (socket.Open(AddressFamily::kIpv4) || socket.Bind(0)) return 1;
  NoListener listener;
  WakeWatcher& watcher = WakeWatcher::Program();
  LinkDelivery link(&watcher, listener);
  const Endpoint known{IpAddress::Ipv4(10, 86, 0, 3), 9};
  const Endpoint silent{IpAddress::Ipv4(10, 86, 0, 2), 9};
  out << "CPU per send to an on-link unicast destination (" << kSends << " sends):\n";
  out << "  plain send (before):                               " << PerSend(socket, known, nullptr)
      << "\n";
  out << "  known neighbour, hop asked once a second (after): " << PerSend(socket, known, &link)
      << "\n";
  out << "  silent neighbour, send plus frame (after):         " << PerSend(socket, silent, &link)
      << "\n";
  watcher.Forget(listener);

  const auto idle_cpu = [](std::chrono::seconds span) {
    const double start = ProcessCpuMilliseconds();
    std::this_thread::sleep_for(span);
    return ProcessCpuMilliseconds() - start;
  };
  out << "idle CPU over 5 s, no watch pending:        " << idle_cpu(std::chrono::seconds(5))
      << " ms\n";
  const long before = ResidentKilobytes();
  for (int i = 0; i < 20000; ++i) {
    watcher.Watch({0x02, 0, 0, static_cast<std::uint8_t>(i >> 16),
                   static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)},
                  listener, 1);
  }
  const long after = ResidentKilobytes();
  out << "flood of 20000 MACs: " << watcher.Pending() << " watches pending, " << watcher.Dropped()
      << " dropped, resident " << before << " kB before, " << after << " kB after\n";
  out << "idle CPU over 5 s, " << watcher.Pending()
      << " watches pending:      " << idle_cpu(std::chrono::seconds(5)) << " ms\n";
  watcher.Forget(listener);
  std::cout << out.str();
  std::ofstream(results) << out.str();
  return 0;
}

}  // namespace
}  // namespace corvane

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: corvane_sleeping_host_bench RESULTS_FILE\n";
    return 2;
  }
  return corvane::Run(argv[1]);
}
