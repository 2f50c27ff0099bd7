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
  explicit Reader(std::span<const uint8_t> bytes) : m_bytes(bytes) {}

  bool Ok() const { return m_ok; }
  size_t Left() const { return m_ok ? m_bytes.size() - m_pos : 0; }
  size_t Pos() const { return m_pos; }
  bool Done() const { return m_ok && m_pos == m_bytes.size(); }

  uint8_t U8() { return static_cast<uint8_t>(Take(1)); }
  uint16_t U16() { return static_cast<uint16_t>(Take(2)); }
  uint32_t U32() { return static_cast<uint32_t>(Take(4)); }
  uint64_t U64() { return Take(8); }
  // The next n bytes (empty and failed when fewer are left).
  std::span<const uint8_t> Bytes(size_t n) {
    if (!Need(n)) return {};
    auto s = m_bytes.subspan(m_pos, n);
    m_pos += n;
    return s;
  }
  std::span<const uint8_t> Rest() { return Bytes(Left()); }
  void Skip(size_t n) { Bytes(n); }
  void Fail() { m_ok = false; }

 private:
  bool Need(size_t n) {
    if (!m_ok || m_bytes.size() - m_pos < n) m_ok = false;
    return m_ok;
  }
  uint64_t Take(size_t n) {
    if (!Need(n)) return 0;
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= uint64_t{m_bytes[m_pos + i]} << (8 * i);
    m_pos += n;
    return v;
  }

  std::span<const uint8_t> m_bytes;
  size_t m_pos = 0;
  bool m_ok = true;
};

class Writer {
 public:
  std::vector<uint8_t> &Out() { return m_out; }
  size_t Size() const { return m_out.size(); }
  Writer &U8(uint8_t v) { return Le(v, 1); }
  Writer &U16(uint16_t v) { return Le(v, 2); }
  Writer &U32(uint32_t v) { return Le(v, 4); }
  Writer &U64(uint64_t v) { return Le(v, 8); }
  Writer &Bytes(std::span<const uint8_t> b) { return Append(b.data(), b.size()); }
  Writer &Text(const std::string &s) { return Append(s.data(), s.size()); }
  // Overwrites a 16-bit field written earlier (a length known only later).
  void Patch16(size_t at, uint16_t v) {
    m_out[at] = static_cast<uint8_t>(v);
    m_out[at + 1] = static_cast<uint8_t>(v >> 8);
  }

 private:
  // resize and copy: GCC 12 at -O3 warns falsely about vector::insert here.
  Writer &Append(const void *p, size_t n) {
    if (n) {
      size_t at = m_out.size();
      m_out.resize(at + n);
      std::memcpy(m_out.data() + at, p, n);
    }
    return *this;
  }
  Writer &Le(uint64_t v, int n) {
    for (int i = 0; i < n; ++i) m_out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  std::vector<uint8_t> m_out;
};

}  // namespace commserver
