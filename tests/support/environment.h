// Variables of this process's environment, and programs started with it.
#pragma once

#include <stdlib.h>
#include <windows.h>

#include <string>

// Sets (or, with an empty value, removes) a variable.
inline void SetVariable(const char *name, const std::string &value) {
#ifdef _WIN32
  SetEnvironmentVariableA(name, value.empty() ? nullptr : value.c_str());
#else
  if (value.empty())
    unsetenv(name);
  else
    setenv(name, value.c_str(), 1);
#endif
}

// Starts a program with this environment and closes its handles at once:
// the tests watch what it does, not the process. False with the last error.
inline bool StartProgram(std::basic_string<WCHAR> line, DWORD *processId = nullptr) {
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  if (processId) *processId = pi.dwProcessId;
  return true;
}

// Starts this test program again to run only `test`, a disabled test that
// is a child's part of a test with several processes.
inline bool StartThisProgramFor(const char *test) {
  WCHAR self[MAX_PATH] = {};
  if (!GetModuleFileNameW(nullptr, self, MAX_PATH)) return false;
  std::string options = std::string("\" --gtest_also_run_disabled_tests --gtest_filter=") + test;
  std::basic_string<WCHAR> line = std::basic_string<WCHAR>(OLESTR("\"")) + self;
  line.append(options.begin(), options.end());
  return StartProgram(line);
}
