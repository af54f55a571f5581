#include "platform/link_frame.h"

#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/process_limits.h"

namespace corvane {
namespace {

constexpr std::size_t kIpv4Header = 20;
constexpr std::size_t kIpv6Header = 40;
constexpr std::size_t kUdpHeader = 8;
constexpr std::uint8_t kHopLimit = 64;

void PutU16(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value >> 8);
  at[1] = static_cast<std::uint8_t>(value);
}

int OpenPacketSocket(int type) {
  const int fd = socket(AF_PACKET, type | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (InDescriptorReserve(fd)) {
    close(fd);
    errno = EMFILE;
    return -1;
  }
  return fd;
}

}  // namespace

std::uint32_t ChecksumAdd(std::uint32_t sum, std::span<const std::uint8_t> bytes) {
  std::size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) sum += std::uint32_t{bytes[i]} << 8 | bytes[i + 1];
  if (i < bytes.size()) sum += std::uint32_t{bytes[i]} << 8;
  return sum;
}

std::uint16_t ChecksumFinish(std::uint32_t sum) {
  while ((sum >> 16) != 0) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

std::vector<std::uint8_t> BuildUdpPacket(const Endpoint& from, const Endpoint& to,
                                         std::span<const std::uint8_t> payload) {
  const bool ipv4 = to.address.family == AddressFamily::kIpv4;
  const std::size_t address_size = ipv4 ? 4 : 16;
  const std::size_t ip_header = ipv4 ? kIpv4Header : kIpv6Header;
  const std::size_t udp_length = kUdpHeader + payload.size();
  std::vector<std::uint8_t> packet(ip_header + udp_length);
  std::uint8_t* const ip = packet.data();
  std::uint8_t* const udp = ip + ip_header;
  const auto source = std::span(from.address.bytes).first(address_size);
  const auto destination = std::span(to.address.bytes).first(address_size);

  if (ipv4) {
    ip[0] = 0x45;  // version 4, five words of header
    PutU16(ip + 2, static_cast<std::uint32_t>(packet.size()));
    PutU16(ip + 6, 0x4000);  // don't fragment; the identification may then stay 0
    ip[8] = kHopLimit;
    ip[9] = IPPROTO_UDP;
    std::memcpy(ip + 12, source.data(), 4);
    std::memcpy(ip + 16, destination.data(), 4);
    PutU16(ip + 10, ChecksumFinish(ChecksumAdd(0, std::span(ip, kIpv4Header))));
  } else {
    ip[0] = 0x60;  // version 6, traffic class and flow label 0
    PutU16(ip + 4, static_cast<std::uint32_t>(udp_length));
    ip[6] = IPPROTO_UDP;
    ip[7] = kHopLimit;
    std::memcpy(ip + 8, source.data(), 16);
    std::memcpy(ip + 24, destination.data(), 16);
  }

  PutU16(udp, from.port);
  PutU16(udp + 2, to.port);
  PutU16(udp + 4, static_cast<std::uint32_t>(udp_length));
  std::memcpy(udp + kUdpHeader, payload.data(), payload.size());
  // The pseudo-header: both addresses, the protocol and the UDP length.
  std::uint32_t sum = ChecksumAdd(ChecksumAdd(0, source), destination);
  sum += IPPROTO_UDP + static_cast<std::uint32_t>(udp_length);
  const std::uint16_t checksum = ChecksumFinish(ChecksumAdd(sum, std::span(udp, udp_length)));
  PutU16(udp + 6, checksum == 0 ? 0xFFFF : checksum);  // 0 would mean "no checksum"
  return packet;
}

LinkFrameSocket::~LinkFrameSocket() {
  if (fd_ >= 0) close(fd_);
}

std::error_code LinkFrameSocket::Send(std::uint32_t interface_index, const LinkAddress& to,
                                      AddressFamily family, std::span<const std::uint8_t> packet) {
  if (fd_ < 0) {
    fd_ = OpenPacketSocket(SOCK_DGRAM);
    if (fd_ < 0) return {errno, std::system_category()};
  }
  sockaddr_ll link{};
  link.sll_family = AF_PACKET;
  link.sll_protocol = htons(family == AddressFamily::kIpv4 ? ETH_P_IP : ETH_P_IPV6);
  link.sll_ifindex = static_cast<int>(interface_index);
  link.sll_halen = static_cast<unsigned char>(to.size());
  std::memcpy(link.sll_addr, to.data(), to.size());
  const ssize_t sent = sendto(fd_, packet.data(), packet.size(), 0,
                              reinterpret_cast<const sockaddr*>(&link), sizeof link);
  if (sent < 0) return {errno, std::system_category()};
  if (static_cast<std::size_t>(sent) != packet.size()) {
    return std::make_error_code(std::errc::message_size);
  }
  return {};
}

bool LinkLayerAllowed() {
  static const bool allowed = [] {
    const int fd = OpenPacketSocket(SOCK_DGRAM);
    if (fd < 0) return false;
    close(fd);
    return true;
  }();
  return allowed;
}

}  // namespace corvane
