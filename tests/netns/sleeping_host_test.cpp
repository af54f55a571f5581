// Sleeping hosts: a unicast destination on a connected link whose card answers no ARP or neighbour
// solicitation gets the datagram as a frame to the MAC it wakes; an awake one gets the ordinary
// datagram only; and the watch says whether the woken MAC showed up.
#include <gtest/gtest.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "config/list_entry_rules.h"
#include "config/proxy_server_table.h"
#include "engine/packet_trace.h"
#include "engine/service_proxy_thread.h"
#include "engine/wake_watcher.h"
#include "tests/netns/peer_namespace.h"
#include "tests/support/fake_window.h"
#include "tests/support/loopback.h"
#include "tests/support/packets.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

constexpr MacAddress kAsleepMac{0x02, 0x00, 0x5E, 0x10, 0x00, 0x02};
constexpr MacAddress kAwakeMac{0x02, 0x00, 0x5E, 0x10, 0x00, 0x03};
constexpr MacAddress kNobodysMac{0x02, 0x00, 0x5E, 0x10, 0x00, 0x09};

// Here lanN to peer N's eth0: 10.84.N.1/24, fd84:N::1/64 and fe80::1 here, .2, ::2 and fe80::2
// there. The first peer sleeps (its link answers no ARP or neighbour solicitation), the second
// is awake; each has its own MAC.
struct SleepingAndAwake {
  SleepingAndAwake() {
    for (int n = 1; n <= 2; ++n) {
      const std::string net = std::to_string(n), lan = "lan" + net;
      const auto setup = [&](const std::string& device, const char* host) {
        return "ip link set " + device + " addrgenmode none && ip link set " + device +
               " up && ip addr add 10.84." + net + "." + host + "/24 dev " + device +
               " && ip -6 addr add fd84:" + net + "::" + host + "/64 dev " + device +
               " nodad && ip -6 addr add fe80::" + host + "/64 dev " + device + " nodad";
      };
      test::Shell("ip link add " + lan + " type veth peer name eth0 netns " +
                  std::to_string(peers[n - 1].pid()));
      test::Shell(setup(lan, "1"));
      const std::string mac = HexText(n == 1 ? kAsleepMac : kAwakeMac);
      peers[n - 1].Run("ip link set eth0 address " + mac + (n == 1 ? " arp off" : "") + " && " +
                       setup("eth0", "2"));
    }
  }
  ~SleepingAndAwake() { std::system("ip link del lan1 2>/dev/null; ip link del lan2 2>/dev/null"); }

  test::PeerNamespace peers[2];
};

// What a capture saw of one UDP datagram.
struct Frame {
  MacAddress to{};
  std::uint16_t port = 0;  // the UDP destination port
  std::vector<std::uint8_t> payload;
};

// Every frame arriving on a peer's eth0, from the moment it is made.
class PeerCapture {
 public:
  explicit PeerCapture(const test::PeerNamespace& peer) {
    peer.Inside([this] {
      fd_ = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, htons(ETH_P_ALL));
      sockaddr_ll link{};
      link.sll_family = AF_PACKET;
      link.sll_protocol = htons(ETH_P_ALL);
      link.sll_ifindex = static_cast<int>(if_nametoindex("eth0"));
      if (bind(fd_, reinterpret_cast<const sockaddr*>(&link), sizeof link) != 0) {
        close(fd_);
        fd_ = -1;
      }
    });
    EXPECT_GE(fd_, 0) << "no capture in the peer namespace";
  }
  ~PeerCapture() {
    if (fd_ >= 0) close(fd_);
  }

  // The UDP datagrams to `port` that arrive within `timeout`.
  std::vector<Frame> UdpTo(std::uint16_t port, std::chrono::milliseconds timeout) {
    std::vector<Frame> frames;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
      pollfd ready{fd_, POLLIN, 0};
      poll(&ready, 1, 20);
      std::uint8_t bytes[2048];
      sockaddr_ll from{};
      socklen_t length = sizeof from;
      const ssize_t got =
          recvfrom(fd_, bytes, sizeof bytes, 0, reinterpret_cast<sockaddr*>(&from), &length);
      if (got <= 0 || from.sll_pkttype == PACKET_OUTGOING) continue;
      if (const std::optional<Frame> frame = Parse({bytes, static_cast<std::size_t>(got)});
          frame && frame->port == port) {
        frames.push_back(*frame);
      }
    }
    return frames;
  }

 private:
  static std::optional<Frame> Parse(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 14) return std::nullopt;
    Frame frame;
    std::copy_n(bytes.begin(), 6, frame.to.begin());
    const int type = bytes[12] << 8 | bytes[13];
    std::size_t udp = 0;
    if (type == ETH_P_IP && bytes.size() >= 34 && bytes[23] == IPPROTO_UDP) {
      udp = 14 + (bytes[14] & 0x0F) * 4;
    } else if (type == ETH_P_IPV6 && bytes.size() >= 62 && bytes[20] == IPPROTO_UDP) {
      udp = 54;
    } else {
      return std::nullopt;
    }
    if (bytes.size() < udp + 8) return std::nullopt;
    frame.port = static_cast<std::uint16_t>(bytes[udp + 2] << 8 | bytes[udp + 3]);
    frame.payload.assign(bytes.begin() + static_cast<std::ptrdiff_t>(udp + 8), bytes.end());
    return frame;
  }

  int fd_ = -1;
};

