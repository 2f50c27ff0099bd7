// Registration of a type library under HKEY_CLASSES_ROOT, and finding it
// again by LIBID, version and locale, as oleaut32 does it.
#include <oleauto.h>
#include <winreg.h>

#include <string>

#include "Fixture.h"
#include "conformance.h"

#define WIDE_(s) W(s)

namespace {

std::u16string GuidKey(REFGUID g) {
  WCHAR buf[40];
  // Formatted by hand: the test must not depend on the helpers it checks.
  const char *hex = "0123456789ABCDEF";
  const BYTE *b = g.Data4;
  unsigned parts[] = {static_cast<unsigned>(g.Data1), g.Data2, g.Data3};
  int widths[] = {8, 4, 4};
  int n = 0;
  buf[n++] = u'{';
  for (int p = 0; p < 3; ++p) {
    for (int k = widths[p] - 1; k >= 0; --k) buf[n++] = hex[(parts[p] >> (4 * k)) & 0xF];
    buf[n++] = u'-';
  }
  for (int k = 0; k < 8; ++k) {
    if (k == 2) buf[n++] = u'-';
    buf[n++] = hex[b[k] >> 4];
    buf[n++] = hex[b[k] & 0xF];
  }
  buf[n++] = u'}';
  return std::u16string(buf, n);
}

// The default value (name null) or a named value of a key under HKEY_CLASSES_ROOT.
std::string Value(const std::u16string &key, const WCHAR *name = nullptr) {
  HKEY h;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return "(no key)";
  WCHAR buf[512] = {};
  DWORD size = sizeof buf - sizeof(WCHAR), type = kSentinel;
  LSTATUS st = RegQueryValueExW(h, name, nullptr, &type, reinterpret_cast<BYTE *>(buf), &size);
  RegCloseKey(h);
  if (st != ERROR_SUCCESS) return "(no value)";
  return type == REG_SZ ? Narrow(buf) : "(not REG_SZ)";
}

bool KeyExists(const std::u16string &key) {
  HKEY h;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

TEST(TypeLibRegistration, RegisterFindAndUnregister) {
  const WCHAR *path = WIDE_(FIXTURE_TLB);
  const std::u16string libKey = u"TypeLib\\" + GuidKey(LIBID_FixtureLib);
  const std::u16string itfKey = u"Interface\\" + GuidKey(IID_IFixture);
  UnRegisterTypeLib(LIBID_FixtureLib, 1, 2, 0, SYS_WIN64);  // left over from an interrupted run

  ITypeLib *lib = nullptr;
  EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, LoadRegTypeLib(LIBID_FixtureLib, 1, 2, 0, &lib));
  ASSERT_EQ(S_OK, LoadTypeLibEx(path, REGKIND_REGISTER, &lib));
  lib->Release();
  lib = nullptr;

  EXPECT_EQ("Fixture 1.2 Type Library", Value(libKey + u"\\1.2"));
  EXPECT_EQ(Narrow(path), Value(libKey + u"\\1.2\\0\\win64"));
  EXPECT_EQ("0", Value(libKey + u"\\1.2\\FLAGS"));
  std::string dir = Narrow(path);
  dir = dir.substr(0, dir.find_last_of("\\/"));
  EXPECT_EQ(dir, Value(libKey + u"\\1.2\\HELPDIR"));
  EXPECT_EQ("IFixture", Value(itfKey));
  EXPECT_EQ("{00020424-0000-0000-C000-000000000046}", Value(itfKey + u"\\ProxyStubClsid32"));
  EXPECT_EQ("{00020424-0000-0000-C000-000000000046}", Value(itfKey + u"\\ProxyStubClsid"));
  EXPECT_EQ(Narrow(GuidKey(LIBID_FixtureLib).c_str()), Value(itfKey + u"\\TypeLib"));
  EXPECT_EQ("1.2", Value(itfKey + u"\\TypeLib", u"Version"));
  EXPECT_EQ("IFixItem", Value(u"Interface\\" + GuidKey(IID_IFixItem)));

  // Found by an equal or lower minor version, and from any locale through the neutral one.
  BSTR found = nullptr;
  ASSERT_EQ(S_OK, QueryPathOfRegTypeLib(LIBID_FixtureLib, 1, 0, 0x0409, &found));
  EXPECT_EQ(Narrow(path), Narrow(found));
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
  EXPECT_EQ(nullptr, found);

  ASSERT_EQ(S_OK, UnRegisterTypeLib(LIBID_FixtureLib, 1, 2, 0, SYS_WIN64));
  EXPECT_FALSE(KeyExists(libKey));
  EXPECT_FALSE(KeyExists(itfKey));
  EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, LoadRegTypeLib(LIBID_FixtureLib, 1, 2, 0, &lib));
  EXPECT_EQ(TYPE_E_REGISTRYACCESS, UnRegisterTypeLib(LIBID_FixtureLib, 1, 2, 0, SYS_WIN64));
}

}  // namespace
