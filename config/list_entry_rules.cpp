#include "config/list_entry_rules.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "platform/net_address.h"

namespace corvane {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<std::int64_t> ParseInteger(std::string_view field) {
  std::string_view digits = field;
  while (!digits.empty() && digits.front() == ' ') digits.remove_prefix(1);
  while (!digits.empty() && digits.back() == ' ') digits.remove_suffix(1);
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  std::int32_t value = 0;  // the range of the window's integer conversion
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

namespace {

std::int64_t Clamp(std::int64_t value, std::int64_t low, std::int64_t high) {
  return std::min(std::max(value, low), high);
}

struct DigitRun {
  bool found = false;       // there was a further digit
  bool converted = false;   // and its run fits the integer conversion
  std::uint16_t value = 0;  // clamped to a port
};

// The run of digits starting at or after `from`; `from` moves past it.
DigitRun NextRun(std::string_view field, std::size_t& from) {
  DigitRun run;
  while (from < field.size() && !IsDigit(field[from])) ++from;
  if (from == field.size()) return run;
  run.found = true;
  const std::size_t start = from;
  while (from < field.size() && IsDigit(field[from])) ++from;
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(field.data() + start, field.data() + from, value);
  run.converted = error == std::errc() && end == field.data() + from;
  run.value = run.converted ? static_cast<std::uint16_t>(Clamp(value, 0, 65535)) : 0;
  return run;
}

int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The hexadecimal digits among the first 96 characters of `field`.
std::string HexDigits(std::string_view field) {
  std::string digits;
  for (char c : field.substr(0, kMaxTextLength)) {
    if (HexValue(c) >= 0) digits += c;
  }
  return digits;
}

std::array<std::uint8_t, 6> BytesOf(const std::string& twelve_digits) {
  std::array<std::uint8_t, 6> bytes{};
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>(HexValue(twelve_digits[2 * i]) * 16 +
                                         HexValue(twelve_digits[2 * i + 1]));
  }
  return bytes;
}

std::string PrefixText(std::uint8_t prefix) { return "/" + std::to_string(prefix); }

}  // namespace

std::optional<std::string> ParseHostText(std::string_view field) {
  if (field.empty()) return std::nullopt;
  return CutText(field);
}

std::string DestinationHostNote(std::string_view host) {
  const HostTextParts parts = SplitInterface(host);
  const std::string text(host);
  if (!parts.names_interface) {
    const std::optional<IpAddress> address = ParseIpAddress(host);
    if (!address || !IsLinkScoped(*address)) return {};
    return text + " reaches one link only: add the interface, for example %eth0";
  }
  if (parts.host.empty()) return text + " names no address before the %";
  if (!IsInterfaceName(parts.interface)) {
    return text +
           " names no interface after the %: a name of up to 15 characters without spaces, or "
           "an index";
  }
  return {};
}

std::uint8_t ParsePrefix(std::string_view field) {
  return static_cast<std::uint8_t>(Clamp(ParseInteger(field).value_or(0), 0, kMaxPrefix));
}

std::uint16_t ParsePort(std::string_view field) {
  return static_cast<std::uint16_t>(Clamp(ParseInteger(field).value_or(0), 0, 65535));
}

PortRange ParsePortRange(std::string_view field) {
  std::size_t at = 0;
  PortRange range;
  range.First = NextRun(field, at).value;  // 0 without digits or when the run does not convert
  const DigitRun last = NextRun(field, at);
  range.Last = last.converted ? last.value : range.First;
  return range;
}

std::optional<std::array<std::uint8_t, 6>> ParseHexBytes(std::string_view field) {
  if (field.size() < 12) return std::nullopt;
  const std::string digits = HexDigits(field);
  if (digits.size() != 12) return std::nullopt;
  return BytesOf(digits);
}

std::size_t CountHexDigits(std::string_view field) {
  return static_cast<std::size_t>(
      std::count_if(field.begin(), field.end(), [](char c) { return HexValue(c) >= 0; }));
}

std::optional<std::array<std::uint8_t, 6>> TwelveHexDigits(std::string_view field) {
  std::string digits;
  for (char c : field) {
    if (HexValue(c) >= 0) digits += c;
  }
  if (digits.size() != 12) return std::nullopt;
  return BytesOf(digits);
}

std::optional<PacketPassword> ParsePacketPassword(std::string_view field) {
  const std::string digits = HexDigits(field);
  if (digits.empty()) return PacketPassword{};
  if (digits.size() != 12) return std::nullopt;
  return PacketPassword{true, BytesOf(digits)};
}

std::string HexText(const std::array<std::uint8_t, 6>& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(17);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i != 0) text += ':';
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

std::vector<std::string> HostRow(const HostEntry& entry) {
  return {entry.Host, PrefixText(entry.Prefix)};
}

std::vector<std::string> DestinationRow(const HostEntry& entry) {
  return {entry.Host, PrefixText(entry.Prefix), std::to_string(entry.Port)};
}

std::vector<std::string> PortRangeRow(const PortRange& range) {
  if (range.First == range.Last) return {std::to_string(range.First)};
  return {std::to_string(range.First) + " - " + std::to_string(range.Last)};
}

std::vector<std::string> HexRow(const std::array<std::uint8_t, 6>& bytes) {
  return {HexText(bytes)};
}

std::vector<std::string> ReplacementPacketRow(const ReplaceByMacPacket& packet) {
  const HostEntry& to = packet.Destination;
  return {HexText(packet.Mac), packet.HasPassword ? HexText(packet.Password) : std::string(),
          to.Host, PrefixText(to.Prefix), std::to_string(to.Port)};
}

}  // namespace corvane
