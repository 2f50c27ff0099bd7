// The component's error codes, their constant names and texts in the
// directory's language, and the error-information holder of each object.
#pragma once

#include "frame/port.h"
#include <oleauto.h>
#include "resources/resource.h"

#include <atomic>

namespace revdir {

// Code, constant name and string id of every RdErrors value, in code order.
struct RdErrorEntry {
  HRESULT code;
  const WCHAR *constant;
  UINT stringId;
};
const RdErrorEntry *RdErrorTable(size_t *count);

constexpr UINT kUnexpectedErrorStringId = IDS_E_UNEXPECTED;
constexpr UINT kTextBufferChars = 4096;

// Each returns a new BSTR the caller owns (null only when out of memory).
BSTR RdErrorDescription(HRESULT code, LONG languageId);
BSTR SystemErrorDescription(HRESULT code, LONG languageId);
BSTR ErrorDescription(HRESULT code, LONG languageId);
BSTR RdErrorConstantName(HRESULT code);

// Loads string `id` of the module's string table in the language that the
// thread locale selects, as a new BSTR; null when the string is missing.
BSTR LoadModuleString(UINT id);

// Sets the calling thread's locale to a language for one look-up and
// restores it when it goes out of scope. An id that is no valid locale (such
// as -1) leaves the thread's own locale in force.
class ScopedThreadLanguage {
 public:
  explicit ScopedThreadLanguage(LONG languageId);
  ~ScopedThreadLanguage();
  ScopedThreadLanguage(const ScopedThreadLanguage &) = delete;
  ScopedThreadLanguage &operator=(const ScopedThreadLanguage &) = delete;

 private:
  LCID m_saved;
};

// The error-information holder of a directory, revision or processor type.
class CErrorInfo {
 public:
  CErrorInfo(const WCHAR *source, const IID &iid);
  ~CErrorInfo();
  CErrorInfo(const CErrorInfo &) = delete;
  CErrorInfo &operator=(const CErrorInfo &) = delete;

  void SetLanguageId(LONG languageId) { m_languageId.store(languageId); }
  LONG LanguageId() const { return m_languageId.load(); }

  // Makes a new error-information object (this holder's interface and
  // source, the text or "No description available for error.") the calling
  // thread's error information.
  void Raise(const WCHAR *description) const;
  // Raise with the component text of `code`; returns `code`.
  HRESULT ReportError(HRESULT code) const { return ReportError(code, m_languageId.load()); }
  HRESULT ReportError(HRESULT code, LONG languageId) const;
  // Raise with the system's text of `code` in the thread's own language;
  // returns `code` when it is an HRESULT, else the Windows error mapped.
  HRESULT ReportSystemError(LONG code) const;

 private:
  BSTR m_source;
  IID m_iid;
  // Set by a directory's Initialize while other threads report errors.
  std::atomic<LONG> m_languageId{-1};
};

// A member whose behaviour is not built yet: the null-pointer check of every
// member, then E_NOTIMPL with the result set to null.
#define REVDIR_NOT_YET(holder, out)                             \
  do {                                                          \
    if (!(out)) return (holder).ReportSystemError(E_INVALIDARG); \
    *(out) = nullptr;                                           \
    return E_NOTIMPL;                                           \
  } while (0)

// The HRESULT that ReportSystemError returns for a code.
HRESULT MapSystemError(LONG code);

}  // namespace revdir
