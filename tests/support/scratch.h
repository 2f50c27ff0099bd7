// A scratch folder for tests that touch the file system: unique per test, so
// test processes may run side by side, and removed again afterwards.
#pragma once

#include <filesystem>
#include <random>
#include <string>

#include "conformance.h"

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
  std::u16string operator/(const char16_t *name) const { return dir_.u16string() + u"\\" + name; }

 private:
  std::filesystem::path dir_;
};
