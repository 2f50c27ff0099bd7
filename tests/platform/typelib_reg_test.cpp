// Registration of a type library under HKEY_CLASSES_ROOT, and finding it
// again by LIBID, version and locale, as oleaut32 does it.
#include <windows.h>

#include <objbase.h>
#include <oleauto.h>
#include <winreg.h>

#include <string>

#include "Fixture.h"
#include "QuillonRevisionDirectory.h"
#include "conformance.h"
#include "fresh_prefix.h"

#define WIDE_TEXT(s) OLESTR(s)

#ifdef _WIN32
// oleaut32 exports them; mingw-w64's header does not declare them.
extern "C" {
HRESULT WINAPI RegisterTypeLibForUser(ITypeLib *, OLECHAR *, OLECHAR *);
HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID, WORD, WORD, LCID, SYSKIND);
void WINAPI OaEnablePerUserTLibRegistration(void);
}
#endif

namespace {

using WString = std::basic_string<WCHAR>;

WString GuidKey(REFGUID g) {
  WCHAR buf[39];
  StringFromGUID2(g, buf, 39);
  return buf;
}

// The default value (name null) or a named value of a key under HKEY_CLASSES_ROOT.
std::string Value(const WString &key, const WCHAR *name = nullptr) {
  HKEY h;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return "(no key)";
  WCHAR buf[512] = {};
  DWORD size = sizeof buf - sizeof(WCHAR), type = kSentinel;
  LSTATUS st = RegQueryValueExW(h, name, nullptr, &type, reinterpret_cast<BYTE *>(buf), &size);
  RegCloseKey(h);
  if (st != ERROR_SUCCESS) return "(no value)";
  return type == REG_SZ ? Printable(buf) : "(not REG_SZ)";
}

std::string WinePrefixed(const std::string &path) {
  std::string s = "\\\\?\\";
  s += path;
  return s;
}

bool KeyExists(const WString &key) {
  HKEY h;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

TEST(TypeLibRegistration, RegisterFindAndUnregister) {
  UseFreshPrefix();
  const WString file = FixtureFile(WIDE_TEXT(FIXTURE_TLB));
  const WCHAR *path = file.c_str();
  const WString libKey = OLESTR("TypeLib\\") + GuidKey(LIBID_FixtureLib);
  const WString itfKey = OLESTR("Interface\\") + GuidKey(IID_IFixture);
  UnRegisterTypeLib(LIBID_FixtureLib, 1, 2, 0, SYS_WIN64);  // left over from an interrupted run

  ITypeLib *lib = nullptr;
  EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, LoadRegTypeLib(LIBID_FixtureLib, 1, 2, 0, &lib));
  ASSERT_EQ(S_OK, LoadTypeLibEx(path, REGKIND_REGISTER, &lib));
  lib->Release();
  lib = nullptr;

  EXPECT_EQ("Fixture 1.2 Type Library", Value(libKey + OLESTR("\\1.2")));
  const std::string winePath = WinePrefixed(Printable(path));
  EXPECT_EQ_OR_WINE(Printable(path), winePath, Value(libKey + OLESTR("\\1.2\\0\\win64")),
                    "Wine registers the path that LoadTypeLibEx was given with a \\\\?\\ prefix");
  EXPECT_EQ_OR_WINE("0", "8", Value(libKey + OLESTR("\\1.2\\FLAGS")), "Wine writes the loaded library's LIBFLAG_FHASDISKIMAGE into FLAGS");
  std::string dir = Printable(path);
  dir = dir.substr(0, dir.find_last_of("\\/"));
  EXPECT_EQ_OR_WINE(dir, WinePrefixed(dir), Value(libKey + OLESTR("\\1.2\\HELPDIR")), "Wine registers the help folder with a \\\\?\\ prefix");
  EXPECT_EQ("IFixture", Value(itfKey));
  EXPECT_EQ("{00020424-0000-0000-C000-000000000046}", Value(itfKey + OLESTR("\\ProxyStubClsid32")));
  EXPECT_EQ("{00020424-0000-0000-C000-000000000046}", Value(itfKey + OLESTR("\\ProxyStubClsid")));
  EXPECT_EQ(Printable(GuidKey(LIBID_FixtureLib).c_str()), Value(itfKey + OLESTR("\\TypeLib")));
  EXPECT_EQ("1.2", Value(itfKey + OLESTR("\\TypeLib"), OLESTR("Version")));
  EXPECT_EQ("IFixItem", Value(OLESTR("Interface\\") + GuidKey(IID_IFixItem)));

  // Found by an equal or lower minor version, and from any locale through the neutral one.
  BSTR found = nullptr;
  ASSERT_EQ(S_OK, QueryPathOfRegTypeLib(LIBID_FixtureLib, 1, 0, 0x0409, &found));
  EXPECT_EQ_OR_WINE(Printable(path), winePath, Printable(found),
                    "Wine registers the path that LoadTypeLibEx was given with a \\\\?\\ prefix");
  SysFreeString(found);
  ASSERT_EQ(S_OK, LoadRegTypeLib(LIBID_FixtureLib, 1, 2, 0x0407, &lib));
  TLIBATTR *attr = nullptr;
  ASSERT_EQ(S_OK, lib->GetLibAttr(&attr));
  EXPECT_TRUE(IsEqualGUID(LIBID_FixtureLib, attr->guid));
  lib->ReleaseTLibAttr(attr);
  lib->Release();
  lib = reinterpret_cast<ITypeLib *>(static_cast<uintptr_t>(kSentinel));
  EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, LoadRegTypeLib(LIBID_FixtureLib, 1, 3, 0, &lib));
  EXPECT_EQ(nullptr, lib);
  EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, LoadRegTypeLib(LIBID_FixtureLib, 2, 0, 0, &lib));
  found = reinterpret_cast<BSTR>(static_cast<uintptr_t>(kSentinel));
  EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, QueryPathOfRegTypeLib(IID_IFixture, 1, 0, 0, &found));
  EXPECT_EQ_OR_WINE(nullptr, reinterpret_cast<BSTR>(static_cast<uintptr_t>(kSentinel)), found, "Wine leaves the out BSTR as it was on failure");

  ASSERT_EQ(S_OK, UnRegisterTypeLib(LIBID_FixtureLib, 1, 2, 0, SYS_WIN64));
  EXPECT_FALSE(KeyExists(libKey));
  EXPECT_FALSE(KeyExists(itfKey));
  EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, LoadRegTypeLib(LIBID_FixtureLib, 1, 2, 0, &lib));
  EXPECT_EQ_OR_WINE(TYPE_E_REGISTRYACCESS, E_INVALIDARG, UnRegisterTypeLib(LIBID_FixtureLib, 1, 2, 0, SYS_WIN64), "Wine answers E_INVALIDARG for a library that is not registered");
}

