// Starting a release, its automation objects and ProgIds, and finding the
// application that has a project open.
#include <string.h>

#include <chrono>

#include "component_fixture.h"
#include "standin_record.h"
#ifndef _WIN32
#include "virtual_display.h"
#endif

namespace {

const WCHAR kQuillon1[] = OLESTR("SOFTWARE\\Brenmoor Software\\Quillon.1");
const WCHAR kRelease15[] = OLESTR("SOFTWARE\\Brenmoor Software\\Quillon.1\\English\\15");
const WCHAR kLanguagePack[] = OLESTR("SOFTWARE\\Brenmoor Software\\Quillon");

class Launching : public MachineKeysTest {
 protected:
  // Release 15.01 declared in English at the stand-in's folder.
  ComPtr<IRevision> Installed15() {
    SetMachineString(kRelease15, OLESTR("Product Version"), OLESTR("15.01.0123"));
    SetMachineString(kRelease15, OLESTR("Bin"), m_installation.WindowsBin().c_str());
    return Revision(15, 1);
  }
  ComPtr<IRevision> Revision(LONG major, LONG minor) {
    Keep(InitializedDirectory());
    ComPtr<IRevision> revision;
    EXPECT_EQ(m_directory->GetRevisionFromSoftwareVersion(major, minor, revision.Out()), S_OK);
    return ComPtr<IRevision>(revision.Get() ? (revision->AddRef(), revision.Get()) : nullptr);
  }
  static bool LastLaunch(const WCHAR *name, WString *text, DWORD *type = nullptr, DWORD *bytes = nullptr) {
    WCHAR buffer[64] = {};
    DWORD size = sizeof buffer - sizeof(WCHAR), kind = 0;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kQuillon1, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    LONG rc = RegQueryValueExW(key, name, nullptr, &kind, reinterpret_cast<BYTE *>(buffer), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return false;
    *text = buffer;
    if (type) *type = kind;
    if (bytes) *bytes = size;
    return true;
  }

  void Keep(ComPtr<IRevisionDirectory_V6> &&directory) {
    directory->AddRef();
    *m_directory.Out() = directory.Get();
  }

  StandInInstallation m_installation;
  ComPtr<IRevisionDirectory_V6> m_directory;
};

std::vector<std::string> Expected(const std::string &marker, std::vector<std::string> args) {
  args.insert(args.begin(), marker);
  return args;
}

}  // namespace

TEST_F(Launching, ArgumentsArriveIntactInTheInstallFolderAndTheLaunchIsRemembered) {
  auto revision = Installed15();
  ASSERT_TRUE(revision);
  Bstr args(OLESTR("plain \"with blank\" \"say \\\"hi\\\"\" back\\slash \"ends in\\\\\" C:\\Q\\x.ACD"));
  ASSERT_EQ(revision->Launch(args.Get()), S_OK);
  EXPECT_EQ(m_installation.WaitForRecord(),
            Expected(m_installation.Marker(),
                     {"plain", "with blank", "say \"hi\"", "back\\slash", "ends in\\", "C:\\Q\\x.ACD"}));
  WString text;
  DWORD type = 0, bytes = 0;
  ASSERT_TRUE(LastLaunch(OLESTR("Last Version"), &text, &type, &bytes));
  EXPECT_EQ(text, WString(OLESTR("15.01")));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(bytes, 6 * sizeof(WCHAR)) << "stored with its terminator";
  ASSERT_TRUE(LastLaunch(OLESTR("Last Language Id"), &text));
  EXPECT_EQ(text, WString(OLESTR("1033")));
}

TEST_F(Launching, NullArgumentsAddNothing) {
  auto revision = Installed15();
  ASSERT_EQ(revision->Launch(nullptr), S_OK);
  EXPECT_EQ(m_installation.WaitForRecord(), Expected(m_installation.Marker(), {}));
}

TEST_F(Launching, CommandLineThatDoesNotFitIsRefusedStartingNothing) {
  auto revision = Installed15();
  // The quoted path, the blank and these arguments exceed 4,096 units.
  Bstr args(WString(4096, OLESTR('a')).c_str());
  EXPECT_EQ(revision->Launch(args.Get()), E_INVALIDARG);
  EXPECT_TRUE(TakeErrorInfo().present);
  WString text;
  EXPECT_FALSE(LastLaunch(OLESTR("Last Version"), &text));
  EXPECT_TRUE(m_installation.WaitForRecord(std::chrono::milliseconds(500)).empty());
}

TEST_F(Launching, CommandLineExactlyAtTheLimitStartsAndOneUnitMoreDoesNot) {
  auto revision = Installed15();
  ASSERT_TRUE(revision);
  Bstr path;
  ASSERT_EQ(revision->get_InstalledPath(path.Out()), S_OK);
  // Two quotes, the blank and the terminator besides the path and arguments.
  const size_t fits = 4096 - path.Str().size() - 4;
  Bstr over(WString(fits + 1, OLESTR('b')).c_str());
  EXPECT_EQ(revision->Launch(over.Get()), E_INVALIDARG);
  EXPECT_FALSE(m_installation.Recorded());
  Bstr exact(WString(fits, OLESTR('a')).c_str());
  ASSERT_EQ(revision->Launch(exact.Get()), S_OK);
  EXPECT_EQ(m_installation.WaitForRecord(), Expected(m_installation.Marker(), {std::string(fits, 'a')}));
}

TEST_F(Launching, VersionTenIsTheFirstRemembered) {
  SetMachineString((WString(kLanguagePack) + OLESTR("\\10.00.00.00")).c_str(), OLESTR("x"), OLESTR(""));
  SetMachineString(kLanguagePack, OLESTR("group1Component2SourceDirTemplate1"), m_installation.WindowsBin().c_str());
  SetMachineString(kQuillon1, OLESTR("Last Version"), OLESTR("none"));
  auto revision = Revision(10, 0);
  ASSERT_TRUE(revision);
  ASSERT_EQ(revision->Launch(nullptr), S_OK);
  EXPECT_FALSE(m_installation.WaitForRecord().empty());
  WString text;
  ASSERT_TRUE(LastLaunch(OLESTR("Last Version"), &text));
  EXPECT_EQ(text, WString(OLESTR("10.00")));
}

TEST_F(Launching, ReleasesBeforeVersionTenAreNotRemembered) {
  // 9.00 by its language pack, 15.01 numbered: the key of the last launch exists.
  SetMachineString((WString(kLanguagePack) + OLESTR("\\9.00.00.00")).c_str(), OLESTR("x"), OLESTR(""));
  SetMachineString(kLanguagePack, OLESTR("group1Component2SourceDirTemplate1"), m_installation.WindowsBin().c_str());
  SetMachineString(kRelease15, OLESTR("Product Version"), OLESTR("15.01.0123"));
  SetMachineString(kRelease15, OLESTR("Bin"), m_installation.WindowsBin().c_str());
  auto revision = Revision(9, 0);
  ASSERT_TRUE(revision);
  ASSERT_EQ(revision->Launch(nullptr), S_OK);
  EXPECT_FALSE(m_installation.WaitForRecord().empty()) << "9.00 started";
  WString text;
  EXPECT_FALSE(LastLaunch(OLESTR("Last Version"), &text));
  EXPECT_FALSE(LastLaunch(OLESTR("Last Language Id"), &text));
}

TEST_F(Launching, TheKeyOfTheLastLaunchIsNeverCreated) {
  SetMachineString((WString(kLanguagePack) + OLESTR("\\10.02.00.00")).c_str(), OLESTR("x"), OLESTR(""));
  SetMachineString(kLanguagePack, OLESTR("group1Component2SourceDirTemplate1"), m_installation.WindowsBin().c_str());
  auto revision = Revision(10, 2);
  ASSERT_TRUE(revision);
  ASSERT_EQ(revision->Launch(nullptr), S_OK);
  EXPECT_FALSE(m_installation.WaitForRecord().empty());
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kQuillon1));
}

