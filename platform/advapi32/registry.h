// Whole-file operations of the registry store that the command-line tool
// needs beyond the Win32 API: applying a .reg file as one change per hive,
// and writing a key's subtree as a .reg file.
#pragma once

#include "advapi32/regfile.h"

namespace platform::reg {

// Applies parsed entries whose paths start with HKEY_LOCAL_MACHINE,
// HKEY_CURRENT_USER or HKEY_CLASSES_ROOT (or HKLM, HKCU, HKCR). Each hive
// touched is saved once. On failure nothing of that hive changes and message
// says why.
REGFILE_API LONG Import(const std::vector<Entry> &entries, std::string *message);

// The subtree of root\subKey as a .reg file, sections named from the long
// name of root (HKEY_CLASSES_ROOT keeps its own name).
REGFILE_API LONG Export(HKEY root, std::u16string_view subKey, Encoding encoding, std::string *text);

}  // namespace platform::reg
