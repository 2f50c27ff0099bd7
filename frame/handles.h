// Owners of what the Win32 and COM APIs hand out: an interface pointer, a
// BSTR, an open registry key. Header-only, so that the component, the tool
// and the tests share them. (Text between UTF-16 and UTF-8:
// platform/text/wide_text.h.)
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
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr &) = delete;
  ComPtr &operator=(const ComPtr &) = delete;
  ComPtr(ComPtr &&other) noexcept : m_p(other.Detach()) {}
  ComPtr &operator=(ComPtr &&other) noexcept {
    if (this != &other) Attach(other.Detach());
    return *this;
  }

  T *operator->() const { return m_p; }
  T *Get() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }
  // For an out parameter: what was held is released first.
  T **Out() {
    Reset();
    return &m_p;
  }
  void **OutVoid() { return reinterpret_cast<void **>(Out()); }
  void Reset() { Attach(nullptr); }
  // Takes over `p`'s reference, releasing the one held.
  void Attach(T *p) {
    T *old = m_p;
    m_p = p;
    if (old) old->Release();
  }
  // Gives up the reference to the caller.
  T *Detach() { return std::exchange(m_p, nullptr); }

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
  Bstr(Bstr &&other) noexcept : m_b(other.Detach()) {}
  Bstr &operator=(Bstr &&other) noexcept {
    if (this != &other) Attach(other.Detach());
    return *this;
  }

  BSTR Get() const { return m_b; }
  bool IsNull() const { return m_b == nullptr; }
  WString Str() const { return m_b ? WString(m_b, SysStringLen(m_b)) : WString(); }
  BSTR *Out() {
    Attach(nullptr);
    return &m_b;
  }
  void Attach(BSTR b) {
    if (m_b != b) SysFreeString(m_b);
    m_b = b;
  }
  BSTR Detach() { return std::exchange(m_b, nullptr); }

 private:
  BSTR m_b = nullptr;
};

// Owns an open registry key; the predefined roots are never closed.
class RegKey {
 public:
  RegKey() = default;
  explicit RegKey(HKEY key) : m_key(key) {}
  ~RegKey() { Reset(); }
  RegKey(const RegKey &) = delete;
  RegKey &operator=(const RegKey &) = delete;
  RegKey(RegKey &&other) noexcept : m_key(other.Detach()) {}
  RegKey &operator=(RegKey &&other) noexcept {
    if (this != &other) {
      Reset();
      m_key = other.Detach();
    }
    return *this;
  }

  HKEY Get() const { return m_key; }
  explicit operator bool() const { return m_key != nullptr; }
  HKEY *Out() {
    Reset();
    return &m_key;
  }
  void Reset() {
    if (m_key) RegCloseKey(m_key);
    m_key = nullptr;
  }
  HKEY Detach() { return std::exchange(m_key, nullptr); }

 private:
  HKEY m_key = nullptr;
};

}  // namespace revdir
