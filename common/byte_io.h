// Bounded reading and writing of fixed-layout byte blocks: frames,
// datagrams, file headers and the settings block. Every access names its
// offset; nothing is read or written outside the block.
//
// Reading rule: a value that does not lie wholly inside the block reads as
// 0 (bytes() as empty) and sets a sticky "ran past the end" flag, as the
// decoder's context does for message bytes beyond their length. A caller
// that checks the size first never sees the flag; one that does not can
// look at overran() once after a run of reads.
//
// Writing rule: a value that does not fit wholly inside the block is not
// written at all (no partial value) and sets the same kind of flag.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace corvane {

class ByteReader {
 public:
  constexpr ByteReader() = default;
  constexpr ByteReader(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}
  constexpr explicit ByteReader(std::span<const uint8_t> bytes) : ByteReader(bytes.data(), bytes.size()) {}
  explicit ByteReader(std::string_view bytes)
      : ByteReader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()) {}

  constexpr size_t size() const { return size_; }
  constexpr const uint8_t* data() const { return data_; }
  // True when n bytes from offset lie inside the block (never sets the flag).
  constexpr bool has(size_t offset, size_t n) const { return offset <= size_ && n <= size_ - offset; }

  constexpr uint8_t u8(size_t offset) const { return take(offset, 1) ? data_[offset] : 0; }
  constexpr uint16_t le16(size_t offset) const {
    if (!take(offset, 2)) return 0;
    return uint16_t(data_[offset] | data_[offset + 1] << 8);
  }
  constexpr uint32_t le32(size_t offset) const {
    if (!take(offset, 4)) return 0;
    return uint32_t(data_[offset]) | uint32_t(data_[offset + 1]) << 8 | uint32_t(data_[offset + 2]) << 16 |
           uint32_t(data_[offset + 3]) << 24;
  }
  constexpr uint16_t be16(size_t offset) const {
    if (!take(offset, 2)) return 0;
    return uint16_t(data_[offset] << 8 | data_[offset + 1]);
  }
  constexpr uint32_t be32(size_t offset) const {
    if (!take(offset, 4)) return 0;
    return uint32_t(data_[offset]) << 24 | uint32_t(data_[offset + 1]) << 16 | uint32_t(data_[offset + 2]) << 8 |
           uint32_t(data_[offset + 3]);
  }
  // The n bytes from offset; empty (and the flag set) when they do not all
  // lie inside the block.
  constexpr std::span<const uint8_t> bytes(size_t offset, size_t n) const {
    if (!take(offset, n)) return {};
    return {data_ + offset, n};
  }
  // Copies the n bytes from offset to out; out is zero-filled and the flag
  // set when they do not all lie inside the block.
  constexpr void copy(size_t offset, uint8_t* out, size_t n) const {
    const bool inside = take(offset, n);
    for (size_t i = 0; i < n; ++i) out[i] = inside ? data_[offset + i] : 0;
  }
  // The reader over the n bytes from offset (empty and the flag set when
  // they do not all lie inside); its own flag starts clear.
  constexpr ByteReader sub(size_t offset, size_t n) const {
    if (!take(offset, n)) return {};
    return {data_ + offset, n};
  }

  // True once any read asked for bytes past the end of the block.
  constexpr bool overran() const { return overran_; }

 private:
  constexpr bool take(size_t offset, size_t n) const {
    if (has(offset, n)) return true;
    overran_ = true;
    return false;
  }

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  mutable bool overran_ = false;
};

class ByteWriter {
 public:
  constexpr ByteWriter(uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}
  constexpr explicit ByteWriter(std::span<uint8_t> bytes) : ByteWriter(bytes.data(), bytes.size()) {}
  // Over the string's present size (the writer never grows it).
  explicit ByteWriter(std::string& bytes) : ByteWriter(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size()) {}

  constexpr size_t size() const { return size_; }
  constexpr bool has(size_t offset, size_t n) const { return offset <= size_ && n <= size_ - offset; }

  constexpr void put8(size_t offset, uint8_t v) {
    if (take(offset, 1)) data_[offset] = v;
  }
  constexpr void putLe16(size_t offset, uint16_t v) {
    if (!take(offset, 2)) return;
    data_[offset] = uint8_t(v);
    data_[offset + 1] = uint8_t(v >> 8);
  }
  constexpr void putLe32(size_t offset, uint32_t v) {
    if (!take(offset, 4)) return;
    for (size_t i = 0; i < 4; ++i) data_[offset + i] = uint8_t(v >> (8 * i));
  }
  constexpr void putBe16(size_t offset, uint16_t v) {
    if (!take(offset, 2)) return;
    data_[offset] = uint8_t(v >> 8);
    data_[offset + 1] = uint8_t(v);
  }
  constexpr void putBe32(size_t offset, uint32_t v) {
    if (!take(offset, 4)) return;
    for (size_t i = 0; i < 4; ++i) data_[offset + i] = uint8_t(v >> (8 * (3 - i)));
  }
  constexpr void putBytes(size_t offset, std::span<const uint8_t> bytes) {
    if (!take(offset, bytes.size())) return;
    for (size_t i = 0; i < bytes.size(); ++i) data_[offset + i] = bytes[i];
  }
  void putBytes(size_t offset, std::string_view bytes) {
    putBytes(offset, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  }
  // n copies of v from offset.
  constexpr void fill(size_t offset, size_t n, uint8_t v) {
    if (!take(offset, n)) return;
    for (size_t i = 0; i < n; ++i) data_[offset + i] = v;
  }

  // True once any write did not fit (and so was left out).
  constexpr bool overran() const { return overran_; }

 private:
  constexpr bool take(size_t offset, size_t n) {
    if (has(offset, n)) return true;
    overran_ = true;
    return false;
  }

  uint8_t* data_ = nullptr;
  size_t size_ = 0;
  bool overran_ = false;
};

}  // namespace corvane
