// IsDebuggerPresent sees a tracer: a child process that asks its parent to
// trace it, as a debugger that starts a program does.
#include <windows.h>

#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include "conformance.h"

namespace {

TEST(LinuxDebugger, ATracedProcessIsToldADebuggerIsPresent) {
  constexpr int kNoTracing = 77;
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) _exit(kNoTracing);
    _exit(IsDebuggerPresent() ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  if (WEXITSTATUS(status) == kNoTracing) GTEST_SKIP() << "this system does not allow tracing";
  EXPECT_EQ(WEXITSTATUS(status), 1);
}

}  // namespace