TEST_F(Launching, FailuresStartNothing) {
  // Declared, but its folder holds no executable.
  const WString &bin = m_installation.WindowsBin();
  SetMachineString(kRelease15, OLESTR("Product Version"), OLESTR("15.01.0123"));
  SetMachineString(kRelease15, OLESTR("Bin"), bin.substr(0, bin.size() - 4).c_str());
  auto revision = Revision(15, 1);
  EXPECT_EQ(revision->Launch(nullptr), STG_E_FILENOTFOUND);
  ErrorInfo info = TakeErrorInfo();
  EXPECT_TRUE(info.present);
  EXPECT_FALSE(info.description.empty());
  EXPECT_EQ(revision->LaunchAndWaitForMainWindow(nullptr, 1), STG_E_FILENOTFOUND);

  auto notInstalled = Revision(11, 0);
  ASSERT_TRUE(notInstalled);
  EXPECT_EQ(notInstalled->Launch(nullptr), RdE_RevisionNotInstalled);
  ComPtr<IRevision> unbound;
  ASSERT_EQ(CoCreateInstance(CLSID_Revision, nullptr, CLSCTX_INPROC_SERVER, IID_IRevision, unbound.OutVoid()), S_OK);
  EXPECT_EQ(unbound->Launch(nullptr), RdE_InvalidRevisionInternalState);
  EXPECT_FALSE(m_installation.Recorded());
  WString text;
  EXPECT_FALSE(LastLaunch(OLESTR("Last Version"), &text));
}

