// The directory's costs: Initialize over an empty registry and over 1,000
// language-pack subkeys, and each look-up per call beside the creation and
// release of the Revision object that a look-up returns.
#include <benchmark/benchmark.h>
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "QuillonRevisionDirectory.h"
#include "component_module.h"
#include "fresh_prefix.h"

namespace {

const WCHAR kLanguagePack[] = OLESTR("SOFTWARE\\Brenmoor Software\\Quillon");

// 1,000 subkeys naming releases of the table (20 builds of each of 50), all
// under one language key with its folder value: the scan reads every one.
void DeclareLanguagePacks() {
  static const int kReleases[][2] = {
      {1, 0},   {1, 10},  {1, 11},  {1, 20},  {1, 21}, {1, 23}, {2, 10}, {2, 15},  {2, 25},  {2, 27},
      {2, 51},  {6, 1},   {6, 3},   {7, 0},   {7, 2},  {8, 0},  {8, 2},  {9, 0},   {10, 0},  {10, 2},
      {10, 3},  {10, 4},  {10, 5},  {10, 6},  {10, 7}, {11, 0}, {11, 1}, {11, 10}, {11, 11}, {11, 12},
      {11, 13}, {11, 14}, {11, 15}, {11, 16}, {12, 0}, {12, 1}, {12, 2}, {12, 3},  {12, 4},  {12, 5},
      {12, 6},  {13, 0},  {13, 1},  {13, 2},  {13, 3}, {13, 4}, {14, 0}, {14, 1},  {15, 0},  {15, 1}};
  SetRegistryString(HKEY_LOCAL_MACHINE, kLanguagePack, OLESTR("group1Component2SourceDirTemplate1"), OLESTR("C:\\Q"));
  for (const auto &release : kReleases) {
    for (int build = 0; build < 20; ++build) {
      char name[32];
      snprintf(name, sizeof name, "%d.%02d.%02d.00", release[0], release[1], build);
      std::u16string key = std::u16string(kLanguagePack) + u"\\";
      for (const char *c = name; *c; ++c) key += static_cast<char16_t>(*c);
      SetRegistryString(HKEY_LOCAL_MACHINE, key, OLESTR("x"), OLESTR("y"));
    }
  }
}

void BM_InitializeEmptyRegistry(benchmark::State &state) {
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, OLESTR("SOFTWARE\\Brenmoor Software"));
  IRevisionDirectory_V6 *directory = NewComponentDirectory();
  for (auto _ : state) benchmark::DoNotOptimize(directory->Initialize());
  directory->Release();
}
BENCHMARK(BM_InitializeEmptyRegistry)->Unit(benchmark::kMicrosecond);

void BM_InitializeThousandLanguagePacks(benchmark::State &state) {
  DeclareLanguagePacks();
  IRevisionDirectory_V6 *directory = NewComponentDirectory();
  for (auto _ : state) benchmark::DoNotOptimize(directory->Initialize());
  LONG count = 0;
  IAvailableRevisions *available = nullptr;
  directory->get_AvailableRevisions(&available);
  available->get_Count(&count);
  available->Release();
  state.counters["available"] = count;
  directory->Release();
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, OLESTR("SOFTWARE\\Brenmoor Software"));
}
BENCHMARK(BM_InitializeThousandLanguagePacks)->Unit(benchmark::kMillisecond);

// What every look-up at least costs: the Revision object it hands out.
void BM_RevisionNewDelete(benchmark::State &state) {
  IClassFactory *factory = ComponentFactory(CLSID_Revision);
  for (auto _ : state) {
    IRevision *revision = nullptr;
    factory->CreateInstance(nullptr, IID_IRevision, reinterpret_cast<void **>(&revision));
    revision->Release();
  }
  factory->Release();
}
BENCHMARK(BM_RevisionNewDelete);

template <class Lookup>
void RunLookup(benchmark::State &state, Lookup lookup) {
  IRevisionDirectory_V6 *directory = NewComponentDirectory();
  directory->Initialize();
  for (auto _ : state) {
    IRevision *revision = nullptr;
    if (lookup(directory, &revision) != S_OK) state.SkipWithError("look-up failed");
    revision->Release();
  }
  directory->Release();
}

void BM_GetRevisionFromMajorRev(benchmark::State &state) {
  RunLookup(state, [](IRevisionDirectory_V6 *d, IRevision **r) { return d->GetRevisionFromMajorRev(12, r); });
}
BENCHMARK(BM_GetRevisionFromMajorRev);

void BM_GetRevisionFromDatabaseVersion(benchmark::State &state) {
  RunLookup(state, [](IRevisionDirectory_V6 *d, IRevision **r) { return d->GetRevisionFromDatabaseVersion(3149, r); });
}
BENCHMARK(BM_GetRevisionFromDatabaseVersion);

void BM_GetRevisionFromSoftwareVersion(benchmark::State &state) {
  RunLookup(state, [](IRevisionDirectory_V6 *d, IRevision **r) { return d->GetRevisionFromSoftwareVersion(12, 3, r); });
}
BENCHMARK(BM_GetRevisionFromSoftwareVersion);

// A fresh, empty registry for this run, whatever the machine holds.
const bool kPrefix = (UseFreshPrefix(), CoInitializeEx(nullptr, COINIT_MULTITHREADED), true);

}  // namespace
