// The cost and safety benchmark: what the relay costs when idle, what becomes of a relay loop and
// of bursts, and how fast the desktop program relays with its logs shown.
//
// Service-variant rows run proxy servers in this process (the service's engine threads); desktop
// rows start the real desktop program (offscreen, a temporary home with a profile written here).
// Everything stays on loopback. Usage:
//   corvane_relay_safety_bench DESKTOP_PROGRAM [result file]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_programs.h"
#include "bench/bench_sockets.h"
#include "config/profile_file.h"
#include "config/proxy_server_table.h"
#include "engine/service_proxy_thread.h"
#include "platform/files.h"
#include "platform/host_lookup.h"

namespace corvane::bench {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Ports handed out in turn from a range below the ephemeral ports, each checked free.
std::uint16_t FreePort() {
  static std::uint16_t next = 20000;
  while (true) {
    const std::uint16_t port = next++;
    const int fd = BoundSocket(port);
    if (fd >= 0) {
      close(fd);
      return port;
    }
  }
}

// A magic packet for MAC 02:00:00:xx:xx:xx with `n` in the last three bytes.
std::vector<std::uint8_t> Packet(std::uint32_t n) {
  std::vector<std::uint8_t> packet(102, 0xFF);
  const std::uint8_t mac[6] = {0x02,
                               0,
                               0,
                               static_cast<std::uint8_t>(n >> 16),
                               static_cast<std::uint8_t>(n >> 8),
                               static_cast<std::uint8_t>(n)};
  for (int copy = 0; copy < 16; ++copy) std::memcpy(packet.data() + 6 + copy * 6, mac, 6);
  return packet;
}

void SendTo(int fd, const std::vector<std::uint8_t>& packet, std::uint16_t port) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(port);
  sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

// Counts the datagrams that reach it.
class Sink {
 public:
  Sink() : fd_(BoundSocket(0, 64 << 20)), thread_([this] { Run(); }) {}
  ~Sink() {
    stop_ = true;
    thread_.join();
    close(fd_);
  }
  std::uint16_t port() const { return PortOf(fd_); }
  long count() const { return count_; }
  void Reset() { count_ = 0; }
  // Waits until no datagram came for `quiet`.
  void Settle(std::chrono::milliseconds quiet = 300ms) {
    long seen = -1;
    while (seen != count_) {
      seen = count_;
      std::this_thread::sleep_for(quiet);
    }
  }

 private:
  void Run() {
    char buffer[2048];
    pollfd polled{fd_, POLLIN, 0};
    while (!stop_) {
      if (poll(&polled, 1, 20) <= 0) continue;
      while (recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT) > 0) ++count_;
    }
  }

  int fd_;
  std::atomic<bool> stop_{false};
  std::atomic<long> count_{0};
  std::thread thread_;
};

// Proxy servers of the service variant, running in this process.
class ServiceRelays {
 public:
  explicit ServiceRelays(std::vector<ProxyServerSettings> settings)
      : settings_(std::move(settings)) {
    for (const ProxyServerSettings& s : settings_) {
      threads_.emplace_back([this, &s] {
        ServiceProxyThread(s, stop_, [](std::string_view text, bool) {
          std::fprintf(stderr, "proxy server: %.*s\n", static_cast<int>(text.size()), text.data());
        });
      });
    }
    std::this_thread::sleep_for(300ms);  // sockets bound
  }
  ~ServiceRelays() {
    stop_.Request();
    for (std::thread& thread : threads_) thread.join();
  }

 private:
  std::vector<ProxyServerSettings> settings_;
  StopRequest stop_;
  std::vector<std::thread> threads_;
};

double ProcessCpuSeconds(pid_t pid) {
  if (pid == 0) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  }
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) stime = std::stoull(field);
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Share of one core that `pid` (0: this process) uses over `window` while nothing is sent.
double IdleCpuPercent(pid_t pid, std::chrono::seconds window = 5s) {
  const double before = ProcessCpuSeconds(pid);
  std::this_thread::sleep_for(window);
  return 100.0 * (ProcessCpuSeconds(pid) - before) / static_cast<double>(window.count());
}