TEST_F(Launching, AnExecutableThatIsNoProgramFailsEveryTimeAndIsNotRemembered) {
  auto revision = Installed15();
  ASSERT_TRUE(revision);
  m_installation.ReplaceProgramWithText();
  int succeeded = 0;
  for (int i = 0; i < 300; ++i) {
    HRESULT hr = revision->Launch(nullptr);
    if (hr == S_OK) ++succeeded;
    ASSERT_TRUE(hr == S_OK || hr == E_FAIL) << std::hex << hr;
  }
  EXPECT_EQ(succeeded, 0);
  ErrorInfo info = TakeErrorInfo();
  EXPECT_TRUE(info.present);
  EXPECT_FALSE(info.description.empty());
  WString text;
  EXPECT_FALSE(LastLaunch(OLESTR("Last Version"), &text));
}

TEST_F(Launching, WaitEndsWhenTheWindowShowsOrAfterTheTimeOut) {
#ifndef _WIN32
  VirtualDisplay display;
  if (!display.Ok()) GTEST_SKIP() << "no Xvfb: no display to show windows on";
#endif
  auto revision = Installed15();
  using Clock = std::chrono::steady_clock;
  auto seconds = [](Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); };

  // Loose bounds: timing is a benchmark's business; these catch a wait that
  // never looks or never stops.
  SetVariable(STANDIN_WINDOW_DELAY_VARIABLE, "1500");
  SetVariable(STANDIN_LINGER_VARIABLE, "20000");
  auto start = Clock::now();
  EXPECT_EQ(revision->LaunchAndWaitForMainWindow(nullptr, 60), S_OK);
  double shown = seconds(start);
  EXPECT_GE(shown, 1.0) << "returned before the window showed";
  EXPECT_LT(shown, 30.0) << "kept waiting after the window showed";

  SetVariable(STANDIN_WINDOW_DELAY_VARIABLE, "");
  SetVariable(STANDIN_LINGER_VARIABLE, "200");
  start = Clock::now();
  EXPECT_EQ(revision->LaunchAndWaitForMainWindow(nullptr, 2), S_OK);
  double none = seconds(start);
  EXPECT_GE(none, 1.5);
  EXPECT_LT(none, 20.0);

  start = Clock::now();
  EXPECT_EQ(revision->LaunchAndWaitForMainWindow(nullptr, 0), S_OK);
  EXPECT_LT(seconds(start), 1.0) << "a time-out of 0 makes no pass";
}

