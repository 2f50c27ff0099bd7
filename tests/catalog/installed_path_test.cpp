// The process-wide installed paths of the releases.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "conformance.h"
#include "catalog/installed_path.h"

using namespace revdir;

namespace {

const CRevisionInformation *Row(DWORD row) { return &kRevisionTable[row]; }

class InstalledPath : public testing::Test {
 protected:
  void SetUp() override { ResetAllInstalledPaths(); }
  void TearDown() override { ResetAllInstalledPaths(); }
};

}  // namespace

TEST_F(InstalledPath, SetGetAndResetPerRelease) {
  for (DWORD row = 0; row < kRevisionCount; ++row) EXPECT_FALSE(IsInstalled(Row(row))) << "row " << row + 1;

  ASSERT_TRUE(SetInstalledPath(Row(49), OLESTR("C:\\Q\\Bin\\Quillon.Exe")));
  ASSERT_TRUE(SetInstalledPath(Row(19), OLESTR("D:\\Old\\Quillon.Exe")));
  std::optional<InstalledPathText> held = GetInstalledPath(Row(49));
  ASSERT_TRUE(held.has_value());
  EXPECT_EQ(*held, OLESTR("C:\\Q\\Bin\\Quillon.Exe"));
  EXPECT_FALSE(IsInstalled(Row(48))) << "a neighbour changed";

  // A reader's copy outlives a rewrite and the reset.
  ASSERT_TRUE(SetInstalledPath(Row(49), OLESTR("E:\\New\\Quillon.Exe")));
  EXPECT_EQ(*GetInstalledPath(Row(49)), OLESTR("E:\\New\\Quillon.Exe"));
  ResetAllInstalledPaths();
  EXPECT_EQ(*held, OLESTR("C:\\Q\\Bin\\Quillon.Exe"));
  EXPECT_FALSE(IsInstalled(Row(49)));
  EXPECT_FALSE(IsInstalled(Row(19)));
  EXPECT_FALSE(GetInstalledPath(Row(19)).has_value());

  // Null forgets one path; an empty path still means installed.
  ASSERT_TRUE(SetInstalledPath(Row(0), OLESTR("")));
  EXPECT_TRUE(IsInstalled(Row(0)));
  ASSERT_TRUE(SetInstalledPath(Row(0), nullptr));
  EXPECT_FALSE(IsInstalled(Row(0)));
}

TEST_F(InstalledPath, OnlyTableRecordsHavePaths) {
  const CRevisionInformation copy = kRevisionTable[10];
  const CRevisionInformation search = SoftwareVersionSearchKey(2, 51);
  for (const CRevisionInformation *r : {&copy, &search, (const CRevisionInformation *)nullptr}) {
    EXPECT_FALSE(SetInstalledPath(r, OLESTR("C:\\X\\Quillon.Exe")));
    EXPECT_FALSE(IsInstalled(r));
    EXPECT_FALSE(GetInstalledPath(r).has_value());
  }
  EXPECT_FALSE(IsInstalled(&kRevisionTable[10])) << "a copy of a record must not reach the original";
}

// One thread re-initialises over and over (reset, then every path anew, long
// enough to be torn if copied unguarded) while others copy the paths. A
// reader sees no path or a whole one; the sanitizers see no freed text.
TEST_F(InstalledPath, ReadersCopyWhileAWriterRewrites) {
  constexpr int kRounds = 300;
  constexpr int kReaders = 3;
  auto text = [](DWORD row, int round) {
    return InstalledPathText(200 + row, static_cast<WCHAR>(OLESTR('A') + round % 26));
  };

  std::atomic<bool> done{false};
  std::atomic<long> seen{0};
  std::vector<std::thread> readers;
  std::vector<std::string> faults(kReaders);
  for (int t = 0; t < kReaders; ++t) {
    readers.emplace_back([&, t] {
      while (!done.load()) {
        for (DWORD row = 0; row < kRevisionCount; ++row) {
          std::optional<InstalledPathText> path = GetInstalledPath(Row(row));
          if (!path) continue;
          ++seen;
          if (path->size() != 200 + row || path->find_first_not_of((*path)[0]) != InstalledPathText::npos) {
            faults[t] = "row " + std::to_string(row + 1) + ": torn path of " + std::to_string(path->size()) + " units";
            return;
          }
        }
      }
    });
  }
  // On a loaded machine the readers may not run at all during the first
  // rounds: the writer goes on (within a bound) until they have overlapped it.
  int round = 0;
  for (; round < kRounds || (seen.load() == 0 && round < kRounds * 1000); ++round) {
    ResetAllInstalledPaths();
    for (DWORD row = 0; row < kRevisionCount; ++row) {
      InstalledPathText path = text(row, round);
      SetInstalledPath(Row(row), path.c_str());
    }
  }
  done = true;
  for (std::thread &r : readers) r.join();
  for (const std::string &f : faults) EXPECT_EQ(f, "");
  EXPECT_GT(seen.load(), 0) << "readers never overlapped the writer";
  EXPECT_EQ(*GetInstalledPath(Row(7)), text(7, round - 1));
}
