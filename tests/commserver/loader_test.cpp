#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "cvapi_loader.h"

namespace {

using comm::cvapi::Call;
using comm::cvapi::Loader;

TEST(Loader, MissingLibraryGivesTheWindowsErrorPlus0x50000) {
  Loader loader("no_such_client_library.dll");
  EXPECT_EQ(loader.Ensure(), 0x50000 + ERROR_MOD_NOT_FOUND);
  EXPECT_EQ(Call<decltype(&::DTL_UNINIT)>(loader, Loader::k_DTL_UNINIT, 0u), 0x50000 + ERROR_MOD_NOT_FOUND);
  long error = 0xdead;
  EXPECT_EQ(Call<decltype(&::DTL_CreateTargetFromPathString)>(loader, Loader::k_DTL_CreateTargetFromPathString,
                                                              "PC!X\\1", &error, 1u),
            nullptr);
  EXPECT_EQ(error, 0x50000 + ERROR_MOD_NOT_FOUND);
  EXPECT_EQ(loader.Loads(), 0);
}

TEST(Loader, AbsentEntryPointReturns68AndPresentOnesAreCalled) {
  Loader loader(PARTIAL_CVAPI);
  EXPECT_EQ(Call<decltype(&::DTL_INIT_BSW_EX)>(loader, Loader::k_DTL_INIT_BSW_EX, 1u, nullptr), 68);
  long error = 0;
  EXPECT_EQ(Call<decltype(&::DTL_CreateTargetFromPathString)>(loader, Loader::k_DTL_CreateTargetFromPathString,
                                                              "PC!X\\1", &error, 1u),
            nullptr);
  EXPECT_EQ(error, 68);
  EXPECT_EQ(Call<decltype(&::DTL_MaxDrivers)>(loader, Loader::k_DTL_MaxDrivers), 7u);
  EXPECT_EQ(Call<decltype(&::DTL_GetHandleByDriverName)>(loader, Loader::k_DTL_GetHandleByDriverName, "AB"), 3);
  EXPECT_EQ(loader.Loads(), 1);
}

// Our copy lies in a folder of its own beside the module and is used only when
// the system's search finds nothing under the name.
TEST(Loader, OwnCopyIsTheLastResortNeverAShadow) {
  Loader fallback(FALLBACK_CVAPI);
  EXPECT_EQ(Call<decltype(&::DTL_MaxDrivers)>(fallback, Loader::k_DTL_MaxDrivers), 7u);
  // Under PARTIAL_CVAPI the folder holds the full library; the search wins.
  Loader found(PARTIAL_CVAPI);
  EXPECT_EQ(Call<decltype(&::DTL_MaxDrivers)>(found, Loader::k_DTL_MaxDrivers), 7u);
  // A name with a folder is taken as it stands.
  Loader pathed("nowhere/" FALLBACK_CVAPI);
  EXPECT_EQ(pathed.Ensure(), 0x50000 + ERROR_MOD_NOT_FOUND);
}

TEST(Loader, ConcurrentFirstCallsLoadOnce) {
  for (int round = 0; round < 5; ++round) {
    Loader loader(PARTIAL_CVAPI);
    std::atomic<bool> go{false};
    std::atomic<int> right{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
      threads.emplace_back([&] {
        while (!go.load()) std::this_thread::yield();
        if (Call<decltype(&::DTL_MaxDrivers)>(loader, Loader::k_DTL_MaxDrivers) == 7u) ++right;
      });
    }
    go = true;
    for (auto &t : threads) t.join();
    EXPECT_EQ(right.load(), 8);
    EXPECT_EQ(loader.Loads(), 1);
  }
}

TEST(Loader, FindsOurLibraryUnderItsWindowsName) {
  // The process's loader looks for "cvapi32.dll" beside the program.
  EXPECT_EQ(comm::cvapi::Library().Ensure(), 0);
  EXPECT_EQ(comm::cvapi::DTL_MaxDrivers(), uint32_t{DTL_MAX_DRIVERS});
  for (int e = 0; e < Loader::kEntryCount; ++e)
    EXPECT_NE(comm::cvapi::Library().Address(static_cast<Loader::Entry>(e)), nullptr) << "entry " << e;
}

}  // namespace
