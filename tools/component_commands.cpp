// register, unregister, list, error and demo: the component as any client
// uses it, through the registry and its interfaces.
#include "component_commands.h"

#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "QuillonRevisionDirectory.h"

namespace {

constexpr int kOk = 0;
constexpr int kFail = 1;

std::string Utf8(const WCHAR *s, int n = -1) {
  if (!s) return "";
  int bytes = WideCharToMultiByte(CP_UTF8, 0, s, n, nullptr, 0, nullptr, nullptr);
  std::string out(bytes > 0 ? bytes : 0, '\0');
  WideCharToMultiByte(CP_UTF8, 0, s, n, out.data(), bytes, nullptr, nullptr);
  if (n == -1 && !out.empty()) out.pop_back();  // the terminator
  return out;
}

std::string Utf8(BSTR b) { return b ? Utf8(b, static_cast<int>(SysStringLen(b))) : ""; }

// The component module: REVDIR_COMPONENT names it, else the one built beside
// this tool.
HRESULT CallEntry(const char *entry) {
  const char *path = getenv("REVDIR_COMPONENT");
  std::string module = path && *path ? path : REVDIR_DEFAULT_COMPONENT;
  HMODULE m = LoadLibraryA(module.c_str());
  if (!m) {
    fprintf(stderr, "revdir: cannot load %s (error %u)\n", module.c_str(), GetLastError());
    return HRESULT_FROM_WIN32(GetLastError());
  }
  auto fn = reinterpret_cast<HRESULT(STDAPICALLTYPE *)()>(GetProcAddress(m, entry));
  return fn ? fn() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}

int Report(const char *what, HRESULT hr) {
  if (SUCCEEDED(hr)) return kOk;
  WCHAR text[1024] = {};
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, hr, 0, text, 1024, nullptr);
  fprintf(stderr, "revdir: %s failed: 0x%08x %s", what, static_cast<unsigned>(hr), Utf8(text).c_str());
  IErrorInfo *info = nullptr;
  if (GetErrorInfo(0, &info) == S_OK && info) {
    BSTR description = nullptr;
    info->GetDescription(&description);
    fprintf(stderr, "\n  %s", Utf8(description).c_str());
    SysFreeString(description);
    info->Release();
  }
  fprintf(stderr, "\n");
  return kFail;
}

struct Com {
  Com() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
  ~Com() { CoUninitialize(); }
};

HRESULT NewDirectory(IRevisionDirectory_V6 **out) {
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(OLESTR("QuillonRevisionDirectory.RevisionDirectory"), &clsid);
  if (FAILED(hr)) return hr;
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IRevisionDirectory_V6,
                          reinterpret_cast<void **>(out));
}

int ListReleases(IRevisionDirectory_V6 *directory) {
  IRevisions *revisions = nullptr;
  HRESULT hr = directory->get_Revisions(&revisions);
  if (FAILED(hr)) return Report("Revisions", hr);
  LONG count = 0;
  revisions->get_Count(&count);
  printf("%-8s %-9s %-9s %-16s %s\n", "release", "major rev", "database", "controllers", "installed at");
  for (LONG i = 1; i <= count; ++i) {
    IRevision *revision = nullptr;
    if (FAILED(revisions->get_Item(i, &revision))) continue;
    LONG major = 0, minor = 0, rev = 0, acd = 0, available = 0, types = 0;
    revision->get_MajorSoftwareVersion(&major);
    revision->get_MinorSoftwareVersion(&minor);
    revision->get_MajorRev(&rev);
    revision->get_ACDFileVersionNumber(&acd);
    revision->get_IsAvailable(&available);
    IProcessorTypes *supported = nullptr;
    if (SUCCEEDED(revision->get_SupportedProcessorTypes(&supported))) {
      supported->get_Count(&types);
      supported->Release();
    }
    BSTR path = nullptr;
    if (available) revision->get_InstalledPath(&path);
    char version[32];
    snprintf(version, sizeof version, "%d.%02d", major, minor);
    printf("%-8s %-9d %-9d %-16d %s\n", version, rev, acd, types, available ? Utf8(path).c_str() : "-");
    SysFreeString(path);
    revision->Release();
  }
  revisions->Release();
  return kOk;
}

}  // namespace

int RegisterMain(int, char **) { return Report("registration", CallEntry("DllRegisterServer")); }
int UnregisterMain(int, char **) { return Report("unregistration", CallEntry("DllUnregisterServer")); }

int ListMain(int, char **) {
  Com com;
  IRevisionDirectory_V6 *directory = nullptr;
  HRESULT hr = NewDirectory(&directory);
  if (FAILED(hr)) return Report("creating the directory (is the component registered?)", hr);
  hr = directory->Initialize();
  int rc = FAILED(hr) ? Report("Initialize", hr) : ListReleases(directory);
  directory->Release();
  return rc;
}

int ErrorMain(int argc, char **argv) {
  if (argc < 1) {
    fprintf(stderr, "usage: revdir error CODE   (e.g. 0x80043D00)\n");
    return kFail;
  }
  Com com;
  IRevisionDirectory_V6 *directory = nullptr;
  HRESULT hr = NewDirectory(&directory);
  if (FAILED(hr)) return Report("creating the directory", hr);
  directory->Initialize();
  HRESULT code = static_cast<HRESULT>(strtoul(argv[0], nullptr, 0));
  BSTR constant = nullptr, text = nullptr;
  hr = directory->GetErrorConstantAndDescription(code, &constant, &text);
  if (SUCCEEDED(hr)) printf("%s\n%s\n", Utf8(constant).c_str(), Utf8(text).c_str());
  SysFreeString(constant);
  SysFreeString(text);
  directory->Release();
  return SUCCEEDED(hr) ? kOk : Report("GetErrorConstantAndDescription", hr);
}

int DemoMain(int argc, char **argv) {
  if (RegisterMain(argc, argv) != kOk) return kFail;
  printf("component registered in the prefix; the releases it knows:\n\n");
  return ListMain(argc, argv);
}
