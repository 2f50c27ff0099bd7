// The registry API as Windows behaves: keys, values, enumeration, access
// rights, deletion and the error numbers. Every test works below one scratch
// key of HKEY_CURRENT_USER, on Linux in a fresh prefix.
#include <windows.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "conformance.h"
#include "fresh_prefix.h"

#ifndef _WIN32
#include <stdlib.h>

#include <filesystem>
#endif

namespace {

using WString = std::basic_string<WCHAR>;

const WCHAR kRoot[] = OLESTR("Software\\RevdirRegistryTest");

std::vector<BYTE> Bytes(const void *p, size_t n) {
  auto b = static_cast<const BYTE *>(p);
  return std::vector<BYTE>(b, b + n);
}

class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef _WIN32
    char dir[] = "/tmp/revdir-regtest-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    m_prefix = dir;
    m_prefixOverride.Use(dir);
#endif
    RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);
    DWORD disp = kSentinel;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kRoot, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_root, &disp),
              ERROR_SUCCESS);
    EXPECT_EQ(disp, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  }
  void TearDown() override {
    RegCloseKey(m_root);
    RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);
#ifndef _WIN32
    std::filesystem::remove_all(m_prefix);
#endif
  }

  HKEY Create(HKEY parent, const WCHAR *name, REGSAM sam = KEY_ALL_ACCESS) {
    HKEY k = nullptr;
    EXPECT_EQ(RegCreateKeyExW(parent, name, 0, nullptr, 0, sam, nullptr, &k, nullptr), ERROR_SUCCESS)
        << Printable(name);
    return k;
  }
  void Set(HKEY k, const WCHAR *name, DWORD type, const void *data, DWORD size) {
    EXPECT_EQ(RegSetValueExW(k, name, 0, type, static_cast<const BYTE *>(data), size), ERROR_SUCCESS)
        << Printable(name);
  }
  void SetDword(HKEY k, const WCHAR *name, DWORD v) { Set(k, name, REG_DWORD, &v, sizeof v); }
  std::vector<WString> SubkeyNames(HKEY k) {
    std::vector<WString> names;
    WCHAR name[256];
    for (DWORD i = 0;; ++i) {
      DWORD cch = 256;
      LONG r = RegEnumKeyExW(k, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
      if (r == ERROR_NO_MORE_ITEMS) break;
      EXPECT_EQ(r, ERROR_SUCCESS);
      if (r) break;
      names.emplace_back(name, cch);
    }
    return names;
  }

  std::string m_prefix;
#ifndef _WIN32
  PrefixOverride m_prefixOverride;
#endif
  HKEY m_root = nullptr;
};

