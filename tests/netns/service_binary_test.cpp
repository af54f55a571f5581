// The real CorvaneService under a notify socket of the test's own, with a test profile in a
// private /opt/corvane (a tmpfs mounted inside the tests' mount namespace): it reports running,
// relays, and stops on SIGTERM.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include "config/profile_file.h"
#include "tests/support/child_process.h"
#include "tests/support/loopback.h"
#include "tests/support/packets.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

// The service manager's end of the notify protocol.
class NotifyListener {
 public:
  NotifyListener() : name_("corvane-test-" + std::to_string(getpid())) {
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name_.data(), name_.size());  // abstract: no file
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name_.size());
    EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&address), length), 0);
  }
  ~NotifyListener() { close(fd_); }
  std::string Variable() const { return "NOTIFY_SOCKET=@" + name_; }
  std::string Next() { return Within(10s).value_or("(nothing in 10 s)"); }
  std::optional<std::string> Within(std::chrono::milliseconds wait) {
    pollfd polled{fd_, POLLIN, 0};
    if (poll(&polled, 1, static_cast<int>(wait.count())) != 1) return std::nullopt;
    char buffer[512];
    const ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
    if (got <= 0) return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(got));
  }

 private:
  std::string name_;
  int fd_ = -1;
};

// The lines of `output` whose priority prefix is one of `priorities` ("<6>", "<3>", "<7>").
std::vector<std::string> LinesAt(const std::string& output,
                                 std::initializer_list<std::string_view> priorities) {
  std::vector<std::string> lines;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    for (const std::string_view priority : priorities) {
      if (line.starts_with(priority)) lines.push_back(line);
    }
  }
  return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// The next notify message that is not a mere update of the running totals.
std::string NextState(NotifyListener& manager) {
  std::string message = manager.Next();
  while (message.starts_with("READY=1\nSTATUS=running, check point 0; ")) message = manager.Next();
  return message;
}

TEST(ServiceBinary, ReportsRunningRelaysAndStopsOnSigterm) {
  ASSERT_EQ(mount("tmpfs", "/opt", "tmpfs", 0, "size=1m"), 0);
  ASSERT_TRUE(std::filesystem::create_directory("/opt/corvane"));
  UdpSocket sink = test::PeerSocket(AddressFamily::kIpv4);
  ProxyServerTable table;
  ProxyServerSettings proxy = test::LoopbackRelay("relay", *sink.LocalPort());
  proxy.ServerAutoStartOnService = true;
  static_cast<void>(table.Register(proxy));
  const auto image = WriteProfileImage(table, {}, false, CurrentUtcTime());
  ASSERT_FALSE(WriteFileReplacing("/opt/corvane/CorvaneService.dat", image, 0644));

  NotifyListener manager;
  test::ChildProcess service(CORVANE_SERVICE_BINARY, {manager.Variable()});
  std::vector<std::string> messages{manager.Next()};
  EXPECT_EQ(messages[0], "READY=1\nSTATUS=running, check point 0");

  // The service waits five seconds before it starts its proxy servers.
  UdpSocket peer = test::PeerSocket(AddressFamily::kIpv4);
  const auto packet = test::MagicPayload({1, 2, 3, 4, 5, 6});
  std::optional<test::Received> relayed;
  for (int i = 0; i < 300 && !relayed; ++i) {
    test::Send(peer, packet, test::Loopback(AddressFamily::kIpv4, proxy.RecvPort));
    relayed = test::ReceiveWithin(sink, 50ms);
  }
  ASSERT_TRUE(relayed.has_value());
  EXPECT_EQ(relayed->payload, packet);
  while (test::ReceiveWithin(sink, 100ms)) {
  }

  // A wake-all burst: 1000 packets for 1000 MACs back to back, every one relayed.
  ASSERT_TRUE(sink.ReserveReceiveBuffer(16 << 20));
  std::set<std::vector<std::uint8_t>> burst;
  for (unsigned i = 0; i < 1000; ++i) {
    const auto payload = test::MagicPayload(
        {0x02, 0, 0, 0, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)});
    burst.insert(payload);
    test::Send(peer, payload, test::Loopback(AddressFamily::kIpv4, proxy.RecvPort));
  }
  std::size_t arrived = 0;
  while (const auto copy = test::ReceiveWithin(sink, 2s)) arrived += burst.erase(copy->payload);
  EXPECT_EQ(arrived, 1000u);

  service.Signal(SIGTERM);
  messages.push_back(NextState(manager));
  messages.push_back(NextState(manager));
  EXPECT_TRUE(
      messages[1].starts_with("STOPPING=1\nSTATUS=stop pending, check point 1; 1 proxy server; "));
  EXPECT_TRUE(messages[2].starts_with("STATUS=stopped, check point 0; 0 proxy servers; "));
  EXPECT_EQ(service.Wait(5s), 0);
  // The event lines are those of a service that traces nothing; the trace is at debug level.
  EXPECT_EQ(Joined(LinesAt(service.Output(), {"<0>", "<1>", "<2>", "<3>", "<4>", "<5>", "<6>"})),
            "<6>Service is running.\n<6>Service is stopped.\n");

  std::cout << "notify messages:\n";
  for (const std::string& message : messages) std::cout << "  " << message << "\n";
  std::cout << "standard error:\n" << service.Output();
  umount2("/opt", MNT_DETACH);
}

