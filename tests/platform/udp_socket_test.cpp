#include "platform/udp_socket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "platform/stop_request.h"
#include "tests/support/loopback.h"

namespace corvane {
namespace {

using std::chrono_literals::operator""ms;
using test::Loopback;
using test::PeerSocket;

void WaitReadable(const UdpSocket& socket) {
  const StopRequest never;
  const int descriptor = socket.descriptor();
  never.WaitReadable({&descriptor, 1}, 2000ms);
}

class UdpSocketTest : public ::testing::TestWithParam<AddressFamily> {};

TEST_P(UdpSocketTest, TakesWholeDatagramsAndDropsLongerOnes) {
  const AddressFamily family = GetParam();
  UdpSocket receiver = PeerSocket(family);
  UdpSocket sender = PeerSocket(family);
  const Endpoint to = Loopback(family, *receiver.LocalPort());

  std::vector<std::uint8_t> buffer(1000);
  Datagram datagram;
  EXPECT_EQ(receiver.Receive(buffer, datagram), ReceiveResult::kNothing);

  test::Send(sender, std::vector<std::uint8_t>(1001, 0x11), to);
  test::Send(sender, std::vector<std::uint8_t>(1000, 0x22), to);
  WaitReadable(receiver);
  EXPECT_EQ(receiver.Receive(buffer, datagram), ReceiveResult::kTooLong);
  WaitReadable(receiver);
  ASSERT_EQ(receiver.Receive(buffer, datagram), ReceiveResult::kDatagram);
  EXPECT_EQ(datagram.length, 1000u);
  EXPECT_EQ(buffer[999], 0x22);
  EXPECT_EQ(datagram.sender, Loopback(family, *sender.LocalPort()));
  EXPECT_FALSE(datagram.broadcast);
}

INSTANTIATE_TEST_SUITE_P(BothFamilies, UdpSocketTest,
                         ::testing::Values(AddressFamily::kIpv4, AddressFamily::kIpv6),
                         [](const auto& row) {
                           return row.param == AddressFamily::kIpv4 ? "Ipv4" : "Ipv6";
                         });

TEST(UdpSocket, Ipv4AndIpv6SocketsShareAPort) {
  UdpSocket ipv4 = PeerSocket(AddressFamily::kIpv4);
  UdpSocket ipv6;
  ASSERT_FALSE(ipv6.Open(AddressFamily::kIpv6));
  EXPECT_FALSE(ipv6.Bind(*ipv4.LocalPort()));
}

TEST(UdpSocket, RefusesAPortHeldExclusively) {
  UdpSocket holder = PeerSocket(AddressFamily::kIpv4);  // bound without SO_REUSEADDR
  UdpSocket second;
  ASSERT_FALSE(second.Open(AddressFamily::kIpv4));
  static_cast<void>(second.SetReuseAddress(true));
  EXPECT_EQ(second.Bind(*holder.LocalPort()), std::errc::address_in_use);
}

TEST(UdpSocket, SendsOnlyToItsOwnFamily) {
  UdpSocket ipv4 = PeerSocket(AddressFamily::kIpv4);
  const std::vector<std::uint8_t> payload(10, 0);
  EXPECT_EQ(ipv4.SendTo(payload, Loopback(AddressFamily::kIpv6, 9)),
            std::errc::address_family_not_supported);
}

TEST(UdpSocket, ArrivalInfoMarksUnicastAsNoBroadcast) {
  UdpSocket receiver = PeerSocket(AddressFamily::kIpv4);
  ASSERT_FALSE(receiver.EnableArrivalInfo());
  UdpSocket sender = PeerSocket(AddressFamily::kIpv4);
  test::Send(sender, std::vector<std::uint8_t>(200, 0x33),
             Loopback(AddressFamily::kIpv4, *receiver.LocalPort()));
  WaitReadable(receiver);
  std::vector<std::uint8_t> buffer(1000);
  Datagram datagram;
  ASSERT_EQ(receiver.Receive(buffer, datagram), ReceiveResult::kDatagram);
  EXPECT_EQ(datagram.length, 200u);
  EXPECT_FALSE(datagram.broadcast);
}

TEST(NetAddress, TextFormsRoundTrip) {
  EXPECT_EQ(AddressToString(IpAddress::Ipv4(192, 168, 1, 255)), "192.168.1.255");
  EXPECT_EQ(AddressToString(*ParseIpAddress("fe80:0:0:0:30c:6eff:fec7:d8a")),
            "fe80::30c:6eff:fec7:d8a");
  EXPECT_EQ(IpAddress::Ipv4(192, 168, 1, 100).Ipv4HostOrder(), 0xC0A80164u);
  EXPECT_EQ(IpAddress::Ipv4FromHostOrder(0xC0A80164u), IpAddress::Ipv4(192, 168, 1, 100));
  EXPECT_FALSE(ParseIpAddress("localhost").has_value());
  EXPECT_FALSE(ParseIpAddress(std::string(200, '1')).has_value());
}

}  // namespace
}  // namespace corvane
