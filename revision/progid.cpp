#include "frame/port.h"
#include "revision/progid.h"

namespace revdir {

namespace {

struct LanguageProgIds {
  RdSupportedLanguages language;
  const WCHAR *infix;
  const WCHAR *application;
  const WCHAR *services;
};

// Whole strings, not built from the infix: each language's installer
// registers exactly these, and a value is matched exactly (no sub-language).
const LanguageProgIds kProgIds[] = {
    {English, OLESTR(""), OLESTR("Quillon.Application"), OLESTR("QuillonServices.TesselServices")},
    {Portuguese, OLESTR(".Portuguese"), OLESTR("Quillon.Portuguese.Application"),
     OLESTR("QuillonServices.Portuguese.TesselServices")},
    {French, OLESTR(".French"), OLESTR("Quillon.French.Application"), OLESTR("QuillonServices.French.TesselServices")},
    {Italian, OLESTR(".Italian"), OLESTR("Quillon.Italian.Application"),
     OLESTR("QuillonServices.Italian.TesselServices")},
    {German, OLESTR(".German"), OLESTR("Quillon.German.Application"), OLESTR("QuillonServices.German.TesselServices")},
    {Spanish, OLESTR(".Spanish"), OLESTR("Quillon.Spanish.Application"),
     OLESTR("QuillonServices.Spanish.TesselServices")},
    {Chinese, OLESTR(".Chinese"), OLESTR("Quillon.Chinese.Application"),
     OLESTR("QuillonServices.Chinese.TesselServices")},
    {Japanese, OLESTR(".Japanese"), OLESTR("Quillon.Japanese.Application"),
     OLESTR("QuillonServices.Japanese.TesselServices")},
    {Korean, OLESTR(".Korean"), OLESTR("Quillon.Korean.Application"), OLESTR("QuillonServices.Korean.TesselServices")},
};

HRESULT Select(LONG languageId, const WCHAR *LanguageProgIds::*field, const CErrorInfo &errorInfo, BSTR *out) {
  if (!out) return errorInfo.ReportSystemError(E_INVALIDARG);
  *out = nullptr;
  for (const LanguageProgIds &row : kProgIds)
    if (row.language == languageId) {
      *out = SysAllocString(row.*field);
      return *out ? S_OK : E_OUTOFMEMORY;
    }
  return errorInfo.ReportError(RdE_InvalidLanguageId);
}

}  // namespace

HRESULT GetApplicationBaseProgId(LONG languageId, const CErrorInfo &errorInfo, BSTR *out) {
  return Select(languageId, &LanguageProgIds::application, errorInfo, out);
}

HRESULT GetServicesBaseProgId(LONG languageId, const CErrorInfo &errorInfo, BSTR *out) {
  return Select(languageId, &LanguageProgIds::services, errorInfo, out);
}

HRESULT GetProgIdLanguageSuffix(LONG languageId, const CErrorInfo &errorInfo, BSTR *out) {
  return Select(languageId, &LanguageProgIds::infix, errorInfo, out);
}

}  // namespace revdir
