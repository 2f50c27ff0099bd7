#include "frame/port.h"
#include "frame/errors.h"

#include <strsafe.h>
#include <windows.h>

#include <memory>
#include <new>

#include "QuillonRevisionDirectory.h"
#include "frame/handles.h"
#include "frame/module.h"

namespace revdir {

namespace {

// The constant's name is its identifier's text, so the two cannot drift apart.
#define RD_ERROR(name, stringId) {name, OLESTR(#name), stringId}
const RdErrorEntry kErrors[] = {
    RD_ERROR(RdE_NotInitialized, IDS_E_NOTINITIALIZED),
    RD_ERROR(RdE_RevisionNotFound, IDS_E_REVISIONNOTFOUND),
    RD_ERROR(RdE_InvalidRevisionDirectoryInternalState, IDS_E_INVALIDREVISIONDIRECTORYINTERNALSTATE),
    RD_ERROR(RdE_InvalidProcessorTypeInternalState, IDS_E_INVALIDPROCESSORTYPEINTERNALSTATE),
    RD_ERROR(RdE_InvalidRevisionInternalState, IDS_E_INVALIDREVISIONINTERNALSTATE),
    RD_ERROR(RdE_RevisionNotInstalled, IDS_E_REVISIONNOTINSTALLED),
    RD_ERROR(RdE_ProcessorTypeNotSupported, IDS_E_PROCESSORTYPENOTSUPPORTED),
    RD_ERROR(RdE_UnableToAccessProjectFile, IDS_E_UNABLETOACCESSPROJECTFILE),
    RD_ERROR(RdE_NotA_TesselController, IDS_E_NOTA_TESSELCONTROLLER),
    RD_ERROR(RdE_NoDeviceFound, IDS_E_NODEVICEFOUND),
    RD_ERROR(RdE_NotQuillon, IDS_E_NOTQUILLON),
    RD_ERROR(RdE_InvalidLanguageId, IDS_E_INVALIDLANGUAGEID),
    RD_ERROR(RdE_FileNotOpenedByQuillon, IDS_E_FILENOTOPENEDBYQUILLON),
    RD_ERROR(RdE_InvalidProjectFileContents, IDS_E_INVALIDPROJECTFILECONTENTS),
    RD_ERROR(RdE_InvalidProjectFileType, IDS_E_INVALIDPROJECTFILETYPE),
};
#undef RD_ERROR

const WCHAR kUnexpectedConstant[] = OLESTR("RevDir_E_UNEXPECTED");
const WCHAR kNoDescription[] = OLESTR("No description available for error.");

const RdErrorEntry *FindError(HRESULT code) {
  for (const auto &e : kErrors)
    if (e.code == code) return &e;
  return nullptr;
}

bool IsComponentCode(HRESULT code) {
  ULONG u = static_cast<ULONG>(code);
  return u >= 0x80043D00u && u <= 0x80043DFFu;
}

// The string table of one language: the block that holds `id`, walked to
// the string. Exact language first, then the primary language, neutral and
// English, so that the language of the look-up decides on every platform.
BSTR LoadStringInLanguage(UINT id, LANGID language) {
  HINSTANCE module = ModuleInstance();
  const WCHAR *block = MAKEINTRESOURCEW(id / 16 + 1);
  const LANGID tries[] = {language, static_cast<LANGID>(MAKELANGID(PRIMARYLANGID(language), SUBLANG_DEFAULT)),
                          static_cast<LANGID>(MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)),
                          static_cast<LANGID>(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US))};
  for (LANGID lang : tries) {
    HRSRC info = FindResourceExW(module, RT_STRING, block, lang);
    if (!info) continue;
    HGLOBAL data = LoadResource(module, info);
    DWORD size = SizeofResource(module, info);
    auto *p = static_cast<const WCHAR *>(LockResource(data));
    if (!p) continue;
    const WCHAR *end = p + size / sizeof(WCHAR);
    // 16 strings, each a length followed by that many units.
    for (UINT i = 0; i < (id & 15); ++i) {
      if (p >= end) return nullptr;
      p += 1 + *p;
    }
    if (p >= end || *p == 0 || p + 1 + *p > end) return nullptr;
    return SysAllocStringLen(p + 1, *p);
  }
  return nullptr;
}

BSTR FormatCode(const WCHAR *format, HRESULT code) {
  WCHAR text[128];
  if (FAILED(StringCchPrintfW(text, ARRAYSIZE(text), format, static_cast<int>(code), static_cast<unsigned>(code))))
    return nullptr;
  return SysAllocString(text);
}

}  // namespace

