// Internal text helpers of the platform layer: UTF-16 <-> UTF-8 and
// case-insensitive comparison of UTF-16 text.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Strict conversions: nullopt on unpaired surrogates or malformed UTF-8.
std::optional<std::string> ToUtf8(std::u16string_view s);
std::optional<std::u16string> FromUtf8(std::string_view s);
// Lenient conversions: malformed input becomes U+FFFD.
std::string ToUtf8Lossy(std::u16string_view s);
std::u16string FromUtf8Lossy(std::string_view s);

// Length of a null-terminated UTF-16 string (0 for null).
size_t Length(const WCHAR *s);
inline std::u16string_view View(const WCHAR *s) { return s ? std::u16string_view(s, Length(s)) : std::u16string_view(); }

// Simple (one-to-one) upper-casing; Windows compares names (registry keys,
// files, modules) by their upper-case forms, which fixes e.g. where '_' sorts.
char16_t UpperCase(char16_t c);
int CompareNoCase(std::u16string_view a, std::u16string_view b);
inline bool EqualNoCase(std::u16string_view a, std::u16string_view b) { return CompareNoCase(a, b) == 0; }

}  // namespace platform
