// Process creation: a Windows command line run as a Linux program. The
// executable and the working directory are Windows paths mapped through the
// prefix's drives; the child's arguments are the command line split by the
// rules of the Windows C runtime, so a Windows program's argv and ours agree.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "kernel32/command_line.h"
#include "kernel32/errno_map.h"
#include "kernel32/handle.h"
#include "kernel32/paths.h"
#include "kernel32/text.h"

extern char **environ;

namespace platform {

namespace {

// The C runtime's rules: blanks separate outside quotes; 2n backslashes
// before a quote give n and the quote toggles quoting, 2n+1 give n and a
// literal quote; "" inside quotes is a literal quote; other backslashes are
// literal.
std::vector<std::u16string> SplitArguments(std::u16string_view line) {
  size_t i = 0;
  std::vector<std::u16string> args{ProgramNameOf(line, &i)};
  for (;;) {
    while (i < line.size() && IsCommandLineBlank(line[i])) ++i;
    if (i >= line.size()) break;
    std::u16string arg;
    bool quoted = false;
    while (i < line.size()) {
      size_t slashes = 0;
      while (i < line.size() && line[i] == u'\\') ++slashes, ++i;
      if (i < line.size() && line[i] == u'"') {
        arg.append(slashes / 2, u'\\');
        if (slashes % 2) {
          arg += u'"';
        } else if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
          arg += u'"';
          ++i;
        } else {
          quoted = !quoted;
        }
        ++i;
        continue;
      }
      arg.append(slashes, u'\\');
      if (i >= line.size() || (IsCommandLineBlank(line[i]) && !quoted)) break;
      arg += line[i++];
    }
    args.push_back(std::move(arg));
  }
  return args;
}

bool HasExtension(std::u16string_view name) {
  size_t slash = name.find_last_of(u"\\/");
  size_t dot = name.rfind(u'.');
  return dot != std::u16string_view::npos && (slash == std::u16string_view::npos || dot > slash);
}

bool IsFile(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// The Linux path of the executable, or nullopt with the last error set.
std::optional<std::string> FindExecutable(std::u16string_view name) {
  if (name.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return std::nullopt;
  }
  // Windows appends ".exe" to a name without extension; Linux programs have
  // none, so the name as given is tried after it.
  std::vector<std::u16string> candidates;
  if (!HasExtension(name)) candidates.push_back(std::u16string(name) + u".exe");
  candidates.emplace_back(name);
  bool bare = name.find_first_of(u"\\/:") == std::u16string_view::npos;
  std::vector<std::string> folders{""};
  // A bare name is looked up in the current directory, then along PATH (the
  // Windows system folders have no counterpart here).
  if (bare)
    if (const char *path = getenv("PATH"))
      for (std::string_view rest = path; !rest.empty();) {
        size_t colon = rest.find(':');
        std::string_view folder = rest.substr(0, colon);
        if (!folder.empty()) folders.emplace_back(std::string(folder) + "/");
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
      }
  for (const std::string &folder : folders)
    for (const std::u16string &candidate : candidates) {
      std::optional<std::string> path;
      if (folder.empty()) {
        path = UnixPath(candidate);
      } else if (auto utf8 = ToUtf8(candidate)) {
        path = folder + *utf8;
      }
      if (!path) continue;
      if (IsFile(*path)) return path;
    }
  // The program is searched for, and a search that finds nothing says so
  // whether or not the folder exists.
  SetLastError(ERROR_FILE_NOT_FOUND);
  return std::nullopt;
}

// The environment block: "name=value" strings, each terminated, the block
// ended by an empty one.
template <class Char>
std::vector<std::string> EnvironmentFromBlock(const Char *block) {
  std::vector<std::string> strings;
  while (*block) {
    const Char *end = block;
    while (*end) ++end;
    if constexpr (sizeof(Char) == 1)
      strings.emplace_back(block, end);
    else
      strings.push_back(ToUtf8Lossy(std::u16string_view(block, end - block)));
    block = end + 1;
  }
  return strings;
}

class ProcessObject : public KernelObject {
 public:
  explicit ProcessObject(pid_t pid) : pid(pid) {}
  const pid_t pid;
};

class ProcessThreadObject : public KernelObject {};

// What the helper processes report through the pipe.
struct Report {
  int kind;  // 0: the program's pid, 1: errno of a failed step in the child
  int value;
  DWORD error;  // for kind 1: the Windows error of that step
};

void WriteReport(int fd, int kind, int value, DWORD error) {
  Report r{kind, value, error};
  while (write(fd, &r, sizeof r) < 0 && errno == EINTR) {
  }
}

[[noreturn]] void RunChild(int reportFd, const char *exe, char *const *argv, char *const *envp, const char *cwd) {
  sigset_t none;
  sigemptyset(&none);
  pthread_sigmask(SIG_SETMASK, &none, nullptr);
  signal(SIGPIPE, SIG_DFL);
  if (cwd && chdir(cwd) != 0) {
    WriteReport(reportFd, 1, errno, ERROR_DIRECTORY);
    _exit(127);
  }
  // Handles are not inherited: only the standard streams pass on, as a
  // console program's do. The report pipe closes itself at exec.
  if (reportFd > 3) syscall(SYS_close_range, 3u, static_cast<unsigned>(reportFd - 1), 0u);
  syscall(SYS_close_range, static_cast<unsigned>(reportFd + 1), ~0u, 0u);
  execve(exe, argv, envp);
  int err = errno;
  DWORD error = err == ENOENT ? ERROR_FILE_NOT_FOUND : err == ENOEXEC ? ERROR_BAD_EXE_FORMAT : 0;
  WriteReport(reportFd, 1, err, error);
  _exit(127);
}

// Starts the program detached (a grandchild, so no zombie is left for a
// caller that only closes the handles) and returns its pid, or -1 with the
// last error set.
pid_t Spawn(const std::string &exe, std::vector<char *> &argv, std::vector<char *> &envp, const std::string *cwd) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    SetLastErrorFromErrno();
    return -1;
  }
  pid_t helper = fork();
  if (helper < 0) {
    SetLastErrorFromErrno();
    close(fds[0]);
    close(fds[1]);
    return -1;
  }
  if (helper == 0) {
    close(fds[0]);
    pid_t child = fork();
    if (child < 0) {
      WriteReport(fds[1], 1, errno, 0);
      _exit(1);
    }
    if (child == 0) RunChild(fds[1], exe.c_str(), argv.data(), envp.data(), cwd ? cwd->c_str() : nullptr);
    WriteReport(fds[1], 0, child, 0);
    _exit(0);
  }
  close(fds[1]);
  while (waitpid(helper, nullptr, 0) < 0 && errno == EINTR) {
  }
  pid_t pid = -1;
  int err = EIO;
  DWORD error = 0;
  Report r;
  ssize_t n;
  // Ends when the helper has gone and the program has executed (or failed).
  while ((n = read(fds[0], &r, sizeof r)) != 0) {
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (n != sizeof r) break;
    // The two reports come from two processes in either order: a failure
    // stands whenever it arrives, and the pid only counts without one.
    if (r.kind == 0) {
      if (pid != -2) pid = r.value;
    } else {
      err = r.value;
      error = r.error;
      pid = -2;
    }
  }
  close(fds[0]);
  if (pid < 0) {
    SetLastError(error ? error : Win32ErrorFromErrno(err));
    return -1;
  }
  return pid;
}

}  // namespace

}  // namespace platform

