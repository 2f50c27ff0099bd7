// The registry API as Windows behaves: keys, values, enumeration, access
// rights, deletion and the error numbers. Every test works below one scratch
// key of HKEY_CURRENT_USER, on Linux in a fresh prefix.
#include <windows.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "conformance.h"

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
    prefix_ = dir;
    setenv("REVDIR_PREFIX", dir, 1);
#endif
    RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);
    DWORD disp = kSentinel;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kRoot, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root_, &disp),
              ERROR_SUCCESS);
    EXPECT_EQ(disp, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  }
  void TearDown() override {
    RegCloseKey(root_);
    RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);
#ifndef _WIN32
    std::filesystem::remove_all(prefix_);
#endif
  }

  HKEY Create(HKEY parent, const WCHAR *name, REGSAM sam = KEY_ALL_ACCESS) {
    HKEY k = nullptr;
    EXPECT_EQ(RegCreateKeyExW(parent, name, 0, nullptr, 0, sam, nullptr, &k, nullptr), ERROR_SUCCESS)
        << Narrow(name);
    return k;
  }
  void Set(HKEY k, const WCHAR *name, DWORD type, const void *data, DWORD size) {
    EXPECT_EQ(RegSetValueExW(k, name, 0, type, static_cast<const BYTE *>(data), size), ERROR_SUCCESS)
        << Narrow(name);
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

  std::string prefix_;
  HKEY root_ = nullptr;
};

