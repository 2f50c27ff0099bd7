// IUnknown and IClassFactory.
#pragma once

#include "guiddef.h"
#include "windef.h"
#include "winerror.h"

#define interface struct
// C++ sees an interface as an abstract struct; C (and C++ with CINTERFACE)
// as a struct holding a pointer to a table of function pointers, the same
// slots in the same order, each taking the object as `This` first.
#if defined(__cplusplus) && !defined(CINTERFACE)
#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method
#define PURE = 0
#define THIS_
#define THIS void
#else
#define STDMETHOD(method) HRESULT(STDMETHODCALLTYPE *method)
#define STDMETHOD_(type, method) type(STDMETHODCALLTYPE *method)
#define PURE
#define THIS_ INTERFACE *This,
#define THIS INTERFACE *This
#endif
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE
#define IFACEMETHODIMP STDMETHODIMP
#define IFACEMETHODIMP_(type) STDMETHODIMP_(type)
// A function table's bounds and constness; rpcndr.h names them too.
#ifndef BEGIN_INTERFACE
#define BEGIN_INTERFACE
#define END_INTERFACE
#endif
#ifndef CONST_VTBL
#define CONST_VTBL
#endif

typedef interface IUnknown IUnknown;
typedef interface IClassFactory IClassFactory;
typedef IUnknown *LPUNKNOWN;
typedef IClassFactory *LPCLASSFACTORY;

EXTERN_C DECLSPEC_IMPORT const IID IID_IUnknown;
EXTERN_C DECLSPEC_IMPORT const IID IID_IClassFactory;

#if defined(__cplusplus) && !defined(CINTERFACE)
// Interfaces are plain abstract structs: one vtable pointer first, slots in
// declaration order, `this` first in every call, as a COM client expects.
struct IUnknown {
  STDMETHOD(QueryInterface)(REFIID riid, void **ppvObject) = 0;
  STDMETHOD_(ULONG, AddRef)() = 0;
  STDMETHOD_(ULONG, Release)() = 0;
};

struct IClassFactory : public IUnknown {
  STDMETHOD(CreateInstance)(IUnknown *pUnkOuter, REFIID riid, void **ppvObject) = 0;
  STDMETHOD(LockServer)(BOOL fLock) = 0;
};
#else
typedef struct IUnknownVtbl {
  BEGIN_INTERFACE
  HRESULT(STDMETHODCALLTYPE *QueryInterface)(IUnknown *This, REFIID riid, void **ppvObject);
  ULONG(STDMETHODCALLTYPE *AddRef)(IUnknown *This);
  ULONG(STDMETHODCALLTYPE *Release)(IUnknown *This);
  END_INTERFACE
} IUnknownVtbl;
interface IUnknown {
  CONST_VTBL struct IUnknownVtbl *lpVtbl;
};
#ifdef COBJMACROS
#define IUnknown_QueryInterface(This, riid, ppvObject) (This)->lpVtbl->QueryInterface(This, riid, ppvObject)
#define IUnknown_AddRef(This) (This)->lpVtbl->AddRef(This)
#define IUnknown_Release(This) (This)->lpVtbl->Release(This)
#endif

typedef struct IClassFactoryVtbl {
  BEGIN_INTERFACE
  HRESULT(STDMETHODCALLTYPE *QueryInterface)(IClassFactory *This, REFIID riid, void **ppvObject);
  ULONG(STDMETHODCALLTYPE *AddRef)(IClassFactory *This);
  ULONG(STDMETHODCALLTYPE *Release)(IClassFactory *This);
  HRESULT(STDMETHODCALLTYPE *CreateInstance)(IClassFactory *This, IUnknown *pUnkOuter, REFIID riid, void **ppvObject);
  HRESULT(STDMETHODCALLTYPE *LockServer)(IClassFactory *This, BOOL fLock);
  END_INTERFACE
} IClassFactoryVtbl;
interface IClassFactory {
  CONST_VTBL struct IClassFactoryVtbl *lpVtbl;
};
#ifdef COBJMACROS
#define IClassFactory_QueryInterface(This, riid, ppvObject) (This)->lpVtbl->QueryInterface(This, riid, ppvObject)
#define IClassFactory_AddRef(This) (This)->lpVtbl->AddRef(This)
#define IClassFactory_Release(This) (This)->lpVtbl->Release(This)
#define IClassFactory_CreateInstance(This, pUnkOuter, riid, ppvObject) \
  (This)->lpVtbl->CreateInstance(This, pUnkOuter, riid, ppvObject)
#define IClassFactory_LockServer(This, fLock) (This)->lpVtbl->LockServer(This, fLock)
#endif
#endif
