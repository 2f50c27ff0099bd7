// The module's version resource as a client reads it (version.dll), and the
// registration for one user that an installer without administrator rights
// makes: HKEY_CLASSES_ROOT mapped to the user's classes for the entry point.
#include <string>

#include "component_fixture.h"
#include "conformance.h"

namespace {

WString ModuleFile() {
  WCHAR path[MAX_PATH * 4];
  DWORD n = GetModuleFileNameW(ComponentModule(), path, MAX_PATH * 4);
  return WString(path, n < MAX_PATH * 4 ? n : 0);
}

// A string of the version resource's English (United States), Unicode table.
std::string VersionString(const std::vector<BYTE> &info, const WCHAR *name) {
  WCHAR *text = nullptr;
  UINT chars = 0;
  const WString path = OLESTR("\\StringFileInfo\\040904b0\\") + WString(name);
  if (!VerQueryValueW(info.data(), path.c_str(), reinterpret_cast<void **>(&text), &chars)) return "(none)";
  return platform::Narrow(WString(text, chars && !text[chars - 1] ? chars - 1 : chars));
}

TEST(VersionResource, IsTheProjectsVersion) {
  const WString file = ModuleFile();
  ASSERT_FALSE(file.empty());
  DWORD handle = kSentinel;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &handle);
  ASSERT_GT(size, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(handle, 0u);
  std::vector<BYTE> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(file.c_str(), 0, size, info.data()));

  VS_FIXEDFILEINFO *fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), OLESTR("\\"), reinterpret_cast<void **>(&fixed), &length));
  ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, static_cast<DWORD>(VS_FFI_SIGNATURE));
  EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(MAKELONG(REVDIR_VERSION_MINOR, REVDIR_VERSION_MAJOR)));
  EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(MAKELONG(0, REVDIR_VERSION_PATCH)));
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

  EXPECT_EQ(VersionString(info, OLESTR("FileVersion")), REVDIR_VERSION ".0");
  EXPECT_EQ(VersionString(info, OLESTR("ProductVersion")), REVDIR_VERSION);
  const std::string name = platform::Narrow(file.substr(file.find_last_of(OLESTR("\\/")) + 1));
  EXPECT_EQ(VersionString(info, OLESTR("originalfilename")), name) << "keys match ignoring case";
  EXPECT_EQ(VersionString(info, OLESTR("NoSuchValue")), "(none)");

  WORD *translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(info.data(), OLESTR("\\VarFileInfo\\Translation"), reinterpret_cast<void **>(&translation),
                             &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(translation[0], 0x0409);
  EXPECT_EQ(translation[1], 1200);

  // A buffer too short for the whole resource holds what fits and no more.
  std::vector<BYTE> shortCopy(64, 0xCC);
  ASSERT_TRUE(GetFileVersionInfoW(file.c_str(), 0, 40, shortCopy.data()));
  EXPECT_EQ(shortCopy[40], 0xCC);
  EXPECT_FALSE(VerQueryValueW(shortCopy.data(), OLESTR("\\VarFileInfo\\Translation"),
                              reinterpret_cast<void **>(&translation), &length));
}

TEST(VersionResource, MissingOrOtherFilesHaveNone) {
  DWORD handle = kSentinel;
  ResetLastError();
  EXPECT_EQ(GetFileVersionInfoSizeW(OLESTR("C:\\no\\such\\module.dll"), &handle), 0u);
  EXPECT_TRUE(GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND) << GetLastError();
  // The test program itself carries no version resource.
  WCHAR self[MAX_PATH * 4];
  ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH * 4), 0u);
  ResetLastError();
  EXPECT_EQ(GetFileVersionInfoSizeW(self, &handle), 0u);
  EXPECT_NE(GetLastError(), kSentinel);
}

// Maps HKEY_CLASSES_ROOT to the user's classes around one entry point, with
// RegisterTypeLib told to follow the mapping.
HRESULT CallEntryForUser(const char *entry) {
  HKEY classes;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, OLESTR("Software\\Classes"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &classes,
                      nullptr) != ERROR_SUCCESS)
    return E_FAIL;
  EXPECT_EQ(RegOverridePredefKey(HKEY_CLASSES_ROOT, classes), ERROR_SUCCESS);
  SetEnvironmentVariableW(OLESTR("OAPERUSERTLIBREG"), OLESTR("1"));
  HRESULT hr = CallEntry(entry);
  SetEnvironmentVariableW(OLESTR("OAPERUSERTLIBREG"), nullptr);
  EXPECT_EQ(RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr), ERROR_SUCCESS);
  RegCloseKey(classes);
  return hr;
}

// What registration writes, below one hive's classes.
std::vector<WString> OurClassKeys() {
  return {OLESTR("Software\\Classes\\QuillonRevisionDirectory.RevisionDirectory"),
          OLESTR("Software\\Classes\\CLSID\\") + GuidString(CLSID_RevisionDirectory),
          OLESTR("Software\\Classes\\TypeLib\\") + GuidString(LIBID_QuillonRevisionDirectoryLib),
          OLESTR("Software\\Classes\\Interface\\") + GuidString(IID_IRevisionDirectory_V6)};
}

TEST(PerUserRegistration, ActivatesFromTheUsersClassesAndIsUndoneCompletely) {
  ASSERT_EQ(CallEntry("DllUnregisterServer"), S_OK);  // the program's own registration comes back at the end
  ASSERT_EQ(CallEntryForUser("DllRegisterServer"), S_OK);
  for (const WString &key : OurClassKeys()) {
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, key)) << platform::Narrow(key);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key)) << platform::Narrow(key);
  }
  CLSID clsid{};
  HRESULT hr = CLSIDFromProgID(OLESTR("QuillonRevisionDirectory.RevisionDirectory"), &clsid);
  IRevisionDirectory_V6 *directory = nullptr;
  if (SUCCEEDED(hr))
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IRevisionDirectory_V6,
                          reinterpret_cast<void **>(&directory));
  if (directory) directory->Release();
  // Wine looks classes up among the machine's only.
  const bool wineMachineOnly = RunningUnderWine() && (hr == CO_E_CLASSSTRING || hr == REGDB_E_CLASSNOTREG);
  if (!wineMachineOnly) {
    EXPECT_EQ(hr, S_OK);
  }

  EXPECT_EQ(CallEntryForUser("DllUnregisterServer"), S_OK);
  for (const WString &key : OurClassKeys()) EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, key)) << platform::Narrow(key);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, OLESTR("Software\\Classes\\CLSID"))) << "the CLSID key stays";
  ASSERT_EQ(CallEntry("DllRegisterServer"), S_OK);
}

}  // namespace
