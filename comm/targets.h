// The process-wide default target record, the target-data cache and the
// helpers the context shares with them (targets.cpp).
#pragma once

#include <cstddef>

#include "qxonline.h"

namespace comm {

// The default record and the cache are shared by every thread: callers hold
// the library lock.
QxCommTarget &DefaultTarget();
void ResetDefaultTarget();
void EmptyTargetCache();
// Equal ignoring ASCII case.
bool SameText(const char *a, const char *b);
// Copies text into a fixed field; false (and the field cut) when it did not fit.
bool CopyField(char *field, size_t size, const char *text);
// Applies an option string ("/TimeOut=500 /LogPath=C:\logs", parsed like a
// command line) to a record; unknown options are logged and ignored.
void ApplyOptions(QxCommTarget &target, const char *options);

}  // namespace comm
