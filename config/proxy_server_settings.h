// The settings record of one proxy server and the types of its list entries.
//
// Field names are the names the window's controls carry without their type prefix. Flags are
// stored as bool (a stored byte other than 0 reads as on). Lists are growable containers; the
// limits below are what every writer into a record enforces (the table, the profile readers, the
// window and the engine's snapshot), not allocations.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

inline constexpr std::size_t kMaxListEntries = 1000;       // every list, also each action's packets
inline constexpr std::size_t kMaxTextLength = 96;          // names and host texts, in bytes
inline constexpr std::uint32_t kMaxSendDelayTime = 10000;  // milliseconds
inline constexpr std::uint8_t kMaxPrefix = 128;

// Six bytes in wire order (first byte first), as in "00:11:22:AA:BB:CC".
using MacAddress = std::array<std::uint8_t, 6>;
using MagicPassword = std::array<std::uint8_t, 6>;

// The stored value is kept even when it is none of the three modes, so that the engine can refuse
// it ("Unknown error") rather than guess.
enum class IpMode : std::uint8_t { UseIPv4 = 0, UseIPv6 = 1, UseIPv4IPv6 = 2 };

// A host: an IPv4 address, an IPv6 address or a host name, stored as typed.
struct HostEntry {
  std::string Host;         // 1..96 bytes
  std::uint8_t Prefix = 0;  // 0..128, the network prefix
  std::uint16_t Port = 0;   // destination port; unused in the sender lists

  friend bool operator==(const HostEntry&, const HostEntry&) = default;
};

// Source ports First..Last. Stored in the order entered; readers that use it as a range swap the
// two numbers when Last < First.
struct PortRange {
  std::uint16_t First = 0;
  std::uint16_t Last = 0;

  friend bool operator==(const PortRange&, const PortRange&) = default;
};

// One packet that an action sends instead of the received one.
struct ReplaceByMacPacket {
  MacAddress Mac{};
  MagicPassword Password{};  // meaningful only with HasPassword
  bool HasPassword = false;
  HostEntry Destination;  // its Port is used

  friend bool operator==(const ReplaceByMacPacket&, const ReplaceByMacPacket&) = default;
};

// Received packets for `Mac` are dropped and these packets are sent instead.
struct ActionByMac {
  MacAddress Mac{};
  std::vector<ReplaceByMacPacket> ReplaceByMacPacketsList;

  friend bool operator==(const ActionByMac&, const ActionByMac&) = default;
};

struct ProxyServerSettings {
  std::uint32_t Id = 0;  // given at registration; never stored in a file
  std::string ServerName;
  bool ServerAutoStart = false;
  bool ServerAutoStartOnService = false;
  ::corvane::IpMode IpMode = ::corvane::IpMode::UseIPv4;  // the field bears its type's name
  std::uint16_t RecvPort = 9;
  std::uint16_t SendPort = 9;
  bool SendDelay = false;
  std::uint32_t SendDelayTime = 100;
  bool DontRecvFromYourIp = true;
  bool DontRecvFromBroadcastIp = false;
  bool DontRecvFromHosts = false;
  std::vector<HostEntry> DontRecvFromHostsList;
  bool RecvFromHosts = false;
  std::vector<HostEntry> RecvFromHostsList;
  bool DontRecvFromPorts = false;
  std::vector<PortRange> DontRecvFromPortsList;
  bool RecvFromPorts = false;
  std::vector<PortRange> RecvFromPortsList;
  bool DontRecvWithPassword = false;
  bool DontRecvWithoutPassword = false;
  bool DontRecvWithNextPasswords = false;
  std::vector<MagicPassword> DontRecvWithNextPasswordsList;
  bool RecvWithNextPasswords = false;
  std::vector<MagicPassword> RecvWithNextPasswordsList;
  bool DontRecvWithNextMacs = false;
  std::vector<MacAddress> DontRecvWithNextMacsList;
  bool RecvWithNextMacs = false;
  std::vector<MacAddress> RecvWithNextMacsList;
  bool RemovePassword = false;
  bool ReplacePassword = false;
  MagicPassword ReplacePasswordValue{};
  bool ReplaceMac = false;
  MacAddress ReplaceMacValue{};
  std::vector<HostEntry> SendToHostsList;
  std::vector<ActionByMac> ActionsByMacsList;

  friend bool operator==(const ProxyServerSettings&, const ProxyServerSettings&) = default;
};

// `text` cut to its first `max_length` bytes, or fewer so that no UTF-8 character is cut in two.
std::string CutText(std::string_view text, std::size_t max_length = kMaxTextLength);

// The copy that an engine thread works on: the record with every bound applied again. Counts above
// 1000 become 1000, SendDelayTime above 10000 becomes 10000, prefixes above 128 become 128, host
// texts are cut to 96 bytes and every PortRange is put in ascending order.
ProxyServerSettings NormalizedCopy(const ProxyServerSettings& settings);

}  // namespace corvane
