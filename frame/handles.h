// Owners of what the Win32 and COM APIs hand out: an interface pointer, a
// BSTR, an open registry key; and UTF-16 text as UTF-8. Header-only, so that
// the component, the tool and the tests share them.
#pragma once

#include "frame/port.h"

#include <string>
#include <utility>

namespace revdir {

// Holds one reference to an interface.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes over a reference the caller owns.
  explicit ComPtr(T *p) : m_p(p) {}
  ~ComPtr() { reset(); }
  ComPtr(const ComPtr &) = delete;
  ComPtr &operator=(const ComPtr &) = delete;
  ComPtr(ComPtr &&other) noexcept : m_p(other.detach()) {}
  ComPtr &operator=(ComPtr &&other) noexcept {
    if (this != &other) attach(other.detach());
    return *this;
  }

  T *operator->() const { return m_p; }
  T *get() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }
  // For an out parameter: what was held is released first.
  T **out() {
    reset();
    return &m_p;
  }
  void **outv() { return reinterpret_cast<void **>(out()); }
  void reset() { attach(nullptr); }
  // Takes over `p`'s reference, releasing the one held.
  void attach(T *p) {
    T *old = m_p;
    m_p = p;
    if (old) old->Release();
  }
  // Gives up the reference to the caller.
  T *detach() { return std::exchange(m_p, nullptr); }

 private:
  T *m_p = nullptr;
};

using WString = std::basic_string<WCHAR>;

// Owns one BSTR.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const WCHAR *s) : m_b(SysAllocString(s)) {}
  ~Bstr() { SysFreeString(m_b); }
  Bstr(const Bstr &) = delete;
  Bstr &operator=(const Bstr &) = delete;
  Bstr(Bstr &&other) noexcept : m_b(other.detach()) {}
  Bstr &operator=(Bstr &&other) noexcept {
    if (this != &other) attach(other.detach());
    return *this;
  }

  BSTR get() const { return m_b; }
  bool null() const { return m_b == nullptr; }
  WString str() const { return m_b ? WString(m_b, SysStringLen(m_b)) : WString(); }
  BSTR *out() {
    attach(nullptr);
    return &m_b;
  }
  void attach(BSTR b) {
    if (m_b != b) SysFreeString(m_b);
    m_b = b;
  }
  BSTR detach() { return std::exchange(m_b, nullptr); }

 private:
  BSTR m_b = nullptr;
};

// Owns an open registry key; the predefined roots are never closed.
class RegKey {
 public:
  RegKey() = default;
  explicit RegKey(HKEY key) : m_key(key) {}
  ~RegKey() { reset(); }
  RegKey(const RegKey &) = delete;
  RegKey &operator=(const RegKey &) = delete;
  RegKey(RegKey &&other) noexcept : m_key(other.detach()) {}
  RegKey &operator=(RegKey &&other) noexcept {
    if (this != &other) {
      reset();
      m_key = other.detach();
    }
    return *this;
  }

  HKEY get() const { return m_key; }
  explicit operator bool() const { return m_key != nullptr; }
  HKEY *out() {
    reset();
    return &m_key;
  }
  void reset() {
    if (m_key) RegCloseKey(m_key);
    m_key = nullptr;
  }
  HKEY detach() { return std::exchange(m_key, nullptr); }

 private:
  HKEY m_key = nullptr;
};

// UTF-16 text as UTF-8; `n` units, or up to the terminator when -1. Unpaired
// surrogates become U+FFFD.
inline std::string Utf8(const WCHAR *s, int n = -1) {
  if (!s || n == 0) return std::string();
  int bytes = WideCharToMultiByte(CP_UTF8, 0, s, n, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string out(bytes, '\0');
  WideCharToMultiByte(CP_UTF8, 0, s, n, out.data(), bytes, nullptr, nullptr);
  if (n == -1) out.pop_back();  // the terminator
  return out;
}
inline std::string Utf8(const WString &s) { return Utf8(s.data(), static_cast<int>(s.size())); }
inline std::string Utf8(const Bstr &b) { return Utf8(b.get(), static_cast<int>(SysStringLen(b.get()))); }

}  // namespace revdir
