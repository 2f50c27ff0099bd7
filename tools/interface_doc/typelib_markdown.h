// A type library as a Markdown reference for client developers: the
// library, its classes with their ProgIDs, its interfaces member by member
// and its enumerations, the error codes with their texts.
#pragma once

#include "frame/port.h"

#include <functional>
#include <string>

#include "registry_scripts.h"

namespace revdir::interface_doc {

// The system's text of `hr`, with its number: "0x80070002 (The system ...)".
std::string ResultText(HRESULT hr);

// The constant name and text of an error code; false with *error on a failure.
using ErrorDescriber = std::function<bool(HRESULT code, std::string *constant, std::string *text, std::string *error)>;

struct ReferenceSources {
  ITypeLib *library = nullptr;
  const ProgIdMap *progIds = nullptr;
  // Asked for every value of an enumeration whose values are all failure codes.
  ErrorDescriber describeError;
  // What the document says first: where it comes from, how to remake it.
  std::string preamble;
};

// The document, in the library's order within each kind. False with *error
// when the library cannot be read through, or when the registry scripts or
// the component disagree with it.
bool WriteReference(const ReferenceSources &sources, std::string *markdown, std::string *error);

}  // namespace revdir::interface_doc
