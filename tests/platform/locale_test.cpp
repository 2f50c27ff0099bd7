// Locale data and thread locales.
#include <windows.h>

#include <string>
#include <thread>

#include "conformance.h"

namespace {

std::string Info(LCID lcid, LCTYPE type) {
  WCHAR buf[128];
  int n = GetLocaleInfoW(lcid, type, buf, 128);
  return n ? Printable(buf) : "(failed " + std::to_string(GetLastError()) + ")";
}

struct Expected {
  LCID lcid;
  const char *name, *language, *country, *english, *ansiCodePage;
};

// The nine languages of the component and common regional variants.
const Expected kLocales[] = {
    {1031, "de-DE", "de", "DE", "German", "1252"},      {1033, "en-US", "en", "US", "English", "1252"},
    {1034, "es-ES_tradnl", "es", "ES", "Spanish", "1252"}, {1036, "fr-FR", "fr", "FR", "French", "1252"},
    {1040, "it-IT", "it", "IT", "Italian", "1252"},     {1041, "ja-JP", "ja", "JP", "Japanese", "932"},
    {1042, "ko-KR", "ko", "KR", "Korean", "949"},       {1046, "pt-BR", "pt", "BR", "Portuguese", "1252"},
    {2052, "zh-CN", "zh", "CN", "Chinese", "936"},      {2057, "en-GB", "en", "GB", "English", "1252"},
    {3081, "en-AU", "en", "AU", "English", "1252"},     {2058, "es-MX", "es", "MX", "Spanish", "1252"},
    {3082, "es-ES", "es", "ES", "Spanish", "1252"},     {2055, "de-CH", "de", "CH", "German", "1252"},
    {3079, "de-AT", "de", "AT", "German", "1252"},      {1043, "nl-NL", "nl", "NL", "Dutch", "1252"},
    {2070, "pt-PT", "pt", "PT", "Portuguese", "1252"},  {3084, "fr-CA", "fr", "CA", "French", "1252"},
    {1028, "zh-TW", "zh", "TW", "Chinese", "950"},
};

}  // namespace

TEST(LocaleInfo, KnowsTheComponentsLocales) {
  for (const auto &e : kLocales) {
    SCOPED_TRACE(e.lcid);
    EXPECT_TRUE(IsValidLocale(e.lcid, LCID_SUPPORTED));
    EXPECT_EQ(Info(e.lcid, LOCALE_SNAME), e.name);
    EXPECT_EQ(Info(e.lcid, LOCALE_SISO639LANGNAME), e.language);
    EXPECT_EQ(Info(e.lcid, LOCALE_SISO3166CTRYNAME), e.country);
    std::string english = Info(e.lcid, LOCALE_SENGLANGUAGE);
    // Wine adds the script to the Chinese language names.
    if (RunningUnderWine() && english.rfind(std::string(e.english) + " (", 0) == 0) english = e.english;
    EXPECT_EQ(english, e.english);
    EXPECT_EQ(Info(e.lcid, LOCALE_IDEFAULTANSICODEPAGE), e.ansiCodePage);
  }
  DWORD cp = kSentinel;
  EXPECT_EQ(GetLocaleInfoW(1041, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER, (LPWSTR)&cp, 2), 2);
  EXPECT_EQ(cp, 932u);
}

TEST(LocaleInfo, NumberSeparatorsFollowTheCountry) {
  EXPECT_EQ(Info(1033, LOCALE_SDECIMAL) + Info(1033, LOCALE_STHOUSAND), ".,");
  EXPECT_EQ(Info(1031, LOCALE_SDECIMAL) + Info(1031, LOCALE_STHOUSAND), ",.");
  EXPECT_EQ(Info(0x080a, LOCALE_SDECIMAL), ".") << "Mexico";
  EXPECT_EQ(Info(0x0c0a, LOCALE_SDECIMAL), ",") << "Spain";
  EXPECT_EQ(Info(0x0807, LOCALE_SDECIMAL), ".") << "Switzerland";
}

TEST(LocaleInfo, IsBoundedLikeWindows) {
  // Size query, then one unit too small, then exactly right.
  EXPECT_EQ(GetLocaleInfoW(1031, LOCALE_SNAME, nullptr, 0), 6);
  WCHAR wide[5 + 3];
  for (auto &c : wide) c = 0xCCCC;
  ResetLastError();
  EXPECT_EQ(GetLocaleInfoW(1031, LOCALE_SNAME, wide, 5), 0);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
  for (int i = 5; i < 8; ++i) EXPECT_EQ(wide[i], 0xCCCC);
  WCHAR exact[6];
  EXPECT_EQ(GetLocaleInfoW(1031, LOCALE_SNAME, exact, 6), 6);
  EXPECT_EQ(Printable(exact), "de-DE");

  EXPECT_EQ(GetLocaleInfoA(1031, LOCALE_SENGLANGUAGE, nullptr, 0), 7);
  char narrow[6 + 3];
  memset(narrow, 0xCC, sizeof narrow);
  ResetLastError();
  EXPECT_EQ(GetLocaleInfoA(1031, LOCALE_SENGLANGUAGE, narrow, 6), 0);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
  for (int i = 6; i < 9; ++i) EXPECT_EQ((unsigned char)narrow[i], 0xCC);
  EXPECT_EQ(GetLocaleInfoA(1031, LOCALE_SENGLANGUAGE, narrow, 7), 7);
  EXPECT_STREQ(narrow, "German");

  ResetLastError();
  EXPECT_EQ(GetLocaleInfoW(1031, 0x0fffffff, wide, 5), 0);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_FLAGS);
  ResetLastError();
  EXPECT_EQ(GetLocaleInfoW(0x0fff, LOCALE_SNAME, wide, 5), 0);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}

TEST(ThreadLocale, IsPerThreadAndRejectsInvalidIds) {
  LCID original = GetThreadLocale();
  LCID other = original == 1031 ? 1036 : 1031;

  ResetLastError();
  EXPECT_FALSE(IsValidLocale((LCID)-1, LCID_SUPPORTED));
  EXPECT_FALSE(SetThreadLocale((LCID)-1));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
  EXPECT_EQ(GetThreadLocale(), original);

  ASSERT_TRUE(SetThreadLocale(other));
  EXPECT_EQ(GetThreadLocale(), other);
  std::thread([&] {
    // A new thread starts from the user default, whatever this thread chose.
    EXPECT_EQ(GetThreadLocale(), GetUserDefaultLCID());
    EXPECT_TRUE(SetThreadLocale(1041));
  }).join();
  EXPECT_EQ(GetThreadLocale(), other);
  EXPECT_TRUE(SetThreadLocale(original));
}
