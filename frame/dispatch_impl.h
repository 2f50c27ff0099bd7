// IDispatch of a dual interface, served from the registered type library.
#pragma once

#include "frame/port.h"
#include <oleauto.h>

namespace revdir {

// The type information of one interface of the component's type library,
// loaded through the registry on first use, once per process, under the
// module-wide lock. Fails with the loader's error (TYPE_E_LIBNOTREGISTERED
// when the library is not registered).
HRESULT GetInterfaceTypeInfo(REFIID iid, ITypeInfo **ppTypeInfo);
// Releases the cached type information (at module termination).
void ReleaseTypeInfoCache();

template <class Itf, const IID *Iid>
class DispatchImpl : public Itf {
 public:
  STDMETHODIMP GetTypeInfoCount(UINT *pctinfo) override {
    if (!pctinfo) return E_POINTER;
    *pctinfo = 1;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID, ITypeInfo **ppTInfo) override {
    if (!ppTInfo) return E_POINTER;
    *ppTInfo = nullptr;
    if (iTInfo != 0) return DISP_E_BADINDEX;
    return GetInterfaceTypeInfo(*Iid, ppTInfo);
  }
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR *rgszNames, UINT cNames, LCID,
                             DISPID *rgDispId) override {
    if (!IsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo *info;
    HRESULT hr = GetInterfaceTypeInfo(*Iid, &info);
    if (FAILED(hr)) return hr;
    hr = DispGetIDsOfNames(info, rgszNames, cNames, rgDispId);
    info->Release();
    return hr;
  }
  STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags, DISPPARAMS *pDispParams,
                      VARIANT *pVarResult, EXCEPINFO *pExcepInfo, UINT *puArgErr) override {
    if (!IsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    // Some script engines' enumerator objects ask for _NewEnum as a method;
    // the type library has it as a property get, which is what they mean.
    if (dispIdMember == DISPID_NEWENUM && (wFlags & DISPATCH_METHOD)) wFlags |= DISPATCH_PROPERTYGET;
    ITypeInfo *info;
    HRESULT hr = GetInterfaceTypeInfo(*Iid, &info);
    if (FAILED(hr)) return hr;
    hr = info->Invoke(static_cast<Itf *>(this), dispIdMember, wFlags, pDispParams, pVarResult, pExcepInfo,
                      puArgErr);
    info->Release();
    return hr;
  }
};

}  // namespace revdir
