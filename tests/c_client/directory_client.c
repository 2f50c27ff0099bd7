// A client of the component written in C: every call goes through an
// interface's C form (lpVtbl and the COBJMACROS macros), into objects
// implemented in C++. Registers the component, declares two installed
// releases, reads them back, and removes all of it again.
#ifndef _WIN32
// mkdtemp, setenv and nftw for the fresh prefix.
#define _XOPEN_SOURCE 700
#endif
#define COBJMACROS

// windows.h first: mingw's oleauto.h relies on it.
#include <windows.h>

#include <objbase.h>
#include <oleauto.h>
#include <stdio.h>
#include <stdlib.h>

#include "QuillonRevisionDirectory.h"
#include "catalog/registry_keys.h"

#ifndef _WIN32
#include <ftw.h>
#endif

static int g_checks;
static int g_failures;

static int Check(int ok, const char *what, int line) {
  ++g_checks;
  if (!ok) {
    printf("FAIL line %d: %s\n", line, what);
    ++g_failures;
  }
  return ok;
}
static int CheckHr(HRESULT got, HRESULT want, const char *what, int line) {
  ++g_checks;
  if (got != want) {
    printf("FAIL line %d: %s gave 0x%08x, not 0x%08x\n", line, what, (unsigned)got, (unsigned)want);
    ++g_failures;
  }
  return got == want;
}
#define CHECK(condition) Check((condition) != 0, #condition, __LINE__)
#define CHECK_HR(call, want) CheckHr((call), (want), #call, __LINE__)

static int SameText(const WCHAR *a, const WCHAR *b) { return a && b && lstrcmpW(a, b) == 0; }

#ifndef _WIN32
// An empty registry of our own for this process, removed at the end.
static char g_prefix[] = "/tmp/revdir-c-client-XXXXXX";
static int RemoveEntry(const char *path, const struct stat *status, int flag, struct FTW *walk) {
  (void)status, (void)flag, (void)walk;
  return remove(path);
}
static int UseFreshPrefix(void) { return mkdtemp(g_prefix) && setenv("REVDIR_PREFIX", g_prefix, 1) == 0; }
static void RemovePrefix(void) { nftw(g_prefix, RemoveEntry, 16, FTW_DEPTH | FTW_PHYS); }
#else
// The machine's own registry.
static int UseFreshPrefix(void) { return 1; }
static void RemovePrefix(void) {}
#endif

static HRESULT CallEntry(HMODULE module, const char *name) {
  HRESULT(STDAPICALLTYPE * entry)(void) = (HRESULT(STDAPICALLTYPE *)(void))(void (*)(void))GetProcAddress(module, name);
  return entry ? entry() : E_FAIL;
}

static int SetMachineString(const WCHAR *key, const WCHAR *name, const WCHAR *value) {
  HKEY k;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &k, NULL) != ERROR_SUCCESS) return 0;
  DWORD bytes = (DWORD)((lstrlenW(value) + 1) * sizeof(WCHAR));
  LONG rc = RegSetValueExW(k, name, 0, REG_SZ, (const BYTE *)value, bytes);
  RegCloseKey(k);
  return rc == ERROR_SUCCESS;
}

// As a release's installer declares it.
static int DeclareRelease(const WCHAR *key, const WCHAR *version, const WCHAR *bin) {
  return SetMachineString(key, OLESTR("Product Version"), version) && SetMachineString(key, OLESTR("Bin"), bin);
}

