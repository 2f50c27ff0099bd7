#include "kernel32/locale_table.h"

#include <string.h>

#include <string>

namespace platform {

namespace {

const LocaleInfo kLocales[] = {
    {0x0407, "de_DE", "de", "DE", "German", u"Deutsch", 1252},
    {0x0807, "de_CH", "de", "CH", "German", u"Deutsch", 1252},
    {0x0c07, "de_AT", "de", "AT", "German", u"Deutsch", 1252},
    {0x1007, "de_LU", "de", "LU", "German", u"Deutsch", 1252},
    {0x1407, "de_LI", "de", "LI", "German", u"Deutsch", 1252},
    {0x0409, "en_US", "en", "US", "English", u"English", 1252},
    {0x0809, "en_GB", "en", "GB", "English", u"English", 1252},
    {0x0c09, "en_AU", "en", "AU", "English", u"English", 1252},
    {0x1009, "en_CA", "en", "CA", "English", u"English", 1252},
    {0x1409, "en_NZ", "en", "NZ", "English", u"English", 1252},
    {0x1809, "en_IE", "en", "IE", "English", u"English", 1252},
    {0x1c09, "en_ZA", "en", "ZA", "English", u"English", 1252},
    {0x4009, "en_IN", "en", "IN", "English", u"English", 1252},
    {0x3409, "en_PH", "en", "PH", "English", u"English", 1252},
    {0x4409, "en_MY", "en", "MY", "English", u"English", 1252},
    {0x4809, "en_SG", "en", "SG", "English", u"English", 1252},
    {0x080a, "es_MX", "es", "MX", "Spanish", u"Espa\u00f1ol", 1252},
    {0x0c0a, "es_ES", "es", "ES", "Spanish", u"Espa\u00f1ol", 1252},  // modern sort: what es_ES means today
    {0x040a, "es_ES", "es", "ES", "Spanish", u"Espa\u00f1ol", 1252, "traditional"},
    {0x2c0a, "es_AR", "es", "AR", "Spanish", u"Espa\u00f1ol", 1252},
    {0x340a, "es_CL", "es", "CL", "Spanish", u"Espa\u00f1ol", 1252},
    {0x240a, "es_CO", "es", "CO", "Spanish", u"Espa\u00f1ol", 1252},
    {0x540a, "es_US", "es", "US", "Spanish", u"Espa\u00f1ol", 1252},
    {0x100a, "es_GT", "es", "GT", "Spanish", u"Espa\u00f1ol", 1252},
    {0x200a, "es_VE", "es", "VE", "Spanish", u"Espa\u00f1ol", 1252},
    {0x280a, "es_PE", "es", "PE", "Spanish", u"Espa\u00f1ol", 1252},
    {0x300a, "es_EC", "es", "EC", "Spanish", u"Espa\u00f1ol", 1252},
    {0x380a, "es_UY", "es", "UY", "Spanish", u"Espa\u00f1ol", 1252},
    {0x500a, "es_PR", "es", "PR", "Spanish", u"Espa\u00f1ol", 1252},
    {0x040c, "fr_FR", "fr", "FR", "French", u"Fran\u00e7ais", 1252},
    {0x080c, "fr_BE", "fr", "BE", "French", u"Fran\u00e7ais", 1252},
    {0x0c0c, "fr_CA", "fr", "CA", "French", u"Fran\u00e7ais", 1252},
    {0x100c, "fr_CH", "fr", "CH", "French", u"Fran\u00e7ais", 1252},
    {0x140c, "fr_LU", "fr", "LU", "French", u"Fran\u00e7ais", 1252},
    {0x180c, "fr_MC", "fr", "MC", "French", u"Fran\u00e7ais", 1252},
    {0x0410, "it_IT", "it", "IT", "Italian", u"Italiano", 1252},
    {0x0810, "it_CH", "it", "CH", "Italian", u"Italiano", 1252},
    {0x0411, "ja_JP", "ja", "JP", "Japanese", u"\u65e5\u672c\u8a9e", 932},
    {0x0412, "ko_KR", "ko", "KR", "Korean", u"\ud55c\uad6d\uc5b4", 949},
    {0x0413, "nl_NL", "nl", "NL", "Dutch", u"Nederlands", 1252},
    {0x0813, "nl_BE", "nl", "BE", "Dutch", u"Nederlands", 1252},
    {0x0416, "pt_BR", "pt", "BR", "Portuguese", u"Portugu\u00eas", 1252},
    {0x0816, "pt_PT", "pt", "PT", "Portuguese", u"Portugu\u00eas", 1252},
    {0x0804, "zh_CN", "zh", "CN", "Chinese", u"\u4e2d\u6587", 936},
    {0x1004, "zh_SG", "zh", "SG", "Chinese", u"\u4e2d\u6587", 936},
    {0x0404, "zh_TW", "zh", "TW", "Chinese", u"\u4e2d\u6587", 950},
    {0x0c04, "zh_HK", "zh", "HK", "Chinese", u"\u4e2d\u6587", 950},
    {0x1404, "zh_MO", "zh", "MO", "Chinese", u"\u4e2d\u6587", 950},
    // The invariant locale: culture-independent data, sorted by the root order.
    {0x007f, "", "iv", "IV", "Invariant Language", u"Invariant Language", 1252},
};

}  // namespace

const LocaleInfo *FindLocale(LANGID id) {
  for (const auto &l : kLocales)
    if (l.id == id) return &l;
  return nullptr;
}

std::string LocaleName(const LocaleInfo &info) {
  if (info.id == 0x007f) return "";
  std::string name = std::string(info.isoLanguage) + "-" + info.isoCountry;
  if (info.collation) name += "_tradnl";
  return name;
}

NumberSeparators SeparatorsOf(const LocaleInfo &info) {
  const std::string language = info.isoLanguage, country = info.isoCountry;
  constexpr char16_t kNoBreakSpace = u'\u00a0', kApostrophe = u'\u2019';
  // The Swiss write a point and group with an apostrophe, whatever the language.
  if (country == "CH" || country == "LI") return {u'.', kApostrophe};
  if (language == "fr" || country == "PT" || country == "ZA") return {u',', kNoBreakSpace};
  if (language == "de" || language == "it" || language == "nl" || language == "pt") return {u',', u'.'};
  if (language == "es") {
    // Spanish as written in the Americas north of the equator groups with a comma.
    for (const char *c : {"MX", "US", "GT", "PE", "PR"})
      if (country == c) return {u'.', u','};
    return {u',', u'.'};
  }
  return {u'.', u','};
}

LCID LocaleFromPosixName(const char *name) {
  std::string n(name);
  n = n.substr(0, n.find_first_of(".@"));
  if (n == "C" || n == "POSIX") return 0x0409;
  std::string lang = n.substr(0, n.find('_'));
  if (lang.empty() || lang == "iv") return 0;
  std::string country = n.find('_') == std::string::npos ? "" : n.substr(n.find('_') + 1);
  const LocaleInfo *firstOfLanguage = nullptr;
  for (const auto &l : kLocales) {
    if (lang != l.isoLanguage) continue;
    if (!firstOfLanguage) firstOfLanguage = &l;
    if (country == l.isoCountry) return l.id;
  }
  return firstOfLanguage ? firstOfLanguage->id : 0;
}

}  // namespace platform
