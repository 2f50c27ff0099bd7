// Reading memory a caller hands over without trusting it.
#pragma once

#include <stddef.h>

namespace platform {

// Copies n bytes from src, or returns false when any of them cannot be read
// (where Windows answers ERROR_NOACCESS instead of faulting). The kernel
// copies, so an unmapped or protected page fails the call rather than the
// process; a pointer into memory that is mapped but not the caller's cannot
// be told apart.
bool CopyFromCaller(void *dst, const void *src, size_t n);

}  // namespace platform
