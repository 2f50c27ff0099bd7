// Conformance tests of the COM runtime: apartments, GUID text, monikers, the
// running object table, and activation of an in-process server through the
// registry.
#include <windows.h>

#include <objbase.h>

#include <cstring>
#include <string>
#include <thread>

#include "../comserver/comserver.h"
#include "conformance.h"
#include "fresh_prefix.h"
#include "platform/text/wide_text.h"

namespace {

using WString = std::basic_string<WCHAR>;

std::string HexHr(HRESULT hr) {
  char buf[16];
  snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
  return buf;
}
// Failures print both results in hex; further context may be streamed in.
#define EXPECT_HR(expected, expr) EXPECT_EQ(HexHr(expected), HexHr(expr)) << #expr << ": "
#define ASSERT_HR(expected, expr) ASSERT_EQ(HexHr(expected), HexHr(expr)) << #expr << ": "
#define EXPECT_HR_OR_WINE(expected, wine, expr, reason) \
  EXPECT_EQ_OR_WINE(HexHr(expected), HexHr(wine), HexHr(expr), reason)

// Runs f on a new thread, whose apartment state starts empty.
template <typename F>
void OnNewThread(F f) {
  std::thread(f).join();
}

// An object that counts its references and, optionally, is runnable.
class TestObject final : public IRunnableObject {
 public:
  explicit TestObject(bool runnable = false) : m_runnable(runnable) {}
  STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override {
    if (riid == IID_IUnknown || (m_runnable && riid == IID_IRunnableObject)) {
      *ppv = static_cast<IRunnableObject *>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs); }
  STDMETHODIMP_(ULONG) Release() override { return InterlockedDecrement(&refs); }
  STDMETHODIMP GetRunningClass(CLSID *) override { return E_NOTIMPL; }
  STDMETHODIMP Run(IBindCtx *) override {
    ++runs;
    return S_OK;
  }
  STDMETHODIMP_(BOOL) IsRunning() override { return runs > 0; }
  STDMETHODIMP LockRunning(BOOL, BOOL) override { return S_OK; }
  STDMETHODIMP SetContainedObject(BOOL) override { return S_OK; }

  LONG refs = 1;
  int runs = 0;

