// Another local user (`nobody`, through setpriv) against what Corvane holds on this host: the
// single-instance claim, the receive ports of its proxy servers and the capability that the
// installed program holds.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "config/profile_file.h"
#include "engine/proxy_sockets.h"
#include "tests/netns/peer_namespace.h"
#include "tests/support/child_process.h"
#include "tests/support/loopback.h"
#include "tests/support/packets.h"
#include "tests/support/temp_home.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

// `command` run by `nobody`, with no capability of the test's to inherit.
std::vector<std::string> ByNobody(const std::vector<std::string>& command) {
  std::vector<std::string> by_nobody{"/usr/bin/setpriv", "--reuid=65534",   "--regid=65534",
                                     "--clear-groups",   "--inh-caps=-all", "--"};
  by_nobody.insert(by_nobody.end(), command.begin(), command.end());
  return by_nobody;
}

test::ChildProcess AsNobody(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), CORVANE_HOSTILE_USER);
  return test::ChildProcess(ByNobody(arguments), {});
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

// The program as installed, holding CAP_NET_BIND_SERVICE as a file capability, started by
// another user with a style plugin of their own named through Qt's variables. The plugin is
// loaded (Qt lets its user choose its code) but runs without any capability: it can bind no port
// below 1024 itself, and the program's port binder binds only UDP ones for it, as it does for the
// program's proxy server, which still receives on port 9.
TEST(LocalSecurity, APluginOfAnotherUserRunsWithoutTheProgramsCapability) {
  namespace fs = std::filesystem;
  char pattern[] = "/tmp/corvane-installed-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string root = pattern;
  // A file system of the test's own mount namespace, so that the capability holds whatever the
  // mount options of /tmp.
  test::Shell("mount -t tmpfs -o mode=0755 corvane-installed " + root);
  const std::string program = root + "/Corvane", home = root + "/home";
  const std::string plugins = home + "/plugins", record = home + "/record";
  fs::copy_file(CORVANE_DESKTOP_BINARY, program);
  test::Shell("setcap cap_net_bind_service=ep " + program);
  fs::create_directories(plugins + "/styles");
  fs::copy_file(CORVANE_HOSTILE_STYLE, plugins + "/styles/libhostile.so");

  UdpSocket sink = test::PeerSocket(AddressFamily::kIpv4);
  ProxyServerTable table;
  ProxyServerSettings relay = test::LoopbackRelay("relay", *sink.LocalPort());
  relay.ServerAutoStart = true;
  relay.RecvPort = relay.SendPort = 9;
  static_cast<void>(table.Register(relay));
  fs::create_directories(home + "/Corvane");
  ASSERT_FALSE(WriteFileReplacing(home + "/Corvane/profile.dat",
                                  WriteProfileImage(table, {}, false, CalendarTime{}), 0644));
  test::Shell("chown -R 65534:65534 " + home);

  test::ChildProcess corvane(
      ByNobody({program}),
      {"HOME=" + home, "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME=" + home + "/config",
       "QT_QPA_PLATFORM=offscreen", "QT_PLUGIN_PATH=" + plugins, "QT_STYLE_OVERRIDE=hostile",
       "CORVANE_HOSTILE_RECORD=" + record});
  UdpSocket peer = test::PeerSocket(AddressFamily::kIpv4);
  const auto packet = test::MagicPayload({1, 2, 3, 4, 5, 6});
  std::optional<test::Received> relayed;
  for (int i = 0; i < 200 && !relayed; ++i) {
    test::Send(peer, packet, test::Loopback(AddressFamily::kIpv4, 9));
    relayed = test::ReceiveWithin(sink, 50ms);
  }
  EXPECT_TRUE(relayed.has_value()) << corvane.Output();

  std::stringstream found;
  found << std::ifstream(record).rdbuf();
  const std::string what = found.str();
  ASSERT_NE(what.find("tcp "), std::string::npos) << "the plugin did not run\n" << corvane.Output();
  for (const char* line :
       {"CapPrm:\t0000000000000000\n", "CapEff:\t0000000000000000\n", "CapAmb:\t0000000000000000\n",
        "tcp refused\n", "udp refused\n", "binder tcp refused\n", "binder udp bound\n"}) {
    EXPECT_NE(what.find(line), std::string::npos) << line << " in\n" << what;
  }
  corvane.Signal(SIGTERM);
  EXPECT_EQ(corvane.Wait(10s), 0) << corvane.Output();
  test::Shell("umount " + root);
  fs::remove(root);
}

}  // namespace
}  // namespace corvane
