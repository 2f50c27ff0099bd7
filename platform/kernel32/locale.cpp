// Thread locales. Each thread starts with the user default locale, taken
// from LC_ALL, LC_MESSAGES or LANG (as a POSIX program reads them).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <mutex>
#include <optional>
#include <string>

#include "kernel32/locale_table.h"
#include "kernel32/text.h"

namespace platform {

namespace {

LCID LocaleFromEnvironment() {
  const char *names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  for (const char *n : names) {
    const char *v = getenv(n);
    if (v && *v) {
      LCID id = LocaleFromPosixName(v);
      return id ? id : 0x0409;
    }
  }
  return 0x0409;
}

}  // namespace

LCID UserDefaultLocale() {
  static LCID g_id = LocaleFromEnvironment();
  return g_id;
}

const LocaleInfo *ResolveLocale(LCID lcid) {
  switch (lcid) {
    case LOCALE_NEUTRAL:
    case LOCALE_USER_DEFAULT:
    case LOCALE_SYSTEM_DEFAULT:
    case LOCALE_CUSTOM_DEFAULT:
    case LOCALE_CUSTOM_UNSPECIFIED:
    case LOCALE_CUSTOM_UI_DEFAULT: lcid = UserDefaultLocale(); break;
    default: break;
  }
  // Only the default sort order of each locale is known.
  if (lcid >> 16) return nullptr;
  return FindLocale(LANGIDFROMLCID(lcid));
}

}  // namespace platform

namespace {
thread_local LCID g_threadLocale = 0;
}

LCID WINAPI GetThreadLocale(void) {
  if (!g_threadLocale) g_threadLocale = platform::UserDefaultLocale();
  return g_threadLocale;
}

BOOL WINAPI SetThreadLocale(LCID Locale) {
  if (!IsValidLocale(Locale, LCID_SUPPORTED)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  g_threadLocale = Locale;
  return TRUE;
}

LCID WINAPI GetUserDefaultLCID(void) { return platform::UserDefaultLocale(); }
LCID WINAPI GetSystemDefaultLCID(void) { return platform::UserDefaultLocale(); }
LANGID WINAPI GetUserDefaultLangID(void) { return LANGIDFROMLCID(platform::UserDefaultLocale()); }
LANGID WINAPI GetSystemDefaultLangID(void) { return LANGIDFROMLCID(platform::UserDefaultLocale()); }
LANGID WINAPI GetUserDefaultUILanguage(void) { return LANGIDFROMLCID(platform::UserDefaultLocale()); }

BOOL WINAPI IsValidLocale(LCID Locale, DWORD dwFlags) {
  if (dwFlags & ~(LCID_INSTALLED | LCID_SUPPORTED)) return FALSE;
  // Only the default sort order is known here; other bits make it invalid.
  if (Locale >> 16) return FALSE;
  return platform::FindLocale(LANGIDFROMLCID(Locale)) != nullptr;
}

namespace {

// One piece of locale data: text, or a number that LOCALE_RETURN_NUMBER can
// hand out as a DWORD.
struct LocaleValue {
  std::u16string text;
  std::optional<DWORD> number;
};

constexpr LCTYPE kLocaleTypeFlags = LOCALE_NOUSEROVERRIDE | LOCALE_USE_CP_ACP | LOCALE_RETURN_NUMBER;

// Looks the value up; sets the last error and returns false when the locale
// or the type is not known.
bool LookUpLocaleValue(LCID lcid, LCTYPE type, LocaleValue &value) {
  const platform::LocaleInfo *info = platform::ResolveLocale(lcid);
  if (!info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  auto ascii = [](const char *s) { return std::u16string(s, s + strlen(s)); };
  switch (type & ~kLocaleTypeFlags) {
    case LOCALE_SNAME: value.text = ascii(platform::LocaleName(*info).c_str()); break;
    case LOCALE_SISO639LANGNAME: value.text = ascii(info->isoLanguage); break;
    case LOCALE_SISO3166CTRYNAME: value.text = ascii(info->isoCountry); break;
    case LOCALE_SENGLISHLANGUAGENAME: value.text = ascii(info->englishLanguage); break;
    case LOCALE_SNATIVELANGUAGENAME: value.text = info->nativeLanguage; break;
    case LOCALE_ILANGUAGE: {
      char hex[8];
      snprintf(hex, sizeof hex, "%04x", info->id);
      value.text = ascii(hex);
      value.number = info->id;
      break;
    }
    case LOCALE_SDECIMAL:
      value.text = std::u16string(1, platform::SeparatorsOf(*info).decimal);
      break;
    case LOCALE_STHOUSAND:
      value.text = std::u16string(1, platform::SeparatorsOf(*info).thousand);
      break;
    case LOCALE_IDEFAULTANSICODEPAGE:
      value.text = ascii(std::to_string(info->ansiCodePage).c_str());
      value.number = info->ansiCodePage;
      break;
    default: SetLastError(ERROR_INVALID_FLAGS); return false;
  }
  if ((type & LOCALE_RETURN_NUMBER) && !value.number) {
    SetLastError(ERROR_INVALID_FLAGS);
    return false;
  }
  return true;
}

// Copies data of n units into a caller's buffer of cch units: a size query
// when cch is 0, nothing at all when it does not fit.
template <typename Char>
int CopyOut(const void *data, int n, Char *buffer, int cch) {
  if (cch == 0) return n;
  if (cch < n) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  memcpy(buffer, data, static_cast<size_t>(n) * sizeof(Char));
  return n;
}

}  // namespace

int WINAPI GetLocaleInfoW(LCID Locale, LCTYPE LCType, LPWSTR lpLCData, int cchData) {
  if (cchData < 0 || (cchData && !lpLCData)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  LocaleValue value;
  if (!LookUpLocaleValue(Locale, LCType, value)) return 0;
  if (LCType & LOCALE_RETURN_NUMBER) {
    DWORD number = *value.number;
    return CopyOut(&number, sizeof number / sizeof(WCHAR), lpLCData, cchData);
  }
  return CopyOut(value.text.c_str(), static_cast<int>(value.text.size() + 1), lpLCData, cchData);
}

int WINAPI GetLocaleInfoA(LCID Locale, LCTYPE LCType, LPSTR lpLCData, int cchData) {
  if (cchData < 0 || (cchData && !lpLCData)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  LocaleValue value;
  if (!LookUpLocaleValue(Locale, LCType, value)) return 0;
  if (LCType & LOCALE_RETURN_NUMBER) {
    DWORD number = *value.number;
    return CopyOut(&number, sizeof number, lpLCData, cchData);
  }
  std::string text = platform::ToUtf8Lossy(value.text);
  return CopyOut(text.c_str(), static_cast<int>(text.size() + 1), lpLCData, cchData);
}