 private:
  bool m_runnable;
};

IMoniker *FileMoniker(const WCHAR *path) {
  IMoniker *mk = nullptr;
  EXPECT_HR(S_OK, CreateFileMoniker(path, &mk));
  return mk;
}

// ---------------------------------------------------------------------------

TEST(ComInit, ApartmentModelsAndCountsPerThread) {
  OnNewThread([] {
    EXPECT_HR(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    EXPECT_HR(S_FALSE, CoInitialize(nullptr));
    EXPECT_HR(RPC_E_CHANGED_MODE, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    // The failed call did not count: two uninitialisations leave the thread
    // free to choose the other model.
    CoUninitialize();
    CoUninitialize();
    EXPECT_HR(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    EXPECT_HR(S_FALSE, CoInitializeEx(nullptr, COINIT_MULTITHREADED | COINIT_DISABLE_OLE1DDE));
    EXPECT_HR(RPC_E_CHANGED_MODE, CoInitialize(nullptr));
    CoUninitialize();
    CoUninitialize();
  });
}

// ---------------------------------------------------------------------------

TEST(GuidText, StringFromGuid2WritesUpperCaseBracedForm) {
  const GUID g = {0x0123ABCD, 0x4567, 0x89EF, {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}};
  WCHAR buf[41];
  for (WCHAR &c : buf) c = 0x7777;
  EXPECT_EQ(39, StringFromGUID2(g, buf, 39));
  EXPECT_EQ("{0123ABCD-4567-89EF-FEDC-BA9876543210}", Printable(buf));
  EXPECT_EQ(0x7777, buf[39]) << "wrote past the terminator";

  // Too small by one: nothing written, not even a terminator.
  for (WCHAR &c : buf) c = 0x7777;
  EXPECT_EQ(0, StringFromGUID2(g, buf, 38));
  for (WCHAR c : buf) EXPECT_EQ(0x7777, c);
  EXPECT_EQ(0, StringFromGUID2(g, buf, 0));
}

TEST(GuidText, RoundTripsAndRejectsMalformedText) {
  const GUID g = {0xDEADBEEF, 0xABCD, 0x1234, {0x9E, 0x55, 0x3D, 0x1C, 0x7B, 0x2A, 0x9F, 0x01}};
  LPOLESTR text = nullptr;
  ASSERT_HR(S_OK, StringFromCLSID(g, &text));
  GUID back;
  std::memset(&back, 0xAB, sizeof back);
  EXPECT_HR(S_OK, CLSIDFromString(text, &back));
  EXPECT_TRUE(back == g);
  CoTaskMemFree(text);

  // Lower-case hex reads the same; text goes through IIDFromString too.
  std::memset(&back, 0xAB, sizeof back);
  EXPECT_HR(S_OK, IIDFromString(OLESTR("{deadbeef-abcd-1234-9e55-3d1c7b2a9f01}"), &back));
  EXPECT_TRUE(back == g);

  const WCHAR *bad[] = {
      OLESTR("{DEADBEEF-ABCD-1234-9E55-3D1C7B2A9F01"),    // no closing brace
      OLESTR("{DEADBEEF-ABCD-1234-9E55-3D1C7B2A9F01}x"),  // trailing text
      OLESTR("{DEADBEEF-ABCD-1234-9E553D1C7B2A9F01}"),    // missing dash
      OLESTR("{DEADBEEG-ABCD-1234-9E55-3D1C7B2A9F01}"),   // not hex
      OLESTR("{DEADBEEF-ABCD-1234-9E55-3D1C7B2A9F0}"),    // short
      OLESTR("{"),
  };
  for (const WCHAR *s : bad) {
    std::memset(&back, 0xAB, sizeof back);
    EXPECT_HR(CO_E_CLASSSTRING, CLSIDFromString(s, &back)) << Printable(s);
    // Wine answers CO_E_IIDSTRING.
    HRESULT hr = IIDFromString(s, &back);
    if (!(RunningUnderWine() && hr == CO_E_IIDSTRING)) {
      EXPECT_HR(E_INVALIDARG, hr) << Printable(s);
    }
  }
  // A word that is no registered ProgID is no class either.
  EXPECT_HR(CO_E_CLASSSTRING, CLSIDFromString(OLESTR("No.Such.ProgID"), &back));
  // No text at all is the null GUID.
  std::memset(&back, 0xAB, sizeof back);
  EXPECT_HR(S_OK, CLSIDFromString(nullptr, &back));
  EXPECT_TRUE(back == GUID_NULL);
}

// ---------------------------------------------------------------------------

// The moniker functions and the running object table are COM's, which a
// thread initializes before it uses them.
class Monikers : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
  void TearDown() override { CoUninitialize(); }
};

TEST_F(Monikers, FileMonikersCompareIgnoringCaseAndSlashKind) {
  IMoniker *a = FileMoniker(OLESTR("C:\\Data\\Revisions\\Report.rdir"));
  IMoniker *b = FileMoniker(OLESTR("c:/data/REVISIONS/report.RDIR"));
  IMoniker *c = FileMoniker(OLESTR("C:\\Data\\Revisions\\Report2.rdir"));
  ASSERT_TRUE(a && b && c);
  // Wine's file monikers tell '/' from '\\'.
  const bool wineSlashes = RunningUnderWine() && a->IsEqual(b) == S_FALSE;
  if (!wineSlashes) {
    EXPECT_HR(S_OK, a->IsEqual(b));
    EXPECT_HR(S_OK, b->IsEqual(a));
  }
  EXPECT_HR(S_FALSE, a->IsEqual(c));
  EXPECT_HR_OR_WINE(S_FALSE, E_INVALIDARG, a->IsEqual(nullptr), "Wine answers E_INVALIDARG for no moniker at all");
  DWORD ha = kSentinel, hb = kSentinel;
  EXPECT_HR(S_OK, a->Hash(&ha));
  EXPECT_HR(S_OK, b->Hash(&hb));
  if (!wineSlashes) {
    EXPECT_EQ(ha, hb) << "equal monikers must hash alike";
  }

  // The display name is the path as given.
  IBindCtx *bc = nullptr;
  ASSERT_HR(S_OK, CreateBindCtx(0, &bc));
  LPOLESTR name = nullptr;
  EXPECT_HR(S_OK, b->GetDisplayName(bc, nullptr, &name));
  EXPECT_EQ("c:/data/REVISIONS/report.RDIR", Printable(name));
  CoTaskMemFree(name);
  DWORD sys = kSentinel;
  EXPECT_HR(S_OK, a->IsSystemMoniker(&sys));
  EXPECT_EQ(static_cast<DWORD>(MKSYS_FILEMONIKER), sys);

  // A plain path parses to a file moniker, eating all of it; class names do not.
  IMoniker *parsed = nullptr;
  ULONG eaten = kSentinel;
  HRESULT hr = MkParseDisplayName(bc, OLESTR("C:\\DATA\\Revisions\\Report.rdir"), &eaten, &parsed);
  EXPECT_HR_OR_WINE(S_OK, E_NOTIMPL, hr, "Wine does not parse a plain path (E_NOTIMPL)");
  if (hr == S_OK) {
    EXPECT_EQ(29u, eaten);
  }
  if (parsed) {
    EXPECT_HR(S_OK, parsed->IsEqual(a));
    parsed->Release();
  }
  bc->Release();
  a->Release();
  b->Release();
  c->Release();
}

TEST_F(Monikers, RunningObjectTable) {
  IRunningObjectTable *rot = nullptr, *rot2 = nullptr;
  ASSERT_HR(S_OK, GetRunningObjectTable(0, &rot));
  ASSERT_HR(S_OK, GetRunningObjectTable(0, &rot2));
  EXPECT_EQ(rot, rot2) << "one table per process";
  rot2->Release();

  TestObject first, second;
  IMoniker *name = FileMoniker(OLESTR("C:\\Data\\Table.rdir"));
  // An equal name of another spelling (Wine's file monikers tell '/' from '\\').
  IMoniker *other = FileMoniker(RunningUnderWine() ? OLESTR("c:\\DATA\\table.RDIR") : OLESTR("c:/DATA/table.RDIR"));
  DWORD cookie1 = kSentinel, cookie2 = kSentinel;
  EXPECT_HR(S_OK, rot->Register(0, &first, name, &cookie1));
  EXPECT_EQ_OR_WINE(2, 3, first.refs, "Wine's table also holds the reference of the object's marshalled form");  // the table holds the object
  // A second registration under an equal name still registers.
  EXPECT_HR(MK_S_MONIKERALREADYREGISTERED, rot->Register(0, &second, other, &cookie2));
  EXPECT_NE(cookie1, cookie2);

  EXPECT_HR(S_OK, rot->IsRunning(other));
  IUnknown *found = nullptr;
  EXPECT_HR(S_OK, rot->GetObject(other, &found));
  EXPECT_EQ(static_cast<IUnknown *>(&first), found);
  if (found) found->Release();

  FILETIME set = {0x12345678, 0x01D00000}, got = {kSentinel, kSentinel};
  EXPECT_HR(S_OK, rot->NoteChangeTime(cookie1, &set));
  EXPECT_HR(S_OK, rot->GetTimeOfLastChange(other, &got));
  EXPECT_EQ(set.dwLowDateTime, got.dwLowDateTime);
  EXPECT_EQ(set.dwHighDateTime, got.dwHighDateTime);

  IEnumMoniker *e = nullptr;
  ASSERT_HR(S_OK, rot->EnumRunning(&e));
  int mine = 0;
  IMoniker *m = nullptr;
  while (e->Next(1, &m, nullptr) == S_OK) {
    if (m->IsEqual(name) == S_OK) ++mine;
    m->Release();
  }
  e->Release();
  EXPECT_EQ(2, mine);

  EXPECT_HR(S_OK, rot->Revoke(cookie1));
  EXPECT_EQ(1, first.refs) << "revoking releases the object";
  EXPECT_HR(E_INVALIDARG, rot->Revoke(cookie1));
  EXPECT_HR(S_OK, rot->Revoke(cookie2));
  EXPECT_HR(S_FALSE, rot->IsRunning(name));
  found = reinterpret_cast<IUnknown *>(static_cast<uintptr_t>(kSentinel));
  EXPECT_HR(MK_E_UNAVAILABLE, rot->GetObject(name, &found));
  EXPECT_EQ(nullptr, found);
  EXPECT_HR(MK_E_UNAVAILABLE, rot->GetTimeOfLastChange(name, &got));
  EXPECT_HR(E_INVALIDARG, rot->NoteChangeTime(cookie2, &set));

  name->Release();
  other->Release();
  rot->Release();
}

TEST_F(Monikers, CoGetObjectFindsRegisteredPathAndOleRunRuns) {
  UseFreshPrefix();
  OnNewThread([] {
    IUnknown *got = nullptr;
    EXPECT_HR(CO_E_NOTINITIALIZED, CoGetObject(OLESTR("C:\\Data\\x.rdir"), nullptr, IID_IUnknown,
                                               reinterpret_cast<void **>(&got)));
    ASSERT_HR(S_OK, CoInitialize(nullptr));
    IRunningObjectTable *rot = nullptr;
    ASSERT_HR(S_OK, GetRunningObjectTable(0, &rot));
    TestObject object(true);
    IMoniker *name = FileMoniker(OLESTR("C:\\Data\\Bound.rdir"));
    DWORD cookie = 0;
    EXPECT_HR(S_OK, rot->Register(ROTFLAGS_REGISTRATIONKEEPSALIVE, &object, name, &cookie));

    HRESULT hr = CoGetObject(OLESTR("c:/data/BOUND.rdir"), nullptr, IID_IRunnableObject, reinterpret_cast<void **>(&got));
    EXPECT_HR_OR_WINE(S_OK, E_NOTIMPL, hr, "Wine does not parse a path into a file moniker (E_NOTIMPL)");
    if (hr == S_OK) {
      EXPECT_EQ(static_cast<IUnknown *>(&object), got);
    }
    if (got) got->Release();
    EXPECT_HR(S_OK, OleRun(&object));
    EXPECT_EQ(1, object.runs);
    TestObject plain;
    EXPECT_HR(S_OK, OleRun(&plain));

    // Not running, and no class for the extension.
    got = reinterpret_cast<IUnknown *>(static_cast<uintptr_t>(kSentinel));
    EXPECT_HR_OR_WINE(MK_E_INVALIDEXTENSION, E_NOTIMPL,
                      CoGetObject(OLESTR("C:\\Data\\Elsewhere.unknownext"), nullptr, IID_IUnknown,
                                  reinterpret_cast<void **>(&got)), "Wine does not parse a path into a file moniker (E_NOTIMPL)");
    EXPECT_EQ(nullptr, got);
    EXPECT_HR_OR_WINE(MK_E_SYNTAX, REGDB_E_CLASSNOTREG,
                      CoGetObject(OLESTR("clsid:6A8E1F30-52C4-4B0E-9E55-3D1C7B2A9F01"), nullptr, IID_IUnknown,
                                  reinterpret_cast<void **>(&got)), "Wine takes a class name without its closing colon and looks the class up");

    EXPECT_HR(S_OK, rot->Revoke(cookie));
    EXPECT_EQ(1, object.refs);
    name->Release();
    rot->Release();
    CoUninitialize();
  });
}

// ---------------------------------------------------------------------------
// Activation of the test server through the registry.

class Activation : public ::testing::Test {
 protected:
  void SetUp() override {
    UseFreshPrefix();
    m_path = platform::Widen(FixtureFileA(REVDIR_TEST_COMSERVER));
    ASSERT_HR(S_OK, CoInitialize(nullptr));
    ASSERT_HR(S_OK, CallServer("DllRegisterServer"));
  }
  void TearDown() override {
    CoFreeUnusedLibraries();
    CoUninitialize();
  }

  // Loads the server for one call and unloads it again, as regsvr32 does.
  HRESULT CallServer(const char *entry) {
    HMODULE module = LoadLibraryW(m_path.c_str());
    if (!module) return HRESULT_FROM_WIN32(GetLastError());
    auto fn = reinterpret_cast<HRESULT(STDAPICALLTYPE *)()>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, entry)));
    HRESULT hr = fn ? fn() : E_FAIL;
    FreeLibrary(module);
    return hr;
  }

