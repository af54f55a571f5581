#include "engine/proxy_sockets.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "tests/support/loopback.h"

namespace corvane {
namespace {

using test::FreeUdpPort;

int RmemMax() {
  int value = 0;
  std::ifstream("/proc/sys/net/core/rmem_max") >> value;
  return value;
}

ProxyServerSettings Ports(IpMode mode, std::uint16_t receive, std::uint16_t send) {
  ProxyServerSettings settings;
  settings.IpMode = mode;
  settings.RecvPort = receive;
  settings.SendPort = send;
  return settings;
}

TEST(ProxySockets, EqualPortsGiveOneSocketPerFamilySendingFromThatPort) {
  const std::uint16_t port = FreeUdpPort();
  ProxySockets sockets;
  const SocketSetup setup = sockets.Open(Ports(IpMode::UseIPv4IPv6, port, port));
  ASSERT_EQ(setup.status, EngineStatus::kSocketsReady);
  for (AddressFamily family : {AddressFamily::kIpv4, AddressFamily::kIpv6}) {
    ASSERT_NE(sockets.Receiver(family), nullptr);
    EXPECT_EQ(sockets.Sender(family), sockets.Receiver(family));
    EXPECT_EQ(sockets.Sender(family)->LocalPort(), port);
  }
}

TEST(ProxySockets, DifferentPortsGiveFourSocketsWithTheBufferOnReceiveSocketsOnly) {
  const std::uint16_t receive = FreeUdpPort();
  const std::uint16_t send = FreeUdpPort();
  ASSERT_NE(receive, send);
  ProxySockets sockets;
  ASSERT_EQ(sockets.Open(Ports(IpMode::UseIPv4IPv6, receive, send)).status,
            EngineStatus::kSocketsReady);
  for (AddressFamily family : {AddressFamily::kIpv4, AddressFamily::kIpv6}) {
    UdpSocket* receiver = sockets.Receiver(family);
    UdpSocket* sender = sockets.Sender(family);
    ASSERT_TRUE(receiver != nullptr && sender != nullptr);
    EXPECT_NE(receiver, sender);
    EXPECT_EQ(receiver->LocalPort(), receive);
    EXPECT_EQ(sender->LocalPort(), send);
    // As root the limit net.core.rmem_max is passed; otherwise it caps the buffer.
    const int granted =
        geteuid() == 0 ? kReceiveBufferBytes : std::min(kReceiveBufferBytes, 2 * RmemMax());
    EXPECT_EQ(receiver->ReceiveBufferSize(), granted);
    EXPECT_EQ(sockets.receive_buffer_bytes(), granted);
    EXPECT_LT(sender->ReceiveBufferSize(), granted);
  }
}

TEST(ProxySockets, ABindFailureNamesThePortOfTheSocketThatFailed) {
  UdpSocket holder = test::PeerSocket(AddressFamily::kIpv4);  // held without SO_REUSEADDR
  const std::uint16_t held = *holder.LocalPort();
  const std::uint16_t free_port = FreeUdpPort();
  {
    ProxySockets sockets;
    const SocketSetup setup = sockets.Open(Ports(IpMode::UseIPv4IPv6, held, free_port));
    EXPECT_EQ(setup.status, EngineStatus::kCannotBindIpv4Socket);
    EXPECT_EQ(setup.port, held);
    EXPECT_EQ(sockets.Receiver(AddressFamily::kIpv6), nullptr);  // IPv6 never tried
  }
  {
    ProxySockets sockets;
    const SocketSetup setup = sockets.Open(Ports(IpMode::UseIPv4, free_port, held));
    EXPECT_EQ(setup.status, EngineStatus::kCannotBindIpv4Socket);
    EXPECT_EQ(setup.port, held);
  }
  UdpSocket ipv6_holder = test::PeerSocket(AddressFamily::kIpv6);
  const std::uint16_t held6 = *ipv6_holder.LocalPort();
  ProxySockets sockets;
  const SocketSetup setup = sockets.Open(Ports(IpMode::UseIPv4IPv6, held6, held6));
  EXPECT_EQ(setup.status, EngineStatus::kCannotBindIpv6Socket);
  EXPECT_EQ(setup.port, held6);
  EXPECT_NE(sockets.Receiver(AddressFamily::kIpv4), nullptr);  // IPv4 worked before
}

TEST(ProxySockets, EachModeOpensOnlyItsFamilies) {
  const std::uint16_t port = FreeUdpPort();
  ProxySockets ipv6_only;
  EXPECT_EQ(ipv6_only.Open(Ports(IpMode::UseIPv6, port, port)).status, EngineStatus::kSocketsReady);
  EXPECT_EQ(ipv6_only.Receiver(AddressFamily::kIpv4), nullptr);
  EXPECT_EQ(ipv6_only.Sender(AddressFamily::kIpv4), nullptr);
  EXPECT_NE(ipv6_only.Receiver(AddressFamily::kIpv6), nullptr);

  ProxySockets unknown;
  const SocketSetup setup = unknown.Open(Ports(static_cast<IpMode>(3), port, port));
  EXPECT_EQ(setup.status, EngineStatus::kUnknownIpMode);
  EXPECT_EQ(unknown.Receiver(AddressFamily::kIpv4), nullptr);
  EXPECT_EQ(unknown.Receiver(AddressFamily::kIpv6), nullptr);
}

TEST(ProxySockets, CloseReleasesThePorts) {
  const std::uint16_t port = FreeUdpPort();
  ProxySockets sockets;
  ASSERT_EQ(sockets.Open(Ports(IpMode::UseIPv4IPv6, port, port)).status,
            EngineStatus::kSocketsReady);
  sockets.Close();
  EXPECT_EQ(sockets.Sender(AddressFamily::kIpv4), nullptr);
  UdpSocket exclusive;
  ASSERT_FALSE(exclusive.Open(AddressFamily::kIpv4));
  EXPECT_FALSE(exclusive.Bind(port));
}

// Two proxy servers of one process: send ports may be shared, a receive port never is, so no
// proxy server's datagrams can go to another one's socket.
TEST(ProxySockets, ProxyServersShareSendPortsButNeverAReceivePort) {
  struct Case {
    const char* what;
    int first_receive, first_send, second_receive, second_send;  // indexes into `ports`
    int refused_port;  // the second's port that cannot be bound, or -1
  };
  const Case cases[] = {
      {"both send from one port", 0, 2, 1, 2, -1},
      {"receive where the other sends", 0, 2, 2, 2, 2},
      {"send where the other receives", 2, 2, 0, 2, 2},
      {"receive where the other receives", 0, 1, 0, 2, 0},
  };
  for (IpMode mode : {IpMode::UseIPv4, IpMode::UseIPv6}) {
    for (const Case& c : cases) {
      const std::uint16_t ports[] = {FreeUdpPort(), FreeUdpPort(), FreeUdpPort()};
      ProxySockets first;
      ASSERT_EQ(first.Open(Ports(mode, ports[c.first_receive], ports[c.first_send])).status,
                EngineStatus::kSocketsReady)
          << c.what;
      ProxySockets second;
      const SocketSetup setup =
          second.Open(Ports(mode, ports[c.second_receive], ports[c.second_send]));
      const EngineStatus refused = mode == IpMode::UseIPv4 ? EngineStatus::kCannotBindIpv4Socket
                                                           : EngineStatus::kCannotBindIpv6Socket;
      if (c.refused_port < 0) {
        EXPECT_EQ(setup.status, EngineStatus::kSocketsReady) << c.what;
      } else {
        EXPECT_EQ(setup.status, refused) << c.what;
        EXPECT_EQ(setup.port, ports[c.refused_port]) << c.what;
      }
    }
  }
}

}  // namespace
}  // namespace corvane
