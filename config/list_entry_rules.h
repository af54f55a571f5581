// How the text of the window's edit fields becomes list entries, when an entry is refused, and the
// texts of each entry's row. Refusal is `std::nullopt`: the caller then changes nothing and shows
// no message.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/proxy_server_settings.h"

namespace corvane {

// The whole field as a decimal integer of 32 bits (an optional sign, then digits, spaces around
// them allowed), or nothing.
std::optional<std::int64_t> ParseInteger(std::string_view field);

// The value of a field's hexadecimal digits (all others skipped) when there are exactly 12.
std::optional<std::array<std::uint8_t, 6>> TwelveHexDigits(std::string_view field);
// How many hexadecimal digits a field holds, whatever else it holds.
std::size_t CountHexDigits(std::string_view field);

// Host text: refused when empty; otherwise its first 96 bytes as typed.
std::optional<std::string> ParseHostText(std::string_view field);

// What a destination's host text lacks before it can work, or an empty text: a link-scoped IPv6
// address without its interface ("fe80::1 reaches one link only: add the interface, for example
// %eth0"), or an `ADDRESS%INTERFACE` text that cannot name an interface. Only a hint: the text is
// kept as written either way.
std::string DestinationHostNote(std::string_view host);

// The whole field as a decimal integer (an optional sign, then digits, spaces around them
// allowed); a field that does not convert, or overflows 32 bits, gives 0. Then clamped: a prefix to
// 0..128, a port to 0..65535.
std::uint8_t ParsePrefix(std::string_view field);
std::uint16_t ParsePort(std::string_view field);

// "8 - 80", "80", "8,80": the first run of digits is First, the next run Last (Last = First when
// there is none). A run that does not convert gives 0 (First) or First (Last); both are clamped
// to 0..65535 and kept in the order entered.
PortRange ParsePortRange(std::string_view field);

// A MAC address or a password: the field holds at least 12 characters, and its first 96 hold
// exactly 12 hexadecimal digits, whatever else they hold ("00:11:22:33:44:55", "001122334455").
std::optional<std::array<std::uint8_t, 6>> ParseHexBytes(std::string_view field);

// The password of a replacement packet: 12 hexadecimal digits give a password, none (an empty
// field) gives a packet without one; any other count is refused.
struct PacketPassword {
  bool HasPassword = false;
  MagicPassword Password{};
};
std::optional<PacketPassword> ParsePacketPassword(std::string_view field);

// Six bytes as two upper-case hexadecimal digits each, joined by ':' ("00:11:22:AA:BB:CC").
std::string HexText(const std::array<std::uint8_t, 6>& bytes);

// Row texts, one per column.
std::vector<std::string> HostRow(const HostEntry& entry);         // host, "/24"
std::vector<std::string> DestinationRow(const HostEntry& entry);  // host, "/24", port
std::vector<std::string> PortRangeRow(const PortRange& range);    // "80" or "8 - 80"
std::vector<std::string> HexRow(const std::array<std::uint8_t, 6>& bytes);
// MAC, password (empty without one), host, "/24", port.
std::vector<std::string> ReplacementPacketRow(const ReplaceByMacPacket& packet);

}  // namespace corvane