  WString m_path;
};

TEST_F(Activation, ProgIdsResolveThroughTheRegistry) {
  CLSID clsid;
  std::memset(&clsid, 0xAB, sizeof clsid);
  EXPECT_HR(S_OK, CLSIDFromProgID(OLESTR("") REVDIR_TEST_PROGID_1, &clsid));
  EXPECT_TRUE(clsid == CLSID_RevdirTestObject);
  // The version-independent ProgID has no CLSID of its own: CurVer leads on.
  std::memset(&clsid, 0xAB, sizeof clsid);
  HRESULT hr = CLSIDFromProgID(OLESTR("revdirtest.object"), &clsid);
  EXPECT_HR_OR_WINE(S_OK, CO_E_CLASSSTRING, hr, "Wine does not follow CurVer");
  if (hr == S_OK) {
    EXPECT_TRUE(clsid == CLSID_RevdirTestObject);
  }
  std::memset(&clsid, 0xAB, sizeof clsid);
  hr = CLSIDFromString(OLESTR("") REVDIR_TEST_PROGID, &clsid);
  EXPECT_HR_OR_WINE(S_OK, CO_E_CLASSSTRING, hr, "Wine's CLSIDFromString does not look a ProgID up");
  if (hr == S_OK) {
    EXPECT_TRUE(clsid == CLSID_RevdirTestObject);
  }
  EXPECT_HR(CO_E_CLASSSTRING, CLSIDFromProgID(OLESTR("RevdirTest.Missing"), &clsid));

  LPOLESTR progId = nullptr;
  EXPECT_HR(S_OK, ProgIDFromCLSID(CLSID_RevdirTestObject, &progId));
  EXPECT_EQ(REVDIR_TEST_PROGID_1, Printable(progId));
  CoTaskMemFree(progId);
  const CLSID unknown = {0x11111111, 0x2222, 0x3333, {4, 4, 4, 4, 4, 4, 4, 4}};
  progId = reinterpret_cast<LPOLESTR>(static_cast<uintptr_t>(kSentinel));
  EXPECT_HR(REGDB_E_CLASSNOTREG, ProgIDFromCLSID(unknown, &progId));
  EXPECT_EQ(nullptr, progId);
}

