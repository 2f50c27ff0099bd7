// Thread locales. Each thread starts with the user default locale, taken
// from LC_ALL, LC_MESSAGES or LANG (as a POSIX program reads them).
#include <stdlib.h>
#include <string.h>

#include <mutex>

#include "locale_table.h"

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
  static LCID id = LocaleFromEnvironment();
  return id;
}

}  // namespace platform

namespace {
thread_local LCID t_threadLocale = 0;
}

LCID WINAPI GetThreadLocale(void) {
  if (!t_threadLocale) t_threadLocale = platform::UserDefaultLocale();
  return t_threadLocale;
}

BOOL WINAPI SetThreadLocale(LCID Locale) {
  if (!IsValidLocale(Locale, LCID_SUPPORTED)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  t_threadLocale = Locale;
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
