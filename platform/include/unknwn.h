// IUnknown and IClassFactory.
#pragma once

#include "guiddef.h"
#include "windef.h"
#include "winerror.h"

#define interface struct
#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE
#define PURE = 0
#define IFACEMETHODIMP STDMETHODIMP
#define IFACEMETHODIMP_(type) STDMETHODIMP_(type)

EXTERN_C DECLSPEC_IMPORT const IID IID_IUnknown;
EXTERN_C DECLSPEC_IMPORT const IID IID_IClassFactory;

#ifdef __cplusplus
// Interfaces are plain abstract structs: one vtable pointer first, slots in
// declaration order, `this` first in every call, as a COM client expects.
struct IUnknown {
  STDMETHOD(QueryInterface)(REFIID riid, void **ppvObject) = 0;
  STDMETHOD_(ULONG, AddRef)() = 0;
  STDMETHOD_(ULONG, Release)() = 0;
};
typedef IUnknown *LPUNKNOWN;

struct IClassFactory : public IUnknown {
  STDMETHOD(CreateInstance)(IUnknown *pUnkOuter, REFIID riid, void **ppvObject) = 0;
  STDMETHOD(LockServer)(BOOL fLock) = 0;
};
typedef IClassFactory *LPCLASSFACTORY;
#endif