TEST_F(Activation, CreatesObjectsAndUnloadsIdleServers) {
  CLSID clsid;
  // Wine does not follow CurVer: it finds the class by the versioned ProgID only.
  const WCHAR *progId = RunningUnderWine() ? OLESTR("") REVDIR_TEST_PROGID_1 : OLESTR("") REVDIR_TEST_PROGID;
  ASSERT_HR(S_OK, CLSIDFromProgID(progId, &clsid));
  IPersistFile *file = nullptr;
  ASSERT_HR(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IPersistFile,
                                   reinterpret_cast<void **>(&file)));
  CLSID reported;
  EXPECT_HR(S_OK, file->GetClassID(&reported));
  EXPECT_TRUE(reported == CLSID_RevdirTestObject);

  // Loaded once, and kept while an object is alive.
  EXPECT_NE(nullptr, GetModuleHandleW(m_path.c_str()));
  CoFreeUnusedLibraries();
  EXPECT_NE(nullptr, GetModuleHandleW(m_path.c_str()));
  file->Release();
  CoFreeUnusedLibraries();
  // Wine keeps a server of threading model "Both" loaded for the delay that
  // applies to servers of multithreaded objects; without the delay it goes.
#ifdef _WIN32
  for (int i = 0; i < 50 && RunningUnderWine() && GetModuleHandleW(m_path.c_str()); ++i) {
    Sleep(20);
    CoFreeUnusedLibrariesEx(0, 0);
  }
