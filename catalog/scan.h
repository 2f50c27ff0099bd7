// Parsing of release names and version strings from the registry.
#pragma once

#include "frame/port.h"
#include <windows.h>

namespace revdir {

// Reads integers from `text` as swscanf does with a format made of %d
// conversions (with optional widths, e.g. "%02d") and literal characters;
// returns how many of `count` numbers it stored before the first mismatch.
int ScanVersion(const WCHAR *text, const WCHAR *format, LONG *numbers, int count);

// True for one or more decimal digits and nothing else.
bool IsAllDigits(const WCHAR *text);

}  // namespace revdir