// A library with a locale is registered under that locale and found from
// any locale that a client passes, as the component loads its own.
TEST(TypeLibRegistration, LibraryWithALocale) {
  UseFreshPrefix();
  const WString file = FixtureFile(WIDE_TEXT(COMPONENT_TLB));
  const WCHAR *path = file.c_str();
  const WString libKey = OLESTR("TypeLib\\") + GuidKey(LIBID_QuillonRevisionDirectoryLib);
  ITypeLib *lib = nullptr;
  ASSERT_EQ(S_OK, LoadTypeLib(path, &lib));
  ASSERT_EQ(S_OK, RegisterTypeLib(lib, const_cast<LPOLESTR>(path), nullptr));
  lib->Release();
  EXPECT_EQ(Printable(path), Value(libKey + OLESTR("\\7.0\\409\\win64")));
  EXPECT_EQ("IRevisionDirectory_V6", Value(OLESTR("Interface\\") + GuidKey(IID_IRevisionDirectory_V6)));
  for (LCID lcid : {0x409u, 0x809u, 0u}) {
    lib = nullptr;
    // Wine falls back from a locale to its primary language and to neutral only.
    if (lcid == 0x409u)
      EXPECT_EQ(S_OK, LoadRegTypeLib(LIBID_QuillonRevisionDirectoryLib, 7, 0, lcid, &lib)) << "lcid " << lcid;
    else
      EXPECT_EQ_OR_WINE(S_OK, TYPE_E_LIBNOTREGISTERED,
                        LoadRegTypeLib(LIBID_QuillonRevisionDirectoryLib, 7, 0, lcid, &lib), "Wine falls back from a locale to its primary language and to neutral only");
    if (lib) lib->Release();
  }
  EXPECT_EQ_OR_WINE(TYPE_E_REGISTRYACCESS, E_INVALIDARG,
                    UnRegisterTypeLib(LIBID_QuillonRevisionDirectoryLib, 7, 0, 0, SYS_WIN64), "Wine answers E_INVALIDARG for a locale the library is not registered in");
  ASSERT_EQ(S_OK, UnRegisterTypeLib(LIBID_QuillonRevisionDirectoryLib, 7, 0, 0x409, SYS_WIN64));
  EXPECT_FALSE(KeyExists(libKey));
  EXPECT_FALSE(KeyExists(OLESTR("Interface\\") + GuidKey(IID_IRevisionDirectory_V6)));
}

