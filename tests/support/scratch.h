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
    dir_ = std::filesystem::temp_directory_path() / ("revdir-test-" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(dir_);
  }
  ~ScratchDir() {
    std::error_code ec;
    // Read-only files would stop the removal on Windows.
    for (auto &e : std::filesystem::recursive_directory_iterator(dir_, ec))
      std::filesystem::permissions(e.path(), std::filesystem::perms::owner_write, std::filesystem::perm_options::add,
                                   ec);
    std::filesystem::remove_all(dir_, ec);
  }
  ScratchDir(const ScratchDir &) = delete;
  ScratchDir &operator=(const ScratchDir &) = delete;

  const std::filesystem::path &path() const { return dir_; }
  // A name inside the folder, with Windows separators.
  WString operator/(const WCHAR *name) const { return ToWString(dir_) + OLESTR("\\") + name; }

 private:
  std::filesystem::path dir_;
};
