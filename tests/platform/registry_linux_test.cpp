// How the registry is stored on Linux: the hive files in the prefix, what
// survives a killed writer, several processes sharing a prefix, and hives
// that cannot be parsed or written.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "conformance.h"
#include "fresh_prefix.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const std::string &path, const std::string &bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::u16string Name(int i) {
  std::string s = "v" + std::to_string(i);
  return std::u16string(s.begin(), s.end());
}

class RegistryStorage : public ::testing::Test {
 protected:
  void SetUp() override { m_prefix = NewPrefix(); }
  void TearDown() override {
    for (auto &p : m_made) fs::remove_all(p);
  }

  // Durability against power loss cannot be tested here; tmpfs keeps the
  // many fsyncs of these tests cheap.
  std::string NewPrefix() {
    std::string base = fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path().string();
    std::string dir = base + "/revdir-regstore-XXXXXX";
    EXPECT_NE(mkdtemp(dir.data()), nullptr);
    m_made.push_back(dir);
    Use(dir);
    return dir;
  }
  void Use(const std::string &dir) { m_prefixOverride.Use(dir); }
  std::string Hive() const { return m_prefix + "/system.reg"; }

  static DWORD QueryDword(HKEY k, const WCHAR *name, LONG *result) {
    DWORD v = kSentinel, cb = sizeof v;
    *result = RegQueryValueExW(k, name, nullptr, nullptr, reinterpret_cast<BYTE *>(&v), &cb);
    return v;
  }

  PrefixOverride m_prefixOverride;
  std::string m_prefix;
  std::vector<std::string> m_made;
};

struct ValueSeen {
  std::u16string name;
  DWORD type;
  std::vector<BYTE> data;
  bool operator==(const ValueSeen &) const = default;
};

std::vector<ValueSeen> AllValues(HKEY k) {
  std::vector<ValueSeen> out;
  for (DWORD i = 0;; ++i) {
    WCHAR name[64];
    BYTE data[256];
    DWORD cch = 64, cb = sizeof data, type = 0;
    if (RegEnumValueW(k, i, name, &cch, nullptr, &type, data, &cb) != ERROR_SUCCESS) break;
    out.push_back({std::u16string(name, cch), type, std::vector<BYTE>(data, data + cb)});
  }
  return out;
}

std::vector<BYTE> U16Bytes(std::u16string_view s, bool terminator) {
  std::vector<BYTE> b;
  for (char16_t c : s) {
    b.push_back(static_cast<BYTE>(c & 0xFF));
    b.push_back(static_cast<BYTE>(c >> 8));
  }
  if (terminator) b.insert(b.end(), {0, 0});
  return b;
}