// A property read by name through IDispatch, as a script reads it.
static HRESULT GetByName(IDispatch *object, const WCHAR *name, VARIANT *result) {
  LPOLESTR names[1] = {(LPOLESTR)name};
  DISPID id;
  HRESULT hr = IDispatch_GetIDsOfNames(object, &IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  DISPPARAMS none = {NULL, NULL, 0, 0};
  return IDispatch_Invoke(object, id, &IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, result, NULL, NULL);
}

// The release declared for 13: its versions and path, and a property read
// by name.
static void ReadRelease13(IRevisionDirectory_V6 *directory) {
  IRevision *revision = NULL;
  if (!CHECK_HR(IRevisionDirectory_V6_GetRevisionFromMajorRev(directory, 13, &revision), S_OK)) return;
  LONG major = 0, minor = 0;
  CHECK_HR(IRevision_get_MajorSoftwareVersion(revision, &major), S_OK);
  CHECK_HR(IRevision_get_MinorSoftwareVersion(revision, &minor), S_OK);
  CHECK(major == 13 && minor == 4);
  BSTR path = NULL;
  CHECK_HR(IRevision_get_InstalledPath(revision, &path), S_OK);
  CHECK(SameText(path, OLESTR("C:\\Quillon\\13.04\\Bin\\Quillon.Exe")));
  SysFreeString(path);

  IDispatch *dispatch = NULL;
  if (CHECK_HR(IRevision_QueryInterface(revision, &IID_IDispatch, (void **)&dispatch), S_OK)) {
    VARIANT value;
    VariantInit(&value);
    CHECK_HR(GetByName(dispatch, OLESTR("MinorSoftwareVersion"), &value), S_OK);
    CHECK(V_VT(&value) == VT_I4 && V_I4(&value) == 4);
    VariantClear(&value);
    IDispatch_Release(dispatch);
  }
  IRevision_Release(revision);
}

// The dual interface's IDispatch slots are IDispatch's own.
static void ReadTypeInformation(IRevisionDirectory_V6 *directory) {
  ITypeInfo *info = NULL;
  if (!CHECK_HR(IDispatch_GetTypeInfo((IDispatch *)directory, 0, LOCALE_USER_DEFAULT, &info), S_OK)) return;
  TYPEATTR *attr = NULL;
  if (CHECK_HR(ITypeInfo_GetTypeAttr(info, &attr), S_OK)) {
    CHECK(IsEqualIID(&attr->guid, &IID_IRevisionDirectory_V6));
    ITypeInfo_ReleaseTypeAttr(info, attr);
  }
  ITypeLib *library = NULL;
  UINT index = 0;
  if (CHECK_HR(ITypeInfo_GetContainingTypeLib(info, &library, &index), S_OK)) {
    TLIBATTR *libAttr = NULL;
    if (CHECK_HR(ITypeLib_GetLibAttr(library, &libAttr), S_OK)) {
      CHECK(IsEqualGUID(&libAttr->guid, &LIBID_QuillonRevisionDirectoryLib));
      ITypeLib_ReleaseTLibAttr(library, libAttr);
    }
    CHECK(ITypeLib_GetTypeInfoCount(library) > index);
    ITypeLib_Release(library);
  }
  ITypeInfo_Release(info);
}

// A failure leaves its description in the thread's error information.
static void ReadErrorInformation(IRevisionDirectory_V6 *directory) {
  ISupportErrorInfo *support = NULL;
  if (CHECK_HR(IRevisionDirectory_V6_QueryInterface(directory, &IID_ISupportErrorInfo, (void **)&support), S_OK)) {
    CHECK_HR(ISupportErrorInfo_InterfaceSupportsErrorInfo(support, &IID_IRevisionDirectory_V6), S_OK);
    ISupportErrorInfo_Release(support);
  }
  IRevision *none = NULL;
  SetErrorInfo(0, NULL);
  CHECK_HR(IRevisionDirectory_V6_GetRevisionFromMajorRev(directory, 99, &none), RdE_RevisionNotFound);
  CHECK(none == NULL);
  IErrorInfo *error = NULL;
  if (!CHECK_HR(GetErrorInfo(0, &error), S_OK)) return;
  GUID guid;
  BSTR source = NULL;
  CHECK_HR(IErrorInfo_GetGUID(error, &guid), S_OK);
  CHECK(IsEqualGUID(&guid, &IID_IRevisionDirectory_V6));
  CHECK_HR(IErrorInfo_GetSource(error, &source), S_OK);
  CHECK(SameText(source, OLESTR("QuillonRevisionDirectory.RevisionDirectory")));
  SysFreeString(source);
  IErrorInfo_Release(error);
}

// The directory registered in the running-object table under a file
// moniker, found there and revoked.
static void UseRunningObjectTable(IRevisionDirectory_V6 *directory) {
  IRunningObjectTable *table = NULL;
  IMoniker *moniker = NULL;
  if (!CHECK_HR(GetRunningObjectTable(0, &table), S_OK)) return;
  if (CHECK_HR(CreateFileMoniker(OLESTR("C:\\Projects\\C client.pjx"), &moniker), S_OK)) {
    DWORD kind = MKSYS_NONE, cookie = 0;
    CHECK_HR(IMoniker_IsSystemMoniker(moniker, &kind), S_OK);
    CHECK(kind == MKSYS_FILEMONIKER);
    IUnknown *object = NULL, *found = NULL;
    IRevisionDirectory_V6_QueryInterface(directory, &IID_IUnknown, (void **)&object);
    if (CHECK(SUCCEEDED(IRunningObjectTable_Register(table, 0, object, moniker, &cookie)))) {
      CHECK_HR(IRunningObjectTable_IsRunning(table, moniker), S_OK);
      if (CHECK_HR(IRunningObjectTable_GetObject(table, moniker, &found), S_OK)) {
        IUnknown *identity = NULL;
        CHECK_HR(IUnknown_QueryInterface(found, &IID_IUnknown, (void **)&identity), S_OK);
        CHECK(identity == object);
        if (identity) IUnknown_Release(identity);
        IUnknown_Release(found);
      }
      CHECK_HR(IRunningObjectTable_Revoke(table, cookie), S_OK);
      CHECK_HR(IRunningObjectTable_IsRunning(table, moniker), S_FALSE);
    }
    if (object) IUnknown_Release(object);
    IMoniker_Release(moniker);
  }
  IRunningObjectTable_Release(table);
}

static void UseDirectory(void) {
  CLSID clsid;
  if (!CHECK_HR(CLSIDFromProgID(OLESTR("QuillonRevisionDirectory.RevisionDirectory"), &clsid), S_OK)) return;
  CHECK(IsEqualCLSID(&clsid, &CLSID_RevisionDirectory));
  IRevisionDirectory_V6 *directory = NULL;
  if (!CHECK_HR(CoCreateInstance(&clsid, NULL, CLSCTX_INPROC_SERVER, &IID_IRevisionDirectory_V6, (void **)&directory),
                S_OK))
    return;
  if (CHECK_HR(IRevisionDirectory_V6_Initialize(directory), S_OK)) {
    IAvailableRevisions *available = NULL;
    if (CHECK_HR(IRevisionDirectory_V6_get_AvailableRevisions(directory, &available), S_OK)) {
      LONG count = 0;
      CHECK_HR(IAvailableRevisions_get_Count(available, &count), S_OK);
      CHECK(count == 2);
      IAvailableRevisions_Release(available);
    }
    ReadRelease13(directory);
    ReadTypeInformation(directory);
    ReadErrorInformation(directory);
    UseRunningObjectTable(directory);
  }
  IRevisionDirectory_V6_Release(directory);

  // The class object itself, as CoCreateInstance reaches it.
  IClassFactory *factory = NULL;
  if (CHECK_HR(CoGetClassObject(&clsid, CLSCTX_INPROC_SERVER, NULL, &IID_IClassFactory, (void **)&factory), S_OK)) {
    CHECK_HR(IClassFactory_LockServer(factory, TRUE), S_OK);
    IUnknown *object = NULL;
    CHECK_HR(IClassFactory_CreateInstance(factory, NULL, &IID_IRevisionDirectory, (void **)&object), S_OK);
    if (object) IUnknown_Release(object);
    CHECK_HR(IClassFactory_LockServer(factory, FALSE), S_OK);
    IClassFactory_Release(factory);
  }
}

int main(void) {
  static const WCHAR kRelease13[] = REVDIR_RELEASES_KEY OLESTR("\\English\\13");
  static const WCHAR kRelease15[] = REVDIR_RELEASES_KEY OLESTR("\\English\\15");
  if (!CHECK(UseFreshPrefix())) return 1;
  // The maker's key is removed whole at the end, so it must not be there yet.
  HKEY existing;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, REVDIR_MAKER_KEY, 0, KEY_READ, &existing) == ERROR_SUCCESS) {
    RegCloseKey(existing);
    printf("FAIL: HKLM\\SOFTWARE\\Brenmoor Software exists; this test needs a machine where it does not\n");
    RemovePrefix();
    return 1;
  }
  HMODULE module = LoadLibraryA(REVDIR_COMPONENT_PATH);
  if (CHECK(module != NULL) && CHECK_HR(CoInitializeEx(NULL, COINIT_MULTITHREADED), S_OK)) {
    if (CHECK_HR(CallEntry(module, "DllRegisterServer"), S_OK)) {
      CHECK(DeclareRelease(kRelease13, OLESTR("13.04.0101"), OLESTR("C:\\Quillon\\13.04\\Bin")));
      CHECK(DeclareRelease(kRelease15, OLESTR("15.01.0123"), OLESTR("C:\\Quillon\\15.01\\Bin")));
      UseDirectory();
      CHECK(RegDeleteTreeW(HKEY_LOCAL_MACHINE, REVDIR_MAKER_KEY) == ERROR_SUCCESS);
      CHECK_HR(CallEntry(module, "DllUnregisterServer"), S_OK);
    }
    CoUninitialize();
  }
  if (module) FreeLibrary(module);
  RemovePrefix();
  printf("c client: %d checks, %d failed\n", g_checks, g_failures);
  return g_failures ? 1 : 0;
}