TEST_F(Registry, CreateAndOpenFollowPathsAndIgnoreCase) {
  HKEY deep = nullptr;
  DWORD disp = kSentinel;
  ASSERT_EQ(RegCreateKeyExW(m_root, OLESTR("Alpha\\Beta\\Gamma"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &deep, &disp),
            ERROR_SUCCESS);
  EXPECT_EQ(disp, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  SetDword(deep, OLESTR("n"), 7);
  RegCloseKey(deep);

  HKEY again = nullptr;
  disp = kSentinel;
  ASSERT_EQ(RegCreateKeyExW(m_root, OLESTR("ALPHA\\beta\\gamma"), 0, nullptr, 0, KEY_READ, nullptr, &again, &disp),
            ERROR_SUCCESS);
  EXPECT_EQ(disp, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  DWORD v = 0, size = sizeof v, type = kSentinel;
  EXPECT_EQ(RegQueryValueExW(again, OLESTR("N"), nullptr, &type, reinterpret_cast<BYTE *>(&v), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(v, 7u);
  RegCloseKey(again);

  // Names keep the case they were created with; a trailing backslash is fine.
  EXPECT_EQ(SubkeyNames(m_root), std::vector<WString>{OLESTR("Alpha")});
  HKEY k = nullptr;
  EXPECT_EQ(RegOpenKeyExW(m_root, OLESTR("alpha\\BETA\\"), 0, KEY_READ, &k), ERROR_SUCCESS);
  RegCloseKey(k);
  EXPECT_EQ(RegOpenKeyW(HKEY_CURRENT_USER, OLESTR("Software\\RevdirRegistryTest\\Alpha"), &k), ERROR_SUCCESS);
  RegCloseKey(k);

  // Missing keys, bad arguments.
  k = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(kSentinel));
  EXPECT_EQ(RegOpenKeyExW(m_root, OLESTR("Alpha\\Missing"), 0, KEY_READ, &k), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(k, nullptr);
  EXPECT_EQ(RegOpenKeyExW(m_root, OLESTR("Alpha"), 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCreateKeyExW(m_root, OLESTR("\\Lead"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
            ERROR_BAD_PATHNAME);
  if (!RunningUnderWine()) {  // Wine writes through the null result pointer
    EXPECT_EQ(RegCreateKeyExW(m_root, OLESTR("Alpha"), 0, nullptr, 0, KEY_READ, nullptr, nullptr, nullptr),
              ERROR_BADKEY);
  }

  // Name limits: 255 characters per key name, 16383 per value name.
  WString name255(255, OLESTR('k')), name256(256, OLESTR('k'));
  EXPECT_EQ(RegCreateKeyW(m_root, name255.c_str(), &k), ERROR_SUCCESS);
  RegCloseKey(k);
  EXPECT_EQ_OR_WINE(ERROR_INVALID_PARAMETER, ERROR_SUCCESS, RegCreateKeyW(m_root, name256.c_str(), &k),
                    "Wine takes longer key names");
  if (RunningUnderWine()) RegCloseKey(k);
  WString value16383(16383, OLESTR('v')), value16384(16384, OLESTR('v'));
  DWORD one = 1;
  EXPECT_EQ(RegSetValueExW(m_root, value16383.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE *>(&one), 4), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(m_root, value16384.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE *>(&one), 4),
            ERROR_INVALID_PARAMETER);
}

TEST_F(Registry, SubkeysEnumerateSortedByUpperCase) {
  // Compared upper-cased, '_' (0x5F) sorts after letters.
  for (const WCHAR *n : {OLESTR("b"), OLESTR("_x"), OLESTR("A"), OLESTR("c"), OLESTR("Bz")})
    RegCloseKey(Create(m_root, n));
  if (RunningUnderWine() && !SubkeyNames(m_root).empty() && SubkeyNames(m_root)[0] == OLESTR("_x"))
    GTEST_SKIP() << "Wine orders by the lower-cased names, which puts '_' first";
  EXPECT_EQ(SubkeyNames(m_root),
            (std::vector<WString>{OLESTR("A"), OLESTR("b"), OLESTR("Bz"), OLESTR("c"), OLESTR("_x")}));

  WCHAR buf[8];
  for (auto &c : buf) c = 0x7777;
  DWORD cch = 2;  // "Bz" needs 3 with its terminator
  EXPECT_EQ(RegEnumKeyExW(m_root, 2, buf, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  cch = 3;
  EXPECT_EQ(RegEnumKeyExW(m_root, 2, buf, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(cch, 2u);
  EXPECT_EQ(WString(buf), OLESTR("Bz"));
  EXPECT_EQ(buf[3], 0x7777) << "wrote past the name";
  cch = 8;
  EXPECT_EQ(RegEnumKeyExW(m_root, 5, buf, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
}

TEST_F(Registry, ValuesKeepTypeBytesAndCreationOrder) {
  const WCHAR unterminated[] = {OLESTR('a'), OLESTR('b')};
  const WCHAR embedded[] = {OLESTR('x'), 0, OLESTR('y'), 0};
  const BYTE odd[] = {1, 2, 3};
  ULONGLONG q = 0x1122334455667788ull;
  Set(m_root, OLESTR("zeta"), REG_SZ, unterminated, sizeof unterminated);
  Set(m_root, OLESTR("alpha"), REG_MULTI_SZ, embedded, sizeof embedded);
  Set(m_root, nullptr, REG_EXPAND_SZ, OLESTR("%X%"), 8);
  Set(m_root, OLESTR("odd"), REG_BINARY, odd, sizeof odd);
  Set(m_root, OLESTR("q"), REG_QWORD, &q, sizeof q);
  Set(m_root, OLESTR("custom"), 0x12345, odd, 2);
  Set(m_root, OLESTR("empty"), REG_SZ, nullptr, 0);
  EXPECT_EQ(RegSetValueExW(m_root, OLESTR("bad"), 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);
  // Data that cannot be read is refused, not read.
  EXPECT_EQ(RegSetValueExW(m_root, OLESTR("bad"), 0, REG_BINARY, reinterpret_cast<const BYTE *>(1), 4), ERROR_NOACCESS);
  EXPECT_EQ(RegSetValueExW(m_root, OLESTR("bad"), 0, REG_SZ, reinterpret_cast<const BYTE *>(0x1000), 8),
            ERROR_NOACCESS);

  struct Expect {
    WString name;
    DWORD type;
    std::vector<BYTE> data;
  };
  // A string stored without its terminator gets one. Wine stores it as given.
  const WCHAR terminated[] = {OLESTR('a'), OLESTR('b'), 0};
  const bool wine = RunningUnderWine();
  std::vector<Expect> expected = {
      {OLESTR("zeta"), REG_SZ, wine ? Bytes(unterminated, sizeof unterminated) : Bytes(terminated, sizeof terminated)},
      {OLESTR("alpha"), REG_MULTI_SZ, Bytes(embedded, sizeof embedded)},
      {OLESTR(""), REG_EXPAND_SZ, Bytes(OLESTR("%X%"), 8)},
      {OLESTR("odd"), REG_BINARY, Bytes(odd, 3)},
      {OLESTR("q"), REG_QWORD, Bytes(&q, 8)},
      {OLESTR("custom"), 0x12345, Bytes(odd, 2)},
      {OLESTR("empty"), REG_SZ, {}},
  };
  // Wine keeps values sorted by name rather than in creation order; what
  // each value holds must still be right.
  if (wine)
    std::sort(expected.begin(), expected.end(), [](const Expect &a, const Expect &b) { return a.name < b.name; });
  for (DWORD i = 0; i < expected.size(); ++i) {
    WCHAR name[32];
    BYTE data[32];
    DWORD cch = 32, cb = 32, type = kSentinel;
    ASSERT_EQ(RegEnumValueW(m_root, i, name, &cch, nullptr, &type, data, &cb), ERROR_SUCCESS) << i;
    EXPECT_EQ(WString(name, cch), expected[i].name) << i;
    EXPECT_EQ(type, expected[i].type) << i;
    EXPECT_EQ(Bytes(data, cb), expected[i].data) << Printable(name);
  }
  if (wine) return;  // the rest counts positions
  WCHAR name[32];
  DWORD cch = 32;
  EXPECT_EQ(RegEnumValueW(m_root, 7, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  cch = 4;  // "zeta" needs 5; the type and size are told all the same
  DWORD type = kSentinel, cb = kSentinel;
  EXPECT_EQ(RegEnumValueW(m_root, 0, name, &cch, nullptr, &type, nullptr, &cb), ERROR_MORE_DATA);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(cb, sizeof terminated);
  // Too small a data buffer: the size needed, the name still returned.
  BYTE small[2];
  cb = 2;
  cch = 32;
  EXPECT_EQ(RegEnumValueW(m_root, 4, name, &cch, nullptr, nullptr, small, &cb), ERROR_MORE_DATA);
  EXPECT_EQ(cb, 8u);

  // Overwriting keeps the position and takes the new type.
  SetDword(m_root, OLESTR("ZETA"), 5);
  cch = 32;
  type = kSentinel;
  EXPECT_EQ(RegEnumValueW(m_root, 0, name, &cch, nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(WString(name), OLESTR("zeta"));
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
}

TEST_F(Registry, QueryValueSizesDefaultAndMissing) {
  Set(m_root, OLESTR("s"), REG_SZ, OLESTR("hello"), 12);
  Set(m_root, OLESTR(""), REG_SZ, OLESTR("dflt"), 10);

  DWORD type = kSentinel, cb = kSentinel;
  EXPECT_EQ(RegQueryValueExW(m_root, OLESTR("S"), nullptr, &type, nullptr, &cb), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(cb, 12u);

  BYTE buf[16];
  for (auto &b : buf) b = 0xAB;
  cb = 11;
  type = kSentinel;
  EXPECT_EQ(RegQueryValueExW(m_root, OLESTR("s"), nullptr, &type, buf, &cb), ERROR_MORE_DATA);
  EXPECT_EQ(cb, 12u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  cb = 12;
  EXPECT_EQ(RegQueryValueExW(m_root, OLESTR("s"), nullptr, nullptr, buf, &cb), ERROR_SUCCESS);
  EXPECT_EQ(WString(reinterpret_cast<const WCHAR *>(buf)), OLESTR("hello"));
  EXPECT_EQ(buf[12], 0xAB) << "wrote past the data";

  // The default value answers to a null and to an empty name.
  cb = sizeof buf;
  EXPECT_EQ(RegQueryValueExW(m_root, nullptr, nullptr, nullptr, buf, &cb), ERROR_SUCCESS);
  EXPECT_EQ(cb, 10u);
  cb = sizeof buf;
  EXPECT_EQ(RegQueryValueExW(m_root, OLESTR(""), nullptr, nullptr, buf, &cb), ERROR_SUCCESS);
  EXPECT_EQ(WString(reinterpret_cast<const WCHAR *>(buf)), OLESTR("dflt"));

  cb = kSentinel;
  EXPECT_EQ(RegQueryValueExW(m_root, OLESTR("missing"), nullptr, nullptr, nullptr, &cb), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(cb, 0u) << "a missing value has no size";
  EXPECT_EQ(RegQueryValueExW(m_root, OLESTR("s"), nullptr, nullptr, buf, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteValueW(m_root, OLESTR("missing")), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueW(m_root, OLESTR("S")), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(m_root, OLESTR("s"), nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, HandlesEnforceTheRightsAskedFor) {
  RegCloseKey(Create(m_root, OLESTR("r")));
  HKEY read = nullptr, write = nullptr;
  ASSERT_EQ(RegOpenKeyExW(m_root, OLESTR("r"), 0, KEY_READ, &read), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExW(m_root, OLESTR("r"), 0, KEY_WRITE, &write), ERROR_SUCCESS);
  DWORD v = 1;
  EXPECT_EQ(RegSetValueExW(read, OLESTR("v"), 0, REG_DWORD, reinterpret_cast<BYTE *>(&v), 4), ERROR_ACCESS_DENIED);
  HKEY sub = nullptr;
  // Creating a subkey asks nothing of the parent's handle.
  EXPECT_EQ(RegCreateKeyExW(read, OLESTR("sub"), 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr), ERROR_SUCCESS);
  RegCloseKey(sub);
  EXPECT_EQ(RegSetValueExW(write, OLESTR("v"), 0, REG_DWORD, reinterpret_cast<BYTE *>(&v), 4), ERROR_SUCCESS);
  DWORD cb = 4;
  EXPECT_EQ(RegQueryValueExW(write, OLESTR("v"), nullptr, nullptr, reinterpret_cast<BYTE *>(&v), &cb),
            ERROR_ACCESS_DENIED);
  WCHAR name[8];
  DWORD cch = 8;
  EXPECT_EQ(RegEnumKeyExW(write, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
  cb = 4;
  EXPECT_EQ(RegQueryValueExW(read, OLESTR("v"), nullptr, nullptr, reinterpret_cast<BYTE *>(&v), &cb), ERROR_SUCCESS);
  RegCloseKey(read);
  RegCloseKey(write);

  // Closed and made-up handles are invalid; predefined keys close fine.
  EXPECT_EQ(RegCloseKey(read), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegQueryValueExW(read, OLESTR("v"), nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

TEST_F(Registry, DeletingKeys) {
  HKEY parent = Create(m_root, OLESTR("p"));
  HKEY child = Create(parent, OLESTR("c"));
  HKEY other = nullptr;
  ASSERT_EQ(RegOpenKeyExW(m_root, OLESTR("p\\c"), 0, KEY_ALL_ACCESS, &other), ERROR_SUCCESS);

  EXPECT_EQ(RegDeleteKeyW(m_root, OLESTR("p")), ERROR_ACCESS_DENIED) << "a key with subkeys is refused";
  EXPECT_EQ(RegDeleteKeyW(m_root, OLESTR("p\\missing")), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyW(m_root, OLESTR("P\\C")), ERROR_SUCCESS);

  // Every handle of the deleted key, this one's and another's, answers 1018.
  for (HKEY h : {child, other}) {
    DWORD cb = 0;
    EXPECT_EQ(RegQueryValueExW(h, OLESTR("x"), nullptr, nullptr, nullptr, &cb), ERROR_KEY_DELETED);
    DWORD v = 1;
    EXPECT_EQ(RegSetValueExW(h, OLESTR("x"), 0, REG_DWORD, reinterpret_cast<BYTE *>(&v), 4), ERROR_KEY_DELETED);
    HKEY k = nullptr;
    EXPECT_EQ(RegCreateKeyW(h, OLESTR("again"), &k), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(h), ERROR_SUCCESS);
  }
  EXPECT_EQ(RegDeleteKeyW(m_root, OLESTR("p")), ERROR_SUCCESS);
  EXPECT_EQ(SubkeyNames(m_root).size(), 0u);
  EXPECT_EQ(RegSetValueExW(parent, OLESTR("x"), 0, REG_BINARY, nullptr, 0), ERROR_KEY_DELETED);
  RegCloseKey(parent);
}

TEST_F(Registry, DeleteTreeWithAndWithoutSubkey) {
  HKEY t = Create(m_root, OLESTR("t"));
  RegCloseKey(Create(t, OLESTR("a\\b\\c")));
  SetDword(t, OLESTR("v"), 1);
  HKEY deep = nullptr;
  ASSERT_EQ(RegOpenKeyExW(t, OLESTR("a\\b"), 0, KEY_READ, &deep), ERROR_SUCCESS);

  // Null subkey: the key stays, emptied.
  EXPECT_EQ(RegDeleteTreeW(t, nullptr), ERROR_SUCCESS);
  DWORD subkeys = kSentinel, values = kSentinel;
  EXPECT_EQ(RegQueryInfoKeyW(t, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                             nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subkeys, 0u);
  EXPECT_EQ(values, 0u);
  EXPECT_EQ(RegQueryInfoKeyW(deep, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr),
            ERROR_KEY_DELETED);
  RegCloseKey(deep);

  RegCloseKey(Create(t, OLESTR("x\\y")));
  EXPECT_EQ(RegDeleteTreeW(m_root, OLESTR("t")), ERROR_SUCCESS);
  EXPECT_EQ(SubkeyNames(m_root).size(), 0u);
  EXPECT_EQ(RegDeleteTreeW(m_root, OLESTR("t")), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegFlushKey(t), ERROR_KEY_DELETED);
  RegCloseKey(t);
}

TEST_F(Registry, QueryInfoKeyCountsAndMaxima) {
  RegCloseKey(Create(m_root, OLESTR("short")));
  RegCloseKey(Create(m_root, OLESTR("longer-name")));
  Set(m_root, OLESTR("v"), REG_BINARY, "12345", 5);
  Set(m_root, OLESTR("value-name"), REG_BINARY, "1", 1);
  DWORD n[6];
  for (auto &x : n) x = kSentinel;
  WCHAR cls[4] = {OLESTR('x'), OLESTR('x'), OLESTR('x'), OLESTR('x')};
  DWORD cchClass = 4;
  ASSERT_EQ(
      RegQueryInfoKeyW(m_root, cls, &cchClass, nullptr, &n[0], &n[1], &n[2], &n[3], &n[4], &n[5], nullptr, nullptr),
      ERROR_SUCCESS);
  EXPECT_EQ(cchClass, 0u);
  EXPECT_EQ(cls[0], 0);
  EXPECT_EQ(n[0], 2u);   // subkeys
  EXPECT_EQ(n[1], 11u);  // longest subkey name, in characters
  EXPECT_EQ(n[3], 2u);   // values
  EXPECT_EQ(n[4], 10u);  // longest value name, in characters
  EXPECT_EQ(n[5], 5u);   // largest data, in bytes
  EXPECT_EQ(RegFlushKey(m_root), ERROR_SUCCESS);
}

TEST_F(Registry, ClassesRootIsLocalMachineSoftwareClasses) {
  HKEY k = Create(HKEY_CLASSES_ROOT, OLESTR("RevdirRegistryTest.Class"));
  Set(k, nullptr, REG_SZ, OLESTR("via HKCR"), 18);
  RegCloseKey(k);
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, OLESTR("Software\\Classes\\RevdirRegistryTest.Class"), 0, KEY_READ, &k),
            ERROR_SUCCESS);
  WCHAR buf[16];
  DWORD cb = sizeof buf;
  EXPECT_EQ(RegQueryValueExW(k, nullptr, nullptr, nullptr, reinterpret_cast<BYTE *>(buf), &cb), ERROR_SUCCESS);
  EXPECT_EQ(WString(buf), OLESTR("via HKCR"));
  RegCloseKey(k);
  EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, OLESTR("RevdirRegistryTest.Class")), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, OLESTR("Software\\Classes\\RevdirRegistryTest.Class"), 0, KEY_READ, &k),
            ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, ThreadsShareHandlesAndKeys) {
  // Each thread fills its own key while reading the shared one; nothing is
  // lost and no call fails.
  constexpr int kThreads = 4, kValues = 12;
  std::vector<std::thread> threads;
  std::vector<int> failures(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      WCHAR name[2] = {static_cast<WCHAR>(OLESTR('a') + t), 0};
      HKEY k = Create(m_root, name);
      for (DWORD i = 0; i < kValues; ++i) {
        WCHAR value[2] = {static_cast<WCHAR>(OLESTR('A') + i), 0};
        DWORD subkeys = 0;
        failures[t] += RegSetValueExW(k, value, 0, REG_DWORD, reinterpret_cast<BYTE *>(&i), 4) != ERROR_SUCCESS;
        failures[t] += RegQueryInfoKeyW(m_root, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                                        nullptr, nullptr, nullptr) != ERROR_SUCCESS;
      }
      DWORD values = 0;
      RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                       nullptr);
      failures[t] += values != kValues;
      RegCloseKey(k);
    });
  }
  for (auto &th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
  EXPECT_EQ(SubkeyNames(m_root).size(), static_cast<size_t>(kThreads));
}

TEST_F(Registry, PredefinedKeysByTheirLow32Bits) {
  // What 32-bit code holds for HKEY_CURRENT_USER, zero-extended.
  const HKEY zeroExtended = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000001u));
  HKEY k = nullptr;
  LONG r = RegOpenKeyExW(zeroExtended, kRoot, 0, KEY_READ, &k);
  if (RunningUnderWine() && r == ERROR_INVALID_HANDLE) {
    printf("Wine takes only the sign-extended predefined keys\n");
  } else {
    EXPECT_EQ(r, ERROR_SUCCESS);
    RegCloseKey(k);
  }

  // A null or empty subkey of a predefined key opens the key itself.
  for (const WCHAR *none : {static_cast<const WCHAR *>(nullptr), OLESTR("")}) {
    k = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, none, 0, KEY_READ, &k), ERROR_SUCCESS);
    EXPECT_EQ(k, HKEY_CURRENT_USER);
  }
  k = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(kSentinel));
  EXPECT_EQ(RegOpenKeyW(nullptr, nullptr, &k), ERROR_SUCCESS);
  EXPECT_EQ(k, nullptr) << "hands back the key given";
}

// A class registered for the user and for the machine, below
// HKEY_CLASSES_ROOT's two sources.
class ClassesRoot : public Registry {
 protected:
  static constexpr const WCHAR *kClass = OLESTR("Software\\Classes\\RevdirRegistryTest.Merged");
  void SetUp() override {
    Registry::SetUp();
    Clean();
    m_user = Create(HKEY_CURRENT_USER, kClass);
    m_machine = Create(HKEY_LOCAL_MACHINE, kClass);
    Set(m_user, nullptr, REG_SZ, OLESTR("user"), 10);
    Set(m_machine, nullptr, REG_SZ, OLESTR("machine"), 16);
    RegCloseKey(Create(m_user, OLESTR("UserOnly")));
    RegCloseKey(Create(m_machine, OLESTR("MachineOnly")));
    RegCloseKey(Create(m_machine, OLESTR("userOnly")));  // both have it, spelt differently
  }
  void TearDown() override {
    RegCloseKey(m_user);
    RegCloseKey(m_machine);
    Clean();
    Registry::TearDown();
  }
  void Clean() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kClass);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kClass);
  }
  std::string Default(HKEY k, const WCHAR *sub = nullptr) {
    WCHAR buf[32] = {};
    DWORD cb = sizeof buf - sizeof(WCHAR);
    HKEY at = k;
    if (sub && RegOpenKeyExW(k, sub, 0, KEY_READ, &at) != ERROR_SUCCESS) return "(no key)";
    LONG r = RegQueryValueExW(at, nullptr, nullptr, nullptr, reinterpret_cast<BYTE *>(buf), &cb);
    if (at != k) RegCloseKey(at);
    return r == ERROR_SUCCESS ? Printable(buf) : "error " + std::to_string(r);
  }

  HKEY m_user = nullptr, m_machine = nullptr;
};

TEST_F(ClassesRoot, MergesUserOverMachine) {
  HKEY k = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, OLESTR("RevdirRegistryTest.Merged"), 0, KEY_ALL_ACCESS, &k), ERROR_SUCCESS);
  if (RunningUnderWine() && Default(k) == "machine") {
    RegCloseKey(k);
    GTEST_SKIP() << "Wine's HKEY_CLASSES_ROOT shows the machine's classes only";
  }
  EXPECT_EQ(Default(k), "user") << "the user's registration wins";
  EXPECT_EQ(SubkeyNames(k), (std::vector<WString>{OLESTR("MachineOnly"), OLESTR("UserOnly")})) << "subkeys of both";
  DWORD subkeys = 0;
  EXPECT_EQ(RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subkeys, 2u);
  // A leading backslash is taken right below HKEY_CLASSES_ROOT.
  EXPECT_EQ(Default(HKEY_CLASSES_ROOT, OLESTR("\\RevdirRegistryTest.Merged\\MachineOnly")), "error 2");

  // Values written through the merged key go to the user's key, which
  // exists; a new subkey goes to the machine's.
  Set(k, OLESTR("written"), REG_DWORD, "\1\0\0\0", 4);
  EXPECT_EQ(RegQueryValueExW(m_user, OLESTR("written"), nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  HKEY fresh = Create(k, OLESTR("Fresh"));
  RegCloseKey(fresh);
  EXPECT_EQ(Default(m_machine, OLESTR("Fresh")), "error 2") << "created for the machine";
  EXPECT_EQ(Default(m_user, OLESTR("Fresh")), "(no key)");

  // Deleting removes the user's copy; the machine's then shows through.
  EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, OLESTR("RevdirRegistryTest.Merged\\UserOnly")), ERROR_SUCCESS);
  EXPECT_EQ(Default(m_machine, OLESTR("userOnly")), "error 2");
  EXPECT_EQ(RegDeleteTreeW(m_user, nullptr), ERROR_SUCCESS);
  RegCloseKey(m_user);
  m_user = nullptr;
  EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, kClass), ERROR_SUCCESS);
  EXPECT_EQ(Default(k), "error 1018") << "the handle died with the user's key";
  RegCloseKey(k);
}

// A predefined key mapped to a key of the process's own until restored, as
// an installer registers a module into a key of its choosing. The mapping
// keeps its own reference, so the key passed may be closed at once.
TEST_F(Registry, OverridePredefinedKey) {
  HKEY target = Create(m_root, OLESTR("Mapped"));
  ASSERT_EQ(RegOverridePredefKey(HKEY_CLASSES_ROOT, target), ERROR_SUCCESS);
  RegCloseKey(target);
  HKEY k = Create(HKEY_CLASSES_ROOT, OLESTR("RevdirRegistryTest.Override\\Sub"));
  SetDword(k, OLESTR("v"), 7);
  RegCloseKey(k);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, OLESTR("RevdirRegistryTest.Override\\Sub")), ERROR_SUCCESS);
  EXPECT_EQ(RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(SubkeyNames(m_root), std::vector<WString>{OLESTR("Mapped")});
  ASSERT_EQ(RegOpenKeyExW(m_root, OLESTR("Mapped\\RevdirRegistryTest.Override"), 0, KEY_READ, &k), ERROR_SUCCESS);
  RegCloseKey(k);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, OLESTR("RevdirRegistryTest.Override"), 0, KEY_READ, &k),
            ERROR_FILE_NOT_FOUND)
      << "restored";

  // Only a predefined key is mapped, and only to a key that is open.
  HKEY other = Create(m_root, OLESTR("Other"));
  EXPECT_EQ(RegOverridePredefKey(other, m_root), ERROR_INVALID_HANDLE);
  RegCloseKey(other);
  EXPECT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, other), ERROR_INVALID_HANDLE) << "closed";
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, OLESTR("Software"), 0, KEY_READ, &k), ERROR_SUCCESS) << "unchanged";
  RegCloseKey(k);
}

TEST_F(Registry, AnsiFunctionsConvertThroughTheAnsiCodePage) {
  HKEY k = nullptr;
  DWORD disp = 0;
  ASSERT_EQ(RegCreateKeyExA(m_root, "Ansi", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, &disp), ERROR_SUCCESS);
  EXPECT_EQ(disp, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  EXPECT_EQ(RegSetValueExA(k, "text", 0, REG_SZ, reinterpret_cast<const BYTE *>("hello"), 6), ERROR_SUCCESS);
  WCHAR wide[16];
  DWORD cb = sizeof wide;
  EXPECT_EQ(RegQueryValueExW(k, OLESTR("text"), nullptr, nullptr, reinterpret_cast<BYTE *>(wide), &cb), ERROR_SUCCESS);
  EXPECT_EQ(cb, 12u);
  EXPECT_EQ(WString(wide), OLESTR("hello"));
  char name[8], got[16] = {};
  DWORD cch = sizeof name, type = kSentinel;
  cb = sizeof got;
  EXPECT_EQ(RegEnumValueA(k, 0, name, &cch, nullptr, &type, reinterpret_cast<BYTE *>(got), &cb), ERROR_SUCCESS);
  EXPECT_EQ(std::string(name), "text");
  EXPECT_EQ(std::string(got), "hello");
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

  // A wide string reads back as the code page spells it.
  const WCHAR accented[] = {OLESTR('c'), OLESTR('a'), OLESTR('f'), 0xE9, 0};
  Set(k, OLESTR("accented"), REG_SZ, accented, sizeof accented);
  char expect[16] = {};
  int n = WideCharToMultiByte(CP_ACP, 0, accented, -1, expect, sizeof expect, nullptr, nullptr);
  type = kSentinel;
  cb = kSentinel;
  EXPECT_EQ(RegQueryValueExA(k, "accented", nullptr, &type, nullptr, &cb), ERROR_SUCCESS);
  EXPECT_EQ(cb, static_cast<DWORD>(n));
  cb = sizeof got;
  EXPECT_EQ(RegQueryValueExA(k, "accented", nullptr, &type, reinterpret_cast<BYTE *>(got), &cb), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(std::string(got), std::string(expect));
  cb = 2;
  EXPECT_EQ(RegQueryValueExA(k, "accented", nullptr, nullptr, reinterpret_cast<BYTE *>(got), &cb), ERROR_MORE_DATA);
  EXPECT_EQ(cb, static_cast<DWORD>(n));

  cch = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(m_root, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(std::string(name), "Ansi");
  DWORD values = 0;
  EXPECT_EQ(RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                             nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(values, 2u);
  EXPECT_EQ(RegDeleteValueA(k, "text"), ERROR_SUCCESS);
  RegCloseKey(k);
  ASSERT_EQ(RegOpenKeyExA(m_root, "ansi", 0, KEY_READ, &k), ERROR_SUCCESS);
  RegCloseKey(k);
  EXPECT_EQ(RegDeleteKeyA(m_root, "Ansi"), ERROR_SUCCESS);
}

TEST_F(Registry, GetValueChecksTypesAndExpands) {
  HKEY k = Create(m_root, OLESTR("get"));
  SetDword(k, OLESTR("dword"), 42);
  Set(k, OLESTR("four"), REG_BINARY, "abcd", 4);
  Set(k, OLESTR("path"), REG_EXPAND_SZ, OLESTR("[%PATH%]"), 18);
  RegCloseKey(k);

  DWORD v = 0, cb = sizeof v, type = kSentinel;
  EXPECT_EQ(RegGetValueW(m_root, OLESTR("get"), OLESTR("dword"), RRF_RT_REG_DWORD, &type, &v, &cb), ERROR_SUCCESS);
  EXPECT_EQ(v, 42u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  cb = sizeof v;
  EXPECT_EQ(RegGetValueW(m_root, OLESTR("get"), OLESTR("four"), RRF_RT_DWORD, nullptr, &v, &cb), ERROR_SUCCESS)
      << "four bytes of binary pass as a DWORD";
  cb = sizeof v;
  v = kSentinel;
  EXPECT_EQ(RegGetValueW(m_root, OLESTR("get"), OLESTR("dword"), RRF_RT_REG_SZ | RRF_ZEROONFAILURE, nullptr, &v, &cb),
            ERROR_UNSUPPORTED_TYPE);
  EXPECT_EQ(v, 0u) << "zeroed on failure";
  EXPECT_EQ(RegGetValueW(m_root, OLESTR("get"), OLESTR("path"), RRF_RT_REG_EXPAND_SZ, nullptr, nullptr, &cb),
            ERROR_INVALID_PARAMETER);

  // Expanded, and then a plain string.
  WCHAR path[4096];
  DWORD n = GetEnvironmentVariableW(OLESTR("PATH"), path + 1, 4000);
  ASSERT_GT(n, 0u);
  path[0] = OLESTR('[');
  path[n + 1] = OLESTR(']');
  path[n + 2] = 0;
  WCHAR got[4096];
  cb = sizeof got;
  type = kSentinel;
  EXPECT_EQ(RegGetValueW(m_root, OLESTR("get"), OLESTR("path"), RRF_RT_REG_SZ, &type, got, &cb), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(WString(got), WString(path));
  EXPECT_EQ(cb, (n + 3) * sizeof(WCHAR));
  cb = 4;
  EXPECT_EQ(RegGetValueW(m_root, OLESTR("get"), OLESTR("path"), RRF_RT_ANY | RRF_NOEXPAND, &type, got, &cb),
            ERROR_MORE_DATA);
  EXPECT_EQ(cb, 18u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
}

TEST_F(Registry, CopyTreeCopiesValuesAndSubkeys) {
  HKEY src = Create(m_root, OLESTR("src"));
  SetDword(src, OLESTR("top"), 1);
  HKEY deep = Create(src, OLESTR("a\\b"));
  Set(deep, OLESTR("leaf"), REG_SZ, OLESTR("x"), 4);
  RegCloseKey(deep);
  HKEY dest = Create(m_root, OLESTR("dest"));
  EXPECT_EQ(RegCopyTreeW(m_root, OLESTR("src"), dest), ERROR_SUCCESS);
  DWORD v = 0, cb = sizeof v;
  EXPECT_EQ(RegQueryValueExW(dest, OLESTR("top"), nullptr, nullptr, reinterpret_cast<BYTE *>(&v), &cb), ERROR_SUCCESS);
  EXPECT_EQ(v, 1u);
  WCHAR leaf[4];
  cb = sizeof leaf;
  EXPECT_EQ(RegGetValueW(dest, OLESTR("a\\b"), OLESTR("leaf"), RRF_RT_REG_SZ, nullptr, leaf, &cb), ERROR_SUCCESS);
  EXPECT_EQ(WString(leaf), OLESTR("x"));
  EXPECT_EQ(RegCopyTreeW(m_root, OLESTR("missing"), dest), ERROR_FILE_NOT_FOUND);
  RegCloseKey(src);
  RegCloseKey(dest);
}

}  // namespace
