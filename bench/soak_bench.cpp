// The soak run: CorvaneService under systemd and the desktop program Corvane relay a steady stream
// of magic packets for a number of minutes, one datagram in ten hostile, while the service is
// stopped and started again 100 times. Afterwards the figures that would show a slow leak or a
// journal flood: resident memory, descriptors and threads of both programs at the start and the
// end, valid packets lost, and how much the journal grew.
//
// Runs inside a systemd booted in private namespaces (bench/soak.sh), as root, on loopback only:
//   corvane_soak_bench MINUTES RATE PROGRAM_FOLDER RESULT_FILE [CYCLES]
// PROGRAM_FOLDER holds Corvane and CorvaneService; RATE is datagrams per second into each program;
// CYCLES, the stops and starts, 100 unless told.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_programs.h"
#include "bench/bench_sockets.h"
#include "config/profile_file.h"
#include "platform/files.h"
#include "service/service_control.h"
#include "service/systemd_service_manager.h"

namespace corvane::bench {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::uint16_t kServicePort = 41009, kServiceSink = 41010;
constexpr std::uint16_t kDesktopPort = 42009, kDesktopSink = 42010;

// A valid magic packet whose MAC carries `sequence`: 02:00 and its four bytes.
std::vector<std::uint8_t> Valid(std::uint32_t sequence) {
  std::vector<std::uint8_t> packet(102, 0xFF);
  const std::uint8_t mac[6] = {0x02,
                               0x00,
                               static_cast<std::uint8_t>(sequence >> 24),
                               static_cast<std::uint8_t>(sequence >> 16),
                               static_cast<std::uint8_t>(sequence >> 8),
                               static_cast<std::uint8_t>(sequence)};
  for (int copy = 0; copy < 16; ++copy) std::memcpy(packet.data() + 6 + copy * 6, mac, 6);
  return packet;
}

// The hostile kinds in turn: too short, longer than the receive buffer, a broken sync stream,
// random bytes.
std::vector<std::uint8_t> Hostile(std::uint32_t n, std::mt19937& random) {
  switch (n % 4) {
    case 0:
      return std::vector<std::uint8_t>(50, 0xFF);
    case 1: {
      std::vector<std::uint8_t> packet = Valid(n);
      packet.resize(1400, 0xAA);
      return packet;
    }
    case 2: {
      std::vector<std::uint8_t> packet = Valid(n);
      packet[5] = 0x00;
      return packet;
    }
    default: {
      std::vector<std::uint8_t> packet(1 + random() % 1000);
      for (std::uint8_t& byte : packet) byte = static_cast<std::uint8_t>(random());
      return packet;
    }
  }
}

// Records which valid packets arrived, by sequence number, and when the last one did.
class Sink {
 public:
  explicit Sink(std::uint16_t port)
      : fd_(BoundSocket(port, 64 << 20)), thread_([this] { Run(); }) {}
  ~Sink() {
    stop_ = true;
    thread_.join();
    close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  Clock::time_point last_arrival() const { return Clock::time_point(Clock::duration(last_)); }
  // How many of the sequence numbers in [first, end) arrived.
  std::size_t Arrived(std::uint32_t first, std::uint32_t end) {
    std::lock_guard lock(mutex_);
    std::size_t count = 0;
    for (std::uint32_t n = first; n < end && n < seen_.size(); ++n) count += seen_[n];
    return count;
  }

 private:
  void Run() {
    std::uint8_t buffer[2048];
    pollfd polled{fd_, POLLIN, 0};
    while (!stop_) {
      if (poll(&polled, 1, 20) <= 0) continue;
      ssize_t length = 0;
      while ((length = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
        if (length != 102) continue;
        const std::uint32_t n = std::uint32_t{buffer[8]} << 24 | std::uint32_t{buffer[9]} << 16 |
                                std::uint32_t{buffer[10]} << 8 | buffer[11];
        std::lock_guard lock(mutex_);
        if (seen_.size() <= n) seen_.resize(n + 1 + 100000);
        seen_[n] = true;
        last_ = Clock::now().time_since_epoch().count();
      }
    }
  }

  int fd_;
  std::atomic<bool> stop_{false};
  std::atomic<Clock::rep> last_{0};
  std::mutex mutex_;
  std::vector<bool> seen_;
  std::thread thread_;
};

// `rate` datagrams a second into each program, every tenth hostile, in bursts every 5 ms. Valid
// packets are numbered in the order sent, the same number going to both programs.
class Traffic {
 public:
  explicit Traffic(int rate) : fd_(BoundSocket(0)), rate_(rate), thread_([this] { Run(); }) {}
  ~Traffic() {
    stop_ = true;
    thread_.join();
    close(fd_);
  }
  std::uint32_t next_valid() const { return next_valid_; }
  std::uint64_t hostile() const { return hostile_; }

 private:
  void Send(const std::vector<std::uint8_t>& packet) {
    for (const std::uint16_t port : {kServicePort, kDesktopPort}) {
      sockaddr_in to = Loopback(port);
      sendto(fd_, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to),
             sizeof to);
    }
  }
  void Run() {
    std::mt19937 random(24);
    const int per_burst = std::max(1, rate_ / 200);
    auto next = Clock::now();
    for (std::uint64_t sent = 0; !stop_; next += 5ms) {
      std::this_thread::sleep_until(next);
      for (int i = 0; i < per_burst; ++i, ++sent) {
        if (sent % 10 == 9) {
          Send(Hostile(static_cast<std::uint32_t>(hostile_++), random));
        } else {
          Send(Valid(next_valid_));
          ++next_valid_;  // after the send: a number below it has been sent
        }
      }
    }
  }

  int fd_;
  const int rate_;
  std::atomic<bool> stop_{false};
  std::atomic<std::uint32_t> next_valid_{0};
  std::atomic<std::uint64_t> hostile_{0};
  std::thread thread_;
};

std::string Command(const std::string& command) {
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
    pclose(pipe);
  }
  while (!output.empty() && output.back() == '\n') output.pop_back();
  return output;
}

struct Usage {
  long rss_kb = 0, descriptors = 0, threads = 0;
};

Usage UsageOf(pid_t pid) {
  Usage usage;
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmRSS:")) usage.rss_kb = std::stol(line.substr(6));
    if (line.starts_with("Threads:")) usage.threads = std::stol(line.substr(8));
  }
  std::error_code error;
  for (const auto& entry :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
    static_cast<void>(entry);
    ++usage.descriptors;
  }
  return usage;
}

