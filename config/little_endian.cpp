#include "config/little_endian.h"

#include <algorithm>

namespace corvane {

std::string_view LittleEndianReader::Text(std::uint64_t offset, std::size_t max_length) const {
  if (!Fits(offset, max_length)) return {};
  const auto* begin = reinterpret_cast<const char*>(image_.data() + offset);
  return {begin, static_cast<std::size_t>(std::find(begin, begin + max_length, '\0') - begin)};
}

void LittleEndianReader::Bytes(std::uint64_t offset, std::span<std::uint8_t> out) const {
  if (!Fits(offset, out.size())) {
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    return;
  }
  std::copy_n(image_.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
}

void LittleEndianWriter::U8(std::uint64_t offset, std::uint8_t value) {
  if (!Fits(offset, 1)) {
    ok_ = false;
    return;
  }
  image_[offset] = value;
}

void LittleEndianWriter::U16(std::uint64_t offset, std::uint16_t value) {
  U8(offset, static_cast<std::uint8_t>(value));
  U8(offset + 1, static_cast<std::uint8_t>(value >> 8));
}

void LittleEndianWriter::U32(std::uint64_t offset, std::uint32_t value) {
  U16(offset, static_cast<std::uint16_t>(value));
  U16(offset + 2, static_cast<std::uint16_t>(value >> 16));
}

void LittleEndianWriter::Bytes(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  if (!Fits(offset, bytes.size())) {
    ok_ = false;
    return;
  }
  std::copy(bytes.begin(), bytes.end(), image_.begin() + static_cast<std::ptrdiff_t>(offset));
}

void LittleEndianWriter::Text(std::uint64_t offset, std::string_view text, std::size_t max_length) {
  const std::string_view kept = text.substr(0, max_length);
  Bytes(offset, {reinterpret_cast<const std::uint8_t*>(kept.data()), kept.size()});
}

}  // namespace corvane
