// Loading type libraries: from a binary image in memory, from a type
// library file, or from a module's TYPELIB resource.
#include <stdio.h>

#include <new>
#include <vector>

#include "kernel32/paths.h"
#include "kernel32/text.h"
#include "oleaut32/typelib_impl.h"

namespace platform {

HRESULT CreateTypeLib(const BYTE *data, size_t size, ITypeLib **out) {
  HRESULT hr;
  std::unique_ptr<LibData> lib = ParseTypeLib(data, size, &hr);
  if (!lib) return hr;
  auto *impl = new (std::nothrow) TypeLibImpl(std::move(lib), nullptr, false);
  if (!impl) return E_OUTOFMEMORY;
  *out = impl;
  return S_OK;
}

namespace {

// Reads a whole file; false when it cannot be opened or read.
bool ReadFile(const std::string &path, std::vector<BYTE> *out) {
  FILE *f = fopen(path.c_str(), "rb");
  if (!f) return false;
  BYTE buf[65536];
  size_t n;
  bool ok = true;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) {
    if (out->size() + n > (64u << 20)) {  // no type library comes near this
      ok = false;
      break;
    }
    out->insert(out->end(), buf, buf + n);
  }
  if (ferror(f)) ok = false;
  fclose(f);
  return ok;
}

// The type library of a module: its TYPELIB resource number 1.
HRESULT LoadFromModule(LPCOLESTR file, ITypeLib **out) {
  HMODULE module = LoadLibraryW(file);
  if (!module) return TYPE_E_CANTLOADLIBRARY;
  HRESULT hr = TYPE_E_CANTLOADLIBRARY;
  HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(1), OLESTR("TYPELIB"));
  if (res) {
    HGLOBAL mem = LoadResource(module, res);
    const void *data = mem ? LockResource(mem) : nullptr;
    DWORD size = SizeofResource(module, res);
    if (data) hr = CreateTypeLib(static_cast<const BYTE *>(data), size, out);
  }
  FreeLibrary(module);
  return hr;
}

}  // namespace

}  // namespace platform

HRESULT WINAPI LoadTypeLibEx(LPCOLESTR szFile, REGKIND regkind, ITypeLib **pptlib) {
  if (!szFile || !pptlib) return E_INVALIDARG;
  *pptlib = nullptr;
  if (regkind != REGKIND_DEFAULT && regkind != REGKIND_REGISTER && regkind != REGKIND_NONE) return E_INVALIDARG;
  auto path = platform::UnixPath(platform::View(szFile));
  if (!path) return TYPE_E_CANTLOADLIBRARY;
  // A type library file, else a module carrying one.
  std::vector<BYTE> image;
  HRESULT hr;
  if (platform::ReadFile(*path, &image) && image.size() >= 4 && memcmp(image.data(), "MSFT", 4) == 0)
    hr = platform::CreateTypeLib(image.data(), image.size(), pptlib);
  else
    hr = platform::LoadFromModule(szFile, pptlib);
  if (FAILED(hr)) return hr;
  // By default a library given by full path is not registered.
  bool fullPath = szFile[0] == u'/' || szFile[0] == u'\\' || (szFile[0] && szFile[1] == u':');
  if (regkind == REGKIND_REGISTER || (regkind == REGKIND_DEFAULT && !fullPath)) {
    hr = RegisterTypeLib(*pptlib, szFile, nullptr);
    if (FAILED(hr)) {
      (*pptlib)->Release();
      *pptlib = nullptr;
      return hr;
    }
  }
  return S_OK;
}

HRESULT WINAPI LoadTypeLib(LPCOLESTR szFile, ITypeLib **pptlib) { return LoadTypeLibEx(szFile, REGKIND_DEFAULT, pptlib); }
