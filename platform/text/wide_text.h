// Text between UTF-16 (WCHAR) and a byte code page, for every layer and both
// targets: written against the Win32 conversion functions only, so it is the
// same on Windows and on the platform layer.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace platform {

using WideString = std::basic_string<WCHAR>;
using WideView = std::basic_string_view<WCHAR>;

// Bytes in `codePage` as UTF-16; bytes that do not decode become U+FFFD.
inline WideString Widen(std::string_view bytes, UINT codePage = CP_UTF8) {
  if (bytes.empty()) return WideString();
  const int size = static_cast<int>(bytes.size());
  const int chars = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
  if (chars <= 0) return WideString();
  WideString out(static_cast<size_t>(chars), 0);
  MultiByteToWideChar(codePage, 0, bytes.data(), size, out.data(), chars);
  return out;
}

// The same, but nothing when the bytes are not valid text of `codePage`.
inline std::optional<WideString> WidenStrict(std::string_view bytes, UINT codePage = CP_UTF8) {
  if (bytes.empty()) return WideString();
  const int size = static_cast<int>(bytes.size());
  const int chars = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
  if (chars <= 0) return std::nullopt;
  WideString out(static_cast<size_t>(chars), 0);
  MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, out.data(), chars);
  return out;
}

// UTF-16 as bytes of `codePage`; unpaired surrogates become U+FFFD in UTF-8,
// characters the code page lacks its default character.
inline std::string Narrow(WideView text, UINT codePage = CP_UTF8) {
  if (text.empty()) return std::string();
  const int size = static_cast<int>(text.size());
  const int bytes = WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), size, out.data(), bytes, nullptr, nullptr);
  return out;
}

// A null-terminated string (null gives the empty text).
inline std::string Narrow(const WCHAR *text, UINT codePage = CP_UTF8) {
  return text ? Narrow(WideView(text), codePage) : std::string();
}

}  // namespace platform
