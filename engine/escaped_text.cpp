#include "engine/escaped_text.h"

#include <cstdint>
#include <cstdio>

#include "config/utf8_text.h"

namespace corvane {
namespace {

// Walks `text`: `ascii` gets each byte below 0x80, `valid` each valid multi-byte sequence and
// `invalid` each byte that starts none.
template <typename Ascii, typename Valid, typename Invalid>
void WalkUtf8(std::string_view text, Ascii ascii, Valid valid, Invalid invalid) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = Utf8CharLength(text, at);
    if (length == 1) {
      ascii(text[at]);
    } else if (length != 0) {
      valid(text.substr(at, length));
    } else {
      invalid(static_cast<std::uint8_t>(text[at]));
    }
    at += length == 0 ? 1 : length;
  }
}

// Whether a valid multi-byte sequence is a character that changes how the rest of a line reads
// rather than showing itself: a C1 control (U+0080..U+009F), a line or paragraph separator
// (U+2028, U+2029), or a bidirectional embedding, override or isolate (U+202A..U+202E,
// U+2066..U+2069), which would let a name reorder the words after it in a terminal or a viewer.
bool IsFormatControl(std::string_view sequence) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(sequence[i]); };
  if (sequence.size() == 2) return byte(0) == 0xC2 && byte(1) < 0xA0;
  if (sequence.size() != 3 || byte(0) != 0xE2) return false;
  if (byte(1) == 0x80) return byte(2) >= 0xA8 && byte(2) <= 0xAE;
  return byte(1) == 0x81 && byte(2) >= 0xA6 && byte(2) <= 0xA9;
}

}  // namespace

std::string JournalText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  const auto hex = [&out](std::uint8_t byte) {
    char escaped[5];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(byte));
    out += escaped;
  };
  WalkUtf8(
      text,
      [&](char c) {
        if (c == '\\' || c == '"') {
          out += '\\';
          out += c;
        } else if (static_cast<std::uint8_t>(c) < 0x20 || c == 0x7F) {
          hex(static_cast<std::uint8_t>(c));
        } else {
          out += c;
        }
      },
      [&](std::string_view sequence) {
        if (IsFormatControl(sequence)) {
          for (const char c : sequence) hex(static_cast<std::uint8_t>(c));
        } else {
          out += sequence;
        }
      },
      hex);
  return out;
}

std::string MetricsLabelValue(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  WalkUtf8(
      text,
      [&](char c) {
        if (c == '\\') {
          out += "\\\\";
        } else if (c == '"') {
          out += "\\\"";
        } else if (c == '\n') {
          out += "\\n";
        } else {
          out += c;
        }
      },
      [&](std::string_view sequence) { out += sequence; },
      [&](std::uint8_t) { out += "\xEF\xBF\xBD"; });
  return out;
}

}  // namespace corvane
