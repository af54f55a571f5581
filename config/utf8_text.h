// What counts as UTF-8 text, decided in one place: no overlong forms, no surrogates, nothing beyond
// U+10FFFF, no cut sequence and no stray continuation byte. A profile's texts may hold any bytes;
// whoever shows them or hands them on asks here.
#pragma once

#include <cstddef>
#include <string_view>

namespace corvane {

// The length of the UTF-8 character at `at` (< text.size()): 1 for a byte below 0x80, 2 to 4 for a
// valid multi-byte sequence, 0 when the byte there starts none.
std::size_t Utf8CharLength(std::string_view text, std::size_t at);

// True when `text` is UTF-8 from end to end.
bool IsUtf8(std::string_view text);

}  // namespace corvane
