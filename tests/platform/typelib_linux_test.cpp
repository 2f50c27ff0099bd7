// The serialized type library that the generator writes and the platform
// layer reads: a format of this layer only, so these tests are Linux-only.
#include <oleauto.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "conformance.h"

extern "C" HRESULT RevdirLoadTypeLibFromMemory(const BYTE *data, size_t size, ITypeLib **pptlib);

namespace {

std::vector<BYTE> ReadImage(const char *path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<BYTE>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

TEST(TypeLibImage, LoadsFromMemoryAndRejectsOtherData) {
  std::vector<BYTE> image = ReadImage(FIXTURE_TLB);
  ASSERT_GT(image.size(), 16u) << FIXTURE_TLB;
  ITypeLib *lib = nullptr;
  ASSERT_EQ(S_OK, RevdirLoadTypeLibFromMemory(image.data(), image.size(), &lib));
  EXPECT_EQ(5u, lib->GetTypeInfoCount());
  lib->Release();

  lib = reinterpret_cast<ITypeLib *>(static_cast<uintptr_t>(kSentinel));
  EXPECT_EQ(TYPE_E_UNSUPFORMAT, RevdirLoadTypeLibFromMemory(reinterpret_cast<const BYTE *>("MSFT\2\0\1\0"), 8, &lib));
  EXPECT_EQ(nullptr, lib);
  std::vector<BYTE> later = image;
  later[4] = 2;  // a format version this reader does not know
  EXPECT_EQ(TYPE_E_UNSUPFORMAT, RevdirLoadTypeLibFromMemory(later.data(), later.size(), &lib));
  std::vector<BYTE> longer = image;
  longer.push_back(0);
  EXPECT_EQ(TYPE_E_INVDATAREAD, RevdirLoadTypeLibFromMemory(longer.data(), longer.size(), &lib));
  EXPECT_EQ(E_INVALIDARG, RevdirLoadTypeLibFromMemory(nullptr, 4, &lib));
}

// Damaged images in general are the fuzz target's; every truncation must fail.
TEST(TypeLibImage, TruncatedImagesFail) {
  std::vector<BYTE> image = ReadImage(FIXTURE_TLB);
  ASSERT_GT(image.size(), 16u);
  for (size_t len = 0; len < image.size(); ++len) {
    ITypeLib *lib = nullptr;
    HRESULT hr = RevdirLoadTypeLibFromMemory(image.data(), len, &lib);
    ASSERT_TRUE(hr == TYPE_E_INVDATAREAD || hr == TYPE_E_UNSUPFORMAT) << "length " << len << ": 0x" << std::hex << hr;
    ASSERT_EQ(nullptr, lib);
  }
}

}  // namespace