// The desktop program with a profile of proxy servers that start by themselves.
class Desktop {
 public:
  Desktop(const std::string& program, std::vector<ProxyServerSettings> servers) {
    char pattern[] = "/tmp/corvane-bench-XXXXXX";
    home_ = mkdtemp(pattern);
    for (ProxyServerSettings& s : servers) s.ServerAutoStart = true;
    if (!WriteProfile(home_, servers)) std::fputs("no profile\n", stderr);
    pid_ = StartDesktop(program, home_);
    std::this_thread::sleep_for(3s);  // start-up, threads and sockets
  }
  ~Desktop() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    std::filesystem::remove_all(home_);
  }
  pid_t pid() const { return pid_; }

 private:
  std::string home_;
  pid_t pid_ = -1;
};

std::vector<ProxyServerSettings> IdleRelays(int count) {
  std::vector<ProxyServerSettings> relays;
  for (int i = 0; i < count; ++i) relays.push_back(LoopbackRelay("bench", FreePort(), {9}));
  return relays;
}

// One datagram into two relays that send to each other; relay A also sends every copy to the
// sink. Returns A's packets per second over `window`, after the first second.
double LoopRate(Sink& sink, std::chrono::seconds window = 3s) {
  const std::uint16_t a = FreePort(), b = FreePort();
  ServiceRelays relays(
      {LoopbackRelay("bench", a, {b, sink.port()}), LoopbackRelay("bench", b, {a})});
  const int sender = BoundSocket(0);
  sink.Reset();
  SendTo(sender, Packet(1), a);
  std::this_thread::sleep_for(1s);
  const long start = sink.count();
  std::this_thread::sleep_for(window);
  close(sender);
  return static_cast<double>(sink.count() - start) / static_cast<double>(window.count());
}

// How many of `count` packets for `count` different MACs, sent back to back, get through.
long Burst(Sink& sink, std::uint16_t relay_port, int count) {
  const int sender = BoundSocket(0);
  sink.Settle();
  sink.Reset();
  for (int i = 0; i < count; ++i)
    SendTo(sender, Packet(static_cast<std::uint32_t>(100000 + i)), relay_port);
  sink.Settle();
  close(sender);
  return sink.count();
}

// How many of `count` copies of one packet, sent back to back, get through.
long Copies(Sink& sink, std::uint16_t relay_port, int count) {
  const int sender = BoundSocket(0);
  sink.Settle();
  sink.Reset();
  for (int i = 0; i < count; ++i) SendTo(sender, Packet(5), relay_port);
  sink.Settle();
  close(sender);
  return sink.count();
}

// The highest of a set of rates up to which all of 2 s of packets (different MACs) get through;
// `losses` gets the share lost at the rates above it.
int ZeroLossRate(Sink& sink, std::uint16_t relay_port, std::string& losses) {
  const int sender = BoundSocket(0);
  int best = 0;
  std::uint32_t mac = 200000;
  for (const int rate : {250, 500, 1000, 2000, 5000, 10000, 20000, 50000}) {
    const int count = rate * 2;
    sink.Settle();
    sink.Reset();
    const auto interval = std::chrono::nanoseconds(1000000000 / rate);
    auto next = Clock::now();
    for (int i = 0; i < count; ++i) {
      while (Clock::now() < next) {
      }
      SendTo(sender, Packet(mac++), relay_port);
      next += interval;
    }
    sink.Settle(500ms);
    const long lost = count - sink.count();
    if (lost <= 0 && losses.empty()) best = rate;
    if (lost > 0) {
      losses += " " + std::to_string(rate) + ":" + std::to_string(100 * lost / count) + "%";
      if (lost * 2 > count) break;
    }
  }
  close(sender);
  return best;
}

// The floor: one thread, a blocking receive and a send per datagram.
class FloorRelay {
 public:
  explicit FloorRelay(std::uint16_t sink) : fd_(BoundSocket(0, 4 << 20)) {
    thread_ = std::thread([this, sink] {
      char buffer[1000];
      sockaddr_in to{};
      to.sin_family = AF_INET;
      to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      to.sin_port = htons(sink);
      while (true) {
        const ssize_t length = recv(fd_, buffer, sizeof buffer, 0);
        if (length <= 0) return;
        sendto(fd_, buffer, static_cast<std::size_t>(length), 0,
               reinterpret_cast<const sockaddr*>(&to), sizeof to);
      }
    });
  }
  ~FloorRelay() {
    shutdown(fd_, SHUT_RDWR);
    thread_.join();
    close(fd_);
  }
  std::uint16_t port() const { return PortOf(fd_); }

