// The ProgIDs a class registers, read from the registry scripts the module
// runs on registration (the type library does not hold them).
#pragma once

#include <map>
#include <string>

namespace revdir::interface_doc {

struct ClassProgIds {
  std::string progId;
  std::string versionIndependent;
};

// By CLSID, as the script spells it in braces, in upper case.
using ProgIdMap = std::map<std::string, ClassProgIds>;

// Adds what one script (its text, named `source` in messages) registers
// under HKCR\CLSID\{clsid}: the ProgID and VersionIndependentProgID keys'
// default values. Returns false and says why in *error when the text is no
// registry script.
bool ReadProgIds(const std::string &script, const std::string &source, ProgIdMap *progIds, std::string *error);

}  // namespace revdir::interface_doc