pid_t ServicePid() {
  return std::atoi(Command("systemctl show -p MainPID --value CorvaneService").c_str());
}

// The journal's files on the disk (they grow in steps of 8 MB), and the service's own entries in
// the journal's export format.
long JournalBytes() {
  return std::atol(Command("du -sb /run/log/journal /var/log/journal 2>/dev/null | "
                           "awk '{ s += $1 } END { print s + 0 }'")
                       .c_str());
}
long ServiceEntryBytes() {
  return std::atol(Command("journalctl -o export --no-pager -t CorvaneService | wc -c").c_str());
}

// Waits up to `limit` for a valid packet at `sink` that arrived after `since`.
bool RelaysWithin(const Sink& sink, Clock::time_point since, std::chrono::seconds limit) {
  const auto deadline = Clock::now() + limit;
  while (sink.last_arrival() <= since && Clock::now() < deadline) std::this_thread::sleep_for(10ms);
  return sink.last_arrival() > since;
}

std::string Row(const char* what, const Usage& start, const Usage& end) {
  char line[200];
  std::snprintf(line, sizeof line, "%-16s %8ld -> %-8ld %6ld -> %-6ld %6ld -> %-6ld\n", what,
                start.rss_kb, end.rss_kb, start.descriptors, end.descriptors, start.threads,
                end.threads);
  return line;
}

