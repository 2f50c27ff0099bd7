// Bounds-checked reading and writing of little-endian wire bytes. A read past
// the end fails the cursor and yields zeros, so a parser checks ok() once
// where convenient and never reads beyond its buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace commserver {

class Reader {
 public:
  Reader() = default;
  explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  bool ok() const { return ok_; }
  size_t left() const { return ok_ ? bytes_.size() - pos_ : 0; }
  size_t pos() const { return pos_; }
  bool done() const { return ok_ && pos_ == bytes_.size(); }

  uint8_t u8() { return static_cast<uint8_t>(take(1)); }
  uint16_t u16() { return static_cast<uint16_t>(take(2)); }
  uint32_t u32() { return static_cast<uint32_t>(take(4)); }
  uint64_t u64() { return take(8); }
  // The next n bytes (empty and failed when fewer are left).
  std::span<const uint8_t> bytes(size_t n) {
    if (!need(n)) return {};
    auto s = bytes_.subspan(pos_, n);
    pos_ += n;
    return s;
  }
  std::span<const uint8_t> rest() { return bytes(left()); }
  void skip(size_t n) { bytes(n); }
  void fail() { ok_ = false; }

 private:
  bool need(size_t n) {
    if (!ok_ || bytes_.size() - pos_ < n) ok_ = false;
    return ok_;
  }
  uint64_t take(size_t n) {
    if (!need(n)) return 0;
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= uint64_t{bytes_[pos_ + i]} << (8 * i);
    pos_ += n;
    return v;
  }

  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
  bool ok_ = true;
};

class Writer {
 public:
  std::vector<uint8_t> &out() { return out_; }
  size_t size() const { return out_.size(); }
  Writer &u8(uint8_t v) { return le(v, 1); }
  Writer &u16(uint16_t v) { return le(v, 2); }
  Writer &u32(uint32_t v) { return le(v, 4); }
  Writer &u64(uint64_t v) { return le(v, 8); }
  Writer &bytes(std::span<const uint8_t> b) { return append(b.data(), b.size()); }
  Writer &text(const std::string &s) { return append(s.data(), s.size()); }
  // Overwrites a 16-bit field written earlier (a length known only later).
  void patch16(size_t at, uint16_t v) {
    out_[at] = static_cast<uint8_t>(v);
    out_[at + 1] = static_cast<uint8_t>(v >> 8);
  }

 private:
  // resize and copy: GCC 12 at -O3 warns falsely about vector::insert here.
  Writer &append(const void *p, size_t n) {
    if (n) {
      size_t at = out_.size();
      out_.resize(at + n);
      std::memcpy(out_.data() + at, p, n);
    }
    return *this;
  }
  Writer &le(uint64_t v, int n) {
    for (int i = 0; i < n; ++i) out_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  std::vector<uint8_t> out_;
};

}  // namespace commserver
