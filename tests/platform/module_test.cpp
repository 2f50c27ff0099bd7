// Conformance tests of modules and their resources, on a fixture module with
// exports, string tables in several languages and binary resources.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "../fixtures/fixture_ids.h"
#include "conformance.h"
#include "platform/text/wide_text.h"
#include "scratch.h"

namespace {

const std::string kFixturePath = FixtureFileA(REVDIR_FIXTURE_MODULE);
const char *const kFixture = kFixturePath.c_str();

// The fixture's file name without its folder.
std::string FixtureBaseName() {
  std::string path = kFixture;
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::vector<unsigned char> ReadWhole(const std::string &path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  std::vector<unsigned char> data;
  if (h == INVALID_HANDLE_VALUE) return data;
  data.resize(GetFileSize(h, nullptr));
  DWORD got = 0;
  if (!ReadFile(h, data.data(), static_cast<DWORD>(data.size()), &got, nullptr)) got = 0;
  data.resize(got);
  CloseHandle(h);
  return data;
}

// Whether a loaded module has a TLS directory (a shared object here has none).
bool HasStaticTls(HMODULE module) {
#ifdef _WIN32
  auto base = reinterpret_cast<const BYTE *>(module);
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
  return nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_TLS].Size != 0;
#else
  (void)module;
  return false;
#endif
}

// An export as a function of the given type (void(*)() launders the cast).
template <typename F>
F Proc(HMODULE module, const char *name) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_module = LoadLibraryA(kFixture);
    ASSERT_NE(m_module, nullptr) << kFixture << ": " << GetLastError();
  }
  void TearDown() override {
    if (m_module) FreeLibrary(m_module);
  }
  HMODULE m_module = nullptr;
};

int LocalFunction() { return 1; }

