// The registry's finer points as Windows has them: what a failing call leaves
// in the caller's buffers and handles, ANSI string counts, the merged values
// of HKEY_CLASSES_ROOT, the short forms (RegSetValue, RegQueryValue, ...),
// renaming, and change notifications within and across processes.
#include <windows.h>

#include <string.h>

#include <string>
#include <vector>

#include "conformance.h"
#include "environment.h"
#include "fresh_prefix.h"

#ifndef _WIN32
#include <stdlib.h>

#include <filesystem>
#endif

namespace {

using WString = std::basic_string<WCHAR>;

const WCHAR kRoot[] = OLESTR("Software\\RevdirRegistryMoreTest");
const char kNotifyChildVariable[] = "REVDIR_REG_NOTIFY_CHILD";

class RegistryMore : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef _WIN32
    char dir[] = "/tmp/revdir-regmore-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    m_prefix = dir;
    m_prefixOverride.Use(dir);
#endif
    RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kRoot, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_root, nullptr),
              ERROR_SUCCESS);
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
  void SetA(HKEY k, const char *name, const char *data, DWORD size, DWORD type = REG_SZ) {
    EXPECT_EQ(RegSetValueExA(k, name, 0, type, reinterpret_cast<const BYTE *>(data), size), ERROR_SUCCESS) << name;
  }
  // The names RegEnumValueA gives, in order, or the error that stopped it.
  std::vector<std::string> ValueNamesA(HKEY k) {
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
      char name[32];
      DWORD cch = sizeof name;
      LONG r = RegEnumValueA(k, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
      if (r == ERROR_NO_MORE_ITEMS) break;
      if (r) return {"error " + std::to_string(r)};
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

TEST_F(RegistryMore, EnumValueWithBuffersTooSmall) {
  SetA(m_root, "Test", "foobar", 7);
  char name[12], data[12];
  DWORD cch, cb, type;
  auto reset = [&](DWORD nameSize, DWORD dataSize) {
    memcpy(name, "xxxxxxxxxx", 11);
    memcpy(data, "xxxxxxxxxx", 11);
    cch = nameSize;
    cb = dataSize;
    type = kSentinel;
  };
  // ANSI: whichever does not fit, neither buffer nor the name's count moves.
  for (DWORD nameSize : {2u, 20u}) {
    reset(nameSize, 2);
    EXPECT_EQ(RegEnumValueA(m_root, 0, name, &cch, nullptr, &type, reinterpret_cast<BYTE *>(data), &cb),
              ERROR_MORE_DATA);
    EXPECT_EQ(cch, nameSize);
    EXPECT_EQ(cb, 7u) << "the size the data needs";
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_STREQ(name, "xxxxxxxxxx");
    EXPECT_STREQ(data, "xxxxxxxxxx");
  }
  reset(20, 20);
  EXPECT_EQ(RegEnumValueA(m_root, 0, name, &cch, nullptr, &type, reinterpret_cast<BYTE *>(data), &cb), ERROR_SUCCESS);
  EXPECT_EQ(cch, 4u) << "the name's length without its terminator";
  EXPECT_STREQ(data, "foobar");

  // Wide: data that does not fit still gives the name, and none of the data.
  const WCHAR xs[] = OLESTR("xxxxxxxxxx");
  WCHAR wname[12], wdata[12];
  memcpy(wname, xs, sizeof xs);
  memcpy(wdata, xs, sizeof xs);
  cch = 20;
  cb = 4;
  EXPECT_EQ(RegEnumValueW(m_root, 0, wname, &cch, nullptr, &type, reinterpret_cast<BYTE *>(wdata), &cb),
            ERROR_MORE_DATA);
  EXPECT_EQ(cb, 14u);
  EXPECT_EQ(cch, 4u);
  EXPECT_EQ(WString(wname), OLESTR("Test"));
  EXPECT_EQ(WString(wdata), xs);
}

TEST_F(RegistryMore, AnsiStringsKeepTheCountTheyWereStoredWith) {
  static const char kFull[] = "FullString";
  // A count one short of the terminator takes the terminator in.
  SetA(m_root, "s", kFull, sizeof kFull - 1);
  BYTE buf[12];
  DWORD cb = sizeof kFull - 1;
  EXPECT_EQ(RegQueryValueExA(m_root, "s", nullptr, nullptr, buf, &cb), ERROR_MORE_DATA);
  EXPECT_EQ(cb, static_cast<DWORD>(sizeof kFull));

  // Two short: stored as counted, and read back with that count, in either
  // string type; a terminator follows only where the buffer has room.
  const DWORD n = sizeof kFull - 2;
  for (DWORD type : {static_cast<DWORD>(REG_SZ), static_cast<DWORD>(REG_MULTI_SZ)}) {
    SCOPED_TRACE(type);
    SetA(m_root, "s", kFull, n, type);
    cb = 0;
    EXPECT_EQ(RegQueryValueExA(m_root, "s", nullptr, nullptr, nullptr, &cb), ERROR_SUCCESS);
    EXPECT_EQ(cb, n);
    for (DWORD room : {n, n + 1}) {
      memset(buf, 0xbd, sizeof buf);
      cb = room;
      EXPECT_EQ(RegQueryValueExA(m_root, "s", nullptr, nullptr, buf, &cb), ERROR_SUCCESS) << room;
      EXPECT_EQ(cb, n);
      EXPECT_EQ(memcmp(buf, kFull, n), 0);
      EXPECT_EQ(buf[n], room > n ? 0 : 0xbd) << room;
      char name[4];
      DWORD cch = sizeof name;
      memset(buf, 0xbd, sizeof buf);
      cb = room;
      EXPECT_EQ(RegEnumValueA(m_root, 0, name, &cch, nullptr, nullptr, buf, &cb), ERROR_SUCCESS) << room;
      EXPECT_EQ(cb, n);
      EXPECT_EQ(buf[n], room > n ? 0 : 0xbd) << room;
    }
    cb = 0;
    EXPECT_EQ(RegQueryValueExW(m_root, OLESTR("s"), nullptr, nullptr, nullptr, &cb), ERROR_SUCCESS);
    EXPECT_EQ(cb, n * sizeof(WCHAR)) << "no terminator in the wide form either";
  }
}

TEST_F(RegistryMore, FailingOpenOrCreateLeavesOrNullsTheResult) {
  const HKEY mark = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(kSentinel));
  HKEY k = mark;
  // No key at all is refused before the result is touched.
  EXPECT_EQ(RegOpenKeyExW(nullptr, OLESTR("Software"), 0, KEY_READ, &k), ERROR_INVALID_HANDLE);
  EXPECT_EQ_OR_WINE(mark, nullptr, k, "Wine 8 nulls the result first");
  k = mark;
  EXPECT_EQ(RegOpenKeyExA(nullptr, "", 0, KEY_READ, &k), ERROR_INVALID_HANDLE);
  EXPECT_EQ_OR_WINE(mark, nullptr, k, "Wine 8 nulls the result first");
  k = mark;
  EXPECT_EQ(RegCreateKeyExA(nullptr, "x", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr), ERROR_INVALID_HANDLE);
  EXPECT_EQ_OR_WINE(mark, nullptr, k, "Wine 8 nulls the result first");
  // A key that is missing nulls it.
  EXPECT_EQ(RegOpenKeyExA(m_root, "missing", 0, KEY_READ, &k), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(k, nullptr);
  // No place for the result, or a reserved argument used.
  if (!RunningUnderWine()) {  // Wine 8 writes through the null result pointer
    EXPECT_EQ(RegCreateKeyA(m_root, "x", nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyExA(m_root, "x", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, nullptr, nullptr), ERROR_BADKEY);
  }
  EXPECT_EQ(RegCreateKeyExA(m_root, "x", 1, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegOpenKeyExA(m_root, "x", 0, KEY_READ, &k), ERROR_FILE_NOT_FOUND) << "nothing was made";
}

// A class registered for the user and for the machine; HKEY_CLASSES_ROOT
// shows both sets of values, the user's first.
TEST_F(RegistryMore, ClassesRootMergesValuesAndHandlesDieWithTheirKey) {
  const WCHAR *cls = OLESTR("Software\\Classes\\RevdirRegistryMoreTest.Cls");
  RegDeleteTreeW(HKEY_CURRENT_USER, cls);
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, cls);
  HKEY machine = Create(HKEY_LOCAL_MACHINE, cls);
  SetA(machine, "X", "AB", 3);
  SetA(machine, "Z", "C", 2);
  HKEY early = nullptr;  // opened while only the machine has the class
  ASSERT_EQ(RegOpenKeyA(HKEY_CLASSES_ROOT, "RevdirRegistryMoreTest.Cls", &early), ERROR_SUCCESS);
  HKEY user = Create(HKEY_CURRENT_USER, cls);
  SetA(user, "X", "AA", 3);
  SetA(user, "Y", "B", 2);
  HKEY hkcr = nullptr;
  ASSERT_EQ(RegOpenKeyA(HKEY_CLASSES_ROOT, "RevdirRegistryMoreTest.Cls", &hkcr), ERROR_SUCCESS);
  if (RunningUnderWine() && ValueNamesA(hkcr) == std::vector<std::string>{"X", "Z"}) {
    for (HKEY k : {early, hkcr, user, machine}) RegCloseKey(k);
    RegDeleteTreeW(HKEY_CURRENT_USER, cls);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, cls);
    GTEST_SKIP() << "Wine's HKEY_CLASSES_ROOT shows the machine's classes only";
  }
  EXPECT_EQ(ValueNamesA(hkcr), (std::vector<std::string>{"X", "Y", "Z"}));
  char data[4];
  DWORD cb = sizeof data, values = 0;
  EXPECT_EQ(RegQueryValueExA(hkcr, "X", nullptr, nullptr, reinterpret_cast<BYTE *>(data), &cb), ERROR_SUCCESS);
  EXPECT_STREQ(data, "AA") << "the user's value wins";
  EXPECT_EQ(RegQueryInfoKeyW(hkcr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                             nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(values, 3u);
  cb = sizeof data;
  EXPECT_EQ(RegQueryValueExA(early, "Y", nullptr, nullptr, reinterpret_cast<BYTE *>(data), &cb), ERROR_SUCCESS)
      << "a handle on the machine's key finds the user's once there is one";

  // Deleting the user's key kills the handles on it; a new one finds the machine's.
  RegCloseKey(user);
  EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, cls), ERROR_SUCCESS);
  char name[4];
  DWORD cch = sizeof name;
  EXPECT_EQ(RegEnumValueA(hkcr, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
  cch = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(hkcr, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
  RegCloseKey(hkcr);
  ASSERT_EQ(RegOpenKeyA(HKEY_CLASSES_ROOT, "RevdirRegistryMoreTest.Cls", &hkcr), ERROR_SUCCESS);
  EXPECT_EQ(ValueNamesA(hkcr), (std::vector<std::string>{"X", "Z"}));
  for (HKEY k : {early, hkcr, machine}) RegCloseKey(k);
  EXPECT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, cls), ERROR_SUCCESS);
}

TEST_F(RegistryMore, ShortFormsOfSetQueryAndDelete) {
  // RegSetValue stores a string up to its terminator, whatever the count says,
  // as the default value of a subkey it makes when missing.
  EXPECT_EQ(RegSetValueA(m_root, "sub", REG_SZ, "data\0more", 2), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueA(m_root, "sub", REG_BINARY, "data", 4), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueW(m_root, nullptr, REG_EXPAND_SZ, OLESTR("x"), 4), ERROR_INVALID_PARAMETER);
  char buf[8] = {};
  LONG size = 1;
  EXPECT_EQ(RegQueryValueA(m_root, "sub", buf, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 5);
  EXPECT_EQ(buf[0], 0) << "untouched";
  size = sizeof buf;
  EXPECT_EQ(RegQueryValueA(m_root, "sub", buf, &size), ERROR_SUCCESS);
  EXPECT_STREQ(buf, "data");
  EXPECT_EQ(RegQueryValueA(m_root, "sub", buf, nullptr), ERROR_INVALID_PARAMETER);
  WCHAR wide[8];
  size = sizeof wide;
  EXPECT_EQ(RegQueryValueW(m_root, OLESTR("sub"), wide, &size), ERROR_SUCCESS);
  EXPECT_EQ(WString(wide), OLESTR("data"));
  EXPECT_EQ(size, 10);
  // A key without a default value reads as the empty string.
  size = sizeof buf;
  EXPECT_EQ(RegQueryValueA(m_root, nullptr, buf, &size), ERROR_SUCCESS);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(RegQueryValueA(m_root, "missing", buf, &size), ERROR_FILE_NOT_FOUND);

  SetA(m_root, "v", "1", 2);
  HKEY sub = nullptr;
  ASSERT_EQ(RegOpenKeyA(m_root, "sub", &sub), ERROR_SUCCESS);
  SetA(sub, "w", "2", 2);
  EXPECT_EQ(RegDeleteKeyValueA(m_root, nullptr, "v"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyValueW(m_root, OLESTR("sub"), OLESTR("w")), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(sub, "w", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyValueA(m_root, nullptr, "v"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyValueA(nullptr, nullptr, nullptr), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegDeleteKeyExW(m_root, OLESTR("sub"), KEY_WOW64_64KEY, 0), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(sub, "", nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
  RegCloseKey(sub);
  EXPECT_EQ(RegDeleteKeyExA(m_root, "sub", 0, 0), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryMore, OpenCurrentUserAndRenameKey) {
  HKEY user = HKEY_CURRENT_USER;
  ASSERT_EQ(RegOpenCurrentUser(KEY_READ, &user), ERROR_SUCCESS);
  EXPECT_NE(user, HKEY_CURRENT_USER) << "a handle of its own";
  HKEY k = nullptr;
  EXPECT_EQ(RegOpenKeyExW(user, kRoot, 0, KEY_READ, &k), ERROR_SUCCESS);
  RegCloseKey(k);
  RegCloseKey(user);

  HKEY old = Create(m_root, OLESTR("old"));
  SetA(old, "v", "1", 2);
  RegCloseKey(Create(m_root, OLESTR("other")));
  EXPECT_EQ(RegRenameKey(m_root, OLESTR("old"), OLESTR("New")), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExW(m_root, OLESTR("old"), 0, KEY_READ, &k), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(RegOpenKeyExW(m_root, OLESTR("new"), 0, KEY_READ, &k), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(k, "v", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  RegCloseKey(k);
  EXPECT_EQ(RegQueryValueExA(old, "v", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS) << "the handle follows";
  EXPECT_EQ(RegRenameKey(old, nullptr, OLESTR("Again")), ERROR_SUCCESS);
  WCHAR name[16];
  DWORD cch = 16;
  EXPECT_EQ(RegEnumKeyExW(m_root, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(WString(name), OLESTR("Again"));
  RegCloseKey(old);
  EXPECT_EQ(RegRenameKey(m_root, OLESTR("Again"), OLESTR("other")), ERROR_ACCESS_DENIED) << "the name is taken";
  EXPECT_EQ(RegRenameKey(m_root, OLESTR("missing"), OLESTR("x")), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegRenameKey(m_root, OLESTR("Again"), OLESTR("a\\b")), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryMore, NotifyChangeKeyValueSetsTheEventOnce) {
  HANDLE event = CreateEventW(nullptr, FALSE, TRUE, nullptr);
  ASSERT_NE(event, nullptr);
  HKEY key = Create(m_root, OLESTR("watched"));
  const DWORD both = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
  auto notify = [&](BOOL subtree, DWORD filter) {
    EXPECT_EQ(RegNotifyChangeKeyValue(key, subtree, filter, event, TRUE), ERROR_SUCCESS);
    EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "reset when asked";
  };
  notify(TRUE, both);
  HKEY sub = Create(key, OLESTR("sub"));
  EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_OBJECT_0)) << "a new subkey";
  notify(TRUE, both);
  HKEY deep = Create(sub, OLESTR("deep"));
  EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_OBJECT_0)) << "a new key further down";
  notify(TRUE, both);
  SetA(deep, "v", "1", 2);
  EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_OBJECT_0)) << "a value further down";
  SetA(deep, "v", "2", 2);
  EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "once per call";

  // A handle keeps what its first call asked for: others ask with a new one.
  RegCloseKey(key);
  key = Create(m_root, OLESTR("watched"));
  notify(FALSE, both);
  SetA(deep, "v", "3", 2);
  EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "not watching the subtree";
  SetA(key, "v", "1", 2);
  EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_OBJECT_0)) << "a value of the key itself";
  RegCloseKey(key);
  key = Create(m_root, OLESTR("watched"));
  notify(FALSE, REG_NOTIFY_CHANGE_NAME);
  SetA(key, "v", "2", 2);
  EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "names only";

  // Closing the key ends it.
  RegCloseKey(key);
  ResetEvent(event);
  RegCloseKey(Create(m_root, OLESTR("watched\\late")));
  EXPECT_EQ(WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "closed";

  HKEY setOnly = Create(m_root, OLESTR("watched"), KEY_SET_VALUE);
  EXPECT_EQ(RegNotifyChangeKeyValue(setOnly, FALSE, both, event, TRUE), ERROR_ACCESS_DENIED);
  EXPECT_EQ_OR_WINE(ERROR_INVALID_PARAMETER, ERROR_SUCCESS, RegNotifyChangeKeyValue(m_root, FALSE, 0x100, event, TRUE),
                    "Wine takes a filter of unknown bits");
  EXPECT_EQ(RegNotifyChangeKeyValue(m_root, FALSE, REG_NOTIFY_CHANGE_NAME, nullptr, TRUE), ERROR_INVALID_HANDLE);
  for (HKEY k : {setOnly, sub, deep}) RegCloseKey(k);
  CloseHandle(event);
}

// Started by the test below as a process of its own: sets a value below the
// key REVDIR_REG_NOTIFY_CHILD names (below HKEY_CURRENT_USER).
TEST(RegistryNotifyChild, DISABLED_SetsAValue) {
  const char *path = getenv(kNotifyChildVariable);
  ASSERT_NE(path, nullptr);
  HKEY k = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_SET_VALUE, &k), ERROR_SUCCESS);
  DWORD v = 1;
  EXPECT_EQ(RegSetValueExA(k, "from-child", 0, REG_DWORD, reinterpret_cast<BYTE *>(&v), sizeof v), ERROR_SUCCESS);
  RegCloseKey(k);
}

TEST_F(RegistryMore, NotifyChangeKeyValueSeesOtherProcesses) {
  HKEY key = Create(m_root, OLESTR("shared"));
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  ASSERT_EQ(RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE), ERROR_SUCCESS);
  SetVariable(kNotifyChildVariable, "Software\\RevdirRegistryMoreTest\\shared");
  ASSERT_TRUE(StartThisProgramFor("RegistryNotifyChild.DISABLED_SetsAValue")) << GetLastError();
  SetVariable(kNotifyChildVariable, "");
  EXPECT_EQ(WaitForSingleObject(event, 20000), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(RegQueryValueExA(key, "from-child", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  RegCloseKey(key);
  CloseHandle(event);
}

}  // namespace