namespace {

struct LanguageRow {
  RdSupportedLanguages id;
  const WCHAR *infix;
};
const LanguageRow kLanguages[] = {
    {English, OLESTR("")},          {Portuguese, OLESTR(".Portuguese")}, {French, OLESTR(".French")},
    {Italian, OLESTR(".Italian")},  {German, OLESTR(".German")},         {Spanish, OLESTR(".Spanish")},
    {Chinese, OLESTR(".Chinese")},  {Japanese, OLESTR(".Japanese")},     {Korean, OLESTR(".Korean")},
};

class ProgIds : public MachineKeysTest {};

}  // namespace

TEST_F(ProgIds, EveryLanguageOnBothObjects) {
  auto directory = InitializedDirectory();
  ComPtr<IRevision> found;
  ASSERT_EQ(directory->GetRevisionFromSoftwareVersion(2, 51, found.Out()), S_OK);
  ComPtr<IRevision_V2> revision;
  ASSERT_EQ(found->QueryInterface(IID_IRevision_V2, revision.OutVoid()), S_OK);
  for (const LanguageRow &row : kLanguages) {
    SCOPED_TRACE(row.id);
    WString application = OLESTR("Quillon") + WString(row.infix) + OLESTR(".Application");
    WString services = OLESTR("QuillonServices") + WString(row.infix) + OLESTR(".TesselServices");
    Bstr text;
    ASSERT_EQ(directory->GetProgIdLanguage(row.id, text.Out()), S_OK);
    EXPECT_FALSE(text.IsNull()) << "English too has an infix: an empty string";
    EXPECT_EQ(text.Str(), row.infix);
    ASSERT_EQ(revision->GetProgIdLanguage(row.id, text.Out()), S_OK);
    EXPECT_EQ(text.Str(), row.infix);
    ASSERT_EQ(directory->GetQuillonApplicationProgIdForLanguage(row.id, text.Out()), S_OK);
    EXPECT_EQ(text.Str(), application);
    ASSERT_EQ(directory->GetQuillonServicesProgIdForLanguage(row.id, text.Out()), S_OK);
    EXPECT_EQ(text.Str(), services);
    // A release's own classes carry its interface version (2.51: ".2.50").
    ASSERT_EQ(revision->GetQuillonApplicationProgIdForLanguage(row.id, text.Out()), S_OK);
    EXPECT_EQ(text.Str(), application + OLESTR(".2.50"));
    ASSERT_EQ(revision->GetQuillonServicesProgIdForLanguage(row.id, text.Out()), S_OK);
    EXPECT_EQ(text.Str(), services + OLESTR(".2.50"));
  }
  Bstr text;
  EXPECT_EQ(directory->get_QuillonApplicationProgId(text.Out()), S_OK);
  EXPECT_EQ(text.Str(), WString(OLESTR("Quillon.Application")));
  EXPECT_EQ(revision->get_QuillonServicesProgId(text.Out()), S_OK);
  EXPECT_EQ(text.Str(), WString(OLESTR("QuillonServices.TesselServices.2.50")));

  // Late bound, as a script asks.
  VARIANT arg, result;
  VariantInit(&result);
  V_VT(&arg) = VT_I4;
  V_I4(&arg) = German;
  ASSERT_EQ(
      InvokeByName(revision.Get(), OLESTR("GetQuillonServicesProgIdForLanguage"), DISPATCH_METHOD, &arg, 1, &result),
      S_OK);
  ASSERT_EQ(V_VT(&result), VT_BSTR);
  EXPECT_EQ(WString(V_BSTR(&result)), WString(OLESTR("QuillonServices.German.TesselServices.2.50")));
  VariantClear(&result);
}