using namespace platform;

BOOL WINAPI CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine, LPSECURITY_ATTRIBUTES,
                           LPSECURITY_ATTRIBUTES, BOOL, DWORD dwCreationFlags, LPVOID lpEnvironment,
                           LPCWSTR lpCurrentDirectory, LPSTARTUPINFOW lpStartupInfo,
                           LPPROCESS_INFORMATION lpProcessInformation) {
  // Ignored: process and thread security (no object security here), the
  // inheritance of handles (none are ever inherited), the priority class and
  // the start-up information's window hints.
  if (!lpStartupInfo || !lpProcessInformation || (!lpApplicationName && !lpCommandLine)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string_view line = lpCommandLine ? View(lpCommandLine) : View(lpApplicationName);
  std::vector<std::u16string> args = SplitArguments(line);
  if (!lpCommandLine) args.resize(1);
  std::u16string name = lpApplicationName ? std::u16string(View(lpApplicationName)) : args[0];
  std::optional<std::string> exe = FindExecutable(name);
  if (!exe) return FALSE;
  // Windows runs any file it can read as a program; here that takes the
  // execute permission.
  if (access(exe->c_str(), X_OK) != 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  std::optional<std::string> cwd;
  if (lpCurrentDirectory) {
    cwd = UnixPath(View(lpCurrentDirectory));
    struct stat st;
    if (!cwd || stat(cwd->c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      SetLastError(ERROR_DIRECTORY);
      return FALSE;
    }
  }

  std::vector<std::string> argText;
  for (const auto &a : args) argText.push_back(ToUtf8Lossy(a));
  std::vector<std::string> envText;
  if (lpEnvironment)
    envText = dwCreationFlags & CREATE_UNICODE_ENVIRONMENT
                  ? EnvironmentFromBlock(static_cast<const char16_t *>(lpEnvironment))
                  : EnvironmentFromBlock(static_cast<const char *>(lpEnvironment));
  std::vector<char *> argv, envp;
  for (auto &a : argText) argv.push_back(a.data());
  argv.push_back(nullptr);
  if (lpEnvironment) {
    for (auto &e : envText) envp.push_back(e.data());
  } else {
    for (char **e = environ; *e; ++e) envp.push_back(*e);
  }
  envp.push_back(nullptr);

  pid_t pid = Spawn(*exe, argv, envp, cwd ? &*cwd : nullptr);
  if (pid < 0) return FALSE;
  HANDLE process = NewHandle(std::make_shared<ProcessObject>(pid));
  HANDLE thread = process ? NewHandle(std::make_shared<ProcessThreadObject>()) : nullptr;
  if (!thread) {
    if (process) CloseHandleObject(process);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;  // the program runs on; Windows would not have started it
  }
  lpProcessInformation->hProcess = process;
  lpProcessInformation->hThread = thread;
  lpProcessInformation->dwProcessId = static_cast<DWORD>(pid);
  // A Linux process's main thread has the process's id.
  lpProcessInformation->dwThreadId = static_cast<DWORD>(pid);
  return TRUE;
}
