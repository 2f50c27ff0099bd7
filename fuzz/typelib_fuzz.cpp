// The binary type-library reader: any input either fails to load or yields
// a library whose every description can be read.
#include <oleauto.h>
#include <string.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "platform/text/wide_text.h"

namespace {

void Walk(ITypeLib *lib) {
  BSTR s = nullptr;
  lib->GetDocumentation(-1, &s, nullptr, nullptr, nullptr);
  SysFreeString(s);
  for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
    ITypeInfo *info = nullptr;
    if (FAILED(lib->GetTypeInfo(i, &info))) continue;
    TYPEATTR *a = nullptr;
    if (SUCCEEDED(info->GetTypeAttr(&a))) {
      for (UINT f = 0; f < a->cFuncs; ++f) {
        FUNCDESC *fd = nullptr;
        if (FAILED(info->GetFuncDesc(f, &fd))) continue;
        BSTR names[4] = {};
        UINT n = 0;
        if (SUCCEEDED(info->GetNames(fd->memid, names, 4, &n))) {
          MEMBERID ids[4];
          if (n) info->GetIDsOfNames(names, n, ids);
          for (UINT k = 0; k < n; ++k) SysFreeString(names[k]);
        }
        for (SHORT p = 0; p < fd->cParams; ++p) {
          const TYPEDESC *t = &fd->lprgelemdescParam[p].tdesc;
          while (t->vt == VT_PTR) t = t->lptdesc;
          ITypeInfo *ref = nullptr;
          if (t->vt == VT_USERDEFINED && SUCCEEDED(info->GetRefTypeInfo(t->hreftype, &ref))) ref->Release();
        }
        info->ReleaseFuncDesc(fd);
      }
      for (UINT v = 0; v < a->cVars; ++v) {
        VARDESC *vd = nullptr;
        if (SUCCEEDED(info->GetVarDesc(v, &vd))) info->ReleaseVarDesc(vd);
      }
      for (UINT k = 0; k <= a->cImplTypes; ++k) {
        HREFTYPE href;
        ITypeInfo *ref = nullptr;
        if (SUCCEEDED(info->GetRefTypeOfImplType(k == a->cImplTypes ? ~0u : k, &href)) &&
            SUCCEEDED(info->GetRefTypeInfo(href, &ref)))
          ref->Release();
      }
      info->ReleaseTypeAttr(a);
    }
    info->Release();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // Anything else is taken for a module, which is not what is fuzzed here.
  if (size < 4 || memcmp(data, "MSFT", 4) != 0) return 0;
  // Clients reach the reader through a file only; one per process, in
  // memory where there is a tmpfs: creating and removing a file on a disk
  // for every input cost about as much as the reading.
  static const std::string kFile = [] {
    std::error_code ec;
    std::filesystem::path dir =
        std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm" : std::filesystem::temp_directory_path();
    return (dir / ("typelib_fuzz." + std::to_string(std::random_device()()) + ".tlb")).string();
  }();
  static const std::u16string kWide = platform::Widen(kFile);
  FILE *f = fopen(kFile.c_str(), "wb");
  if (!f) return 0;
  fwrite(data, 1, size, f);
  fclose(f);
  ITypeLib *lib = nullptr;
  HRESULT hr = LoadTypeLibEx(reinterpret_cast<LPCOLESTR>(kWide.c_str()), REGKIND_NONE, &lib);
  remove(kFile.c_str());
  if (SUCCEEDED(hr)) {
    Walk(lib);
    lib->Release();
  }
  return 0;
}
