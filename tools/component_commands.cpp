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
#include "frame/handles.h"

namespace {

constexpr int kOk = 0;
constexpr int kFail = 1;

using revdir::Bstr;
using revdir::ComPtr;
using revdir::Utf8;

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
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.out()) == S_OK && info) {
    Bstr description;
    info->GetDescription(description.out());
    fprintf(stderr, "\n  %s", Utf8(description).c_str());
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
  ComPtr<IRevisions> revisions;
  HRESULT hr = directory->get_Revisions(revisions.out());
  if (FAILED(hr)) return Report("Revisions", hr);
  LONG count = 0;
  revisions->get_Count(&count);
  printf("%-8s %-9s %-9s %-16s %s\n", "release", "major rev", "database", "controllers", "installed at");
  for (LONG i = 1; i <= count; ++i) {
    ComPtr<IRevision> revision;
    if (FAILED(revisions->get_Item(i, revision.out()))) continue;
    LONG major = 0, minor = 0, rev = 0, acd = 0, available = 0, types = 0;
    revision->get_MajorSoftwareVersion(&major);
    revision->get_MinorSoftwareVersion(&minor);
    revision->get_MajorRev(&rev);
    revision->get_ACDFileVersionNumber(&acd);
    revision->get_IsAvailable(&available);
    ComPtr<IProcessorTypes> supported;
    if (SUCCEEDED(revision->get_SupportedProcessorTypes(supported.out()))) supported->get_Count(&types);
    Bstr path;
    if (available) revision->get_InstalledPath(path.out());
    char version[32];
    snprintf(version, sizeof version, "%d.%02d", major, minor);
    printf("%-8s %-9d %-9d %-16d %s\n", version, rev, acd, types, available ? Utf8(path).c_str() : "-");
  }
  return kOk;
}

}  // namespace

int RegisterMain(int, char **) { return Report("registration", CallEntry("DllRegisterServer")); }
int UnregisterMain(int, char **) { return Report("unregistration", CallEntry("DllUnregisterServer")); }

// A new directory after Initialize; null, with the failure reported, when
// either fails.
IRevisionDirectory_V6 *InitializedDirectory() {
  IRevisionDirectory_V6 *directory = nullptr;
  HRESULT hr = NewDirectory(&directory);
  if (FAILED(hr)) {
    Report("creating the directory (is the component registered?)", hr);
    return nullptr;
  }
  hr = directory->Initialize();
  if (FAILED(hr)) {
    Report("Initialize", hr);
    directory->Release();
    return nullptr;
  }
  return directory;
}

int ListMain(int, char **) {
  Com com;
  IRevisionDirectory_V6 *directory = InitializedDirectory();
  if (!directory) return kFail;
  int rc = ListReleases(directory);
  directory->Release();
  return rc;
}

int ErrorMain(int argc, char **argv) {
  if (argc < 1) {
    fprintf(stderr, "usage: revdir error CODE   (e.g. 0x80043D00)\n");
    return kFail;
  }
  Com com;
  ComPtr<IRevisionDirectory_V6> directory;
  HRESULT hr = NewDirectory(directory.out());
  if (FAILED(hr)) return Report("creating the directory", hr);
  directory->Initialize();
  HRESULT code = static_cast<HRESULT>(strtoul(argv[0], nullptr, 0));
  Bstr constant, text;
  hr = directory->GetErrorConstantAndDescription(code, constant.out(), text.out());
  if (SUCCEEDED(hr)) printf("%s\n%s\n", Utf8(constant).c_str(), Utf8(text).c_str());
  return SUCCEEDED(hr) ? kOk : Report("GetErrorConstantAndDescription", hr);
}

int ProjectMain(int argc, char **argv) {
  Com com;
  IRevisionDirectory_V6 *directory = argc > 0 ? InitializedDirectory() : nullptr;
  if (!directory) {
    if (argc < 1) fprintf(stderr, "usage: revdir project FILE.acd|FILE.pjx ...   (Windows or Linux paths)\n");
    return kFail;
  }
  bool failed = false;  // any file: each is reported, the others still run
  for (int i = 0; i < argc; ++i) {
    int chars = MultiByteToWideChar(CP_UTF8, 0, argv[i], -1, nullptr, 0);
    BSTR path = SysAllocStringLen(nullptr, static_cast<UINT>(chars > 0 ? chars - 1 : 0));
    MultiByteToWideChar(CP_UTF8, 0, argv[i], -1, path, chars);
    IRevision *revision = nullptr;
    HRESULT hr = directory->GetRevisionFromProjectFile(path, &revision);
    SysFreeString(path);
    if (FAILED(hr)) {
      failed = true;
      Report(argv[i], hr);
      continue;
    }
    LONG major = 0, minor = 0, rev = 0;
    revision->get_MajorSoftwareVersion(&major);
    revision->get_MinorSoftwareVersion(&minor);
    revision->get_MajorRev(&rev);
    printf("%s: release %d.%02d (major revision %d)\n", argv[i], major, minor, rev);
    revision->Release();
  }
  directory->Release();
  return failed ? kFail : kOk;
}

int DemoMain(int argc, char **argv) {
  if (RegisterMain(argc, argv) != kOk) return kFail;
  printf("component registered in the prefix; the releases it knows:\n\n");
  return ListMain(argc, argv);
}
