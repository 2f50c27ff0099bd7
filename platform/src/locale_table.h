// The locales this layer knows: the languages the component is translated
// into and their common regional variants.
#pragma once

#include <windows.h>

namespace platform {

struct LocaleInfo {
  LANGID id;
  const char *posixName;  // e.g. "de_DE"
  const char *isoLanguage;
  const char *isoCountry;
  const char *englishLanguage;
  const char16_t *nativeLanguage;
  UINT ansiCodePage;
};

const LocaleInfo *FindLocale(LANGID id);
// Maps "de_DE.UTF-8", "de", "pt_BR@euro", "C", "POSIX" to an id; 0 if unknown.
LCID LocaleFromPosixName(const char *name);
LCID UserDefaultLocale();

}  // namespace platform