// The waking host announces its address: an ARP request for itself, to everyone.
void AnnounceFromPeer(const test::PeerNamespace& peer, const MacAddress& mac,
                      const IpAddress& address) {
  std::vector<std::uint8_t> frame(42, 0);
  std::fill_n(frame.begin(), 6, 0xFF);
  std::copy(mac.begin(), mac.end(), frame.begin() + 6);
  const std::uint8_t arp[] = {0x08, 0x06, 0, 1, 0x08, 0x00, 6, 4, 0, 1};
  std::copy(std::begin(arp), std::end(arp), frame.begin() + 12);
  std::copy(mac.begin(), mac.end(), frame.begin() + 22);
  std::copy_n(address.bytes.begin(), 4, frame.begin() + 28);
  std::copy_n(address.bytes.begin(), 4, frame.begin() + 38);
  bool sent = false;
  peer.Inside([&] {
    const int fd = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, 0);
    sockaddr_ll link{};
    link.sll_family = AF_PACKET;
    link.sll_ifindex = static_cast<int>(if_nametoindex("eth0"));
    sent = sendto(fd, frame.data(), frame.size(), 0, reinterpret_cast<const sockaddr*>(&link),
                  sizeof link) == static_cast<ssize_t>(frame.size());
    close(fd);
  });
  EXPECT_TRUE(sent) << "the announcement";
}

// One proxy server of the service variant, relaying what arrives on loopback to `destination`,
// with its trace kept.
class ServiceRun {
 public:
  explicit ServiceRun(const HostEntry& destination) {
    settings_ = *NewProxyServerSettings("sleepy");
    settings_.IpMode = IpMode::UseIPv4IPv6;
    settings_.RecvPort = settings_.SendPort = test::FreeUdpPort();
    settings_.DontRecvFromYourIp = false;
    settings_.SendToHostsList = {destination};
    trace_ =
        std::make_unique<PacketTrace>(ProxyServerLabel(settings_), [this](std::string_view line) {
          std::lock_guard lock(mutex_);
          lines_.emplace_back(line);
        });
    thread_ = std::thread([this] {
      ServiceProxyThread(
          settings_, stop_, [](std::string_view, bool) {}, {}, &counters_, trace_.get());
    });
  }
  ~ServiceRun() {
    stop_.Request();
    thread_.join();
  }

  std::uint16_t port() const { return settings_.SendPort; }
  CounterValues counters() const { return counters_.Read(); }

  // Sends a magic packet for `mac` until the proxy server has received it.
  void Relay(const MacAddress& mac) {
    UdpSocket here = test::PeerSocket(AddressFamily::kIpv4);
    const std::uint64_t before = counters_.Read().received;
    for (int i = 0; i < 200 && counters_.Read().received == before; ++i) {
      test::Send(here, test::MagicPayload(mac),
                 test::Loopback(AddressFamily::kIpv4, settings_.RecvPort));
      std::this_thread::sleep_for(10ms);
    }
    ASSERT_GT(counters_.Read().received, before);
  }

  // The first trace line that holds `part`, waiting up to `timeout` for it; "" when none came.
  std::string LineWith(const std::string& part, std::chrono::milliseconds timeout) const {
    const auto end = std::chrono::steady_clock::now() + timeout;
    do {
      {
        std::lock_guard lock(mutex_);
        for (const std::string& line : lines_) {
          if (line.find(part) != std::string::npos) return line;
        }
      }
      std::this_thread::sleep_for(10ms);
    } while (std::chrono::steady_clock::now() < end);
    return "";
  }

