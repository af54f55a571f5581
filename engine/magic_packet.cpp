#include "engine/magic_packet.h"

#include <algorithm>
#include <cstring>

namespace corvane {
namespace {

constexpr std::size_t kMacOffset = 6;
constexpr std::size_t kMacCopies = 16;

void WriteMacCopies(MagicPacket& packet, const MacAddress& mac) {
  for (std::size_t copy = 0; copy < kMacCopies; ++copy) {
    std::copy(mac.begin(), mac.end(), packet.bytes.begin() + kMacOffset + copy * mac.size());
  }
}

void WritePassword(MagicPacket& packet, const MagicPassword& password) {
  std::copy(password.begin(), password.end(), packet.bytes.begin() + kPasswordOffset);
  packet.length = kPasswordLength;
}

}  // namespace

MacAddress MagicPacket::TargetMac() const {
  MacAddress mac;
  std::copy_n(bytes.begin() + kMacOffset, mac.size(), mac.begin());
  return mac;
}

MagicPassword MagicPacket::Password() const {
  MagicPassword password{};
  if (HasPassword())
    std::copy_n(bytes.begin() + kPasswordOffset, password.size(), password.begin());
  return password;
}

bool IsMagicPacket(std::span<const std::uint8_t> payload) {
  if (payload.size() < kMagicPacketMinLength || payload.size() > kReceiveBufferSize) return false;
  const std::uint8_t* bytes = payload.data();
  if (!std::all_of(bytes, bytes + kMacOffset, [](std::uint8_t byte) { return byte == 0xFF; })) {
    return false;
  }
  // Copy n equals copy n+1 for n = 1..15 exactly when bytes 6..95 equal bytes 12..101.
  return std::memcmp(bytes + kMacOffset, bytes + 2 * kMacOffset, 15 * kMacOffset) == 0;
}

void NormalizePassword(MagicPacket& packet) {
  if (packet.length != kShortPasswordLength) return;
  packet.bytes[kShortPasswordLength] = 0;
  packet.bytes[kShortPasswordLength + 1] = 0;
  packet.length = kPasswordLength;
}

MagicPacket RewritePacket(const MagicPacket& received, const ProxyServerSettings& settings) {
  MagicPacket packet;
  std::copy_n(received.bytes.begin(), received.length, packet.bytes.begin());
  packet.length = received.length;
  if (settings.RemovePassword) packet.length = kMagicPacketMinLength;
  if (settings.ReplacePassword) WritePassword(packet, settings.ReplacePasswordValue);
  if (settings.ReplaceMac) WriteMacCopies(packet, settings.ReplaceMacValue);
  return packet;
}

MagicPacket BuildPacket(const ReplaceByMacPacket& entry) {
  MagicPacket packet;
  std::fill_n(packet.bytes.begin(), kMacOffset, std::uint8_t{0xFF});
  WriteMacCopies(packet, entry.Mac);
  packet.length = kMagicPacketMinLength;
  if (entry.HasPassword) WritePassword(packet, entry.Password);
  return packet;
}

}  // namespace corvane