TEST_F(ProgIds, OtherLanguageIdsAreRefused) {
  ComPtr<IRevisionDirectory_V6> fresh;
  ASSERT_EQ(NewDirectory(fresh.Out()), S_OK);
  Bstr text;
  // Before Initialize the directory has no language.
  EXPECT_EQ(fresh->get_QuillonApplicationProgId(text.Out()), RdE_InvalidLanguageId);
  EXPECT_TRUE(text.IsNull());
  auto directory = InitializedDirectory();
  ComPtr<IRevision> found;
  ASSERT_EQ(directory->GetRevisionFromSoftwareVersion(15, 1, found.Out()), S_OK);
  ComPtr<IRevision_V2> revision;
  ASSERT_EQ(found->QueryInterface(IID_IRevision_V2, revision.OutVoid()), S_OK);
  // A sub-language or a neighbour of a supported id is no supported id.
  for (LONG id : {0L, -1L, 1030L, 3081L, 2057L, 1032L, 0x10409L}) {
    SCOPED_TRACE(id);
    auto language = static_cast<RdSupportedLanguages>(id);
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(directory->GetProgIdLanguage(language, text.Out()), RdE_InvalidLanguageId);
    EXPECT_TRUE(text.IsNull());
    EXPECT_TRUE(TakeErrorInfo().present);
    EXPECT_EQ(directory->GetQuillonServicesProgIdForLanguage(language, text.Out()), RdE_InvalidLanguageId);
    EXPECT_EQ(revision->GetQuillonApplicationProgIdForLanguage(language, text.Out()), RdE_InvalidLanguageId);
    EXPECT_TRUE(text.IsNull());
  }
  EXPECT_EQ(revision->GetProgIdLanguage(English, nullptr), E_INVALIDARG);
  ComPtr<IRevision_V2> unbound;
  ASSERT_EQ(CoCreateInstance(CLSID_Revision, nullptr, CLSCTX_INPROC_SERVER, IID_IRevision_V2, unbound.OutVoid()), S_OK);
  EXPECT_EQ(unbound->get_QuillonApplicationProgId(text.Out()), RdE_InvalidRevisionInternalState);
  EXPECT_EQ(unbound->GetProgIdLanguage(French, text.Out()), S_OK) << "needs no record";
}

namespace {

// The stand-in server registered under release 15's English ProgIds, as
// the application's installer registers its classes.
class AutomationObjects : public MachineKeysTest {
 protected:
  void SetUp() override {
    for (auto [progId, clsid] : {std::pair{kApplication, STANDIN_APPLICATION_CLSID_TEXT},
                                 std::pair{kServices, STANDIN_SERVICES_CLSID_TEXT}}) {
      WString clsidText(clsid, clsid + strlen(clsid));
      SetMachineString((kClasses + progId + OLESTR("\\CLSID")).c_str(), nullptr, clsidText.c_str());
      WString server = kClasses + OLESTR("CLSID\\") + clsidText + OLESTR("\\InprocServer32");
      std::string module = FixtureFileA(REVDIR_STANDIN_SERVER);
      SetMachineString(server.c_str(), nullptr, WString(module.begin(), module.end()).c_str());
      SetMachineString(server.c_str(), OLESTR("ThreadingModel"), OLESTR("Both"));
    }
  }
  void TearDown() override {
    for (const WCHAR *key : {kApplication, kServices}) DeleteMachineTree((kClasses + key).c_str());
    for (const char *clsid : {STANDIN_APPLICATION_CLSID_TEXT, STANDIN_SERVICES_CLSID_TEXT})
      DeleteMachineTree((kClasses + OLESTR("CLSID\\") + WString(clsid, clsid + strlen(clsid))).c_str());
    MachineKeysTest::TearDown();
  }
  static bool Property(IDispatch *object, const WCHAR *name) {
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(InvokeByName(object, name, DISPATCH_PROPERTYGET, nullptr, 0, &result), S_OK);
    return V_VT(&result) == VT_BOOL && V_BOOL(&result) == VARIANT_TRUE;
  }
  ComPtr<IRevision_V2> Release15() {
    Keep(InitializedDirectory());
    ComPtr<IRevision> found;
    EXPECT_EQ(m_directory->GetRevisionFromSoftwareVersion(15, 1, found.Out()), S_OK);
    ComPtr<IRevision_V2> revision;
    if (found) {
      EXPECT_EQ(found->QueryInterface(IID_IRevision_V2, revision.OutVoid()), S_OK);
    }
    return ComPtr<IRevision_V2>(revision.Get() ? (revision->AddRef(), revision.Get()) : nullptr);
  }

