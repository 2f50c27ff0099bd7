// A scratch folder for tests that touch the file system: unique per test, so
// test processes may run side by side, and removed again afterwards.
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <type_traits>

#include "conformance.h"

// Text in the API's character type (char16_t here, wchar_t with mingw).
using WString = std::basic_string<WCHAR>;

template <typename C = WCHAR>
std::basic_string<C> ToWString(const std::filesystem::path &p) {
  if constexpr (std::is_same_v<C, wchar_t>)
    return p.wstring();
  else
    return p.u16string();
}

class ScratchDir {
 public:
  ScratchDir() {
    std::random_device rd;
    m_dir = std::filesystem::temp_directory_path() / ("revdir-test-" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(m_dir);
  }
  ~ScratchDir() {
    std::error_code ec;
    // Read-only files would stop the removal on Windows.
    for (auto &e : std::filesystem::recursive_directory_iterator(m_dir, ec))
      std::filesystem::permissions(e.path(), std::filesystem::perms::owner_write, std::filesystem::perm_options::add,
                                   ec);
    std::filesystem::remove_all(m_dir, ec);
  }
  ScratchDir(const ScratchDir &) = delete;
  ScratchDir &operator=(const ScratchDir &) = delete;

  const std::filesystem::path &Path() const { return m_dir; }
  // A name inside the folder, with Windows separators.
  WString operator/(const WCHAR *name) const { return ToWString(m_dir) + OLESTR("\\") + name; }

 private:
  std::filesystem::path m_dir;
};