// The number in `line` ("130 trace lines left out: 100 by L, 30 by M") that `label` left out.
std::uint64_t LeftOutBy(const std::string& line, const std::string& label) {
  for (std::size_t at = line.find(" by " + label); at != std::string::npos;
       at = line.find(" by " + label, at + 1)) {
    const std::size_t end = at + 4 + label.size();
    if (end != line.size() && line.compare(end, 2, ", ") != 0) continue;
    const std::size_t start = line.find_last_of(' ', at - 1) + 1;
    return std::stoull(line.substr(start, at - start));
  }
  return 0;
}

// A flood of packets for 20000 MACs into four proxy servers, one with an awkward name and two
// failing destinations: the totals in the status, one trace of at most 100 lines a second for all
// of them that accounts for every line it left out, per proxy server, the SIGUSR1 lines and the
// metrics file.
TEST(ServiceBinary, TellsWhatItDoesWithoutFloodingTheJournal) {
  ASSERT_EQ(mount("tmpfs", "/opt", "tmpfs", 0, "size=1m"), 0);
  ASSERT_TRUE(std::filesystem::create_directory("/opt/corvane"));
  const std::string metrics_folder = "/var/lib/prometheus/node-exporter";
  ASSERT_TRUE(std::filesystem::is_directory(metrics_folder))
      << "no " << metrics_folder << ": scripts/deps.sh test installs prometheus-node-exporter";
  ASSERT_EQ(mount("tmpfs", metrics_folder.c_str(), "tmpfs", 0, "size=1m,mode=755"), 0);
  UdpSocket sink = test::PeerSocket(AddressFamily::kIpv4);
  ASSERT_TRUE(sink.ReserveReceiveBuffer(16 << 20));
  ProxyServerTable table;
  std::vector<ProxyServerSettings> proxies = {
      test::LoopbackRelay("a \"b\" \\ c\n\xFF", *sink.LocalPort()),
      test::LoopbackRelay("b", *sink.LocalPort()), test::LoopbackRelay("c", *sink.LocalPort()),
      test::LoopbackRelay("d", *sink.LocalPort())};
  proxies[0].SendToHostsList = {
      {"127.0.0.1", 32, *sink.LocalPort()}, {"nothing.corvane.test", 32, 9}, {"127.0.0.1", 32, 0}};
  for (ProxyServerSettings& proxy : proxies) {
    proxy.ServerAutoStartOnService = true;
    static_cast<void>(table.Register(proxy));
  }
  ASSERT_FALSE(WriteFileReplacing("/opt/corvane/CorvaneService.dat",
                                  WriteProfileImage(table, {}, false, CurrentUtcTime()), 0644));
  NotifyListener manager;
  test::ChildProcess service(CORVANE_SERVICE_BINARY, {manager.Variable()});
  ASSERT_EQ(manager.Next(), "READY=1\nSTATUS=running, check point 0");

  UdpSocket peer = test::PeerSocket(AddressFamily::kIpv4);
  ASSERT_TRUE(peer.ReserveReceiveBuffer(16 << 20));
  for (const ProxyServerSettings& proxy : proxies) {
    const Endpoint to = test::Loopback(AddressFamily::kIpv4, proxy.RecvPort);
    std::optional<test::Received> relayed;
    for (int i = 0; i < 300 && !relayed; ++i) {
      test::Send(peer, test::MagicPayload({1, 2, 3, 4, 5, 6}), to);
      relayed = test::ReceiveWithin(sink, 50ms);
    }
    ASSERT_TRUE(relayed.has_value()) << proxy.ServerName;
  }
  const auto flood_start = std::chrono::steady_clock::now();
  for (unsigned i = 0; i < 20000; ++i) {
    test::Send(
        peer,
        test::MagicPayload({0x02, 0, 0, static_cast<std::uint8_t>(i >> 16),
                            static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)}),
        test::Loopback(AddressFamily::kIpv4, proxies[i % proxies.size()].RecvPort));
  }
  // The totals settle once the flood is through: the last of them is followed by silence, by
  // which time the trace has told what it left out.
  std::string status;
  while (const std::optional<std::string> next = manager.Within(2500ms)) status = *next;
  const auto elapsed = std::chrono::steady_clock::now() - flood_start;
  const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();

  // SIGUSR1: one line with the counters per proxy server; the service goes on.
  std::vector<std::string> labels;
  for (const ProxyServerSettings& proxy : proxies) {
    labels.push_back(
        "Proxy server \"" +
        (labels.empty() ? std::string("a \\\"b\\\" \\\\ c\\x0A\\xFF") : proxy.ServerName) +
        "\" port " + std::to_string(proxy.RecvPort));
  }
  const std::string output = service.Output();
  service.Signal(SIGUSR1);
  std::vector<std::uint64_t> received(proxies.size(), 0);
  for (int i = 0; i < 200 && std::count(received.begin(), received.end(), 0u) > 0; ++i) {
    std::this_thread::sleep_for(10ms);
    const std::vector<std::string> lines = LinesAt(service.Output().substr(output.size()), {"<7>"});
    for (std::size_t p = 0; p < proxies.size(); ++p) {
      for (const std::string& line : lines) {
        if (line.starts_with("<7>" + labels[p] + ": ")) {
          received[p] = std::stoull(line.substr(3 + labels[p].size() + 2));
        }
      }
    }
  }
  EXPECT_FALSE(service.Wait(0ms).has_value());

  // Every packet had four things to tell in the first proxy server (received, sent, a failed
  // resolution, a failed send) and two in the others. What the trace did not write, its "left
  // out" lines count.
  const std::vector<std::string> trace = LinesAt(output, {"<7>"});
  std::uint64_t written = 0, total_received = 0;
  for (std::size_t p = 0; p < proxies.size(); ++p) {
    std::uint64_t written_here = 0, left_out_here = 0;
    for (const std::string& line : trace) {
      if (line.starts_with("<7>" + labels[p] + ": ")) ++written_here;
      if (line.find(" trace lines left out: ") != std::string::npos) {
        left_out_here += LeftOutBy(line, labels[p]);
      }
    }
    EXPECT_EQ(written_here + left_out_here, (p == 0 ? 4 : 2) * received[p]) << labels[p];
    EXPECT_GT(received[p], 250u) << labels[p];
    written += written_here;
    total_received += received[p];
  }
  std::cout << total_received << " of 20000 packets received by " << proxies.size()
            << " proxy servers; " << written << " trace lines written in " << milliseconds
            << " ms (" << written * 1000 / static_cast<std::uint64_t>(milliseconds) << "/s)\n";
  EXPECT_LE(written, static_cast<std::uint64_t>(100 * (milliseconds / 1000 + 2)));
  const std::size_t at = status.find("; 4 proxy servers; ");
  ASSERT_NE(at, std::string::npos) << status;
  // The service's buffers are large; what the system dropped all the same is counted.
  const std::uint64_t dropped = std::stoull(status.substr(status.rfind(", ") + 2));
  EXPECT_EQ(status.substr(at),
            "; 4 proxy servers; " + std::to_string(total_received) + " received, 0 ignored, " +
                std::to_string(total_received) + " sent, " + std::to_string(2 * received[0]) +
                " failed, 0 woke, 0 not seen, " + std::to_string(dropped) + " dropped");
  EXPECT_NE(std::find(trace.begin(), trace.end(),
                      "<7>" + labels[0] +
                          ": can not resolve \"nothing.corvane.test\" to an IP address: "
                          "Name or service not known"),
            trace.end());
  EXPECT_NE(std::find(trace.begin(), trace.end(),
                      "<7>" + labels[0] + ": can not send to 127.0.0.1 port 0: Invalid argument"),
            trace.end());
  const std::string counters = "<7>" + labels[0] + ": " + std::to_string(received[0]) +
                               " received, " + std::to_string(received[0]) +
                               " accepted, 0 ignored, " + std::to_string(received[0]) + " sent, " +
                               std::to_string(received[0]) + " send failures, " +
                               std::to_string(received[0]) + " resolve failures, ";
  const auto lines = LinesAt(service.Output(), {"<7>"});
  EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                         [&](const std::string& line) { return line.starts_with(counters); }),
            lines.end())
      << counters;

  // The metrics file, readable by node_exporter's user; its label keeps the name as UTF-8.
  service.Signal(SIGTERM);
  EXPECT_EQ(service.Wait(5s), 0);
  // No event was lost to the trace.
  EXPECT_EQ(Joined(LinesAt(service.Output(), {"<0>", "<1>", "<2>", "<3>", "<4>", "<5>", "<6>"})),
            "<6>Service is running.\n<6>Service is stopped.\n");
  const std::string metrics_file = metrics_folder + "/corvane.prom";
  struct stat info {};
  ASSERT_EQ(stat(metrics_file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
  std::ifstream file(metrics_file);
  const std::string metrics{std::istreambuf_iterator<char>(file), {}};
  EXPECT_NE(metrics.find(
                "corvane_packets_received_total{server=\"a \\\"b\\\" \\\\ c\\n\xEF\xBF\xBD\","
                "port=\"" +
                std::to_string(proxies[0].RecvPort) + "\"} " + std::to_string(received[0]) + "\n"),
            std::string::npos)
      << metrics;
  EXPECT_NE(metrics.find("\ncorvane_proxy_servers_running 0\n"), std::string::npos);
  EXPECT_EQ(std::filesystem::directory_iterator(metrics_folder)->path(), metrics_file);  // alone
  umount2(metrics_folder.c_str(), MNT_DETACH);
  umount2("/opt", MNT_DETACH);
}

TEST(ServiceBinary, AMissingConfigurationStopsTheServiceInOrder) {
  ASSERT_EQ(mount("tmpfs", "/opt", "tmpfs", 0, "size=1m"), 0);
  NotifyListener manager;
  test::ChildProcess service(CORVANE_SERVICE_BINARY, {manager.Variable()});
  EXPECT_EQ(manager.Next(), "READY=1\nSTATUS=running, check point 0");
  EXPECT_EQ(manager.Next(), "STATUS=stopped, check point 0");
  EXPECT_EQ(service.Wait(5s), 0);
  EXPECT_EQ(
      service.Output(),
      "<6>Service is running.\n<3>Configuration file was not found.\n<6>Service is stopped.\n");
  umount2("/opt", MNT_DETACH);
}

}  // namespace
}  // namespace corvane
