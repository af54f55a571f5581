// The relay benchmark: magic packets through a running proxy server on loopback, measured against
// a bare blocking recvfrom/sendto relay written here (the floor) and against socat.
//
// For each relay: idle latency (packets 10 ms apart, p50 and p99), the highest of a set of rates
// that loses nothing, how many of 1000 back-to-back packets arrive, and the relay's CPU time per
// packet at 20000 packets a second. Corvane runs as the service runs it, its counters always on,
// once without and once with its packet trace (written to /dev/null, 50 lines a second at most).
// Every packet carries a sequence number and its send time behind the magic packet head; the
// relay forwards those bytes untouched. Usage: corvane_relay_bench [result file]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_programs.h"
#include "bench/bench_sockets.h"
#include "engine/service_proxy_thread.h"
#include "platform/host_lookup.h"

namespace corvane::bench {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::size_t kPacketLength = 118;  // 102-byte magic packet head, sequence, send time
constexpr int kLatencyPackets = 300;
constexpr int kBurstPackets = 1000;
constexpr int kCpuRate = 20000;  // packets a second while the CPU time is taken
constexpr int kCpuPackets = 20000;
const int kRates[] = {1000, 2000, 5000, 10000, 20000, 50000, 100000, 200000};

std::int64_t NowNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

std::uint16_t FreePort() {
  const int fd = BoundSocket(0);
  const std::uint16_t port = PortOf(fd);
  close(fd);
  return port;
}

// The CPU time a thread has used so far.
std::int64_t ThreadCpuNanoseconds(std::thread& thread) {
  clockid_t clock{};
  timespec used{};
  if (pthread_getcpuclockid(thread.native_handle(), &clock) != 0 ||
      clock_gettime(clock, &used) != 0) {
    return 0;
  }
  return std::int64_t{used.tv_sec} * 1000000000 + used.tv_nsec;
}

// One relay under test: listens on `port()` and forwards every datagram to the sink port.
class Relay {
 public:
  virtual ~Relay() = default;
  virtual std::string name() const = 0;
  std::uint16_t port() const { return port_; }
  // The CPU time the relay has used so far, all its threads.
  virtual std::int64_t CpuNanoseconds() = 0;

 protected:
  std::uint16_t port_ = FreePort();
};

class CorvaneRelay final : public Relay {
 public:
  CorvaneRelay(std::uint16_t sink, bool traced)
      : traced_(traced),
        settings_(LoopbackRelay("bench", port_, {sink})),
        trace_budget_([this](std::string_view line) {
          static_cast<void>(write(null_, line.data(), line.size()));
        }),
        trace_(
            ProxyServerLabel(settings_),
            [this](std::string_view line) {
              static_cast<void>(write(null_, line.data(), line.size()));
            },
            trace_budget_) {
    thread_ = std::thread([this] {
      ServiceProxyThread(
          settings_, stop_,
          [](std::string_view text, bool) {
            std::fprintf(stderr, "proxy server: %.*s\n", static_cast<int>(text.size()),
                         text.data());
          },
          {}, &counters_, traced_ ? &trace_ : nullptr);
    });
  }
  ~CorvaneRelay() override {
    stop_.Request();
    thread_.join();
    close(null_);
  }
  std::string name() const override { return traced_ ? "Corvane+trace" : "Corvane"; }
  std::int64_t CpuNanoseconds() override { return ThreadCpuNanoseconds(thread_); }

 private:
  const bool traced_;
  const int null_ = open("/dev/null", O_WRONLY | O_CLOEXEC);
  ProxyServerSettings settings_;
  ProxyCounters counters_;
  TraceBudget trace_budget_;
  PacketTrace trace_;
  StopRequest stop_;
  std::thread thread_;
};

// The floor: one thread, a blocking receive and a send per datagram, nothing else.
class FloorRelay final : public Relay {
 public:
  explicit FloorRelay(std::uint16_t sink) : fd_(BoundSocket(port_)) {
    thread_ = std::thread([this, to = Loopback(sink)] {
      char buffer[1000];
      while (true) {
        const ssize_t length = recv(fd_, buffer, sizeof buffer, 0);
        if (length <= 0) return;  // shut down
        sendto(fd_, buffer, static_cast<std::size_t>(length), 0,
               reinterpret_cast<const sockaddr*>(&to), sizeof to);
      }
    });
  }
  ~FloorRelay() override {
    shutdown(fd_, SHUT_RDWR);
    thread_.join();
    close(fd_);
  }
  std::string name() const override { return "floor"; }
  std::int64_t CpuNanoseconds() override { return ThreadCpuNanoseconds(thread_); }