ScopedThreadLanguage::ScopedThreadLanguage(LONG languageId) : m_saved(GetThreadLocale()) {
  // An invalid id (such as -1) is refused by SetThreadLocale and changes nothing.
  SetThreadLocale(MAKELCID(LOWORD(languageId), SORT_DEFAULT));
}

ScopedThreadLanguage::~ScopedThreadLanguage() { SetThreadLocale(m_saved); }

BSTR LoadModuleString(UINT id) { return LoadStringInLanguage(id, LANGIDFROMLCID(GetThreadLocale())); }

BSTR RdErrorDescription(HRESULT code, LONG languageId) {
  const RdErrorEntry *entry = FindError(code);
  UINT id = entry ? entry->stringId : kUnexpectedErrorStringId;
  ScopedThreadLanguage language(languageId);
  BSTR text = LoadModuleString(id);
  if (!text) text = FormatCode(OLESTR("Error %d (0x%08x): Unexpected RevisionDirectory error encountered."), code);
  return text;
}

BSTR SystemErrorDescription(HRESULT code, LONG languageId) {
  ScopedThreadLanguage language(languageId);
  // Error texts are made on failure paths: they must not throw.
  std::unique_ptr<WCHAR[]> buffer(new (std::nothrow) WCHAR[kTextBufferChars]);
  if (!buffer) return nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(code), 0, buffer.get(), kTextBufferChars, nullptr);
  if (n == 0) return FormatCode(OLESTR("Error %d (0x%08x) encountered."), code);
  return SysAllocStringLen(buffer.get(), n);
}

BSTR ErrorDescription(HRESULT code, LONG languageId) {
  return IsComponentCode(code) ? RdErrorDescription(code, languageId) : SystemErrorDescription(code, languageId);
}

BSTR RdErrorConstantName(HRESULT code) {
  const RdErrorEntry *entry = FindError(code);
  return SysAllocString(entry ? entry->constant : kUnexpectedConstant);
}

HRESULT MapSystemError(LONG code) {
  if (code < 0) return code;
  switch (code) {
    case ERROR_FILE_NOT_FOUND: return STG_E_FILENOTFOUND;
    case ERROR_PATH_NOT_FOUND: return STG_E_PATHNOTFOUND;
    case ERROR_TOO_MANY_OPEN_FILES: return STG_E_TOOMANYOPENFILES;
    case ERROR_ACCESS_DENIED: return STG_E_ACCESSDENIED;
    case ERROR_INVALID_HANDLE: return STG_E_INVALIDHANDLE;
    case ERROR_NOT_ENOUGH_MEMORY: return STG_E_INSUFFICIENTMEMORY;
    case ERROR_INVALID_BLOCK: return STG_E_INVALIDPOINTER;
    case ERROR_OUTOFMEMORY: return STG_E_INSUFFICIENTMEMORY;
    default: return E_FAIL;
  }
}

CErrorInfo::CErrorInfo(const WCHAR *source, const IID &iid) : m_source(SysAllocString(source)), m_iid(iid) {}

CErrorInfo::~CErrorInfo() { SysFreeString(m_source); }

void CErrorInfo::Raise(const WCHAR *description) const {
  ComPtr<ICreateErrorInfo> create;
  if (FAILED(CreateErrorInfo(create.Out()))) return;
  create->SetGUID(m_iid);
  create->SetSource(m_source);
  create->SetDescription(const_cast<LPOLESTR>(description ? description : kNoDescription));
  ComPtr<IErrorInfo> info;
  if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, info.OutVoid()))) SetErrorInfo(0, info.Get());
}

HRESULT CErrorInfo::ReportError(HRESULT code, LONG languageId) const {
  BSTR text = RdErrorDescription(code, languageId);
  Raise(text);
  SysFreeString(text);
  return code;
}

HRESULT CErrorInfo::ReportSystemError(LONG code) const {
  // The thread's own language: no change of locale. Short of memory, the
  // error information says only that there is no description.
  std::unique_ptr<WCHAR[]> buffer(new (std::nothrow) WCHAR[kTextBufferChars]);
  DWORD n = buffer ? FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                    static_cast<DWORD>(code), 0, buffer.get(), kTextBufferChars, nullptr)
                   : 0;
  BSTR text = n ? SysAllocStringLen(buffer.get(), n) : FormatCode(OLESTR("Error %d (0x%08x) encountered."), code);
  Raise(text);
  SysFreeString(text);
  return MapSystemError(code);
}

HRESULT CErrorInfo::Report(const Failure &failure, LONG languageId) const {
  switch (failure.text) {
    case Failure::Text::kComponent:
      return ReportError(failure.result, languageId);
    case Failure::Text::kSystem:
      ReportSystemError(failure.systemCode);
      return failure.result;
    case Failure::Text::kNone:
      break;
  }
  return failure.result;
}

}  // namespace revdir
