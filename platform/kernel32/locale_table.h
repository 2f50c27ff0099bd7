// The locales this layer knows: the languages the component is translated
// into and their common regional variants.
#pragma once

#include <windows.h>

#include <string>

namespace platform {

struct LocaleInfo {
  LANGID id;
  const char *posixName;  // e.g. "de_DE"
  const char *isoLanguage;
  const char *isoCountry;
  const char *englishLanguage;
  const char16_t *nativeLanguage;
  UINT ansiCodePage;
  const char *collation = nullptr;  // a non-default sort order, e.g. "traditional"
};

const LocaleInfo *FindLocale(LANGID id);
// Maps "de_DE.UTF-8", "de", "pt_BR@euro", "C", "POSIX" to an id; 0 if unknown.
LCID LocaleFromPosixName(const char *name);
LCID UserDefaultLocale();
// Resolves the pseudo locales (LOCALE_USER_DEFAULT, LOCALE_SYSTEM_DEFAULT,
// LOCALE_INVARIANT, ...) and looks the result up; null if unknown.
const LocaleInfo *ResolveLocale(LCID lcid);
// The locale's name as Windows writes it, e.g. "de-DE", "es-ES_tradnl".
std::string LocaleName(const LocaleInfo &info);

// The characters the locale writes numbers with (LOCALE_SDECIMAL,
// LOCALE_STHOUSAND).
struct NumberSeparators {
  char16_t decimal;
  char16_t thousand;
};
NumberSeparators SeparatorsOf(const LocaleInfo &info);

}  // namespace platform
