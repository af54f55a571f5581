// The real CorvaneService under a notify socket of the test's own, with a test profile in a
// private /opt/corvane (a tmpfs mounted inside the tests' mount namespace): it reports running,
// relays, and stops on SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <iostream>
#include <set>

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
    timeval wait{10, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  }
  ~NotifyListener() { close(fd_); }
  std::string Variable() const { return "NOTIFY_SOCKET=@" + name_; }
  std::string Next() {
    char buffer[512];
    const ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
    return got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : "(nothing in 10 s)";
  }

 private:
  std::string name_;
  int fd_ = -1;
};

TEST(ServiceBinary, ReportsRunningRelaysAndStopsOnSigterm) {
  ASSERT_EQ(mount("tmpfs", "/opt", "tmpfs", 0, "size=1m"), 0);
  ASSERT_TRUE(std::filesystem::create_directory("/opt/corvane"));
  UdpSocket sink = test::PeerSocket(AddressFamily::kIpv4);
  ProxyServerTable table;
  ProxyServerSettings proxy = *NewProxyServerSettings("relay");
  proxy.ServerAutoStartOnService = true;
  proxy.RecvPort = proxy.SendPort = test::FreeUdpPort();
  proxy.DontRecvFromYourIp = false;
  proxy.SendToHostsList = {{"127.0.0.1", 32, *sink.LocalPort()}};
  static_cast<void>(table.Register(proxy));
  const auto image = WriteProfileImage(table, {}, false, CurrentUtcTime());
  ASSERT_TRUE(ReplaceFile("/opt/corvane/CorvaneService.dat", image, 0644));

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
  messages.push_back(manager.Next());
  messages.push_back(manager.Next());
  EXPECT_EQ(messages[1], "STOPPING=1\nSTATUS=stop pending, check point 1");
  EXPECT_EQ(messages[2], "STATUS=stopped, check point 0");
  EXPECT_EQ(service.Wait(5s), 0);
  EXPECT_EQ(service.Output(), "<6>Service is running.\n<6>Service is stopped.\n");

  std::cout << "notify messages:\n";
  for (const std::string& message : messages) std::cout << "  " << message << "\n";
  std::cout << "standard error:\n" << service.Output();
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
