// A client library with two entry points only, for the loader's tests.
#define CVAPI32_BUILDING
#include "cvapi32.h"

extern "C" {
DTL_API uint32_t DTL_CALL DTL_MaxDrivers(void) { return 7; }
DTL_API long DTL_CALL DTL_GetHandleByDriverName(const char *name) { return name && name[0] == 'A' ? 3 : -1; }
}
