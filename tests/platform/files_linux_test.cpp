// Linux-only behaviour: how Windows paths land on the Linux file system, the
// reverse mapping of module file names, and string resources chosen by the
// thread locale (Windows itself picks them by the UI language).
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "../fixtures/fixture_ids.h"
#include "conformance.h"
#include "fresh_prefix.h"
#include "scratch.h"

namespace fs = std::filesystem;

namespace {

std::u16string Backslashed(const fs::path &p) {
  std::u16string s = p.u16string();
  for (auto &c : s) {
    if (c == u'/') c = u'\\';
  }
  return s;
}

bool Touch(const std::u16string &path, DWORD disposition = CREATE_NEW) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

// Points drive C: at a fresh prefix for the test's lifetime.
class PrefixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_prefixOverride.Use((m_scratch.Path() / "prefix").string());
    m_cwd = fs::current_path();
  }
  void TearDown() override { fs::current_path(m_cwd); }
  fs::path DriveC() const { return m_scratch.Path() / "prefix" / "drive_c"; }

  PrefixOverride m_prefixOverride;
  ScratchDir m_scratch;
  fs::path m_cwd;
};

TEST_F(PrefixTest, DrivesCaseAndRelativePaths) {
  ASSERT_TRUE(CreateDirectoryW(u"C:\\Revdir Test", nullptr)) << GetLastError();
  EXPECT_TRUE(fs::is_directory(DriveC() / "Revdir Test"));
  // Another spelling of an existing folder is that folder.
  ASSERT_TRUE(Touch(u"c:\\REVDIR TEST\\Sub.Txt"));
  EXPECT_TRUE(fs::exists(DriveC() / "Revdir Test" / "Sub.Txt"));
  // Trailing dots and spaces go; "/" separates like "\"; ".." stops at the root.
  EXPECT_TRUE(Touch(u"C:/..\\revdir test/./SUB.TXT. ", OPEN_EXISTING));
  EXPECT_FALSE(Touch(u"c:\\revdir test\\sub.txt", CREATE_NEW));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_EQ(std::distance(fs::directory_iterator(DriveC() / "Revdir Test"), fs::directory_iterator()), 1);

  // Z: is the Linux root; a path that starts with "/" is a Linux path.
  EXPECT_TRUE(Touch(u"Z:" + Backslashed(m_scratch.Path() / "z.txt")));
  EXPECT_TRUE(fs::exists(m_scratch.Path() / "z.txt"));
  EXPECT_TRUE(Touch(u"z:\\..\\" + Backslashed(m_scratch.Path() / "z.txt").substr(1), OPEN_EXISTING));
  EXPECT_TRUE(Touch((m_scratch.Path() / "linux.txt").u16string()));
  EXPECT_TRUE(fs::exists(m_scratch.Path() / "linux.txt"));

  // Relative paths start at the current directory; "C:name" at C:'s root
  // when the current directory is on another drive.
  fs::current_path(m_scratch.Path());
  EXPECT_TRUE(Touch(u"rel.txt"));
  EXPECT_TRUE(Touch(u"nothing\\..\\rel2.txt"));
  EXPECT_TRUE(fs::exists(m_scratch.Path() / "rel.txt") && fs::exists(m_scratch.Path() / "rel2.txt"));
  EXPECT_TRUE(Touch(u"\\" + Backslashed(m_scratch.Path() / "rooted.txt").substr(1)));
  EXPECT_TRUE(fs::exists(m_scratch.Path() / "rooted.txt"));
  EXPECT_TRUE(Touch(u"C:drive-relative.txt"));
  EXPECT_TRUE(fs::exists(DriveC() / "drive-relative.txt"));
  fs::current_path(DriveC() / "Revdir Test");
  EXPECT_TRUE(Touch(u"C:here.txt"));
  EXPECT_TRUE(fs::exists(DriveC() / "Revdir Test" / "here.txt"));
  EXPECT_TRUE(Touch(u"\\at-root.txt"));
  EXPECT_TRUE(fs::exists(DriveC() / "at-root.txt"));

  // Drives and network paths that lead nowhere.
  ResetLastError();
  EXPECT_FALSE(Touch(u"Q:\\x.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  ResetLastError();
  EXPECT_FALSE(Touch(u"\\\\server\\share\\x.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_NETPATH));
  ResetLastError();
  EXPECT_FALSE(Touch(u"\\\\.\\pipe\\revdir-none", OPEN_EXISTING));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(Touch(u"\\\\?\\C:\\device-form.txt"));
  EXPECT_TRUE(fs::exists(DriveC() / "device-form.txt"));
}

TEST_F(PrefixTest, ModuleFileNamesAreWindowsPaths) {
  fs::create_directories(DriveC() / "Mods");
  fs::copy_file(REVDIR_FIXTURE_MODULE, DriveC() / "Mods" / "Fixture.so");
  // A ".dll" name finds the shared object, ignoring case.
  HMODULE m = LoadLibraryW(u"c:\\mods\\fixture.dll");
  ASSERT_NE(m, nullptr) << GetLastError();
  WCHAR name[512];
  DWORD n = GetModuleFileNameW(m, name, 512);
  EXPECT_EQ(std::u16string(name, n), u"C:\\Mods\\Fixture.so");
  EXPECT_EQ(GetModuleHandleW(u"FIXTURE.DLL"), m);
  EXPECT_EQ(GetModuleHandleW(u"C:\\Mods\\fixture.so"), m);
  // A path is the file it resolves to, through links too.
  fs::create_directory_symlink(DriveC() / "Mods", DriveC() / "Linked");
  EXPECT_EQ(GetModuleHandleW(u"C:\\linked\\FIXTURE.so"), m);
  EXPECT_EQ(GetModuleHandleW(u"C:\\Linked\\Other.so"), nullptr);
  EXPECT_TRUE(FreeLibrary(m));

  n = GetModuleFileNameW(nullptr, name, 512);
  EXPECT_EQ(std::u16string(name, n), u"Z:" + Backslashed(fs::read_symlink("/proc/self/exe")));
}

// Resources in the language of the thread locale.
class LocaleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_saved = GetThreadLocale();
    m_module = LoadLibraryA(REVDIR_FIXTURE_MODULE);
    ASSERT_NE(m_module, nullptr);
  }
  void TearDown() override {
    SetThreadLocale(m_saved);
    if (m_module) FreeLibrary(m_module);
  }
  std::u16string String(LCID locale, UINT id) {
    EXPECT_TRUE(SetThreadLocale(locale)) << std::hex << locale;
    WCHAR buf[64];
    int n = LoadStringW(m_module, id, buf, 64);
    return std::u16string(buf, n > 0 ? n : 0);
  }
  LCID m_saved = 0;
  HMODULE m_module = nullptr;
};

TEST_F(LocaleTest, ThreadLocaleChoosesTheLanguage) {
  EXPECT_EQ(String(0x0409, IDS_HELLO), u"Hello");
  EXPECT_EQ(String(0x0407, IDS_HELLO), u"Grüß Gott");
  EXPECT_EQ(String(0x0807, IDS_HELLO), u"Grüß Gott") << "the primary language";
  EXPECT_EQ(String(0x040c, IDS_HELLO), u"Bonjour");
  EXPECT_EQ(String(0x0411, IDS_HELLO), u"Hello") << "English when nothing closer";
  EXPECT_EQ(String(0x040c, IDS_NEUTRAL), u"neutral") << "neutral before English";
  EXPECT_EQ(String(0x0407, IDS_ONLY_ENGLISH), u"English only");
  EXPECT_EQ(String(0x0409, IDS_QUOTE), u"Say \"hi\"\n\tand \"bye\"\\");
  EXPECT_EQ(String(0x0407, IDS_QUOTE), u"Sag \"hallo\"");
  // The ANSI code page of this layer is UTF-8.
  char narrow[16];
  EXPECT_EQ(LoadStringA(m_module, IDS_HELLO, narrow, sizeof narrow), 11);
  EXPECT_STREQ(narrow, "Grüß Gott");
  EXPECT_EQ(LoadStringA(m_module, IDS_HELLO, narrow, 4), 2) << "never half a character";
  EXPECT_STREQ(narrow, "Gr");

  // The program itself carries no resource directory.
  ResetLastError();
  EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_STRING), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
}

}  // namespace

// Windows has no FIFO, socket or device at a file path: such a file is
// refused at once, as a directory is, instead of blocking the caller.
TEST(FilesLinux, FilesThatAreNotRegularAreRefusedWithoutBlocking) {
  ScratchDir dir;
  fs::path fifo = dir.Path() / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  fs::path socketPath = dir.Path() / "socket";
  int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
  for (const fs::path &path : {fifo, socketPath, fs::path("/dev/null"), dir.Path()}) {
    for (DWORD access : {DWORD(GENERIC_READ), DWORD(GENERIC_WRITE), DWORD(GENERIC_READ | GENERIC_WRITE)}) {
      SetLastError(0xdeadbeef);
      HANDLE h = CreateFileW(path.u16string().c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      EXPECT_EQ(h, INVALID_HANDLE_VALUE) << path;
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << path << " access " << access;
      if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
  }
  close(listener);
}