#endif
  EXPECT_EQ(nullptr, GetModuleHandleW(m_path.c_str())) << "idle server still loaded";

  // And loaded again on demand.
  IUnknown *unk = nullptr;
  EXPECT_HR(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void **>(&unk)));
  if (unk) unk->Release();
}

TEST_F(Activation, FailuresAreReportedAsWindowsReportsThem) {
  IUnknown *unk = reinterpret_cast<IUnknown *>(static_cast<uintptr_t>(kSentinel));
  EXPECT_HR(E_POINTER, CoCreateInstance(CLSID_RevdirTestObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                        nullptr));
  TestObject outer;
  EXPECT_HR(CLASS_E_NOAGGREGATION, CoCreateInstance(CLSID_RevdirTestObject, &outer, CLSCTX_INPROC_SERVER,
                                                    IID_IPersistFile, reinterpret_cast<void **>(&unk)));
  EXPECT_EQ(nullptr, unk);
  // This server has no local server registered.
  EXPECT_HR(REGDB_E_CLASSNOTREG, CoCreateInstance(CLSID_RevdirTestObject, nullptr, CLSCTX_LOCAL_SERVER,
                                                  IID_IUnknown, reinterpret_cast<void **>(&unk)));
  const CLSID unknown = {0x11111111, 0x2222, 0x3333, {4, 4, 4, 4, 4, 4, 4, 4}};
  EXPECT_HR(REGDB_E_CLASSNOTREG, CoCreateInstance(unknown, nullptr, CLSCTX_ALL, IID_IUnknown,
                                                  reinterpret_cast<void **>(&unk)));

  // A registered server module that is missing.
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT,
                                         OLESTR("CLSID\\") REVDIR_TEST_CLSID_TEXT OLESTR("\\InprocServer32"), 0,
                                         KEY_SET_VALUE, &key));
  const WCHAR missing[] = OLESTR("C:\\nowhere\\missing_server.dll");
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(missing),
                                          sizeof missing));
  RegCloseKey(key);
  HRESULT hr = CoCreateInstance(CLSID_RevdirTestObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                reinterpret_cast<void **>(&unk));
  EXPECT_EQ_OR_WINE(HexHr(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)), HexHr(E_ACCESSDENIED), HexHr(hr), "Wine answers E_ACCESSDENIED for any server module it cannot load");
  EXPECT_EQ(nullptr, unk);
}

