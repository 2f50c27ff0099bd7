// What every component command of revdir shares: its name for messages, the
// exit statuses, COM and the directory activated by ProgID, and the report
// of a failure.
#pragma once

#include <string>

#include "QuillonRevisionDirectory.h"
#include "args.h"
#include "frame/handles.h"

namespace revdir {

// Exit statuses, one per kind of failure; the README lists them.
enum Exit : int {
  kOk = 0,
  kUsage = 2,
  kNotFound = 3,
  kNotInstalled = 4,
  kBadFile = 5,
  kComponent = 6,
};

// The command being run, as messages name it.
extern const char *g_command;

// A usage error of the command on stderr; returns kUsage.
int Usage(const std::string &message);

// Text as a BSTR, and back.
Bstr ToBstr(const std::string &s);
std::string Narrow(const Bstr &b);

// The component's module: REVDIR_COMPONENT names it; else the one installed
// beside the tool; else the one built with it. As the system spells it.
std::string ModulePath();

// Calls an entry point of the component's module (DllRegisterServer, ...).
HRESULT CallEntry(const char *entry);

// Calls a registration entry point for the current user only, as installers
// do without administrator rights: HKEY_CLASSES_ROOT mapped to the user's
// classes (HKEY_CURRENT_USER\Software\Classes) for the call, type libraries
// included.
HRESULT CallEntryForUser(const char *entry);

// Whether a registration failed because the machine's classes are not ours to
// write.
bool DeniedToMachine(HRESULT hr);

// The component's constant name and localized text of a failure on stderr;
// returns the exit status for it.
int Report(const std::string &what, HRESULT hr);

struct Com {
  Com() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
  ~Com() { CoUninitialize(); }
};

// What every command starts with: its options parsed (with no argument
// beyond them unless `arguments`), then COM and the initialized directory.
// `status` is the exit status when either fails.
struct Session {
  Com com;
  ComPtr<IRevisionDirectory_V6> d;
  Args a;
  int status = kOk;
  bool Parse(int argc, char **argv, const std::string &allowed, bool arguments = false);
  bool Open();
};

}  // namespace revdir
