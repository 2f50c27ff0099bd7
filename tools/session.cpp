#include "session.h"

#include <objbase.h>
#include <oleauto.h>
#include <olectl.h>  // SELFREG_E_CLASS
#include <windows.h>

#include <string>

#include "console.h"
#include "platform/text/wide_text.h"

namespace revdir {

const char *g_command = "";

int Usage(const std::string &message) {
  Err("revdir %s: %s\nTry 'revdir %s --help'.\n", g_command, message.c_str(), g_command);
  return kUsage;
}

Bstr ToBstr(const std::string &s) {
  const platform::WideString text = platform::Widen(s);
  Bstr out;
  *out.Out() = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return out;
}

std::string Narrow(const Bstr &b) { return platform::Narrow(platform::WideView(b.Get(), SysStringLen(b.Get()))); }

namespace {

// A variable's value; empty when it is unset.
platform::WideString Environment(const WCHAR *name) {
  DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return platform::WideString();
  platform::WideString value(size, 0);
  DWORD n = GetEnvironmentVariableW(name, value.data(), size);
  value.resize(n < size ? n : 0);
  return value;
}

// The folder `up` levels above the tool's own file, with a separator.
platform::WideString ToolFolder(int up) {
  constexpr DWORD kLongest = 32768;  // a long path's limit
  platform::WideString path(kLongest, 0);
  DWORD n = GetModuleFileNameW(nullptr, path.data(), kLongest);
  if (n == 0 || n >= kLongest) return platform::WideString();
  path.resize(n);
  for (int i = 0; i <= up; ++i) {
    size_t slash = path.find_last_of(OLESTR("\\/"));
    if (slash == platform::WideString::npos) return platform::WideString();
    path.resize(slash);
  }
  return path + OLESTR("\\");
}

}  // namespace

std::string ModulePath() {
  platform::WideString named = Environment(OLESTR("REVDIR_COMPONENT"));
  if (!named.empty()) return platform::Narrow(named);
  // REVDIR_INSTALLED_COMPONENT is relative to REVDIR_INSTALLED_COMPONENT_UP
  // folders above the tool's own.
  platform::WideString beside = ToolFolder(REVDIR_INSTALLED_COMPONENT_UP);
  if (!beside.empty()) {
    beside += platform::Widen(REVDIR_INSTALLED_COMPONENT);
    for (WCHAR &c : beside) c = c == '/' ? '\\' : c;
    if (GetFileAttributesW(beside.c_str()) != INVALID_FILE_ATTRIBUTES) return platform::Narrow(beside);
  }
  return REVDIR_DEFAULT_COMPONENT;
}

namespace {

IRevisionDirectory_V6 *g_directory = nullptr;  // for the texts of failures

int ExitFor(HRESULT hr) {
  switch (hr) {
    case RdE_RevisionNotFound:
    case RdE_ProcessorTypeNotSupported:
      return kNotFound;
    case RdE_RevisionNotInstalled:
      return kNotInstalled;
    case RdE_UnableToAccessProjectFile:
    case RdE_InvalidProjectFileContents:
    case RdE_InvalidProjectFileType:
      return kBadFile;
    default:
      return kComponent;
  }
}

HRESULT Create(IRevisionDirectory_V6 **out) {
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(OLESTR("QuillonRevisionDirectory.RevisionDirectory"), &clsid);
  if (FAILED(hr)) return hr;
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IRevisionDirectory_V6,
                          reinterpret_cast<void **>(out));
}

// The directory, initialized in the chosen language. On a prefix where the
// component is not registered, the module beside the tool is registered first.
HRESULT OpenDirectory(const Args &a, ComPtr<IRevisionDirectory_V6> &directory) {
  if (a.lang) SetThreadLocale(MAKELCID(*a.lang, SORT_DEFAULT));
  HRESULT hr = Create(directory.Out());
  if (hr == CO_E_CLASSSTRING || hr == REGDB_E_CLASSNOTREG) {
    // For the machine when the classes there may be written, else for this user.
    HRESULT registered = CallEntry("DllRegisterServer");
    const bool forUser = DeniedToMachine(registered);
    if (forUser) registered = CallEntryForUser("DllRegisterServer");
    if (FAILED(registered)) return registered;
    Err(forUser ? "revdir: first run: registered the component for this user %s\n"
                : "revdir: first run: registered the component %s\n",
        ModulePath().c_str());
    hr = Create(directory.Out());
  }
  if (FAILED(hr)) return hr;
  g_directory = directory.Get();
  return directory->Initialize();
}

}  // namespace

HRESULT CallEntry(const char *entry) {
  std::string module = ModulePath();
  HMODULE m = LoadLibraryW(platform::Widen(module).c_str());
  if (!m) {
    const DWORD error = GetLastError();
    Err("revdir: cannot load %s (error %u)\n", module.c_str(), static_cast<unsigned>(error));
    return HRESULT_FROM_WIN32(error);
  }
  auto fn = reinterpret_cast<HRESULT(STDAPICALLTYPE *)()>(reinterpret_cast<void (*)()>(GetProcAddress(m, entry)));
  return fn ? fn() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}

HRESULT CallEntryForUser(const char *entry) {
  HKEY classes;
  LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, OLESTR("Software\\Classes"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &classes, nullptr);
  if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
  rc = RegOverridePredefKey(HKEY_CLASSES_ROOT, classes);
  if (rc != ERROR_SUCCESS) {
    RegCloseKey(classes);
    return HRESULT_FROM_WIN32(rc);
  }
  // RegisterTypeLib writes machine-wide unless told to follow the mapping:
  // the variable tells it as OaEnablePerUserTLibRegistration does, and only
  // for this call (Wine aborts in that function, and follows the mapping anyway).
  SetEnvironmentVariableW(OLESTR("OAPERUSERTLIBREG"), OLESTR("1"));
  HRESULT hr = CallEntry(entry);
  SetEnvironmentVariableW(OLESTR("OAPERUSERTLIBREG"), nullptr);
  RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
  RegCloseKey(classes);
  return hr;
}

bool DeniedToMachine(HRESULT hr) {
  return hr == E_ACCESSDENIED || hr == HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED) || hr == SELFREG_E_CLASS ||
         hr == TYPE_E_REGISTRYACCESS;
}

int Report(const std::string &what, HRESULT hr) {
  Bstr constant, text;
  if (!g_directory || FAILED(g_directory->GetErrorConstantAndDescription(hr, constant.Out(), text.Out()))) {
    WCHAR buffer[1024] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, hr, 0, buffer, 1024, nullptr);
    // The system's texts end with a line break of their own.
    std::string message = platform::Narrow(buffer);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
    Err("revdir: %s: 0x%08X %s\n", what.c_str(), static_cast<unsigned>(hr), message.c_str());
  } else {
    Err("revdir: %s: %s (0x%08X): %s\n", what.c_str(), Narrow(constant).c_str(), static_cast<unsigned>(hr),
        Narrow(text).c_str());
  }
  return ExitFor(hr);
}

bool Session::Parse(int argc, char **argv, const std::string &allowed, bool arguments) {
  if (!ParseArgs(argc, argv, allowed, a, &status)) return false;
  if (arguments || a.positional.empty()) return true;
  status = Usage("unexpected argument '" + a.positional[0] + "'");
  return false;
}

bool Session::Open() {
  HRESULT hr = OpenDirectory(a, d);
  if (SUCCEEDED(hr)) return true;
  status = Report("the directory", hr);
  return false;
}

}  // namespace revdir
