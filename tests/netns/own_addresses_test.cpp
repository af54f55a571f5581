#include <gtest/gtest.h>
#include <linux/netlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/interfaces.h"
#include "platform/net_address.h"
#include "platform/stop_request.h"
#include "tests/netns/peer_namespace.h"

namespace corvane {
namespace {

void Shell(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }

TEST(OwnAddressTable, TakesEveryAddressOfBothFamilies) {
  for (int i = 1; i <= 40; ++i) {
    Shell("ip addr add 10.9.0." + std::to_string(i) + "/32 dev lo");
  }
  Shell("ip -6 addr add fd09::40/128 dev lo nodad");
  const OwnAddressTable table = ReadOwnAddressTable();
  EXPECT_TRUE(table.Contains(IpAddress::Ipv4(127, 0, 0, 1)));
  EXPECT_TRUE(table.Contains(IpAddress::Ipv4(10, 9, 0, 1)));
  EXPECT_TRUE(table.Contains(IpAddress::Ipv4(10, 9, 0, 40)));
  EXPECT_FALSE(table.Contains(IpAddress::Ipv4(10, 9, 0, 41)));
  EXPECT_TRUE(table.Contains(*ParseIpAddress("::1")));
  EXPECT_TRUE(table.Contains(*ParseIpAddress("fd09::40")));
  EXPECT_FALSE(table.Contains(*ParseIpAddress("fd09::41")));
  Shell("ip addr flush dev lo scope global");
  Shell("ip -6 addr flush dev lo scope global");
}

// A flood of changes, more than the subscription can queue, ends as the host's addresses: bounded
// by them, not by the changes seen.
TEST(OwnAddresses, AFloodOfChangesEndsAsTheHostsAddresses) {
  OwnAddresses own;
  own.Watch();
  ASSERT_GE(own.descriptor(), 0);
  const std::size_t before = own.table().size();
  test::FloodAddresses("10.10", 1000);
  Shell("ip addr add 10.10.9.9/32 dev lo");
  const StopRequest never;
  const int descriptor = own.descriptor();
  for (int wait = 0; wait < 200 && !own.table().Contains(IpAddress::Ipv4(10, 10, 9, 9)); ++wait) {
    never.WaitReadable({&descriptor, 1}, std::chrono::milliseconds(10));
    own.TakeChanges();  // each takes a bounded part
  }
  EXPECT_EQ(own.table().size(), before + 1);
  EXPECT_EQ(own.table().size(), ReadOwnAddressTable().size());
  Shell("ip addr flush dev lo scope global");
}

// A message from another process is judged by its sender before its length: even one longer than
// a batch is passed over alone, not taken for changes the kernel dropped (which would throw away
// the queue behind it and read the whole table again).
TEST(OwnAddresses, AMessageFromAnotherProcessIsPassedOverAlone) {
  test::PeerNamespace peer;
  OwnAddresses own;
  // Watched from inside the peer: the subscription and the first table are the peer's, while a
  // table read afresh on this thread would be this namespace's, which alone has 10.11.0.1.
  peer.Inside([&] { own.Watch(); });
  ASSERT_GE(own.descriptor(), 0);
  const std::size_t before = own.table().size();
  Shell("ip addr add 10.11.0.1/32 dev lo");
  sockaddr_nl subscription{};
  socklen_t size = sizeof subscription;
  ASSERT_EQ(getsockname(own.descriptor(), reinterpret_cast<sockaddr*>(&subscription), &size), 0);
  peer.Inside([&] {
    const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    std::vector<char> message(40000);  // more than one batch
    nlmsghdr header{};
    header.nlmsg_len = static_cast<std::uint32_t>(message.size());
    std::copy_n(reinterpret_cast<const char*>(&header), sizeof header, message.data());
    sockaddr_nl to{};
    to.nl_family = AF_NETLINK;
    to.nl_pid = subscription.nl_pid;
    EXPECT_EQ(sendto(fd, message.data(), message.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                     sizeof to),
              static_cast<ssize_t>(message.size()));
    close(fd);
  });
  peer.Run("ip addr add 10.11.0.2/32 dev lo");  // reported behind the foreign message
  const StopRequest never;
  const int descriptor = own.descriptor();
  for (int wait = 0; wait < 200 && !own.table().Contains(IpAddress::Ipv4(10, 11, 0, 2)); ++wait) {
    never.WaitReadable({&descriptor, 1}, std::chrono::milliseconds(10));
    own.TakeChanges();
  }
  EXPECT_TRUE(own.table().Contains(IpAddress::Ipv4(10, 11, 0, 2)));
  EXPECT_FALSE(own.table().Contains(IpAddress::Ipv4(10, 11, 0, 1)));
  EXPECT_EQ(own.table().size(), before + 1);
  Shell("ip addr del 10.11.0.1/32 dev lo");
}

}  // namespace
}  // namespace corvane