  void Keep(ComPtr<IRevisionDirectory_V6> &&directory) {
    directory->AddRef();
    *m_directory.Out() = directory.Get();
  }

  static inline const WString kClasses = OLESTR("SOFTWARE\\Classes\\");
  static constexpr const WCHAR *kApplication = OLESTR("Quillon.Application.15.00");
  static constexpr const WCHAR *kServices = OLESTR("QuillonServices.TesselServices.15.00");
  ComPtr<IRevisionDirectory_V6> m_directory;
};

}  // namespace

TEST_F(AutomationObjects, AreCreatedThroughTheRegistryAndOnlyTheApplicationIsRun) {
  auto revision = Release15();
  ASSERT_TRUE(revision);
  ComPtr<IDispatch> application, services;
  ASSERT_EQ(revision->CreateQuillonApplicationInstance(application.Out()), S_OK);
  EXPECT_TRUE(Property(application.Get(), OLESTR("IsApplication")));
  EXPECT_TRUE(Property(application.Get(), OLESTR("WasRun")));
  ASSERT_EQ(revision->CreateQuillonServicesInstance(services.Out()), S_OK);
  EXPECT_FALSE(Property(services.Get(), OLESTR("IsApplication")));
  EXPECT_FALSE(Property(services.Get(), OLESTR("WasRun")));
}

TEST_F(AutomationObjects, UnregisteredProgIdFailsWithTheLookupsCode) {
  auto revision = Release15();
  DeleteMachineTree((kClasses + kApplication).c_str());
  ComPtr<IDispatch> object;
  HRESULT hr = revision->CreateQuillonApplicationInstance(object.Out());
  EXPECT_EQ(hr, CO_E_CLASSSTRING);
  EXPECT_FALSE(object);
  EXPECT_TRUE(TakeErrorInfo().present);
  EXPECT_EQ(revision->CreateQuillonServicesInstance(nullptr), E_INVALIDARG);
}

TEST_F(AutomationObjects, RunningApplicationIsFoundByItsProjectPath) {
  // The application registers each open project under its file's moniker.
  ComPtr<IDispatch> application;
  ASSERT_EQ(
      CoCreateInstance(CLSID_StandInApplication, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, application.OutVoid()),
      S_OK);
  const WCHAR *project = OLESTR("C:\\Projects\\Line 4.ACD");
  ComPtr<IMoniker> moniker;
  ASSERT_EQ(CreateFileMoniker(project, moniker.Out()), S_OK);
  ComPtr<IRunningObjectTable> table;
  ASSERT_EQ(GetRunningObjectTable(0, table.Out()), S_OK);
  DWORD cookie = 0;
  ASSERT_TRUE(SUCCEEDED(table->Register(ROTFLAGS_REGISTRATIONKEEPSALIVE, application.Get(), moniker.Get(), &cookie)));

  auto directory = InitializedDirectory();
  ComPtr<IDispatch> found;
  Bstr path(project);
  EXPECT_EQ(directory->FindQuillonApplicationInstance(path.Get(), found.Out()), S_OK);
  ComPtr<IUnknown> a, b;
  if (found) {
    found->QueryInterface(IID_IUnknown, b.OutVoid());
    application->QueryInterface(IID_IUnknown, a.OutVoid());
    EXPECT_EQ(a.Get(), b.Get()) << "the registered object itself";
  }
  ASSERT_EQ(table->Revoke(cookie), S_OK);

  SetErrorInfo(0, nullptr);
  EXPECT_EQ(directory->FindQuillonApplicationInstance(path.Get(), found.Out()), RdE_FileNotOpenedByQuillon);
  EXPECT_FALSE(found);
  EXPECT_TRUE(TakeErrorInfo().present);
  EXPECT_EQ(directory->FindQuillonApplicationInstance(nullptr, found.Out()), RdE_FileNotOpenedByQuillon);
  EXPECT_EQ(directory->FindQuillonApplicationInstance(path.Get(), nullptr), E_INVALIDARG);
}
