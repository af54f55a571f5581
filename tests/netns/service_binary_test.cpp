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

// A flood of packets for 20000 MACs to a proxy server with an awkward name and two failing
// destinations: the totals in the status, a trace cut to 50 lines a second that accounts for
// every line it left out, the SIGUSR1 line and the metrics file.
TEST(ServiceBinary, TellsWhatItDoesWithoutFloodingTheJournal) {
  ASSERT_EQ(mount("tmpfs", "/opt", "tmpfs", 0, "size=1m"), 0);
  ASSERT_TRUE(std::filesystem::create_directory("/opt/corvane"));
  const std::string metrics_folder = "/var/lib/prometheus/node-exporter";
  ASSERT_TRUE(std::filesystem::is_directory(metrics_folder))
      << "no " << metrics_folder << ": scripts/deps.sh test installs prometheus-node-exporter";
  ASSERT_EQ(mount("tmpfs", metrics_folder.c_str(), "tmpfs", 0, "size=1m,mode=755"), 0);
  UdpSocket sink = test::PeerSocket(AddressFamily::kIpv4);
  ProxyServerTable table;
  ProxyServerSettings proxy = test::LoopbackRelay("a \"b\" \\ c\n\xFF", *sink.LocalPort());
  proxy.ServerAutoStartOnService = true;
  proxy.SendToHostsList = {
      {"127.0.0.1", 32, *sink.LocalPort()}, {"nothing.corvane.test", 32, 9}, {"127.0.0.1", 32, 0}};
  static_cast<void>(table.Register(proxy));
  ASSERT_FALSE(WriteFileReplacing("/opt/corvane/CorvaneService.dat",
                                  WriteProfileImage(table, {}, false, CurrentUtcTime()), 0644));
  NotifyListener manager;
  test::ChildProcess service(CORVANE_SERVICE_BINARY, {manager.Variable()});
  ASSERT_EQ(manager.Next(), "READY=1\nSTATUS=running, check point 0");

  UdpSocket peer = test::PeerSocket(AddressFamily::kIpv4);
  const Endpoint to = test::Loopback(AddressFamily::kIpv4, proxy.RecvPort);
  std::optional<test::Received> relayed;
  for (int i = 0; i < 300 && !relayed; ++i) {
    test::Send(peer, test::MagicPayload({1, 2, 3, 4, 5, 6}), to);
    relayed = test::ReceiveWithin(sink, 50ms);
  }
  ASSERT_TRUE(relayed.has_value());
  const auto flood_start = std::chrono::steady_clock::now();
  for (unsigned i = 0; i < 20000; ++i) {
    test::Send(
        peer,
        test::MagicPayload({0x02, 0, 0, static_cast<std::uint8_t>(i >> 16),
                            static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)}),
        to);
  }
  // Once the flood is handled, its last "left out" line comes within a second or two.
  const std::string label =
      "Proxy server \"a \\\"b\\\" \\\\ c\\x0A\\xFF\" port " + std::to_string(proxy.RecvPort);
  // The totals settle once the flood is through: the last of them is followed by silence, by
  // which time the trace has told what it left out.
  std::string status;
  while (const std::optional<std::string> next = manager.Within(2500ms)) status = *next;
  const auto elapsed = std::chrono::steady_clock::now() - flood_start;
  const auto seconds_text = [](auto duration) {
    return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(duration).count()) +
           " ms";
  };

  // Every packet had four things to tell: received, sent, a failed resolution, a failed send.
  // What the trace did not write, its "left out" lines count.
  const std::vector<std::string> trace = LinesAt(service.Output(), {"<7>" + label + ": "});
  std::uint64_t written = 0, left_out = 0;
  for (const std::string& line : trace) {
    const std::string text = line.substr(3 + label.size() + 2);
    if (text.ends_with(" trace lines left out")) {
      left_out += std::stoull(text);
    } else {
      ++written;
    }
  }
  const std::size_t at = status.find("; 1 proxy server; ");
  ASSERT_NE(at, std::string::npos) << status;
  const std::uint64_t received = std::stoull(status.substr(at + 18));
  EXPECT_EQ(status.substr(at), "; 1 proxy server; " + std::to_string(received) +
                                   " received, 0 ignored, " + std::to_string(received) + " sent, " +
                                   std::to_string(2 * received) + " failed, 0 woke, 0 not seen");
  std::cout << received << " of 20000 packets received; " << written << " trace lines written, "
            << left_out << " left out, in " << seconds_text(elapsed) << "\n";
  EXPECT_GT(received, 1000u);
  EXPECT_EQ(written + left_out, 4 * received);
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
  EXPECT_LE(written, static_cast<std::uint64_t>(50 * (seconds + 2)));
  EXPECT_NE(std::find(trace.begin(), trace.end(),
                      "<7>" + label +
                          ": can not resolve \"nothing.corvane.test\" to an IP address: "
                          "Name or service not known"),
            trace.end());
  EXPECT_NE(std::find(trace.begin(), trace.end(),
                      "<7>" + label + ": can not send to 127.0.0.1 port 0: Invalid argument"),
            trace.end());

  // SIGUSR1: one line with the counters; the service goes on.
  const std::string counters =
      "<7>" + label + ": " + std::to_string(received) + " received, " + std::to_string(received) +
      " accepted, 0 ignored, " + std::to_string(received) + " sent, " + std::to_string(received) +
      " send failures, " + std::to_string(received) + " resolve failures, 0 woke, 0 not seen";
  service.Signal(SIGUSR1);
  bool told = false;
  for (int i = 0; i < 200 && !told; ++i) {
    std::this_thread::sleep_for(10ms);
    const auto lines = LinesAt(service.Output(), {"<7>"});
    told = std::find(lines.begin(), lines.end(), counters) != lines.end();
  }
  EXPECT_TRUE(told) << counters;
  EXPECT_FALSE(service.Wait(0ms).has_value());

  // The metrics file, readable by node_exporter's user; its label keeps the name as UTF-8.
  service.Signal(SIGTERM);
  EXPECT_EQ(service.Wait(5s), 0);
  const std::string metrics_file = metrics_folder + "/corvane.prom";
  struct stat info {};
  ASSERT_EQ(stat(metrics_file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
  std::ifstream file(metrics_file);
  const std::string metrics{std::istreambuf_iterator<char>(file), {}};
  EXPECT_NE(
      metrics.find("corvane_packets_received_total{server=\"a \\\"b\\\" \\\\ c\\n\xEF\xBF\xBD\","
                   "port=\"" +
                   std::to_string(proxy.RecvPort) + "\"} " + std::to_string(received) + "\n"),
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
