#include "engine/magic_packet.h"

#include <gtest/gtest.h>

#include <vector>

#include "config/list_entry_rules.h"
#include "tests/support/packets.h"

namespace corvane {
namespace {

using test::MagicPayload;

constexpr MacAddress kMac{0x00, 0x11, 0x22, 0xAA, 0xBB, 0xCC};
constexpr MacAddress kOtherMac{0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
constexpr MagicPassword kPassword{0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x01};

MagicPacket Packet(const std::vector<std::uint8_t>& payload) {
  MagicPacket packet;
  std::copy(payload.begin(), payload.end(), packet.bytes.begin());
  packet.length = payload.size();
  return packet;
}

std::vector<std::uint8_t> Bytes(const MagicPacket& packet) {
  return {packet.bytes.begin(), packet.bytes.begin() + packet.length};
}

TEST(MagicPacket, RecognisesOnlyWholeMagicPacketsAtOffsetZero) {
  EXPECT_TRUE(IsMagicPacket(MagicPayload(kMac, 102)));
  EXPECT_TRUE(IsMagicPacket(MagicPayload(kMac, 1000)));
  EXPECT_FALSE(IsMagicPacket(MagicPayload(kMac, 101)));
  EXPECT_FALSE(IsMagicPacket(MagicPayload(kMac, 1001)));
  EXPECT_FALSE(IsMagicPacket({}));

  for (std::size_t byte : {0u, 5u}) {  // a broken sync stream
    auto payload = MagicPayload(kMac);
    payload[byte] = 0xFE;
    EXPECT_FALSE(IsMagicPacket(payload)) << "sync byte " << byte;
  }
  for (std::size_t byte : {6u, 11u, 50u, 96u, 101u}) {  // one byte of one copy differs
    auto payload = MagicPayload(kMac);
    payload[byte] ^= 0x01;
    EXPECT_FALSE(IsMagicPacket(payload)) << "MAC byte " << byte;
  }
  // A valid packet behind six other bytes is not searched for.
  auto shifted = MagicPayload(kMac);
  shifted.insert(shifted.begin(), 6, 0x00);
  EXPECT_FALSE(IsMagicPacket(shifted));
}

TEST(MagicPacket, PasswordPresenceFollowsLengthAlone) {
  EXPECT_FALSE(Packet(MagicPayload(kMac, 102)).HasPassword());
  EXPECT_FALSE(Packet(MagicPayload(kMac, 107)).HasPassword());
  const MagicPacket with = Packet(MagicPayload(kMac, 108, 0x10));
  EXPECT_TRUE(with.HasPassword());
  EXPECT_EQ(with.Password(), (MagicPassword{0x10, 0x11, 0x12, 0x13, 0x14, 0x15}));
  EXPECT_EQ(with.TargetMac(), kMac);
  EXPECT_EQ(Packet(MagicPayload(kMac, 107)).Password(), MagicPassword{});
}

TEST(MagicPacket, FourBytePasswordIsWidenedWithTwoZeroBytes) {
  MagicPacket packet = Packet(MagicPayload(kMac, 106, 0x10));
  NormalizePassword(packet);
  EXPECT_EQ(packet.length, 108u);
  EXPECT_EQ(packet.Password(), (MagicPassword{0x10, 0x11, 0x12, 0x13, 0x00, 0x00}));
  EXPECT_EQ(HexText(packet.Password()), "10:11:12:13:00:00");

  for (std::size_t length : {102u, 105u, 107u, 108u, 1000u}) {
    MagicPacket other = Packet(MagicPayload(kMac, length));
    NormalizePassword(other);
    EXPECT_EQ(other.length, length);
  }
}

TEST(MagicPacket, WithoutRewriteFlagsThePacketLeavesAsItArrived) {
  const ProxyServerSettings settings;
  for (std::size_t length : {102u, 107u, 108u, 1000u}) {
    const auto payload = MagicPayload(kMac, length);
    EXPECT_EQ(Bytes(RewritePacket(Packet(payload), settings)), payload) << length;
  }
}

TEST(MagicPacket, RewriteRemovesAddsAndReplaces) {
  ProxyServerSettings remove;
  remove.RemovePassword = true;
  const auto long_packet = MagicPayload(kMac, 120);
  EXPECT_EQ(Bytes(RewritePacket(Packet(long_packet), remove)), MagicPayload(kMac, 102));

  ProxyServerSettings replace;
  replace.ReplacePassword = true;
  replace.ReplacePasswordValue = kPassword;
  auto expected = MagicPayload(kMac, 108);
  std::copy(kPassword.begin(), kPassword.end(), expected.begin() + 102);
  EXPECT_EQ(Bytes(RewritePacket(Packet(MagicPayload(kMac, 102)), replace)), expected);
  EXPECT_EQ(Bytes(RewritePacket(Packet(long_packet), replace)), expected);

  ProxyServerSettings both = replace;
  both.RemovePassword = true;
  EXPECT_EQ(Bytes(RewritePacket(Packet(long_packet), both)), expected);

  ProxyServerSettings mac;
  mac.ReplaceMac = true;
  mac.ReplaceMacValue = kOtherMac;
  EXPECT_EQ(Bytes(RewritePacket(Packet(MagicPayload(kMac, 108, 0x40)), mac)),
            MagicPayload(kOtherMac, 108, 0x40));
}

TEST(MagicPacket, BuildCarriesNothingOfTheReceivedPacket) {
  ReplaceByMacPacket entry;
  entry.Mac = kOtherMac;
  entry.Password = kPassword;
  EXPECT_EQ(Bytes(BuildPacket(entry)), MagicPayload(kOtherMac, 102));

  entry.HasPassword = true;
  auto expected = MagicPayload(kOtherMac, 108);
  std::copy(kPassword.begin(), kPassword.end(), expected.begin() + 102);
  const MagicPacket built = BuildPacket(entry);
  EXPECT_EQ(Bytes(built), expected);
  EXPECT_TRUE(IsMagicPacket(built.payload()));
}

TEST(MagicPacket, TextFormIsSeventeenUpperCaseCharacters) {
  EXPECT_EQ(HexText(kMac), "00:11:22:AA:BB:CC");
  EXPECT_EQ(HexText(MacAddress{}), "00:00:00:00:00:00");
  EXPECT_EQ(HexText(MacAddress{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), "FF:FF:FF:FF:FF:FF");
}

}  // namespace
}  // namespace corvane