int Run(int minutes, int rate, const std::string& folder, const std::string& result_file,
        int cycles) {
  const std::string admin = "/tmp/soak-admin", desktop_home = "/tmp/soak-desktop";
  ProxyServerSettings service_relay = LoopbackRelay("soak", kServicePort, {kServiceSink});
  service_relay.ServerAutoStartOnService = true;
  ProxyServerSettings desktop_relay = LoopbackRelay("soak", kDesktopPort, {kDesktopSink});
  desktop_relay.ServerAutoStart = true;
  if (!WriteProfile(admin, {service_relay}) || !WriteProfile(desktop_home, {desktop_relay})) {
    std::cerr << "the profiles could not be written\n";
    return 1;
  }
  setenv("HOME", admin.c_str(), 1);
  SystemdServiceManager manager;
  SystemFileCopier copier;
  ServicePaths paths = CurrentServicePaths();
  paths.program_source = folder + "/CorvaneService";
  ServiceControl control{
      manager, copier, paths,
      [] {},   [] {},  [](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); }};
  std::cout << control.Install().message << "\n";

  Sink service_sink(kServiceSink), desktop_sink(kDesktopSink);
  if (!service_sink.ok() || !desktop_sink.ok()) return 1;
  const long journal_before = JournalBytes(), entries_before = ServiceEntryBytes();
  const pid_t desktop = StartDesktop(folder + "/Corvane", desktop_home);
  Traffic traffic(rate);
  const auto began = Clock::now();
  if (!RelaysWithin(desktop_sink, began, 30s)) {
    std::cerr << "the desktop program does not relay\n";
    kill(desktop, SIGKILL);
    return 1;
  }
  const std::uint32_t desktop_first = traffic.next_valid();
  const Usage desktop_start = UsageOf(desktop);

  // Stopped at random moments 2 to 7 s after each start: in the start-up pause, or relaying. Two
  // seconds apart at least, so that these starts stay below systemd's start limit.
  std::mt19937 random(7);
  std::uniform_int_distribution<int> run_ms(2000, 7000);
  int refused = 0, relayed_cycles = 0;
  Clock::duration longest_stop{};
  for (int cycle = 0; cycle <= cycles; ++cycle) {
    const auto started = Clock::now();
    const ServiceOutcome result = control.Start();
    if (!result.succeeded) {
      ++refused;
      std::cerr << "start " << cycle << ": " << result.message << "\n";
    }
    if (cycle == cycles) break;  // the last start runs to the end
    std::this_thread::sleep_for(std::chrono::milliseconds(run_ms(random)));
    relayed_cycles += service_sink.last_arrival() > started;
    const auto stopping = Clock::now();
    if (!control.Stop().succeeded) ++refused;
    while (Command("systemctl show -p ActiveState --value CorvaneService") != "inactive" &&
           Clock::now() - stopping < 30s) {
      std::this_thread::sleep_for(10ms);
    }
    longest_stop = std::max(longest_stop, Clock::now() - stopping);
  }
  const auto cycles_took = Clock::now() - began;

  const auto last_start = Clock::now();
  if (!RelaysWithin(service_sink, last_start, 30s)) std::cerr << "the service does not relay\n";
  const std::uint32_t service_first = traffic.next_valid();
  const pid_t service = ServicePid();
  const Usage service_start = UsageOf(service);
  const auto end = std::max(began + std::chrono::minutes(minutes), Clock::now() + 60s);
  std::this_thread::sleep_until(end);
  const Usage service_end = UsageOf(service), desktop_end = UsageOf(desktop);
  const std::uint32_t last = traffic.next_valid();
  const std::uint64_t hostile = traffic.hostile();
  std::this_thread::sleep_for(2s);  // the last copies arrive
  const std::size_t service_got = service_sink.Arrived(service_first, last);
  const std::size_t desktop_got = desktop_sink.Arrived(desktop_first, last);
  const long journal_after = JournalBytes(), entries_after = ServiceEntryBytes();
  const std::string journal_lines =
      Command("journalctl -o cat --no-pager -t CorvaneService | wc -l");
  const std::string journal_errors =
      Command("journalctl -o cat --no-pager -t CorvaneService -p err | wc -l");

  std::ostringstream report;
  const double run_s = std::chrono::duration<double>(Clock::now() - began).count();
  report << "Soak: " << rate << " datagrams/s into each program (1 in 10 hostile: short, long, "
         << "broken sync, random), " << static_cast<int>(run_s) << " s in all\n"
         << "service: " << cycles << " stops and starts under traffic in "
         << std::chrono::duration_cast<std::chrono::seconds>(cycles_took).count()
         << " s; refused or failed actions " << refused << "; cycles that relayed before their "
         << "stop " << relayed_cycles << "; longest stop "
         << std::chrono::duration_cast<std::chrono::milliseconds>(longest_stop).count()
         << " ms; then one run of "
         << std::chrono::duration_cast<std::chrono::seconds>(end - last_start).count() << " s\n\n"
         << "                 RSS kB (start -> end)  descriptors      threads\n"
         << Row("Corvane", desktop_start, desktop_end)
         << Row("CorvaneService", service_start, service_end) << "\n"
         << "valid packets lost: Corvane " << (last - desktop_first) - desktop_got << " of "
         << last - desktop_first << " (the whole run); CorvaneService "
         << (last - service_first) - service_got << " of " << last - service_first
         << " (its last run); hostile datagrams sent " << hostile << " to each\n"
         << "journal: " << journal_before / 1024 << " kB -> " << journal_after / 1024 << " kB (+"
         << (journal_after - journal_before) / 1024 << " kB on the disk); CorvaneService's "
         << "entries " << entries_before << " -> " << entries_after << " bytes exported, "
         << journal_lines << " lines, of them errors " << journal_errors << "\n";
  std::cout << report.str();
  std::ofstream(result_file) << report.str();

  std::cout << control.Stop().message << "\n";
  kill(desktop, SIGTERM);
  waitpid(desktop, nullptr, 0);
  return 0;
}

}  // namespace
}  // namespace corvane::bench

int main(int argc, char** argv) {
  if (argc != 5 && argc != 6) {
    std::cerr << "usage: corvane_soak_bench MINUTES RATE PROGRAM_FOLDER RESULT_FILE [CYCLES]\n";
    return 2;
  }
  return corvane::bench::Run(std::atoi(argv[1]), std::atoi(argv[2]), argv[3], argv[4],
                             argc == 6 ? std::atoi(argv[5]) : 100);
}