 private:
  ProxyServerSettings settings_;
  StopRequest stop_;
  ProxyCounters counters_;
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  std::unique_ptr<PacketTrace> trace_;
  std::thread thread_;
};

class SleepingHostTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { hosts_ = new SleepingAndAwake; }
  static void TearDownTestSuite() { delete hosts_; }
  void TearDown() override { WakeWatcher::Program().SetWatchTime(WakeWatcher::kWatchTime); }

  static inline SleepingAndAwake* hosts_ = nullptr;
};

TEST_F(SleepingHostTest, AnUnansweredNeighbourGetsTheDatagramAsAFrameToTheMacItWakes) {
  const test::PeerNamespace& asleep = hosts_->peers[0];
  const struct {
    const char *host, *from, *how;
    std::uint8_t prefix;
  } kCases[] = {
      {"10.84.1.2", "10.84.1.1", "no ARP answer", 32},
      {"fd84:1::2", "fd84:1::1", "no neighbour answer", 128},
      {"fe80::2%lan1", "fe80::1", "no neighbour answer", 128},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.host);
    const IpAddress from = *ParseIpAddress(c.from);
    const std::uint16_t sink_port = test::FreeUdpPort();
    UdpSocket sink = asleep.OpenSocket(from.family, sink_port);
    PeerCapture capture(asleep);
    ServiceRun run({c.host, c.prefix, sink_port});
    run.Relay(kAsleepMac);

    // Taken by the peer's own stack: both checksums hold.
    const auto received = test::ReceiveWithin(sink, 2s);
    ASSERT_TRUE(received.has_value());
    EXPECT_EQ(received->payload, test::MagicPayload(kAsleepMac));
    EXPECT_EQ(received->sender.port, run.port());
    IpAddress sender = received->sender.address;
    sender.scope_id = 0;
    EXPECT_EQ(sender, from);
    const std::vector<Frame> frames = capture.UdpTo(sink_port, 300ms);
    ASSERT_FALSE(frames.empty());
    for (const Frame& frame : frames) {
      EXPECT_EQ(HexText(frame.to), HexText(kAsleepMac));
      EXPECT_EQ(frame.payload, test::MagicPayload(kAsleepMac));
    }
    EXPECT_NE(run.LineWith(std::string("port ") + std::to_string(sink_port) +
                               ", MAC 02:00:5E:10:00:02, also as a frame to 02:00:5E:10:00:02 "
                               "on lan1: " +
                               c.how,
                           2s),
              "");
    EXPECT_EQ(run.counters().sent, 1u);
    EXPECT_EQ(run.counters().send_failures, 0u);
  }
}

// The awake host answers ARP: one ordinary datagram to its own MAC, although the packet wakes
// another; that MAC never shows up.
TEST_F(SleepingHostTest, AnAwakeHostGetsTheOrdinaryDatagramAndAnUnknownMacIsNotSeen) {
  WakeWatcher::Program().SetWatchTime(1500ms);
  const test::PeerNamespace& awake = hosts_->peers[1];
  const std::uint16_t sink_port = test::FreeUdpPort();
  UdpSocket sink = awake.OpenSocket(AddressFamily::kIpv4, sink_port);
  UdpSocket here = test::PeerSocket(AddressFamily::kIpv4);
  test::Send(here, std::vector<std::uint8_t>{1}, {*ParseIpAddress("10.84.2.2"), sink_port});
  test::Shell(
      "for i in $(seq 300); do ip neigh show 10.84.2.2 dev lan2 | grep -q REACHABLE "
      "&& exit 0; sleep 0.01; done; exit 1");
  ASSERT_TRUE(test::ReceiveWithin(sink, 2s).has_value());

  PeerCapture capture(awake);
  ServiceRun run({"10.84.2.2", 32, sink_port});
  run.Relay(kNobodysMac);
  const auto received = test::ReceiveWithin(sink, 2s);
  ASSERT_TRUE(received.has_value());
  EXPECT_EQ(received->payload, test::MagicPayload(kNobodysMac));
  EXPECT_FALSE(test::ReceiveWithin(sink, 300ms).has_value()) << "a second copy";
  const std::vector<Frame> frames = capture.UdpTo(sink_port, 100ms);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(HexText(frames[0].to), HexText(kAwakeMac));
  EXPECT_NE(
      run.LineWith(
          "sent to 10.84.2.2 port " + std::to_string(sink_port) + ", MAC 02:00:5E:10:00:09", 1s),
      "");
  EXPECT_EQ(run.LineWith("as a frame", 0ms), "");

  EXPECT_NE(run.LineWith(": MAC 02:00:5E:10:00:09 not seen within 1.5 s (the magic packet left by "
                         "lan2)",
                         5s),
            "");
  EXPECT_EQ(run.counters().not_seen, 1u);
  EXPECT_EQ(run.counters().woke, 0u);
}