TEST_F(ModuleTest, ExportsAndTheModuleItsOwnHandle) {
  auto answer = Proc<int (*)()>(m_module, "FixtureAnswer");
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  // Export names are exact.
  ResetLastError();
  EXPECT_EQ(GetProcAddress(m_module, "fixtureanswer"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  // Not an export of this module, though the process has it.
  ResetLastError();
  EXPECT_EQ(GetProcAddress(m_module, "LoadStringW"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));

  // While loading, the module found its own handle from its own address.
  auto self = Proc<HMODULE (*)()>(m_module, "FixtureSelf");
  ASSERT_NE(self, nullptr);
  EXPECT_EQ(self(), m_module);
  HMODULE found = reinterpret_cast<HMODULE>(kSentinel);
  ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                 reinterpret_cast<LPCWSTR>(answer), &found));
  EXPECT_EQ(found, m_module);
  // It fails for a module with static thread-local storage, which every
  // module that mingw builds carries.
  EXPECT_EQ(DisableThreadLibraryCalls(m_module) != FALSE, !HasStaticTls(m_module));

  // The program itself.
  HMODULE program = GetModuleHandleW(nullptr);
  ASSERT_NE(program, nullptr);
  EXPECT_EQ(GetModuleHandleA(nullptr), program);
  found = nullptr;
  ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                 reinterpret_cast<LPCWSTR>(&LocalFunction), &found));
  EXPECT_EQ(found, program);

  // Bad requests.
  int onStack = 0;
  found = reinterpret_cast<HMODULE>(kSentinel);
  ResetLastError();
  EXPECT_FALSE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&onStack), &found));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(found, nullptr);
  ResetLastError();
  EXPECT_FALSE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                  nullptr, &found));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(ModuleTest, NamesAndReferenceCounts) {
  std::string base = FixtureBaseName();
  std::string upper = base;
  for (char &c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  // By base name, ignoring case, without loading.
  EXPECT_EQ(GetModuleHandleA(upper.c_str()), m_module);
  EXPECT_EQ(GetModuleHandleW(platform::Widen(base).c_str()), m_module);
  ResetLastError();
  EXPECT_EQ(GetModuleHandleW(OLESTR("revdir-no-such-module.dll")), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

  // Every load and every counted GetModuleHandleEx needs its FreeLibrary; a
  // bare name finds the module already loaded.
  HMODULE again = LoadLibraryW(platform::Widen(kFixture).c_str());
  EXPECT_EQ(again, m_module);
  HMODULE byName = LoadLibraryA(upper.c_str());
  EXPECT_EQ(byName, m_module);
  EXPECT_TRUE(FreeLibrary(byName));
  HMODULE counted = nullptr;
  ASSERT_TRUE(GetModuleHandleExW(0, platform::Widen(base).c_str(), &counted));
  EXPECT_EQ(counted, m_module);
  EXPECT_TRUE(FreeLibrary(again));
  EXPECT_TRUE(FreeLibrary(counted));
  EXPECT_EQ(GetModuleHandleA(base.c_str()), m_module);
  EXPECT_TRUE(FreeLibrary(m_module));
  m_module = nullptr;
  ResetLastError();
  EXPECT_EQ(GetModuleHandleA(base.c_str()), nullptr) << "unloaded with its last reference";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST_F(ModuleTest, FileNamesTruncateLikeWindows) {
  WCHAR full[1024];
  DWORD n = GetModuleFileNameW(m_module, full, 1024);
  ASSERT_GT(n, 0u);
  ASSERT_LT(n, 1024u);
  WString name(full, n);
  EXPECT_EQ(full[n], 0);
  WString base = platform::Widen(FixtureBaseName());
  ASSERT_GT(name.size(), base.size());
  EXPECT_EQ(name.substr(name.size() - base.size()), base) << Printable(full);
  EXPECT_EQ(name[name.size() - base.size() - 1], OLESTR('\\'));
  EXPECT_EQ(name[1], OLESTR(':')) << "a Windows path with a drive: " << Printable(full);

  // Too small: filled, truncated, terminated, the size returned.
  WCHAR small[8];
  for (auto &c : small) c = 0xBEEF;
  ResetLastError();
  EXPECT_EQ(GetModuleFileNameW(m_module, small, 5), 5u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(WString(small, 4), name.substr(0, 4));
  EXPECT_EQ_OR_WINE(OLESTR('\0'), name[4], small[4], "Wine truncates without the terminator, as Windows XP did");
  EXPECT_EQ(small[5], 0xBEEF) << "wrote past the buffer";
  // Exactly the length: no room for the terminator.
  ResetLastError();
  EXPECT_EQ(GetModuleFileNameW(m_module, full, n), n);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

  char narrow[8];
  memset(narrow, 'x', sizeof narrow);
  EXPECT_EQ(GetModuleFileNameA(m_module, narrow, 4), 4u);
  EXPECT_TRUE(narrow[3] == 0 || RunningUnderWine());
  EXPECT_EQ(narrow[4], 'x');

  ASSERT_GT(GetModuleFileNameW(nullptr, full, 1024), 0u) << "the program's own file";
  EXPECT_EQ(full[1], OLESTR(':'));
}

TEST(ModuleLoadTest, MissingModulesAndFilesThatAreNotModules) {
  ScratchDir dir;
  ResetLastError();
  EXPECT_EQ(LoadLibraryW((dir / OLESTR("absent.dll")).c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  ResetLastError();
  EXPECT_EQ(LoadLibraryA("revdir-no-such-module.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

  const auto text = dir / OLESTR("text.dll");
  HANDLE h = CreateFileW(text.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  const char junk[] = "this is not a module, though it is long enough to have a header or two in it";
  WriteFile(h, junk, sizeof junk, &written, nullptr);
  CloseHandle(h);
  ResetLastError();
  EXPECT_EQ(LoadLibraryW(text.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
}

TEST_F(ModuleTest, BinaryResources) {
  HRSRC res = FindResourceW(m_module, MAKEINTRESOURCEW(IDR_REGISTRY), OLESTR("REGISTRY"));
  ASSERT_NE(res, nullptr) << GetLastError();
  // Type names ignore case and "#n" names a number.
  EXPECT_EQ(FindResourceW(m_module, OLESTR("#101"), OLESTR("registry")), res);
  auto expected = ReadWhole(FixtureFileA(REVDIR_FIXTURE_DIR "/fixture.rgs"));
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(SizeofResource(m_module, res), expected.size());
  HGLOBAL loaded = LoadResource(m_module, res);
  ASSERT_NE(loaded, nullptr);
  auto *data = static_cast<const unsigned char *>(LockResource(loaded));
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::vector<unsigned char>(data, data + expected.size()), expected);

  res = FindResourceExW(m_module, MAKEINTRESOURCEW(RT_BLOB), MAKEINTRESOURCEW(IDR_BLOB),
                        MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  ASSERT_NE(res, nullptr) << GetLastError();
  expected = ReadWhole(FixtureFileA(REVDIR_FIXTURE_DIR "/blob.bin"));
  ASSERT_EQ(SizeofResource(m_module, res), expected.size());
  data = static_cast<const unsigned char *>(LockResource(LoadResource(m_module, res)));
  EXPECT_EQ(std::vector<unsigned char>(data, data + expected.size()), expected);

  struct Missing {
    LPCWSTR type, name;
    WORD language;
    DWORD error;
  } cases[] = {
      {OLESTR("NOSUCHTYPE"), MAKEINTRESOURCEW(IDR_REGISTRY), 0, ERROR_RESOURCE_TYPE_NOT_FOUND},
      {OLESTR("REGISTRY"), MAKEINTRESOURCEW(999), 0, ERROR_RESOURCE_NAME_NOT_FOUND},
      {OLESTR("REGISTRY"), MAKEINTRESOURCEW(IDR_REGISTRY), MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN),
       ERROR_RESOURCE_LANG_NOT_FOUND},
  };
  for (const auto &c : cases) {
    ResetLastError();
    EXPECT_EQ(FindResourceExW(m_module, c.type, c.name, c.language), nullptr);
    EXPECT_EQ(GetLastError(), c.error);
  }
}

TEST_F(ModuleTest, StringsFromStringTables) {
  // What the module reads for itself is what a caller reads with its handle.
  auto own = Proc<int (*)(UINT, LPWSTR, int)>(m_module, "FixtureLoadString");
  ASSERT_NE(own, nullptr);
  WCHAR mine[64], theirs[64];
  int n = LoadStringW(m_module, IDS_HELLO, theirs, 64);
  ASSERT_GT(n, 0) << GetLastError();
  EXPECT_EQ(own(IDS_HELLO, mine, 64), n);
  EXPECT_EQ(WString(mine), WString(theirs));
  EXPECT_EQ(theirs[n], 0);

  // Length 0: a read-only pointer into the resource, and the length.
  const WCHAR *direct = nullptr;
  EXPECT_EQ(LoadStringW(m_module, IDS_HELLO, reinterpret_cast<LPWSTR>(&direct), 0), n);
  ASSERT_NE(direct, nullptr);
  EXPECT_EQ(WString(direct, n), WString(theirs));

  // Too small a buffer: truncated and terminated, never overrun.
  WCHAR small[6];
  for (auto &c : small) c = 0xBEEF;
  EXPECT_EQ(LoadStringW(m_module, IDS_HELLO, small, 3), 2);
  EXPECT_EQ(WString(small, 2), WString(theirs, 2));
  EXPECT_EQ(small[2], 0);
  EXPECT_EQ(small[3], 0xBEEF);
  char narrow[6];
  memset(narrow, 'x', sizeof narrow);
  EXPECT_EQ(LoadStringA(m_module, IDS_NEUTRAL, narrow, 4), 3);
  EXPECT_STREQ(narrow, "neu");
  EXPECT_EQ(narrow[4], 'x');

  // A string the table lacks, or a table that does not exist.
  WCHAR buf[8];
  EXPECT_EQ(LoadStringW(m_module, IDS_UNSET, buf, 8), 0);
  ResetLastError();
  EXPECT_EQ(LoadStringW(m_module, 4000, buf, 8), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

}  // namespace
