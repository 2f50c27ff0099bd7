// The tests' side of the stand-in executable: a temporary installation that
// holds it, and reading what it recorded.
#pragma once

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "conformance.h"
#include "environment.h"
#include "standins.h"

using WString = std::basic_string<WCHAR>;

// A release's folder on drive C: with the stand-in as its Quillon.Exe and a
// marker file that tells the working directory; removed again at the end.
class StandInInstallation {
 public:
  StandInInstallation() {
    std::random_device rd;
    std::string name = "RevdirQ" + std::to_string(rd() % 1000000);
#ifdef _WIN32
    m_root = std::filesystem::path("C:\\") / name;
#else
    m_root = std::filesystem::path(getenv("REVDIR_PREFIX")) / "drive_c" / name;
#endif
    m_bin = m_root / "Bin";
    std::filesystem::create_directories(m_bin);
    std::filesystem::copy_file(std::filesystem::path(FixtureFileA(REVDIR_STANDIN_APP)), m_bin / "Quillon.Exe");
    m_marker = "installed in " + name;
    std::ofstream(m_bin / STANDIN_MARKER_FILE) << m_marker;
    // Spelt in other case than on disk: Windows paths ignore case.
    std::string upper = name;
    for (char &c : upper) c = static_cast<char>(toupper(c));
    m_windowsBin = WString(OLESTR("C:\\")) + WString(upper.begin(), upper.end()) + OLESTR("\\BIN");
    m_record = m_root / "record";
    SetVariable(STANDIN_RECORD_VARIABLE, m_record.string());
    SetVariable(STANDIN_LINGER_VARIABLE, "200");
    SetVariable(STANDIN_WINDOW_DELAY_VARIABLE, "");
  }
  ~StandInInstallation() {
    SetVariable(STANDIN_RECORD_VARIABLE, "");
    SetVariable(STANDIN_LINGER_VARIABLE, "");
    SetVariable(STANDIN_WINDOW_DELAY_VARIABLE, "");
    // A stand-in still running may keep its file open on Windows for a moment.
    std::error_code ec;
    for (int i = 0; i < 50 && std::filesystem::remove_all(m_root, ec) == static_cast<std::uintmax_t>(-1); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  StandInInstallation(const StandInInstallation &) = delete;
  StandInInstallation &operator=(const StandInInstallation &) = delete;

  // The folder as a Windows path, without a trailing backslash.
  const WString &WindowsBin() const { return m_windowsBin; }
  const std::string &Marker() const { return m_marker; }

  // Puts a file that is no program where the stand-in was (executable, so
  // that only its contents stop it).
  void ReplaceProgramWithText(const std::string &name = "Quillon.Exe") const {
    std::filesystem::remove(m_bin / name);
    std::ofstream(m_bin / name) << "no program\n";
    std::filesystem::permissions(m_bin / name, std::filesystem::perms::owner_all);
  }

  // The record's fields (the marker's text, then each argument), once the
  // stand-in has written it; empty when it has not within the time.
  std::vector<std::string> WaitForRecord(std::chrono::milliseconds limit = std::chrono::seconds(20)) const {
    auto end = std::chrono::steady_clock::now() + limit;
    std::string text;
    // A complete record is never empty (the marker's field has its NUL);
    // on Windows the file may be unreadable for a moment after its rename.
    for (;;) {
      std::ifstream in(m_record, std::ios::binary);
      text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      if (!text.empty() || std::chrono::steady_clock::now() >= end) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::vector<std::string> fields;
    for (size_t start = 0, end0; (end0 = text.find('\0', start)) != std::string::npos; start = end0 + 1)
      fields.push_back(text.substr(start, end0 - start));
    return fields;
  }
  bool Recorded() const { return std::filesystem::exists(m_record); }

 private:
  std::filesystem::path m_root, m_bin, m_record;
  std::string m_marker;
  WString m_windowsBin;
};
