// The languages a release's automation classes are registered in, and the
// ProgIds of those classes per language.
#pragma once

#include "frame/port.h"
#include "QuillonRevisionDirectory.h"
#include "frame/errors.h"

namespace revdir {

// Each writes null to *out, then a new string for one of the supported
// languages, or fails with RdE_InvalidLanguageId (error information set).
HRESULT GetApplicationBaseProgId(LONG languageId, const CErrorInfo &errorInfo, BSTR *out);
HRESULT GetServicesBaseProgId(LONG languageId, const CErrorInfo &errorInfo, BSTR *out);
// The language's infix of the ProgIds; English has none: an empty string.
HRESULT GetProgIdLanguageSuffix(LONG languageId, const CErrorInfo &errorInfo, BSTR *out);

}  // namespace revdir