TEST_F(RegistryStorage, ReadsAWindowsExportAndWritesItBackExactly) {
  // As exported on Windows: UTF-16LE with a BOM and CRLF line ends.
  std::u16string text =
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test]\r\n"
      u"@=\"say \\\"hi\\\" C:\\\\dir\"\r\n"
      u"\"dw\"=dword:0000001f\r\n"
      u"\"bin\"=hex:00,01,fe,ff\r\n"
      u"\"exp\"=hex(2):25,00,50,00,41,00,54,00,48,00,25,00,00,00\r\n"
      u"\"multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
      u"\"q\"=hex(b):88,77,66,55,44,33,22,11\r\n"
      u"\"none\"=hex(0):\r\n"
      u"\"raw\"=hex(1):61,00,00,00,62,00\r\n"
      u"\"odd\"=hex(12345):01\r\n"
      u"\"long\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
      u"  16,17,18,19\r\n"
      u"\"\u00fcml\u00e4ut\"=\"\u65e5\u672c\"\r\n"
      u"\"tmp\"=\"x\"\r\n"
      u"\"tmp\"=-\r\n"
      u"\r\n"
      u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\Empty]\r\n"
      u"\r\n"
      u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\Gone]\r\n"
      u"\"x\"=\"y\"\r\n"
      u"[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\Gone]\r\n"
      u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\Gone\\Back]\r\n";
  std::string bytes = "\xFF\xFE";
  for (BYTE b : U16Bytes(text, false)) bytes.push_back(static_cast<char>(b));
  WriteFile(Hive(), bytes);

  std::vector<BYTE> longData;
  for (BYTE i = 0; i < 0x1a; ++i) longData.push_back(i);
  const std::vector<ValueSeen> expected = {
      {u"", REG_SZ, U16Bytes(u"say \"hi\" C:\\dir", true)},
      {u"dw", REG_DWORD, {0x1f, 0, 0, 0}},
      {u"bin", REG_BINARY, {0, 1, 0xfe, 0xff}},
      {u"exp", REG_EXPAND_SZ, U16Bytes(u"%PATH%", true)},
      {u"multi", REG_MULTI_SZ, U16Bytes(std::u16string(u"a\0b\0\0", 5), false)},
      {u"q", REG_QWORD, {0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11}},
      {u"none", REG_NONE, {}},
      {u"raw", REG_SZ, U16Bytes(std::u16string(u"a\0b", 3), false)},
      {u"odd", 0x12345, {1}},
      {u"long", REG_BINARY, longData},
      {u"\u00fcml\u00e4ut", REG_SZ, U16Bytes(u"\u65e5\u672c", true)},
  };
  auto check = [&](const char *when) {
    HKEY k = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Test", 0, KEY_READ, &k), ERROR_SUCCESS) << when;
    EXPECT_EQ(AllValues(k), expected) << when;
    DWORD subkeys = 0;
    RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr);
    EXPECT_EQ(subkeys, 2u) << when << ": Empty, and Gone made anew";
    RegCloseKey(k);
    // A section below a deleted key makes the key again, empty.
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Test\\Gone", 0, KEY_READ, &k), ERROR_SUCCESS) << when;
    EXPECT_EQ(AllValues(k), std::vector<ValueSeen>{}) << when;
    RegCloseKey(k);
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Test\\Gone\\Back", 0, KEY_READ, &k), ERROR_SUCCESS)
        << when;
    RegCloseKey(k);
  };
  check("read from the export");

  // A change makes the store write the hive in its own form; a process that
  // reads that file afresh (here: another prefix with a copy) sees the same.
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Other", &k), ERROR_SUCCESS);
  RegCloseKey(k);
  std::string written = ReadFile(Hive());
  EXPECT_EQ(written.rfind("Windows Registry Editor Version 5.00\n\n", 0), 0u) << written;
  EXPECT_NE(written.find("\"dw\"=dword:0000001f\n"), std::string::npos) << written;
  EXPECT_NE(written.find("@=\"say \\\"hi\\\" C:\\\\dir\"\n"), std::string::npos) << written;
  EXPECT_NE(written.find("\"raw\"=hex(1):61,00,00,00,62,00\n"), std::string::npos) << written;
  std::string copy = NewPrefix();
  fs::copy_file(Hive(), copy + "/system.reg");
  check("read from the store's own file");
}

TEST_F(RegistryStorage, KilledWriterNeverCorruptsNorLosesAReturnedWrite) {
  constexpr int kWrites = 200;
  std::mt19937 rng(testing::UnitTest::GetInstance()->random_seed());
  int next = 0, rounds = 0;
  std::set<int> returned;
  while (next < kWrites) {
    ++rounds;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(fds[0]);
      HKEY k = nullptr;
      if (RegCreateKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Crash", &k) != ERROR_SUCCESS) _exit(2);
      for (int i = next; i < kWrites; ++i) {
        // Sizeable values make the hive, and so each save, take a while.
        std::vector<BYTE> v(256, static_cast<BYTE>(i));
        if (RegSetValueExW(k, Name(i).c_str(), 0, REG_BINARY, v.data(), 256) != ERROR_SUCCESS) _exit(3);
        if (write(fds[1], &i, sizeof i) != sizeof i) _exit(4);
      }
      _exit(0);
    }
    close(fds[1]);
    // Let a few writes return, then kill at a random moment of the next.
    int i, wait = static_cast<int>(rng() % 4);
    while (wait-- > 0 && read(fds[0], &i, sizeof i) == sizeof i) {
      returned.insert(i);
      next = i + 1;
    }
    usleep(static_cast<useconds_t>(rng() % 100));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << status;
    while (read(fds[0], &i, sizeof i) == sizeof i) {
      returned.insert(i);
      next = i + 1;
    }
    close(fds[0]);

    // The hive parses, and every write whose call returned is there.
    HKEY k = nullptr;
    LONG r = RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Crash", 0, KEY_READ, &k);
    if (returned.empty()) {
      ASSERT_TRUE(r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND) << r;
    } else {
      ASSERT_EQ(r, ERROR_SUCCESS) << "round " << rounds;
      for (int w : returned) {
        std::vector<BYTE> got(300);
        DWORD cb = 300;
        ASSERT_EQ(RegQueryValueExW(k, Name(w).c_str(), nullptr, nullptr, got.data(), &cb), ERROR_SUCCESS)
            << "write " << w << " lost in round " << rounds;
        got.resize(cb);
        EXPECT_EQ(got, std::vector<BYTE>(256, static_cast<BYTE>(w))) << "write " << w;
      }
    }
    if (k) RegCloseKey(k);
  }
  EXPECT_EQ(returned.size(), static_cast<size_t>(kWrites));
  std::printf("%d writer processes killed\n", rounds);
}

