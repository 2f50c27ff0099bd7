// The trace channel: a path the platform leaves out names itself on stderr,
// only when REVDIR_TRACE asks for it.
#include <gtest/gtest.h>
#include <objbase.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace {

// Runs an unimplemented moniker member in a child with REVDIR_TRACE set to
// `trace` (unset when null) and returns what the child wrote on stderr.
std::string StderrOfUnimplementedCall(const char *trace) {
  int fds[2];
  if (pipe(fds) != 0) return "pipe failed";
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 2);
    close(fds[0]);
    if (trace) setenv("REVDIR_TRACE", trace, 1);
    else unsetenv("REVDIR_TRACE");
    IMoniker *mk = nullptr;
    if (CreateFileMoniker(OLESTR("C:\\a.txt"), &mk) != S_OK) _exit(2);
    IMoniker *inverse = nullptr;
    HRESULT hr = mk->Inverse(&inverse);
    mk->Release();
    _exit(hr == E_NOTIMPL ? 0 : 3);
  }
  close(fds[1]);
  std::string out;
  char buf[256];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, n);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  return out;
}

}  // namespace

TEST(Trace, NamesAnUnimplementedPathOnlyWhenAsked) {
  EXPECT_EQ(StderrOfUnimplementedCall("1"), "revdir: not implemented: FileMoniker::Inverse\n");
  EXPECT_EQ(StderrOfUnimplementedCall(nullptr), "");
  EXPECT_EQ(StderrOfUnimplementedCall("0"), "");
}
