// Bounds-checked little-endian access to a byte image. Every read and write names its offset;
// nothing is ever read or written outside the image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace corvane {

class LittleEndianReader {
 public:
  explicit LittleEndianReader(std::span<const std::uint8_t> image) : image_(image) {}

  std::uint64_t size() const { return image_.size(); }
  // Whether `length` bytes at `offset` lie within the image (computed without overflow).
  bool Fits(std::uint64_t offset, std::uint64_t length) const {
    return offset <= image_.size() && length <= image_.size() - offset;
  }

  // Out-of-range reads give 0; callers check Fits first.
  std::uint8_t U8(std::uint64_t offset) const { return Fits(offset, 1) ? image_[offset] : 0; }
  std::uint16_t U16(std::uint64_t offset) const {
    return static_cast<std::uint16_t>(U8(offset) | U8(offset + 1) << 8);
  }
  std::uint32_t U32(std::uint64_t offset) const {
    return std::uint32_t{U16(offset)} | std::uint32_t{U16(offset + 2)} << 16;
  }
  // The text of a fixed field: its bytes up to the first zero, at most `max_length`.
  std::string_view Text(std::uint64_t offset, std::size_t max_length) const;
  // Copies `out.size()` bytes at `offset`, or zeros when they do not fit.
  void Bytes(std::uint64_t offset, std::span<std::uint8_t> out) const;

 private:
  std::span<const std::uint8_t> image_;
};

class LittleEndianWriter {
 public:
  explicit LittleEndianWriter(std::span<std::uint8_t> image) : image_(image) {}

  // A write that would leave the image is dropped and marks the writer as failed.
  void U8(std::uint64_t offset, std::uint8_t value);
  void U16(std::uint64_t offset, std::uint16_t value);
  void U32(std::uint64_t offset, std::uint32_t value);
  void Bytes(std::uint64_t offset, std::span<const std::uint8_t> bytes);
  // At most `max_length` bytes of `text`; the field's other bytes stay zero.
  void Text(std::uint64_t offset, std::string_view text, std::size_t max_length);

  bool ok() const { return ok_; }

 private:
  bool Fits(std::uint64_t offset, std::uint64_t length) const {
    return offset <= image_.size() && length <= image_.size() - offset;
  }

  std::span<std::uint8_t> image_;
  bool ok_ = true;
};

}  // namespace corvane
