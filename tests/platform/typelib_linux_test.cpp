// The serialized type library that the generator writes and the platform
// layer reads: a format of this layer only, so these tests are Linux-only.
// Damaged images must fail cleanly or load into something safe to walk.
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

// Touches everything a client can reach, so that sanitizers see any bad read.
void Walk(ITypeLib *lib) {
  for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
    ITypeInfo *info = nullptr;
    ASSERT_EQ(S_OK, lib->GetTypeInfo(i, &info));
    TYPEATTR *a = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&a));
    for (UINT f = 0; f < a->cFuncs; ++f) {
      FUNCDESC *fd = nullptr;
      ASSERT_EQ(S_OK, info->GetFuncDesc(f, &fd));
      BSTR names[8] = {};
      UINT n = 0;
      EXPECT_EQ(S_OK, info->GetNames(fd->memid, names, 8, &n));
      for (UINT k = 0; k < n; ++k) SysFreeString(names[k]);
      info->ReleaseFuncDesc(fd);
    }
    for (UINT v = 0; v < a->cVars; ++v) {
      VARDESC *vd = nullptr;
      ASSERT_EQ(S_OK, info->GetVarDesc(v, &vd));
      info->ReleaseVarDesc(vd);
    }
    for (UINT k = 0; k < a->cImplTypes; ++k) {
      HREFTYPE href;
      ITypeInfo *ref = nullptr;
      ASSERT_EQ(S_OK, info->GetRefTypeOfImplType(k, &href));
      ASSERT_EQ(S_OK, info->GetRefTypeInfo(href, &ref));
      ref->Release();
    }
    info->ReleaseTypeAttr(a);
    info->Release();
  }
}

TEST(TypeLibImage, LoadsFromMemoryAndRejectsOtherData) {
  std::vector<BYTE> image = ReadImage(FIXTURE_TLB);
  ASSERT_GT(image.size(), 16u) << FIXTURE_TLB;
  ITypeLib *lib = nullptr;
  ASSERT_EQ(S_OK, RevdirLoadTypeLibFromMemory(image.data(), image.size(), &lib));
  EXPECT_EQ(5u, lib->GetTypeInfoCount());
  Walk(lib);
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

TEST(TypeLibImage, DamagedImagesFailOrLoadSafely) {
  std::vector<BYTE> image = ReadImage(FIXTURE_TLB);
  ASSERT_GT(image.size(), 16u);
  for (size_t len = 0; len < image.size(); ++len) {
    ITypeLib *lib = nullptr;
    HRESULT hr = RevdirLoadTypeLibFromMemory(image.data(), len, &lib);
    ASSERT_TRUE(hr == TYPE_E_INVDATAREAD || hr == TYPE_E_UNSUPFORMAT) << "length " << len << ": 0x" << std::hex << hr;
    ASSERT_EQ(nullptr, lib);
  }
  int loaded = 0;
  for (size_t at = 8; at < image.size(); ++at) {
    std::vector<BYTE> bad = image;
    bad[at] ^= 0xA5;
    ITypeLib *lib = nullptr;
    HRESULT hr = RevdirLoadTypeLibFromMemory(bad.data(), bad.size(), &lib);
    if (FAILED(hr)) {
      ASSERT_EQ(nullptr, lib);
      continue;
    }
    ++loaded;  // a changed name, GUID or flag still makes a library
    Walk(lib);
    lib->Release();
  }
  EXPECT_GT(loaded, 0);
}

}  // namespace