TEST_F(Registry, CreateAndOpenFollowPathsAndIgnoreCase) {
  HKEY deep = nullptr;
  DWORD disp = kSentinel;
  ASSERT_EQ(RegCreateKeyExW(root_, OLESTR("Alpha\\Beta\\Gamma"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &deep, &disp),
            ERROR_SUCCESS);
  EXPECT_EQ(disp, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  SetDword(deep, OLESTR("n"), 7);
  RegCloseKey(deep);

  HKEY again = nullptr;
  disp = kSentinel;
  ASSERT_EQ(RegCreateKeyExW(root_, OLESTR("ALPHA\\beta\\gamma"), 0, nullptr, 0, KEY_READ, nullptr, &again, &disp),
            ERROR_SUCCESS);
  EXPECT_EQ(disp, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  DWORD v = 0, size = sizeof v, type = kSentinel;
  EXPECT_EQ(RegQueryValueExW(again, OLESTR("N"), nullptr, &type, reinterpret_cast<BYTE *>(&v), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(v, 7u);
  RegCloseKey(again);

  // Names keep the case they were created with; a trailing backslash is fine.
  EXPECT_EQ(SubkeyNames(root_), std::vector<WString>{OLESTR("Alpha")});
  HKEY k = nullptr;
  EXPECT_EQ(RegOpenKeyExW(root_, OLESTR("alpha\\BETA\\"), 0, KEY_READ, &k), ERROR_SUCCESS);
  RegCloseKey(k);
  EXPECT_EQ(RegOpenKeyW(HKEY_CURRENT_USER, OLESTR("Software\\RevdirRegistryTest\\Alpha"), &k), ERROR_SUCCESS);
  RegCloseKey(k);

  // Missing keys, bad arguments.
  k = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(kSentinel));
  EXPECT_EQ(RegOpenKeyExW(root_, OLESTR("Alpha\\Missing"), 0, KEY_READ, &k), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(k, nullptr);
  EXPECT_EQ(RegOpenKeyExW(root_, OLESTR("Alpha"), 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCreateKeyExW(root_, OLESTR("\\Lead"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
            ERROR_BAD_PATHNAME);
  if (!RunningUnderWine()) {  // Wine writes through the null result pointer
    EXPECT_EQ(RegCreateKeyW(root_, OLESTR("Alpha"), nullptr), ERROR_INVALID_PARAMETER);
  }

  // Name limits: 255 characters per key name, 16383 per value name.
  WString name255(255, OLESTR('k')), name256(256, OLESTR('k'));
  EXPECT_EQ(RegCreateKeyW(root_, name255.c_str(), &k), ERROR_SUCCESS);
  RegCloseKey(k);
  EXPECT_EQ_OR_WINE(ERROR_INVALID_PARAMETER, ERROR_SUCCESS, RegCreateKeyW(root_, name256.c_str(), &k), "Wine takes longer key names");
  if (RunningUnderWine()) RegCloseKey(k);
  WString value16383(16383, OLESTR('v')), value16384(16384, OLESTR('v'));
  DWORD one = 1;
  EXPECT_EQ(RegSetValueExW(root_, value16383.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE *>(&one), 4),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(root_, value16384.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE *>(&one), 4),
            ERROR_INVALID_PARAMETER);
}

TEST_F(Registry, SubkeysEnumerateSortedByUpperCase) {
  // Compared upper-cased, '_' (0x5F) sorts after letters.
  for (const WCHAR *n : {OLESTR("b"), OLESTR("_x"), OLESTR("A"), OLESTR("c"), OLESTR("Bz")}) RegCloseKey(Create(root_, n));
  if (RunningUnderWine() && !SubkeyNames(root_).empty() && SubkeyNames(root_)[0] == OLESTR("_x"))
    GTEST_SKIP() << "Wine orders by the lower-cased names, which puts '_' first";
  EXPECT_EQ(SubkeyNames(root_), (std::vector<WString>{OLESTR("A"), OLESTR("b"), OLESTR("Bz"), OLESTR("c"), OLESTR("_x")}));

  WCHAR buf[8];
  for (auto &c : buf) c = 0x7777;
  DWORD cch = 2;  // "Bz" needs 3 with its terminator
  EXPECT_EQ(RegEnumKeyExW(root_, 2, buf, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  cch = 3;
  EXPECT_EQ(RegEnumKeyExW(root_, 2, buf, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(cch, 2u);
  EXPECT_EQ(WString(buf), OLESTR("Bz"));
  EXPECT_EQ(buf[3], 0x7777) << "wrote past the name";
  cch = 8;
  EXPECT_EQ(RegEnumKeyExW(root_, 5, buf, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
}

TEST_F(Registry, ValuesKeepTypeBytesAndCreationOrder) {
  const WCHAR unterminated[] = {OLESTR('a'), OLESTR('b')};
  const WCHAR embedded[] = {OLESTR('x'), 0, OLESTR('y'), 0};
  const BYTE odd[] = {1, 2, 3};
  ULONGLONG q = 0x1122334455667788ull;
  Set(root_, OLESTR("zeta"), REG_SZ, unterminated, sizeof unterminated);
  Set(root_, OLESTR("alpha"), REG_MULTI_SZ, embedded, sizeof embedded);
  Set(root_, nullptr, REG_EXPAND_SZ, OLESTR("%X%"), 8);
  Set(root_, OLESTR("odd"), REG_BINARY, odd, sizeof odd);
  Set(root_, OLESTR("q"), REG_QWORD, &q, sizeof q);
  Set(root_, OLESTR("custom"), 0x12345, odd, 2);
  Set(root_, OLESTR("empty"), REG_SZ, nullptr, 0);
  EXPECT_EQ(RegSetValueExW(root_, OLESTR("bad"), 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);

  struct Expect {
    WString name;
    DWORD type;
    std::vector<BYTE> data;
  };
  std::vector<Expect> expected = {
      {OLESTR("zeta"), REG_SZ, Bytes(unterminated, sizeof unterminated)},
      {OLESTR("alpha"), REG_MULTI_SZ, Bytes(embedded, sizeof embedded)},
      {OLESTR(""), REG_EXPAND_SZ, Bytes(OLESTR("%X%"), 8)},
      {OLESTR("odd"), REG_BINARY, Bytes(odd, 3)},
      {OLESTR("q"), REG_QWORD, Bytes(&q, 8)},
      {OLESTR("custom"), 0x12345, Bytes(odd, 2)},
      {OLESTR("empty"), REG_SZ, {}},
  };
  // Wine keeps values sorted by name rather than in creation order; what
  // each value holds must still be right.
  const bool wine = RunningUnderWine();
  if (wine)
    std::sort(expected.begin(), expected.end(), [](const Expect &a, const Expect &b) { return a.name < b.name; });
  for (DWORD i = 0; i < expected.size(); ++i) {
    WCHAR name[32];
    BYTE data[32];
    DWORD cch = 32, cb = 32, type = kSentinel;
    ASSERT_EQ(RegEnumValueW(root_, i, name, &cch, nullptr, &type, data, &cb), ERROR_SUCCESS) << i;
    EXPECT_EQ(WString(name, cch), expected[i].name) << i;
    EXPECT_EQ(type, expected[i].type) << i;
    std::vector<BYTE> got = Bytes(data, cb), want = expected[i].data;
    // Wine hands out an unterminated string with a terminator added.
    if (wine && type == REG_SZ && got.size() == want.size() + 2 && got[want.size()] == 0 && got[want.size() + 1] == 0)
      got.resize(want.size());
    EXPECT_EQ(got, want) << Narrow(name);
  }
  if (wine) return;  // the rest counts positions
  WCHAR name[32];
  DWORD cch = 32;
  EXPECT_EQ(RegEnumValueW(root_, 7, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  cch = 4;  // "zeta" needs 5
  EXPECT_EQ(RegEnumValueW(root_, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  // Too small a data buffer: the size needed, the name still returned.
  BYTE small[2];
  DWORD cb = 2;
  cch = 32;
  EXPECT_EQ(RegEnumValueW(root_, 4, name, &cch, nullptr, nullptr, small, &cb), ERROR_MORE_DATA);
  EXPECT_EQ(cb, 8u);

  // Overwriting keeps the position and takes the new type.
  SetDword(root_, OLESTR("ZETA"), 5);
  cch = 32;
  DWORD type = kSentinel;
  EXPECT_EQ(RegEnumValueW(root_, 0, name, &cch, nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(WString(name), OLESTR("zeta"));
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
}

TEST_F(Registry, QueryValueSizesDefaultAndMissing) {
  Set(root_, OLESTR("s"), REG_SZ, OLESTR("hello"), 12);
  Set(root_, OLESTR(""), REG_SZ, OLESTR("dflt"), 10);

  DWORD type = kSentinel, cb = kSentinel;
  EXPECT_EQ(RegQueryValueExW(root_, OLESTR("S"), nullptr, &type, nullptr, &cb), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(cb, 12u);

  BYTE buf[16];
  for (auto &b : buf) b = 0xAB;
  cb = 11;
  type = kSentinel;
  EXPECT_EQ(RegQueryValueExW(root_, OLESTR("s"), nullptr, &type, buf, &cb), ERROR_MORE_DATA);
  EXPECT_EQ(cb, 12u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  cb = 12;
  EXPECT_EQ(RegQueryValueExW(root_, OLESTR("s"), nullptr, nullptr, buf, &cb), ERROR_SUCCESS);
  EXPECT_EQ(WString(reinterpret_cast<const WCHAR *>(buf)), OLESTR("hello"));
  EXPECT_EQ(buf[12], 0xAB) << "wrote past the data";

  // The default value answers to a null and to an empty name.
  cb = sizeof buf;
  EXPECT_EQ(RegQueryValueExW(root_, nullptr, nullptr, nullptr, buf, &cb), ERROR_SUCCESS);
  EXPECT_EQ(cb, 10u);
  cb = sizeof buf;
  EXPECT_EQ(RegQueryValueExW(root_, OLESTR(""), nullptr, nullptr, buf, &cb), ERROR_SUCCESS);
  EXPECT_EQ(WString(reinterpret_cast<const WCHAR *>(buf)), OLESTR("dflt"));

  cb = kSentinel;
  EXPECT_EQ(RegQueryValueExW(root_, OLESTR("missing"), nullptr, nullptr, nullptr, &cb), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExW(root_, OLESTR("s"), nullptr, nullptr, buf, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteValueW(root_, OLESTR("missing")), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueW(root_, OLESTR("S")), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(root_, OLESTR("s"), nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, HandlesEnforceTheRightsAskedFor) {
  RegCloseKey(Create(root_, OLESTR("r")));
  HKEY read = nullptr, write = nullptr;
  ASSERT_EQ(RegOpenKeyExW(root_, OLESTR("r"), 0, KEY_READ, &read), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExW(root_, OLESTR("r"), 0, KEY_WRITE, &write), ERROR_SUCCESS);
  DWORD v = 1;
  EXPECT_EQ(RegSetValueExW(read, OLESTR("v"), 0, REG_DWORD, reinterpret_cast<BYTE *>(&v), 4), ERROR_ACCESS_DENIED);
  HKEY sub = nullptr;
  LONG created = RegCreateKeyExW(read, OLESTR("sub"), 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr);
  EXPECT_EQ_OR_WINE(ERROR_ACCESS_DENIED, ERROR_SUCCESS, created, "Wine creates a subkey through a handle opened for reading");
  if (created == ERROR_SUCCESS) RegCloseKey(sub);
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
  HKEY parent = Create(root_, OLESTR("p"));
  HKEY child = Create(parent, OLESTR("c"));
  HKEY other = nullptr;
  ASSERT_EQ(RegOpenKeyExW(root_, OLESTR("p\\c"), 0, KEY_ALL_ACCESS, &other), ERROR_SUCCESS);

  EXPECT_EQ(RegDeleteKeyW(root_, OLESTR("p")), ERROR_ACCESS_DENIED) << "a key with subkeys is refused";
  EXPECT_EQ(RegDeleteKeyW(root_, OLESTR("p\\missing")), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyW(root_, OLESTR("P\\C")), ERROR_SUCCESS);

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
  EXPECT_EQ(RegDeleteKeyW(root_, OLESTR("p")), ERROR_SUCCESS);
  EXPECT_EQ(SubkeyNames(root_).size(), 0u);
  EXPECT_EQ(RegSetValueExW(parent, OLESTR("x"), 0, REG_BINARY, nullptr, 0), ERROR_KEY_DELETED);
  RegCloseKey(parent);
}

TEST_F(Registry, DeleteTreeWithAndWithoutSubkey) {
  HKEY t = Create(root_, OLESTR("t"));
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
  EXPECT_EQ(RegDeleteTreeW(root_, OLESTR("t")), ERROR_SUCCESS);
  EXPECT_EQ(SubkeyNames(root_).size(), 0u);
  EXPECT_EQ(RegDeleteTreeW(root_, OLESTR("t")), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegFlushKey(t), ERROR_KEY_DELETED);
  RegCloseKey(t);
}

TEST_F(Registry, QueryInfoKeyCountsAndMaxima) {
  RegCloseKey(Create(root_, OLESTR("short")));
  RegCloseKey(Create(root_, OLESTR("longer-name")));
  Set(root_, OLESTR("v"), REG_BINARY, "12345", 5);
  Set(root_, OLESTR("value-name"), REG_BINARY, "1", 1);
  DWORD n[6];
  for (auto &x : n) x = kSentinel;
  WCHAR cls[4] = {OLESTR('x'), OLESTR('x'), OLESTR('x'), OLESTR('x')};
  DWORD cchClass = 4;
  ASSERT_EQ(RegQueryInfoKeyW(root_, cls, &cchClass, nullptr, &n[0], &n[1], &n[2], &n[3], &n[4], &n[5], nullptr,
                             nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(cchClass, 0u);
  EXPECT_EQ(cls[0], 0);
  EXPECT_EQ(n[0], 2u);   // subkeys
  EXPECT_EQ(n[1], 11u);  // longest subkey name, in characters
  EXPECT_EQ(n[3], 2u);   // values
  EXPECT_EQ(n[4], 10u);  // longest value name, in characters
  EXPECT_EQ(n[5], 5u);   // largest data, in bytes
  EXPECT_EQ(RegFlushKey(root_), ERROR_SUCCESS);
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
      HKEY k = Create(root_, name);
      for (DWORD i = 0; i < kValues; ++i) {
        WCHAR value[2] = {static_cast<WCHAR>(OLESTR('A') + i), 0};
        DWORD subkeys = 0;
        failures[t] += RegSetValueExW(k, value, 0, REG_DWORD, reinterpret_cast<BYTE *>(&i), 4) != ERROR_SUCCESS;
        failures[t] += RegQueryInfoKeyW(root_, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                                        nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS;
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
  EXPECT_EQ(SubkeyNames(root_).size(), static_cast<size_t>(kThreads));
}

}  // namespace