 private:
  int fd_;
  std::thread thread_;
};

}  // namespace
}  // namespace corvane::bench

int main(int argc, char** argv) {
  using namespace corvane::bench;
  if (argc < 2) {
    std::fputs("usage: corvane_relay_safety_bench DESKTOP_PROGRAM [result file]\n", stderr);
    return 2;
  }
  const std::string desktop = argv[1];
  // CORVANE_BENCH_ONLY=idle,loop,burst,desktop: only the parts named (e.g. to profile one).
  const char* only = std::getenv("CORVANE_BENCH_ONLY");
  const auto runs = [only](const char* part) {
    return only == nullptr || std::strstr(only, part) != nullptr;
  };
  corvane::LoadAddressInfoEntryPoints();
  std::ostringstream table;
  char line[256];
  const auto row = [&](const char* what, const std::string& value) {
    std::snprintf(line, sizeof line, "%-58s %s\n", what, value.c_str());
    table << line;
    std::fputs(line, stdout);
    std::fflush(stdout);
  };
  const auto percent = [](double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f %% of a core", value);
    return std::string(text);
  };

  for (const int count : {1, 64, 1000}) {
    if (!runs("idle")) break;
    ServiceRelays relays(IdleRelays(count));
    row(("idle CPU, service variant, " + std::to_string(count) + " proxy servers").c_str(),
        percent(IdleCpuPercent(0)));
  }
  for (const int count : {1, 64, 1000}) {
    if (!runs("idle")) break;
    Desktop program(desktop, IdleRelays(count));
    // Start-up ends first: every thread takes its settings through the window thread.
    int settled_after = 3;
    while (settled_after < 60 && IdleCpuPercent(program.pid(), 1s) > 5.0) ++settled_after;
    std::fprintf(stderr, "desktop program with %d proxy servers: start-up took about %d s\n", count,
                 settled_after);
    row(("idle CPU, desktop program, " + std::to_string(count) + " proxy servers").c_str(),
        percent(IdleCpuPercent(program.pid())));
  }

  Sink sink;
  char text[64];
  if (runs("loop")) {
    std::snprintf(text, sizeof text, "%.1f packets/s", LoopRate(sink));
    row("loop of two relays, one datagram, relay A", text);
  }
  if (runs("burst")) {
    const std::uint16_t port = FreePort();
    ServiceRelays relay({LoopbackRelay("bench", port, {sink.port()})});
    row("five copies of one packet back to back, relayed", std::to_string(Copies(sink, port, 5)));
    for (const int count : {1000, 3000}) {
      row(("burst of " + std::to_string(count) + " MACs, service variant, relayed").c_str(),
          std::to_string(Burst(sink, port, count)));
    }
  }
  std::string floor_losses, losses;
  int floor_rate = 0;
  if (runs("desktop")) {
    {
      FloorRelay floor(sink.port());
      floor_rate = ZeroLossRate(sink, floor.port(), floor_losses);
    }
    row("floor relay: 0-loss rate (2 s per rate)",
        std::to_string(floor_rate) + " packets/s" + floor_losses);
    const std::uint16_t port = FreePort();
    Desktop program(desktop, {LoopbackRelay("bench", port, {sink.port()})});
    const int rate = ZeroLossRate(sink, port, losses);
    std::snprintf(text, sizeof text, "%d packets/s (%.2fx floor)", rate,
                  floor_rate > 0 ? static_cast<double>(rate) / floor_rate : 0.0);
    row("desktop, all logs shown: 0-loss rate (2 s per rate)", text + losses);
    row("desktop, all logs shown: burst of 1000 MACs relayed",
        std::to_string(Burst(sink, port, 1000)));
  }

  const std::string path = argc > 2 ? argv[2] : "relay_safety.txt";
  std::ofstream(path) << table.str();
  std::printf("written to %s\n", path.c_str());
  return 0;
}
