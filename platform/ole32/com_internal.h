// Shared internals of the COM runtime.
#pragma once

#include <objbase.h>

#include <string>

namespace platform {

// True when the calling thread may use COM: it called CoInitialize(Ex), or
// some thread of the process entered the multithreaded apartment, which
// makes every other thread an implicit member of it.
bool ComUsable();

// Parses exactly "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (hex in any case).
bool ParseBracedGuid(const OLECHAR *s, GUID *out);
// The 38-character braced upper-case form, with its terminator.
void FormatGuid(REFGUID g, OLECHAR out[CHARS_IN_GUID]);
std::u16string GuidText(REFGUID g);

// Now, in 100 ns units since 1601 as a FILETIME.
FILETIME FileTimeNow();

}  // namespace platform