TEST_F(RegistryStorage, ConcurrentWritersLoseNothing) {
  constexpr int kEach = 500;
  pid_t pids[2];
  for (int p = 0; p < 2; ++p) {
    pids[p] = fork();
    ASSERT_GE(pids[p], 0);
    if (pids[p] == 0) {
      HKEY k = nullptr;
      if (RegCreateKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Shared", &k) != ERROR_SUCCESS) _exit(2);
      for (int i = 0; i < kEach; ++i) {
        DWORD v = static_cast<DWORD>(p * kEach + i);
        if (RegSetValueExW(k, Name(p * kEach + i).c_str(), 0, REG_DWORD, reinterpret_cast<BYTE *>(&v), 4))
          _exit(3);
      }
      _exit(0);
    }
  }
  for (pid_t pid : pids) {
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  HKEY k = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Shared", 0, KEY_READ, &k), ERROR_SUCCESS);
  DWORD values = 0;
  RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                   nullptr);
  EXPECT_EQ(values, 2u * kEach);
  for (int i = 0; i < 2 * kEach; ++i) {
    LONG r;
    EXPECT_EQ(QueryDword(k, Name(i).c_str(), &r), static_cast<DWORD>(i));
    ASSERT_EQ(r, ERROR_SUCCESS) << i;
  }
  RegCloseKey(k);
}

TEST_F(RegistryStorage, AnotherProcessChangesAreSeenOnTheNextCall) {
  HKEY shared = nullptr, sub = nullptr;
  ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, u"Software\\Seen", &shared), ERROR_SUCCESS);
  ASSERT_EQ(RegCreateKeyW(shared, u"Sub", &sub), ERROR_SUCCESS);
  LONG r;
  QueryDword(shared, u"v", &r);
  EXPECT_EQ(r, ERROR_FILE_NOT_FOUND);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    HKEY k = nullptr;
    DWORD v = 42;
    bool ok = RegOpenKeyW(HKEY_CURRENT_USER, u"Software\\Seen", &k) == ERROR_SUCCESS &&
              RegSetValueExW(k, u"v", 0, REG_DWORD, reinterpret_cast<BYTE *>(&v), 4) == ERROR_SUCCESS &&
              RegDeleteKeyW(k, u"Sub") == ERROR_SUCCESS;
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(QueryDword(shared, u"v", &r), 42u);
  EXPECT_EQ(r, ERROR_SUCCESS);
  QueryDword(sub, u"v", &r);
  EXPECT_EQ(r, ERROR_KEY_DELETED);
  RegCloseKey(sub);
  RegCloseKey(shared);

  // Another prefix is another machine; coming back finds the value again.
  std::string first = m_prefix;
  NewPrefix();
  EXPECT_EQ(RegOpenKeyW(HKEY_CURRENT_USER, u"Software\\Seen", &shared), ERROR_FILE_NOT_FOUND);
  Use(first);
  ASSERT_EQ(RegOpenKeyW(HKEY_CURRENT_USER, u"Software\\Seen", &shared), ERROR_SUCCESS);
  EXPECT_EQ(QueryDword(shared, u"v", &r), 42u);
  RegCloseKey(shared);
}

