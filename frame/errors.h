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

// The HRESULT that ReportSystemError returns for a code.
HRESULT MapSystemError(LONG code);

// A failure as a plain function of a lower layer hands it up to the object
// that reports it: the HRESULT the member returns and the text its error
// information gets (none, the component's text of the result, or the
// system's text of a code).
struct Failure {
  enum class Text { kNone, kComponent, kSystem };
  HRESULT result = S_OK;
  Text text = Text::kNone;
  LONG systemCode = 0;  // kSystem: the code whose text is raised

  bool Failed() const { return FAILED(result); }
};

// The component's text of `code` in the reporting object's language.
inline Failure ComponentFailure(HRESULT code) { return {code, Failure::Text::kComponent, 0}; }
// The system's text of `code`, failing as ReportSystemError maps the code,
// or as `result` when given.
inline Failure SystemFailure(LONG code) { return {MapSystemError(code), Failure::Text::kSystem, code}; }
inline Failure SystemFailure(LONG code, HRESULT result) { return {result, Failure::Text::kSystem, code}; }
// A failure without error information.
inline Failure SilentFailure(HRESULT code) { return {code, Failure::Text::kNone, 0}; }

// A plain function's answer: a value, or the failure to report.
template <class T>
struct Outcome {
  T value{};
  Failure failure;

  bool Failed() const { return failure.Failed(); }
};

// The error-information holder of a directory, revision or processor type.
class CErrorInfo {
 public:
  CErrorInfo(const WCHAR *source, const IID &iid);
  ~CErrorInfo();
  CErrorInfo(const CErrorInfo &) = delete;
  CErrorInfo &operator=(const CErrorInfo &) = delete;

  void SetLanguageId(LONG languageId) { m_languageId.store(languageId); }

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
  // Raises what `failure` asks for (the component's text in `languageId`)
  // and returns its result.
  HRESULT Report(const Failure &failure, LONG languageId) const;

 private:
  BSTR m_source;
  IID m_iid;
  // Set by a directory's Initialize while other threads report errors.
  std::atomic<LONG> m_languageId{-1};
};

}  // namespace revdir