TEST_F(SleepingHostTest, TheWokenHostIsSeenWhenItAnnouncesItself) {
  const test::PeerNamespace& asleep = hosts_->peers[0];
  ServiceRun run({"10.84.1.2", 32, test::FreeUdpPort()});
  run.Relay(kAsleepMac);
  ASSERT_NE(run.LineWith("also as a frame", 2s), "");
  EXPECT_EQ(run.LineWith(" woke", 300ms), "") << "before the host announced itself";

  AnnounceFromPeer(asleep, kAsleepMac, *ParseIpAddress("10.84.1.2"));
  const std::string line = run.LineWith(": MAC 02:00:5E:10:00:02 woke, seen on lan1 ", 2s);
  EXPECT_NE(line.find(" s after the magic packet"), std::string::npos) << line;
  EXPECT_EQ(run.counters().woke, 1u);
  EXPECT_EQ(run.counters().not_seen, 0u);
}

// The window's variant: the outcome is an error row of the proxy server that sent the packet.
TEST_F(SleepingHostTest, TheWindowLogsTheOutcomeOfItsProxyServer) {
  auto window = test::FakeWindow::Create();
  ProxyServerSettings settings = *NewProxyServerSettings("window");
  settings.RecvPort = settings.SendPort = test::FreeUdpPort();
  settings.DontRecvFromYourIp = false;
  settings.SendToHostsList = {{"10.84.1.2", 32, test::FreeUdpPort()}};
  const auto thread = window->StartServer(window->AddServer(settings));
  UdpSocket here = test::PeerSocket(AddressFamily::kIpv4);
  ASSERT_TRUE(test::SendUntilReported(*window, here, test::MagicPayload(kAsleepMac),
                                      test::Loopback(AddressFamily::kIpv4, settings.RecvPort), 2));
  AnnounceFromPeer(hosts_->peers[0], kAsleepMac, *ParseIpAddress("10.84.1.2"));
  EXPECT_TRUE(window->WaitUntil([](const test::Recorded& r) {
    return std::any_of(r.errors.begin(), r.errors.end(), [](const std::string& error) {
      return error.starts_with("MAC 02:00:5E:10:00:02 woke, seen on lan1 ");
    });
  })) << ::testing::PrintToString(window->recorded().errors);
  thread->Terminate();
  EXPECT_TRUE(thread->WaitUntilFinished(5s));
}

// A flood of MACs keeps the newest watches and counts the others; the socket is open only while
// a watch is pending.
TEST_F(SleepingHostTest, TheWatchSetIsBoundedAndTheWatcherOpenOnlyWhileWatching) {
  struct Listener final : WakeListener {
    void WakeOutcomeReady(const WakeOutcome&) override {}
  } listener;
  WakeWatcher watcher;
  EXPECT_FALSE(watcher.Watching());
  constexpr std::size_t kFlood = 20000;
  for (std::size_t i = 0; i < kFlood; ++i) {
    watcher.Watch({0x02, 0, 0, static_cast<std::uint8_t>(i >> 16),
                   static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)},
                  listener, 1);
  }
  EXPECT_EQ(watcher.Pending(), WakeWatcher::kCapacity);
  EXPECT_EQ(watcher.Dropped(), kFlood - WakeWatcher::kCapacity);
  for (int i = 0; i < 200 && !watcher.Watching(); ++i) std::this_thread::sleep_for(10ms);
  EXPECT_TRUE(watcher.Watching());
  watcher.Forget(listener);
  EXPECT_EQ(watcher.Pending(), 0u);
  for (int i = 0; i < 200 && watcher.Watching(); ++i) std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(watcher.Watching());
}

}  // namespace
}  // namespace corvane