TEST_F(RegistryStorage, UnparsableHiveFailsWithBadDbAndIsNeverWritten) {
  const std::string broken =
      "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n\"ok\"=dword:00000001\n"
      "\"bad\"=dword:not-hex\n";
  WriteFile(Hive(), broken);
  testing::internal::CaptureStderr();
  HKEY k = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\A", 0, KEY_READ, &k), ERROR_BADDB);
  DWORD v = 1;
  EXPECT_EQ(RegSetValueExW(HKEY_LOCAL_MACHINE, u"x", 0, REG_DWORD, reinterpret_cast<BYTE *>(&v), 4), ERROR_BADDB);
  EXPECT_EQ(RegCreateKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\B", &k), ERROR_BADDB);
  EXPECT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, nullptr), ERROR_BADDB);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find(Hive() + ":5:"), std::string::npos) << err;
  EXPECT_EQ(err.find("registry:"), err.rfind("registry:")) << "reported once: " << err;
  EXPECT_EQ(ReadFile(Hive()), broken);
  // The other hive is unaffected.
  EXPECT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, u"Software\\Fine", &k), ERROR_SUCCESS);
  RegCloseKey(k);

  // Once a person repairs the file it is used again.
  WriteFile(Hive(), "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n\"ok\"=dword:2\n");
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\A", 0, KEY_READ, &k), ERROR_SUCCESS);
  LONG r;
  EXPECT_EQ(QueryDword(k, u"ok", &r), 2u);
  RegCloseKey(k);
}

TEST_F(RegistryStorage, ReadOnlyHiveStaysReadableAndRefusesWrites) {
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Ro", &k), ERROR_SUCCESS);
  DWORD v = 9;
  ASSERT_EQ(RegSetValueExW(k, u"v", 0, REG_DWORD, reinterpret_cast<BYTE *>(&v), 4), ERROR_SUCCESS);
  std::string before = ReadFile(Hive());
  ASSERT_EQ(chmod(Hive().c_str(), 0444), 0);

  LONG r;
  EXPECT_EQ(QueryDword(k, u"v", &r), 9u);
  EXPECT_EQ(r, ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(k, u"w", 0, REG_DWORD, reinterpret_cast<BYTE *>(&v), 4), ERROR_ACCESS_DENIED);
  HKEY sub = nullptr;
  EXPECT_EQ(RegCreateKeyW(k, u"sub", &sub), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Ro"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(QueryDword(k, u"v", &r), 9u) << "memory must still match the file";
  EXPECT_EQ(ReadFile(Hive()), before);
  RegCloseKey(k);
  chmod(Hive().c_str(), 0644);
}

// The statements of an import, each a key created or a value set, in order:
// key k of a run, then its values.
std::vector<BYTE> ImportData(int k, int v) { return std::vector<BYTE>(48, static_cast<BYTE>(k * 19 + v)); }

std::u16string ImportKey(int run, int k) {
  std::string s = "SOFTWARE\\Import" + std::to_string(run) + "\\K" + std::to_string(k);
  return std::u16string(s.begin(), s.end());
}

// Runs an import's statements through the API as `revdir reg import` does:
// one handle per section, closed when the next starts. Tells ready once
// the first section is written.
void ImportStatements(int run, int ready) {
  for (int k = 0; k < 40; ++k) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, ImportKey(run, k).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr))
      _exit(2);
    for (int v = 0; v < 19; ++v) {
      std::vector<BYTE> data = ImportData(k, v);
      if (RegSetValueExW(key, Name(v).c_str(), 0, REG_BINARY, data.data(), static_cast<DWORD>(data.size()))) _exit(3);
    }
    RegCloseKey(key);
    if (k == 0 && write(ready, "r", 1) != 1) _exit(4);
  }
  _exit(0);
}

// How many of a run's statements are there, in order; fails when one is
// there only in part or follows one that is missing.
int StatementsPresent(int run) {
  int present = 0;
  bool gap = false;
  for (int k = 0; k < 40; ++k) {
    HKEY key = nullptr;
    const bool keyThere = RegOpenKeyExW(HKEY_LOCAL_MACHINE, ImportKey(run, k).c_str(), 0, KEY_READ, &key) == 0;
    EXPECT_FALSE(gap && keyThere) << "run " << run << " key " << k << " follows a missing statement";
    gap = gap || !keyThere;
    present += keyThere;
    for (int v = 0; keyThere && v < 19; ++v) {
      std::vector<BYTE> got(64);
      DWORD cb = 64;
      const bool there = RegQueryValueExW(key, Name(v).c_str(), nullptr, nullptr, got.data(), &cb) == 0;
      EXPECT_FALSE(gap && there) << "run " << run << " value " << k << "/" << v << " follows a missing statement";
      gap = gap || !there;
      present += there;
      got.resize(there ? cb : 0);
      if (there) {
        EXPECT_EQ(got, ImportData(k, v)) << "run " << run << " value " << k << "/" << v;
      }
    }
    if (key) RegCloseKey(key);
  }
  return present;
}

