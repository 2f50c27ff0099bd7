// The platform's reader of binary type libraries, given damaged files.
// Damaged images in general are the fuzz target's; here the damage that each
// check of the reader exists for.
#include <oleauto.h>

#include <string.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <vector>

#include "conformance.h"
#include "scratch.h"

namespace {

std::vector<BYTE> ReadImage(const char *path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<BYTE>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

uint32_t Get(const std::vector<BYTE> &image, size_t off) {
  uint32_t v = 0;
  memcpy(&v, image.data() + off, 4);
  return v;
}
void Set(std::vector<BYTE> &image, size_t off, uint32_t v) { memcpy(image.data() + off, &v, 4); }

// Where the fixture's records lie: the segment directory follows the header
// and one word per type; segment 0 holds the 100-byte type records.
size_t Segment(const std::vector<BYTE> &image, int s) { return 0x54 + 4 * Get(image, 0x20) + 16 * s; }
size_t TypeRecord(const std::vector<BYTE> &image, int index) { return Get(image, Segment(image, 0)) + 100 * index; }

// Loads the first `size` bytes of the image as a type-library file.
HRESULT Load(const std::vector<BYTE> &image, size_t size) {
  static ScratchDir g_scratch;
  const std::filesystem::path file = g_scratch.Path() / "image.tlb";
  {
    std::ofstream f(file, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char *>(image.data()), static_cast<std::streamsize>(size));
  }
  const std::u16string wide = file.u16string();
  ITypeLib *lib = reinterpret_cast<ITypeLib *>(static_cast<uintptr_t>(kSentinel));
  HRESULT hr = LoadTypeLibEx(reinterpret_cast<LPCOLESTR>(wide.c_str()), REGKIND_NONE, &lib);
  if (SUCCEEDED(hr)) {
    lib->Release();
  } else {
    EXPECT_EQ(nullptr, lib);
  }
  return hr;
}

TEST(TypeLibImage, TruncatedAndOtherFilesAreRefused) {
  std::vector<BYTE> image = ReadImage(FIXTURE_TLB);
  ASSERT_GT(image.size(), 0x200u) << FIXTURE_TLB;
  ASSERT_EQ(S_OK, Load(image, image.size()));

  // Neither a type library nor a module carrying one.
  EXPECT_EQ(TYPE_E_CANTLOADLIBRARY, Load({'R', 'D', 'T', 'L', 1, 0, 0, 0}, 8));
  std::vector<BYTE> later = image;
  later[4] = 3;  // a format version this reader does not know
  EXPECT_EQ(TYPE_E_UNSUPFORMAT, Load(later, later.size()));
  // Every truncation after the signature cuts into a segment or a member block.
  for (size_t len = 4; len < image.size(); ++len) {
    HRESULT hr = Load(image, len);
    ASSERT_TRUE(hr == TYPE_E_INVDATAREAD || hr == TYPE_E_UNSUPFORMAT) << "length " << len << ": 0x" << std::hex << hr;
  }
}

TEST(TypeLibImage, DamagedReferencesFail) {
  const std::vector<BYTE> image = ReadImage(FIXTURE_TLB);
  ASSERT_GT(image.size(), 0x200u) << FIXTURE_TLB;
  struct Case {
    const char *what;
    std::function<void(std::vector<BYTE> &)> damage;
    HRESULT expected;
  };
  const Case cases[] = {
      {"more types than the file holds", [](auto &i) { Set(i, 0x20, 0x7FFFFFFF); }, TYPE_E_INVDATAREAD},
      {"name table beyond the file", [](auto &i) { Set(i, Segment(i, 7), static_cast<uint32_t>(i.size())); },
       TYPE_E_INVDATAREAD},
      {"library name beyond the name table", [](auto &i) { Set(i, 0x38, Get(i, Segment(i, 7) + 4)); },
       TYPE_E_INVDATAREAD},
      {"no type descriptions", [](auto &i) { Set(i, Segment(i, 9) + 4, 0); }, TYPE_E_INVDATAREAD},
      {"a base between type records", [](auto &i) { Set(i, TypeRecord(i, 3) + 84, 150); }, TYPE_E_INVDATAREAD},
      {"a base past the last type", [](auto &i) { Set(i, TypeRecord(i, 3) + 84, 500); }, TYPE_E_INVDATAREAD},
      {"an interface deriving from itself", [](auto &i) { Set(i, TypeRecord(i, 3) + 84, 300); },
       TYPE_E_INVDATAREAD},
      {"a member record longer than its block",
       [](auto &i) {
         size_t block = Get(i, TypeRecord(i, 3) + 4);
         Set(i, block + 4, Get(i, block + 4) | 0xFFFF);
       },
       TYPE_E_INVDATAREAD},
      {"a member block beyond the file", [](auto &i) { Set(i, TypeRecord(i, 2) + 4, 0xFFFFFFF0); },
       TYPE_E_INVDATAREAD},
      {"an import from another library",
       [](auto &i) {
         size_t guid = Get(i, Segment(i, 5)) + Get(i, Get(i, Segment(i, 1)) + 8);
         Set(i, guid, Get(i, guid) ^ 1);
       },
       TYPE_E_CANTLOADLIBRARY},
  };
  for (const Case &c : cases) {
    std::vector<BYTE> damaged = image;
    c.damage(damaged);
    EXPECT_EQ(c.expected, Load(damaged, damaged.size())) << c.what;
  }
}

}  // namespace
