#include "platform/link_watch.h"

#include <linux/filter.h>
#include <linux/if_arp.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "platform/process_limits.h"

namespace corvane {
namespace {

constexpr std::size_t kLinkHeader = 14;  // destination, source, type
constexpr std::uint32_t kSnapLength = 64;

// Keeps the first kSnapLength bytes of frames that the kernel received as broadcast or multicast;
// drops everything else (frames to this host, to others, and the ones it sends).
constexpr std::array<sock_filter, 5> kFilter{{
    {BPF_LD | BPF_W | BPF_ABS, 0, 0, static_cast<std::uint32_t>(SKF_AD_OFF + SKF_AD_PKTTYPE)},
    {BPF_JMP | BPF_JEQ | BPF_K, 2, 0, PACKET_BROADCAST},
    {BPF_JMP | BPF_JEQ | BPF_K, 1, 0, PACKET_MULTICAST},
    {BPF_RET | BPF_K, 0, 0, 0},
    {BPF_RET | BPF_K, 0, 0, kSnapLength},
}};

}  // namespace

std::optional<LinkAddress> EthernetSource(std::span<const std::uint8_t> frame) {
  if (frame.size() < kLinkHeader) return std::nullopt;
  LinkAddress source;
  std::copy_n(frame.begin() + 6, source.size(), source.begin());
  if ((source[0] & 0x01) != 0) return std::nullopt;
  if (std::all_of(source.begin(), source.end(), [](std::uint8_t b) { return b == 0; })) {
    return std::nullopt;
  }
  return source;
}

LinkWatchSocket::~LinkWatchSocket() {
  if (fd_ >= 0) close(fd_);
}

std::error_code LinkWatchSocket::Open() {
  if (fd_ >= 0) return {};
  // Protocol 0: nothing is queued until the bind below, when the filter is already attached.
  const int fd = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return {errno, std::system_category()};
  if (InDescriptorReserve(fd)) {
    close(fd);
    return std::make_error_code(std::errc::too_many_files_open);
  }
  sock_fprog program{};
  program.len = kFilter.size();
  program.filter = const_cast<sock_filter*>(kFilter.data());
  sockaddr_ll any{};
  any.sll_family = AF_PACKET;
  any.sll_protocol = htons(ETH_P_ALL);
  any.sll_ifindex = 0;
  if (setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) != 0 ||
      bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
    const int error = errno;
    close(fd);
    return {error, std::system_category()};
  }
  fd_ = fd;
  return {};
}

LinkWatchSocket::Result LinkWatchSocket::Receive(SeenFrame& frame) {
  std::array<std::uint8_t, kSnapLength> buffer;
  sockaddr_ll from{};
  socklen_t from_length = sizeof from;
  const ssize_t got = recvfrom(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT,
                               reinterpret_cast<sockaddr*>(&from), &from_length);
  if (got < 0) {
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? Result::kNothing
                                                                     : Result::kError;
  }
  if (from_length < sizeof from || from.sll_hatype != ARPHRD_ETHER ||
      (from.sll_pkttype != PACKET_BROADCAST && from.sll_pkttype != PACKET_MULTICAST)) {
    return Result::kSkipped;
  }
  const std::optional<LinkAddress> source =
      EthernetSource(std::span(buffer.data(), static_cast<std::size_t>(got)));
  if (!source) return Result::kSkipped;
  frame.source = *source;
  frame.interface_index = static_cast<std::uint32_t>(from.sll_ifindex);
  return Result::kFrame;
}

}  // namespace corvane