 private:
  int fd_;
  std::thread thread_;
};

class SocatRelay final : public Relay {
 public:
  explicit SocatRelay(std::uint16_t sink) {
    char from[64], to[64];
    std::snprintf(from, sizeof from, "UDP4-RECV:%u,bind=127.0.0.1", unsigned{port_});
    std::snprintf(to, sizeof to, "UDP4-SENDTO:127.0.0.1:%u", unsigned{sink});
    pid_ = fork();
    if (pid_ == 0) {
      execlp("socat", "socat", "-u", from, to, static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~SocatRelay() override {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  std::string name() const override { return "socat"; }
  // User and system time from /proc, in clock ticks.
  std::int64_t CpuNanoseconds() override {
    std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
    std::string line;
    std::getline(stat, line);
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    std::int64_t user = 0, system = 0;
    for (int i = 3; i <= 13 && fields >> field; ++i) {
    }
    fields >> user >> system;  // fields 14 and 15
    return (user + system) * (1000000000 / sysconf(_SC_CLK_TCK));
  }

 private:
  pid_t pid_ = -1;
};

// Collects what reaches the sink: per sequence number, the one-way time in nanoseconds.
class Sink {
 public:
  Sink() : fd_(BoundSocket(0, 4 << 20)) {
    thread_ = std::thread([this] { Run(); });
  }
  ~Sink() {
    stop_ = true;
    thread_.join();
    close(fd_);
  }
  std::uint16_t port() const { return PortOf(fd_); }

  void Expect(std::size_t count) {
    std::lock_guard lock(mutex_);
    delays_.assign(count, -1);
  }
  std::vector<std::int64_t> delays() {
    std::lock_guard lock(mutex_);
    return delays_;
  }

 private:
  void Run() {
    unsigned char buffer[2048];
    pollfd polled{fd_, POLLIN, 0};
    while (!stop_) {
      if (poll(&polled, 1, 20) <= 0) continue;
      const ssize_t length = recv(fd_, buffer, sizeof buffer, 0);
      const std::int64_t now = NowNanoseconds();
      if (length != static_cast<ssize_t>(kPacketLength)) continue;
      std::int64_t sequence = 0, sent = 0;
      std::memcpy(&sequence, buffer + 102, 8);
      std::memcpy(&sent, buffer + 110, 8);
      std::lock_guard lock(mutex_);
      if (sequence >= 0 && static_cast<std::size_t>(sequence) < delays_.size()) {
        delays_[static_cast<std::size_t>(sequence)] = now - sent;
      }
    }
  }

  int fd_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::int64_t> delays_;
  std::thread thread_;
};

class Sender {
 public:
  explicit Sender(std::uint16_t relay_port) : fd_(BoundSocket(0)), to_(Loopback(relay_port)) {
    std::fill_n(packet_, 6, 0xFF);
    for (int copy = 0; copy < 16; ++copy) {
      const unsigned char mac[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
      std::memcpy(packet_ + 6 + copy * 6, mac, 6);
    }
  }
  ~Sender() { close(fd_); }

  // Each packet wakes a MAC of its own, as a wake-all tool's do: the relay's storm guard limits
  // what one MAC may do, and this measures the relay, not that limit.
  void Send(std::int64_t sequence) {
    const std::uint32_t mac = next_mac_++;
    for (int copy = 0; copy < 16; ++copy) {
      packet_[6 + copy * 6 + 3] = static_cast<unsigned char>(mac >> 16);
      packet_[6 + copy * 6 + 4] = static_cast<unsigned char>(mac >> 8);
      packet_[6 + copy * 6 + 5] = static_cast<unsigned char>(mac);
    }
    const std::int64_t now = NowNanoseconds();
    std::memcpy(packet_ + 102, &sequence, 8);
    std::memcpy(packet_ + 110, &now, 8);
    sendto(fd_, packet_, kPacketLength, 0, reinterpret_cast<const sockaddr*>(&to_), sizeof to_);
  }

 private:
  int fd_;
  sockaddr_in to_;
  unsigned char packet_[kPacketLength];
  std::uint32_t next_mac_ = 0;
};

struct Figures {
  double p50_us = 0, p99_us = 0;
  int zero_loss_rate = 0;
  std::string losses;  // loss at each rate that lost something
  int burst_received = 0;
  double cpu_ns_per_packet = 0;
};

std::size_t Arrived(const std::vector<std::int64_t>& delays) {
  return static_cast<std::size_t>(
      std::count_if(delays.begin(), delays.end(), [](std::int64_t d) { return d >= 0; }));
}

bool WaitUntilRelaying(Sender& sender, Sink& sink) {
  for (int attempt = 0; attempt < 200; ++attempt) {
    sink.Expect(1);
    sender.Send(0);
    std::this_thread::sleep_for(10ms);
    if (Arrived(sink.delays()) == 1) return true;
  }
  return false;
}

// Sends packets 0 .. `count` - 1 at `rate` a second, spinning between sends for the timing.
void SendPaced(Sender& sender, int count, int rate) {
  const auto interval = std::chrono::nanoseconds(1000000000 / rate);
  auto next = Clock::now();
  for (int i = 0; i < count; ++i) {
    while (Clock::now() < next) {
    }
    sender.Send(i);
    next += interval;
  }
}

Figures Measure(Relay& relay, Sink& sink) {
  Figures figures;
  Sender sender(relay.port());
  if (!WaitUntilRelaying(sender, sink)) {
    std::fprintf(stderr, "%s relays nothing\n", relay.name().c_str());
    return figures;
  }

  sink.Expect(kLatencyPackets);
  for (int i = 0; i < kLatencyPackets; ++i) {
    sender.Send(i);
    std::this_thread::sleep_for(10ms);
  }
  std::this_thread::sleep_for(100ms);
  std::vector<std::int64_t> delays = sink.delays();
  delays.erase(std::remove(delays.begin(), delays.end(), -1), delays.end());
  std::sort(delays.begin(), delays.end());
  if (!delays.empty()) {
    figures.p50_us = static_cast<double>(delays[delays.size() / 2]) / 1000.0;
    figures.p99_us = static_cast<double>(delays[delays.size() * 99 / 100]) / 1000.0;
  }

  std::ostringstream losses;
  for (const int rate : kRates) {
    const int count = rate / 2;  // half a second at this rate
    sink.Expect(static_cast<std::size_t>(count));
    SendPaced(sender, count, rate);
    std::this_thread::sleep_for(200ms);
    const std::size_t lost = static_cast<std::size_t>(count) - Arrived(sink.delays());
    if (lost == 0) figures.zero_loss_rate = rate;
    if (lost != 0) losses << " " << rate / 1000 << "k:" << 100.0 * lost / count << "%";
  }
  figures.losses = losses.str();

  sink.Expect(kBurstPackets);
  for (int i = 0; i < kBurstPackets; ++i) sender.Send(i);
  std::this_thread::sleep_for(300ms);
  figures.burst_received = static_cast<int>(Arrived(sink.delays()));

  sink.Expect(kCpuPackets);
  const std::int64_t cpu_before = relay.CpuNanoseconds();
  SendPaced(sender, kCpuPackets, kCpuRate);
  std::this_thread::sleep_for(200ms);
  const std::size_t relayed = Arrived(sink.delays());
  if (relayed > 0) {
    figures.cpu_ns_per_packet =
        static_cast<double>(relay.CpuNanoseconds() - cpu_before) / static_cast<double>(relayed);
  }
  return figures;
}

std::optional<Figures> Run(const std::function<std::unique_ptr<Relay>(std::uint16_t)>& make) {
  Sink sink;
  std::unique_ptr<Relay> relay = make(sink.port());
  return Measure(*relay, sink);
}

}  // namespace
}  // namespace corvane::bench

int main(int argc, char** argv) {
  using namespace corvane::bench;
  corvane::LoadAddressInfoEntryPoints();
  const bool have_socat = std::system("command -v socat >/dev/null 2>&1") == 0;

  struct Row {
    std::string name;
    std::optional<Figures> figures;
  };
  std::vector<Row> rows;
  rows.push_back(
      {"floor", Run([](std::uint16_t sink) { return std::make_unique<FloorRelay>(sink); })});
  for (const bool traced : {false, true}) {
    rows.push_back({traced ? "Corvane+trace" : "Corvane", Run([traced](std::uint16_t sink) {
                      return std::make_unique<CorvaneRelay>(sink, traced);
                    })});
  }
  if (have_socat) {
    rows.push_back(
        {"socat", Run([](std::uint16_t sink) { return std::make_unique<SocatRelay>(sink); })});
  } else {
    rows.push_back({"socat", std::nullopt});
  }

  const Figures& floor = *rows[0].figures;
  std::ostringstream table;
  char line[320];
  std::snprintf(line, sizeof line, "%-13s %16s %16s %20s %14s %18s  %s\n", "relay", "idle p50 us",
                "idle p99 us", "0-loss rate pps", "burst of 1000", "CPU ns/packet",
                "losses above it");
  table << line;
  for (const Row& row : rows) {
    if (!row.figures) {
      table << row.name << ": not installed\n";
      continue;
    }
    const Figures& f = *row.figures;
    const auto ratio = [](double value, double base) { return base > 0 ? value / base : 0.0; };
    std::snprintf(line, sizeof line,
                  "%-13s %8.1f (%4.2fx) %8.1f (%4.2fx) %11d (%4.2fx) %14d %9.0f (%4.2fx)  %s\n",
                  row.name.c_str(), f.p50_us, ratio(f.p50_us, floor.p50_us), f.p99_us,
                  ratio(f.p99_us, floor.p99_us), f.zero_loss_rate,
                  ratio(f.zero_loss_rate, floor.zero_loss_rate), f.burst_received,
                  f.cpu_ns_per_packet, ratio(f.cpu_ns_per_packet, floor.cpu_ns_per_packet),
                  f.losses.c_str());
    table << line;
  }
  std::fputs(table.str().c_str(), stdout);
  const std::string path = argc > 1 ? argv[1] : "relay_bench.txt";
  std::ofstream(path) << table.str();
  std::printf("written to %s\n", path.c_str());
  return 0;
}
