// The binary type-library reader: any input either fails to load or yields
// a library whose every description can be read.
#include <oleauto.h>

#include "oleaut32/typelib_data.h"

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
  ITypeLib *lib = nullptr;
  if (SUCCEEDED(RevdirLoadTypeLibFromMemory(data, size, &lib))) {
    Walk(lib);
    lib->Release();
  }
  return 0;
}
