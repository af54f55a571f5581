// The real Corvane program, offscreen with a temporary home folder: it loads a prepared profile,
// relays on loopback, hands a second start over to itself, and on SIGTERM saves what its pages
// showed.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>

#include "config/profile_file.h"
#include "tests/support/child_process.h"
#include "tests/support/loopback.h"
#include "tests/support/packets.h"
#include "tests/support/temp_home.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

TEST(DesktopBinary, RelaysHandsOverASecondStartAndSavesOnSigterm) {
  test::TempHome home;
  UdpSocket sink = test::PeerSocket(AddressFamily::kIpv4);
  ProxyServerTable table;
  ProxyServerSettings relay = test::LoopbackRelay("relay", *sink.LocalPort());
  relay.ServerAutoStart = true;
  relay.RecvFromPortsList = {{1, 65535}};
  relay.DontRecvWithNextMacsList = {{9, 9, 9, 9, 9, 9}};
  ProxyServerSettings other = *NewProxyServerSettings("other");
  other.ActionsByMacsList = {{{1, 1, 1, 1, 1, 1}, {{{2, 2, 2, 2, 2, 2}, {}, false, {"h", 24, 7}}}}};
  static_cast<void>(table.Register(relay));
  static_cast<void>(table.Register(other));
  std::filesystem::create_directories(home.path() + "/Corvane");
  const auto image = WriteProfileImage(table, {}, false, CalendarTime{});
  ASSERT_FALSE(WriteFileReplacing(home.path() + "/Corvane/profile.dat", image, 0644));

  const std::vector<std::string> environment{"HOME=" + home.path(), "QT_QPA_PLATFORM=offscreen",
                                             "XDG_RUNTIME_DIR=" + home.path(),
                                             "XDG_CONFIG_HOME=" + home.path() + "/config"};
  test::ChildProcess corvane(CORVANE_DESKTOP_BINARY, environment);
  UdpSocket peer = test::PeerSocket(AddressFamily::kIpv4);
  const auto packet = test::MagicPayload({1, 2, 3, 4, 5, 6});
  std::optional<test::Received> relayed;
  for (int i = 0; i < 200 && !relayed; ++i) {
    test::Send(peer, packet, test::Loopback(AddressFamily::kIpv4, relay.RecvPort));
    relayed = test::ReceiveWithin(sink, 50ms);
  }
  ASSERT_TRUE(relayed.has_value()) << corvane.Output();
  EXPECT_EQ(relayed->payload, packet);

  test::ChildProcess second(CORVANE_DESKTOP_BINARY, environment);
  EXPECT_EQ(second.Wait(10s), 0);  // handed over and ended, without a window of its own
  EXPECT_FALSE(corvane.Wait(100ms).has_value());

  corvane.Signal(SIGTERM);
  EXPECT_EQ(corvane.Wait(10s), 0) << corvane.Output();
  ProxyServerTable saved;
  DisplayOptions options;
  ASSERT_TRUE(LoadProfile(saved, options));
  ASSERT_EQ(saved.size(), 2u);
  for (std::uint32_t i = 0; i < 2; ++i) {
    ProxyServerSettings expected = table[i];
    expected.Id = saved[i].Id;
    EXPECT_EQ(saved[i], expected) << expected.ServerName;
  }
}

// With few descriptors the proxy servers that cannot get their sockets fail with their error rows;
// the program itself keeps running and ends normally. Which ones get their sockets is up to the
// threads: each thread's stop descriptor is made when the window starts it, its sockets when it
// runs, so a thread that runs late finds the descriptors taken by the threads started after it.
TEST(DesktopBinary, RunningOutOfDescriptorsRefusesProxyServersButNotTheProgram) {
  test::TempHome home;
  UdpSocket sink = test::PeerSocket(AddressFamily::kIpv4);
  ProxyServerTable table;
  for (int i = 0; i < 200; ++i) {
    ProxyServerSettings relay =
        test::LoopbackRelay("relay " + std::to_string(i), *sink.LocalPort());
    relay.ServerAutoStart = true;
    relay.RecvFromPortsList = {{1, 65535}};
    static_cast<void>(table.Register(relay));
  }
  std::filesystem::create_directories(home.path() + "/Corvane");
  ASSERT_FALSE(WriteFileReplacing(home.path() + "/Corvane/profile.dat",
                                  WriteProfileImage(table, {}, false, CalendarTime{})));

  test::ChildProcess corvane(
      {"/bin/sh", "-c", "ulimit -n 128 && exec \"$0\"", CORVANE_DESKTOP_BINARY},
      {"HOME=" + home.path(), "QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + home.path()});
  UdpSocket peer = test::PeerSocket(AddressFamily::kIpv4);
  std::optional<test::Received> relayed;
  for (int round = 0; round < 300 && !relayed && !corvane.Wait(0ms); ++round) {
    for (std::size_t i = 0; i < table.size(); ++i) {
      test::Send(peer, test::MagicPayload({1, 2, 3, 4, 5, 6}),
                 test::Loopback(AddressFamily::kIpv4, table[i].RecvPort));
    }
    relayed = test::ReceiveWithin(sink, 100ms);
  }
  EXPECT_TRUE(relayed.has_value()) << corvane.Output();  // some run
  EXPECT_FALSE(corvane.Wait(0ms).has_value()) << corvane.Output();
  corvane.Signal(SIGTERM);
  EXPECT_EQ(corvane.Wait(10s), 0) << corvane.Output();
}

}  // namespace
}  // namespace corvane
