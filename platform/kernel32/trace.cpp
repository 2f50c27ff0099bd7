#include "kernel32/trace.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace platform {

bool TraceEnabled() {
  // Read once: the environment of a running process does not turn tracing on.
  static const bool kEnabled = [] {
    const char *value = getenv("REVDIR_TRACE");
    return value && *value && strcmp(value, "0") != 0;
  }();
  return kEnabled;
}

HRESULT NotImplemented(const char *what) {
  if (TraceEnabled()) fprintf(stderr, "revdir: not implemented: %s\n", what);
  return E_NOTIMPL;
}

}  // namespace platform
