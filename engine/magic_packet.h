// Wake-on-LAN magic packets: recognition, the 4-byte password rule, rewriting and building.
//
// Layout: bytes 0..5 are 0xFF (the sync stream), bytes 6..101 hold the target MAC 16 times, bytes
// 102..107 hold the SecureOn password when the payload is at least 108 bytes long, and anything
// after that is trailing data. Whether a password is present is decided by length alone.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "config/proxy_server_settings.h"

namespace corvane {

inline constexpr std::size_t kReceiveBufferSize = 1000;    // also the longest magic packet
inline constexpr std::size_t kMagicPacketMinLength = 102;  // sync stream and 16 MAC copies
inline constexpr std::size_t kPasswordOffset = 102;
inline constexpr std::size_t kShortPasswordLength = 106;  // a 4-byte password
inline constexpr std::size_t kPasswordLength = 108;       // a 6-byte password

struct MagicPacket {
  std::array<std::uint8_t, kReceiveBufferSize> bytes{};
  std::size_t length = 0;

  std::span<const std::uint8_t> payload() const { return {bytes.data(), length}; }
  // The first of the 16 copies, bytes 6..11.
  MacAddress TargetMac() const;
  bool HasPassword() const { return length >= kPasswordLength; }
  // Bytes 102..107; all zero when the packet has none.
  MagicPassword Password() const;
};

// 102..1000 bytes, six 0xFF bytes at the very start, and 16 equal MAC copies.
bool IsMagicPacket(std::span<const std::uint8_t> payload);

// Widens a 4-byte password (106 bytes) to 6 bytes by appending two zero bytes; other lengths stay.
void NormalizePassword(MagicPacket& packet);

// The packet sent to a default destination: the received (normalised) packet, then, in this order,
// RemovePassword (cut to 102 bytes), ReplacePassword (write the value at 102, length 108) and
// ReplaceMac (write the value into all 16 copies). With no flag set it leaves as it arrived.
MagicPacket RewritePacket(const MagicPacket& received, const ProxyServerSettings& settings);

// A packet of an action by MAC: sync stream, the entry's MAC 16 times, and its password when it
// has one. Nothing of the received packet is carried over.
MagicPacket BuildPacket(const ReplaceByMacPacket& entry);

}  // namespace corvane
