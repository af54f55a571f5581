#include "tests/netns/peer_namespace.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <thread>

namespace corvane::test {

void Shell(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }

void FloodAddresses(const std::string& network, int count) {
  const std::string batch = testing::TempDir() + "/flood.batch";
  std::ofstream flood(batch);
  for (const char* verb : {"add", "del"}) {
    for (int i = 0; i < count; ++i) {
      flood << "addr " << verb << " " << network << "." << i / 250 << "." << i % 250 + 1
            << "/32 dev lo\n";
    }
  }
  flood.close();
  Shell("ip -batch " + batch);
}

PeerNamespace::PeerNamespace() {
  int ready[2];
  if (pipe(ready) != 0) {
    ADD_FAILURE() << "pipe";
    return;
  }
  pid_ = fork();
  if (pid_ == 0) {
    // The child only holds the namespace until it is killed.
    const char state = unshare(CLONE_NEWNET) == 0 ? 'y' : 'n';
    [[maybe_unused]] const ssize_t written = write(ready[1], &state, 1);
    while (true) pause();
  }
  close(ready[1]);
  char state = 'n';
  EXPECT_EQ(read(ready[0], &state, 1), 1);
  close(ready[0]);
  EXPECT_EQ(state, 'y') << "the peer namespace could not be made";
  Run("ip link set lo up");
}

PeerNamespace::~PeerNamespace() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
}

void PeerNamespace::Run(const std::string& command) const {
  Shell("nsenter --net=/proc/" + std::to_string(pid_) + "/ns/net sh -c '" + command + "'");
}

void PeerNamespace::Inside(const std::function<void()>& work) const {
  bool entered = false;
  // Namespaces belong to threads: a short-lived thread enters the peer's.
  std::thread inside([&] {
    const int ns = open(("/proc/" + std::to_string(pid_) + "/ns/net").c_str(), O_RDONLY);
    entered = ns >= 0 && setns(ns, CLONE_NEWNET) == 0;
    if (ns >= 0) close(ns);
    if (entered) work();
  });
  inside.join();
  EXPECT_TRUE(entered) << "the peer namespace could not be entered";
}

UdpSocket PeerNamespace::OpenSocket(AddressFamily family, std::uint16_t port) const {
  UdpSocket socket;
  bool bound = false;
  Inside([&] { bound = !socket.Open(family) && !socket.SetBroadcast(true) && !socket.Bind(port); });
  EXPECT_TRUE(bound) << "no socket in the peer namespace";
  return socket;
}

TwoHosts::TwoHosts() {
  const std::string pid = std::to_string(peer.pid());
  Shell("ip link add veth0 type veth peer name veth1 netns " + pid);
  Shell("ip addr add 10.77.0.1/24 brd + dev veth0 && ip -6 addr add fd77::1/64 dev veth0 nodad");
  Shell("ip link set veth0 up && ip route add default dev veth0");
  peer.Run("ip addr add 10.77.0.2/24 brd + dev veth1 && ip -6 addr add fd77::2/64 dev veth1 nodad");
  peer.Run("ip link set veth1 up && ip route add default dev veth1");
}

TwoHosts::~TwoHosts() { std::system("ip link del veth0 2>/dev/null"); }

TwoLinks::TwoLinks() {
  for (int n = 1; n <= 2; ++n) {
    const std::string lan = "lan" + std::to_string(n), net = std::to_string(n);
    const auto addresses = [&](const std::string& device, const char* host) {
      return "ip link set " + device + " addrgenmode none && ip link set " + device +
             " up && ip addr add 10.81." + net + "." + host + "/24 brd + dev " + device +
             " && ip -6 addr add fd81:" + net + "::" + host + "/64 dev " + device +
             " nodad && ip -6 addr add fe80::" + host + "/64 dev " + device + " nodad";
    };
    Shell("ip link add " + lan + " type veth peer name eth0 netns " +
          std::to_string(peers[n - 1].pid()));
    Shell(addresses(lan, "1"));
    peers[n - 1].Run(addresses("eth0", "2"));
  }
  Shell("ip route add default dev lan1 && ip -6 route add default dev lan1");
}

TwoLinks::~TwoLinks() { std::system("ip link del lan1 2>/dev/null; ip link del lan2 2>/dev/null"); }

}  // namespace corvane::test
