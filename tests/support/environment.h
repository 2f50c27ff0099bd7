// Variables of this process's environment, which started programs inherit.
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
