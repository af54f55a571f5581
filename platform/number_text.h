// Numbers read from text. Every number the programs take from a text (an interface index after a
// host's "%") is read here: into a type of fixed width, so that a 32-bit build reads what a 64-bit
// one does, and without exceptions, so that no text can end a thread.
#pragma once

#include <charconv>
#include <concepts>
#include <optional>
#include <string_view>

namespace corvane {

// The whole of `text` as a decimal number of type T: one or more digits, no sign, space or base
// prefix. Nothing when the text is anything else or its number does not fit T.
template <std::unsigned_integral T>
std::optional<T> DecimalNumber(std::string_view text) {
  T value = 0;
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

}  // namespace corvane