TEST_F(RegistryStorage, WriterKilledInAnImportLeavesEachStatementWholeOrAbsent) {
  HKEY before = nullptr;
  ASSERT_EQ(RegCreateKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Before", &before), ERROR_SUCCESS);
  DWORD one = 1;
  ASSERT_EQ(RegSetValueExW(before, u"kept", 0, REG_DWORD, reinterpret_cast<BYTE *>(&one), 4), ERROR_SUCCESS);
  RegCloseKey(before);
  std::mt19937 rng(testing::UnitTest::GetInstance()->random_seed());
  constexpr int kRuns = 8;
  std::vector<int> present;
  for (int run = 0; run < kRuns; ++run) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(fds[0]);
      ImportStatements(run, fds[1]);
    }
    close(fds[1]);
    char c;
    ASSERT_EQ(read(fds[0], &c, 1), 1);
    close(fds[0]);
    usleep(static_cast<useconds_t>(rng() % 3000));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    present.push_back(StatementsPresent(run));
    EXPECT_GE(present.back(), 20) << "the first section had returned";
    std::printf("run %d killed after %d of 800 statements\n", run, present.back());
  }
  // A process reading the files afresh finds the same.
  std::string hive = ReadFile(Hive()), journal = ReadFile(Hive() + ".journal");
  m_prefix = NewPrefix();
  WriteFile(Hive(), hive);
  WriteFile(Hive() + ".journal", journal);
  for (int run = 0; run < kRuns; ++run) EXPECT_EQ(StatementsPresent(run), present[run]) << run;
  HKEY k = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Before", 0, KEY_READ, &k), ERROR_SUCCESS);
  LONG r;
  EXPECT_EQ(QueryDword(k, u"kept", &r), 1u);
  RegCloseKey(k);
}

TEST_F(RegistryStorage, TornJournalTailIsIgnoredAndTheNextWriteLands) {
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Torn", &k), ERROR_SUCCESS);
  DWORD v = 1;
  ASSERT_EQ(RegSetValueExW(k, u"first", 0, REG_DWORD, reinterpret_cast<BYTE *>(&v), 4), ERROR_SUCCESS);
  const size_t whole = fs::file_size(Hive() + ".journal");
  ASSERT_EQ(RegSetValueExW(k, u"last", 0, REG_DWORD, reinterpret_cast<BYTE *>(&v), 4), ERROR_SUCCESS);
  RegCloseKey(k);
  const std::string hive = ReadFile(Hive()), journal = ReadFile(Hive() + ".journal");
  ASSERT_GT(journal.size(), whole);
  auto expect = [&](const char16_t *name, bool there, size_t cut) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Torn", 0, KEY_READ, &key), ERROR_SUCCESS) << cut;
    LONG r;
    QueryDword(key, name, &r);
    EXPECT_EQ(r, there ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND)
        << (there ? "missing" : "present") << " with the journal cut at " << cut;
    RegCloseKey(key);
  };
  for (size_t cut = whole; cut < journal.size(); ++cut) {
    m_prefix = NewPrefix();
    WriteFile(Hive(), hive);
    WriteFile(Hive() + ".journal", journal.substr(0, cut));
    expect(u"first", true, cut);
    expect(u"last", false, cut);
    ASSERT_EQ(RegOpenKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Torn", &k), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(k, u"next", 0, REG_DWORD, reinterpret_cast<BYTE *>(&v), 4), ERROR_SUCCESS) << cut;
    RegCloseKey(k);
    // Read afresh elsewhere: the torn record gone, the new one there.
    const std::string again = ReadFile(Hive() + ".journal");
    m_prefix = NewPrefix();
    WriteFile(Hive(), hive);
    WriteFile(Hive() + ".journal", again);
    expect(u"first", true, cut);
    expect(u"last", false, cut);
    expect(u"next", true, cut);
  }
}

std::vector<BYTE> LargeData(int i) { return std::vector<BYTE>(1024, static_cast<BYTE>(i)); }

