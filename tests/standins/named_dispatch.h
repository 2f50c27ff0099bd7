// What the stand-ins' objects share: IDispatch without type information,
// its members found by name in a table, and class objects that live as long
// as their module.
#pragma once

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

struct DispatchMember {
  const char *name;
  DISPID id;
};

class NamedDispatch : public IDispatch {
 public:
  STDMETHODIMP GetTypeInfoCount(UINT *count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo **info) override {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
  }
  // One name at a time: the members take no named arguments.
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID, DISPID *ids) override {
    if (!names || !ids || count == 0) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    HRESULT hr = DISP_E_UNKNOWNNAME;
    for (const DispatchMember *member = Members(); member->name; ++member) {
      if (SameText(names[0], member->name)) {
        ids[0] = member->id;
        hr = S_OK;
      }
    }
    return count > 1 ? DISP_E_UNKNOWNNAME : hr;
  }

 protected:
  // The object's members, ended by one with a null name.
  virtual const DispatchMember *Members() const = 0;

 private:
  // Names are matched without regard to ASCII case, as late binding does.
  static bool SameText(const OLECHAR *a, const char *b) {
    for (; *a && *b; ++a, ++b)
      if ((*a | 0x20) != (*b | 0x20)) return false;
    return *a == 0 && *b == 0;
  }
};

// A class object that is a static of its module: references do not count.
class StaticClassFactory : public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IClassFactory)) {
      *ppv = static_cast<IClassFactory *>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
};
