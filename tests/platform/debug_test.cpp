// IsDebuggerPresent in a process that nobody debugs.
#include <windows.h>

#include "conformance.h"

namespace {

TEST(Debugger, NoneIsPresentUnderTheTestRunner) { EXPECT_FALSE(IsDebuggerPresent()); }

}  // namespace