TEST_F(Activation, FileMonikerOpensFilesOfTheRegisteredClass) {
  IPersistFile *file = nullptr;
  HRESULT hr = CoGetObject(OLESTR("C:\\Docs\\Notes") REVDIR_TEST_EXTENSION, nullptr, IID_IPersistFile,
                           reinterpret_cast<void **>(&file));
  if (RunningUnderWine() && hr == E_NOTIMPL) GTEST_SKIP() << "Wine does not parse a path into a file moniker";
  ASSERT_HR(S_OK, hr);
  LPOLESTR loaded = nullptr;
  EXPECT_HR(S_OK, file->GetCurFile(&loaded));
  EXPECT_EQ("C:\\Docs\\Notes" REVDIR_TEST_EXTENSION, Printable(loaded));
  CoTaskMemFree(loaded);
  file->Release();
}

// HKEY_CLASSES_ROOT shows the user's classes over the machine's, so a class
// registered for the user alone is created like any other.
TEST_F(Activation, PerUserRegistrationIsFound) {
  const WCHAR clsidKey[] = OLESTR("Software\\Classes\\CLSID\\") REVDIR_TEST_CLSID_TEXT;
  HKEY user = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, clsidKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                           &user, nullptr));
  EXPECT_EQ(ERROR_SUCCESS, RegCopyTreeW(HKEY_LOCAL_MACHINE, clsidKey, user));
  RegCloseKey(user);
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_LOCAL_MACHINE, clsidKey));
  IUnknown *unk = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_RevdirTestObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                reinterpret_cast<void **>(&unk));
  if (unk) unk->Release();
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CURRENT_USER, clsidKey));
  RegDeleteKeyW(HKEY_CURRENT_USER, OLESTR("Software\\Classes\\CLSID"));  // only if now empty
  if (RunningUnderWine() && hr == REGDB_E_CLASSNOTREG)
    GTEST_SKIP() << "Wine looks classes up among the machine's only";
  EXPECT_HR(S_OK, hr);
}

TEST_F(Activation, UnregistrationLeavesOnlyWhatWasThere) {
  ASSERT_HR(S_OK, CallServer("DllRegisterServer"));  // twice is harmless
  ASSERT_HR(S_OK, CallServer("DllUnregisterServer"));
  const WCHAR *gone[] = {OLESTR("") REVDIR_TEST_PROGID, OLESTR("") REVDIR_TEST_PROGID_1, OLESTR("") REVDIR_TEST_EXTENSION,
                         OLESTR("CLSID\\") REVDIR_TEST_CLSID_TEXT};
  for (const WCHAR *name : gone) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExW(HKEY_CLASSES_ROOT, name, 0, KEY_READ, &key)) << Printable(name);
    if (key) RegCloseKey(key);
  }
  HKEY clsid = nullptr;
  EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT, OLESTR("CLSID"), 0, KEY_READ, &clsid)) << "NoRemove key";
  if (clsid) RegCloseKey(clsid);
  IUnknown *unk = nullptr;
  EXPECT_HR(REGDB_E_CLASSNOTREG, CoCreateInstance(CLSID_RevdirTestObject, nullptr, CLSCTX_INPROC_SERVER,
                                                  IID_IUnknown, reinterpret_cast<void **>(&unk)));
  CLSID c;
  EXPECT_HR(CO_E_CLASSSTRING, CLSIDFromProgID(OLESTR("") REVDIR_TEST_PROGID, &c));
}

}  // namespace