// Whether the user's or the machine's classes hold `key`.
bool ClassKeyIn(HKEY root, const WString &key) {
  HKEY h;
  if (RegOpenKeyExW(root, (OLESTR("Software\\Classes\\") + key).c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
    return false;
  RegCloseKey(h);
  return true;
}

// Per user: the *ForUser functions write below HKEY_CURRENT_USER's classes
// only; RegisterTypeLib follows HKEY_CLASSES_ROOT mapped there once per-user
// registration is enabled, as an installer without administrator rights does.
TEST(TypeLibRegistration, PerUser) {
  UseFreshPrefix();
  const WString file = FixtureFile(WIDE_TEXT(FIXTURE_TLB));
  const WString fileKey = OLESTR("TypeLib\\") + GuidKey(LIBID_FixtureLib) + OLESTR("\\1.2\\0\\win64");
  const WString itfKey = OLESTR("Interface\\") + GuidKey(IID_IFixture);
  ITypeLib *lib = nullptr;
  ASSERT_EQ(S_OK, LoadTypeLibEx(file.c_str(), REGKIND_NONE, &lib));
  ASSERT_EQ(S_OK, RegisterTypeLibForUser(lib, const_cast<OLECHAR *>(file.c_str()), nullptr));
  if (RunningUnderWine() && !ClassKeyIn(HKEY_CURRENT_USER, fileKey)) {
    // Wine registers the library for the machine when asked for the user.
    EXPECT_EQ(S_OK, UnRegisterTypeLib(LIBID_FixtureLib, 1, 2, 0, SYS_WIN64));
  } else {
    EXPECT_TRUE(ClassKeyIn(HKEY_CURRENT_USER, fileKey));
    EXPECT_TRUE(ClassKeyIn(HKEY_CURRENT_USER, itfKey));
    EXPECT_FALSE(ClassKeyIn(HKEY_LOCAL_MACHINE, fileKey));
    EXPECT_FALSE(ClassKeyIn(HKEY_LOCAL_MACHINE, itfKey));
    ASSERT_EQ(S_OK, UnRegisterTypeLibForUser(LIBID_FixtureLib, 1, 2, 0, SYS_WIN64));
    EXPECT_FALSE(ClassKeyIn(HKEY_CURRENT_USER, OLESTR("TypeLib\\") + GuidKey(LIBID_FixtureLib)));
    EXPECT_FALSE(ClassKeyIn(HKEY_CURRENT_USER, itfKey));
  }

  HKEY user;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, OLESTR("Software\\Classes"), 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, &user, nullptr));
  // Wine (8.0) aborts in this function, and follows the mapping without it.
  if (!RunningUnderWine()) OaEnablePerUserTLibRegistration();
  ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CLASSES_ROOT, user));
  EXPECT_EQ(S_OK, RegisterTypeLib(lib, const_cast<OLECHAR *>(file.c_str()), nullptr));
  EXPECT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr));
  EXPECT_TRUE(ClassKeyIn(HKEY_CURRENT_USER, fileKey));
  EXPECT_FALSE(ClassKeyIn(HKEY_LOCAL_MACHINE, fileKey));
  ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CLASSES_ROOT, user));
  EXPECT_EQ(S_OK, UnRegisterTypeLib(LIBID_FixtureLib, 1, 2, 0, SYS_WIN64));
  EXPECT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr));
  RegCloseKey(user);
  EXPECT_FALSE(ClassKeyIn(HKEY_CURRENT_USER, OLESTR("TypeLib\\") + GuidKey(LIBID_FixtureLib)));
  lib->Release();
}

}  // namespace