// Every large value i < count is in the key, whole.
::testing::AssertionResult HoldsLargeValues(HKEY k, int count) {
  for (int i = 0; i < count; ++i) {
    std::vector<BYTE> got(2048);
    DWORD cb = 2048;
    if (LONG r = RegQueryValueExW(k, Name(i).c_str(), nullptr, nullptr, got.data(), &cb))
      return ::testing::AssertionFailure() << "value " << i << ": " << r;
    got.resize(cb);
    if (got != LargeData(i)) return ::testing::AssertionFailure() << "value " << i << " differs";
  }
  return ::testing::AssertionSuccess();
}

TEST_F(RegistryStorage, GrownJournalIsFoldedIntoTheHive) {
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Fold", &k), ERROR_SUCCESS);
  constexpr int kValues = 200;  // some 600 KiB of records
  // Another process that read the hive before the fold.
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    close(go[1]);
    char c;
    _exit(read(go[0], &c, 1) == 1 && HoldsLargeValues(k, kValues) ? 0 : 1);
  }
  close(go[0]);
  for (int i = 0; i < kValues; ++i) {
    std::vector<BYTE> data = LargeData(i);
    ASSERT_EQ(RegSetValueExW(k, Name(i).c_str(), 0, REG_BINARY, data.data(), 1024), ERROR_SUCCESS);
  }
  EXPECT_NE(ReadFile(Hive()).find("\"v0\"=hex:00,00"), std::string::npos) << "the early records are in the hive";
  EXPECT_LT(fs::file_size(Hive() + ".journal"), 300u * 1024);
  EXPECT_TRUE(HoldsLargeValues(k, kValues));
  RegCloseKey(k);
  ASSERT_EQ(write(go[1], "g", 1), 1);
  close(go[1]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other process missed a change";

  std::string hive = ReadFile(Hive()), journal = ReadFile(Hive() + ".journal");
  m_prefix = NewPrefix();
  WriteFile(Hive(), hive);
  WriteFile(Hive() + ".journal", journal);
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Fold", 0, KEY_READ, &k), ERROR_SUCCESS);
  EXPECT_TRUE(HoldsLargeValues(k, kValues));
  RegCloseKey(k);
}

TEST_F(RegistryStorage, ReaderProcessSeesAnAppendAndIsNotified) {
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, u"Software\\Watched", &k), ERROR_SUCCESS);
  RegCloseKey(k);
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    close(ready[0]);
    HKEY key = nullptr;
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Watched", 0, KEY_READ, &key) ||
        RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE) || write(ready[1], "r", 1) != 1)
      _exit(2);
    if (WaitForSingleObject(event, 10000) != WAIT_OBJECT_0) _exit(3);
    LONG r;
    // exit, not _exit: its watcher thread is joined at exit.
    exit(QueryDword(key, u"v", &r) == 7 && r == ERROR_SUCCESS ? 0 : 4);
  }
  close(ready[1]);
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  close(ready[0]);
  ASSERT_EQ(RegOpenKeyW(HKEY_CURRENT_USER, u"Software\\Watched", &k), ERROR_SUCCESS);
  DWORD v = 7;
  ASSERT_EQ(RegSetValueExW(k, u"v", 0, REG_DWORD, reinterpret_cast<BYTE *>(&v), 4), ERROR_SUCCESS);
  RegCloseKey(k);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(ReadFile(m_prefix + "/user.reg").find("\"v\""), std::string::npos) << "appended, not folded";
}

}  // namespace

// Data on a page that cannot be read, or running off the end of a readable
// one, is refused with ERROR_NOACCESS before anything is read.
TEST_F(RegistryStorage, UnreadableDataIsRefusedNotRead) {
  const long page = sysconf(_SC_PAGESIZE);
  auto *mem = static_cast<BYTE *>(mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(mem, MAP_FAILED);
  ASSERT_EQ(mprotect(mem + page, page, PROT_NONE), 0);
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, u"Software\\Probe", &k), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(k, u"v", 0, REG_BINARY, mem + page, 4), ERROR_NOACCESS);
  EXPECT_EQ(RegSetValueExW(k, u"v", 0, REG_BINARY, mem + page - 2, 4), ERROR_NOACCESS);
  EXPECT_EQ(RegSetValueExA(k, "v", 0, REG_SZ, mem + page - 2, 4), ERROR_NOACCESS);
  EXPECT_EQ(RegSetValueExW(k, u"v", 0, REG_BINARY, mem + page - 4, 4), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(k, u"v", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  RegCloseKey(k);
  munmap(mem, 2 * page);
}
