// IsDebuggerPresent in a process that nobody debugs.
#include <windows.h>

#include "conformance.h"

TEST(Debugger, NoneIsPresentUnderTheTestRunner) { EXPECT_FALSE(IsDebuggerPresent()); }
