// Version information read from files and blocks that are not what they
// should be: a damaged module file is refused with an error, and
// VerQueryValueW stays inside the block it is handed.
#include <windows.h>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "conformance.h"

namespace {

namespace fs = std::filesystem;

std::vector<char> ReadAll(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

// The error GetFileVersionInfoSizeW gives for a file holding `bytes`.
DWORD SizeError(const std::vector<char> &bytes) {
  const fs::path file = fs::temp_directory_path() / ("revdir-version-" + std::to_string(getpid()) + ".so");
  std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  const std::string name = file.string();
  const std::u16string wide(name.begin(), name.end());
  DWORD handle = kSentinel;
  ResetLastError();
  DWORD size = GetFileVersionInfoSizeW(wide.c_str(), &handle);
  DWORD error = size ? ERROR_SUCCESS : GetLastError();
  fs::remove(file);
  return error;
}

bool Refused(DWORD e) {
  return e == ERROR_BAD_FORMAT || e == ERROR_RESOURCE_DATA_NOT_FOUND || e == ERROR_RESOURCE_TYPE_NOT_FOUND;
}

TEST(VersionFile, DamagedModulesAreRefused) {
  const std::vector<char> module = ReadAll(REVDIR_FIXTURE_MODULE);
  ASSERT_GT(module.size(), 4096u);
  EXPECT_EQ(SizeError(module), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND)) << "resources, but no version";
  for (size_t size : {size_t{0}, size_t{4}, size_t{63}, size_t{64}, module.size() / 2, module.size() - 1})
    EXPECT_PRED1(Refused, SizeError(std::vector<char>(module.begin(), module.begin() + size))) << size;
  // The section table's place, count and entry size, and the class, each set wild.
  for (size_t at : {size_t{4}, size_t{0x28}, size_t{0x2f}, size_t{0x3a}, size_t{0x3c}, size_t{0x3d}}) {
    std::vector<char> damaged = module;
    damaged[at] = static_cast<char>(0xff);
    EXPECT_PRED1(Refused, SizeError(damaged)) << "byte " << at;
  }
  EXPECT_EQ(SizeError(std::vector<char>{'M', 'Z', 0, 0}), static_cast<DWORD>(ERROR_BAD_FORMAT));
}

// A block: its key and value (text when `text`), then its children.
std::vector<BYTE> Block(const std::u16string &key, const std::vector<BYTE> &value, bool text,
                        const std::vector<std::vector<BYTE>> &children = {}) {
  std::vector<BYTE> b(6);
  for (char16_t c : key + u'\0') b.insert(b.end(), {static_cast<BYTE>(c), static_cast<BYTE>(c >> 8)});
  b.resize((b.size() + 3) & ~size_t{3});
  b.insert(b.end(), value.begin(), value.end());
  for (const auto &child : children) {
    b.resize((b.size() + 3) & ~size_t{3});
    b.insert(b.end(), child.begin(), child.end());
  }
  const WORD length = static_cast<WORD>(b.size()),
             valueLength = static_cast<WORD>(text ? value.size() / 2 : value.size());
  memcpy(&b[0], &length, 2);
  memcpy(&b[2], &valueLength, 2);
  b[4] = text ? 1 : 0;
  return b;
}

TEST(VersionBlock, QueriesStayInsideTheBlock) {
  const std::vector<BYTE> text = {'1', 0, '.', 0, '0', 0, 0, 0};
  std::vector<BYTE> root =
      Block(u"VS_VERSION_INFO", std::vector<BYTE>(sizeof(VS_FIXEDFILEINFO)), false,
            {Block(u"StringFileInfo", {}, true, {Block(u"040904b0", {}, true, {Block(u"FileVersion", text, true)})})});
  root.resize(root.size() + 64, 0xCC);  // what lies beyond the block
  void *value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(root.data(), u"\\StringFileInfo\\040904B0\\FileVersion", &value, &length));
  EXPECT_EQ(length, 4u);
  EXPECT_EQ(Printable(static_cast<WCHAR *>(value)), "1.0");

  // A child longer than its parent, or a key without its terminator, is not there.
  std::vector<BYTE> longChild = root;
  const size_t child = 0x5c;  // StringFileInfo's block, after the root's key and value
  ASSERT_EQ(longChild[child + 6], 'S');
  longChild[child] = 0xf0;
  EXPECT_FALSE(VerQueryValueW(longChild.data(), u"\\StringFileInfo\\040904b0\\FileVersion", &value, &length));
  std::vector<BYTE> unterminated = Block(u"VS_VERSION_INFO", {}, false);
  unterminated.resize(unterminated.size() - 4);  // the terminator and padding gone
  const WORD cut = static_cast<WORD>(unterminated.size());
  memcpy(unterminated.data(), &cut, 2);
  unterminated.resize(unterminated.size() + 8, 0xCC);
  EXPECT_FALSE(VerQueryValueW(unterminated.data(), u"\\", &value, &length));
  const BYTE tooShort[8] = {4, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_FALSE(VerQueryValueW(tooShort, u"\\", &value, &length));
}

}  // namespace
