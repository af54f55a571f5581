// Another local user (`nobody`, through setpriv) against what Corvane holds on this host: the
// single-instance claim and the receive ports of its proxy servers.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "engine/proxy_sockets.h"
#include "tests/support/child_process.h"
#include "tests/support/loopback.h"
#include "tests/support/temp_home.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

test::ChildProcess AsNobody(std::vector<std::string> arguments) {
  std::vector<std::string> command{"/usr/bin/setpriv",  "--reuid=65534",   "--regid=65534",
                                   "--clear-groups",    "--inh-caps=-all", "--",
                                   CORVANE_HOSTILE_USER};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return test::ChildProcess(command, {});
}

// Waits until the child has written `text`.
bool Says(test::ChildProcess& child, const std::string& text) {
  for (int i = 0; i < 500; ++i) {
    if (child.Output().find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

TEST(LocalSecurity, AnotherUserCanNeitherTakeNorAnswerTheSingleInstanceClaim) {
  test::TempHome home;
  const std::string squatted = home.path() + "-squatted";
  test::ChildProcess squatter =
      AsNobody({"squat", squatted, "CorvaneMutex-" + std::to_string(getuid()), "30"});
  ASSERT_TRUE(Says(squatter, "ready")) << squatter.Output();

  // A runtime folder that another user made and can enter is not used.
  const std::vector<std::string> environment{"HOME=" + home.path(), "QT_QPA_PLATFORM=offscreen",
                                             "XDG_RUNTIME_DIR=" + squatted,
                                             "XDG_CONFIG_HOME=" + home.path() + "/config"};
  test::ChildProcess first(CORVANE_DESKTOP_BINARY, environment);
  EXPECT_FALSE(first.Wait(2s).has_value()) << first.Output();
  test::ChildProcess second(CORVANE_DESKTOP_BINARY, environment);
  EXPECT_EQ(second.Wait(10s), 0) << second.Output();  // handed over to the first, privately
  EXPECT_FALSE(first.Wait(100ms).has_value());

  test::ChildProcess prober = AsNobody({"connect", home.path() + "/Corvane/CorvaneMutex.socket"});
  EXPECT_EQ(prober.Wait(5s), 0);
  EXPECT_NE(prober.Output().find("refused"), std::string::npos) << prober.Output();

  first.Signal(SIGTERM);
  EXPECT_EQ(first.Wait(10s), 0) << first.Output();
  EXPECT_EQ(squatter.Output().find("got:"), std::string::npos) << squatter.Output();
  std::filesystem::remove_all(squatted);
}

TEST(LocalSecurity, AnotherUserCannotShareAProxyServersReceivePort) {
  ProxyServerSettings settings;
  settings.IpMode = IpMode::UseIPv4;
  settings.RecvPort = settings.SendPort = test::FreeUdpPort();
  ProxySockets proxy;
  ASSERT_EQ(proxy.Open(settings).status, EngineStatus::kSocketsReady);
  test::ChildProcess thief = AsNobody({"udp", std::to_string(settings.RecvPort), "20", "2"});
  ASSERT_EQ(thief.Wait(10s), 0);
  EXPECT_NE(thief.Output().find("bind-failed"), std::string::npos) << thief.Output();
  UdpSocket peer = test::PeerSocket(AddressFamily::kIpv4);
  const std::vector<std::uint8_t> payload(102, 0xFF);
  for (int i = 0; i < 20; ++i) {
    test::Send(peer, payload, test::Loopback(AddressFamily::kIpv4, settings.RecvPort));
    EXPECT_TRUE(test::ReceiveWithin(*proxy.Receiver(AddressFamily::kIpv4), 1s).has_value());
  }

  // The other way round: the port is taken, and the proxy server says so as for any program.
  const std::uint16_t taken = test::FreeUdpPort();
  test::ChildProcess holder = AsNobody({"udp", std::to_string(taken), "1", "30"});
  ASSERT_TRUE(Says(holder, "bound")) << holder.Output();
  settings.RecvPort = settings.SendPort = taken;
  ProxySockets refused;
  const SocketSetup setup = refused.Open(settings);
  EXPECT_EQ(setup.status, EngineStatus::kCannotBindIpv4Socket);
  EXPECT_EQ(setup.port, taken);
}

}  // namespace
}  // namespace corvane
