// A stand-in for a release's automation server: an in-process server whose
// objects can be run (as a local server's application object is started by
// running it) and tell through IDispatch whether they were.
#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include <new>

#include "named_dispatch.h"
#include "standins.h"

#ifndef DECLSPEC_EXPORT  // the Windows SDK has no such macro
#define DECLSPEC_EXPORT __declspec(dllexport)
#endif
#define STANDIN_EXPORT EXTERN_C DECLSPEC_EXPORT

namespace {

LONG g_objects = 0;
LONG g_locks = 0;

class Object final : public NamedDispatch, public IRunnableObject {
 public:
  explicit Object(bool application) : m_application(application) { InterlockedIncrement(&g_objects); }
  ~Object() { InterlockedDecrement(&g_objects); }

  STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDispatch))
      *ppv = static_cast<IDispatch *>(this);
    else if (IsEqualGUID(riid, IID_IRunnableObject))
      *ppv = static_cast<IRunnableObject *>(this);
    else
      return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_refs); }
  STDMETHODIMP_(ULONG) Release() override {
    LONG n = InterlockedDecrement(&m_refs);
    if (!n) delete this;
    return n;
  }

  // IDispatch: two read-only properties, by name.
  const DispatchMember *Members() const override {
    static const DispatchMember kMembers[] = {
        {"WasRun", STANDIN_DISPID_WASRUN}, {"IsApplication", STANDIN_DISPID_ISAPPLICATION}, {nullptr, 0}};
    return kMembers;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *, VARIANT *result, EXCEPINFO *,
                      UINT *) override {
    if (id != STANDIN_DISPID_WASRUN && id != STANDIN_DISPID_ISAPPLICATION) return DISP_E_MEMBERNOTFOUND;
    if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    if (!result) return S_OK;
    bool value = id == STANDIN_DISPID_WASRUN ? m_running : m_application;
    VariantInit(result);
    V_VT(result) = VT_BOOL;
    V_BOOL(result) = value ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }

  // IRunnableObject
  STDMETHODIMP GetRunningClass(LPCLSID clsid) override {
    if (!clsid) return E_INVALIDARG;
    *clsid = m_application ? CLSID_StandInApplication : CLSID_StandInServices;
    return S_OK;
  }
  STDMETHODIMP Run(LPBINDCTX) override {
    m_running = true;
    return S_OK;
  }
  BOOL STDMETHODCALLTYPE IsRunning() override { return m_running; }
  STDMETHODIMP LockRunning(BOOL, BOOL) override { return S_OK; }
  STDMETHODIMP SetContainedObject(BOOL) override { return S_OK; }

 private:
  LONG m_refs = 1;
  bool m_application;
  bool m_running = false;
};

class Factory final : public StaticClassFactory {
 public:
  explicit Factory(bool application) : m_application(application) {}
  STDMETHODIMP CreateInstance(IUnknown *outer, REFIID riid, void **ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    Object *object = new (std::nothrow) Object(m_application);
    if (!object) return E_OUTOFMEMORY;
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock)
      InterlockedIncrement(&g_locks);
    else
      InterlockedDecrement(&g_locks);
    return S_OK;
  }

 private:
  bool m_application;
};

Factory g_applicationFactory(true);
Factory g_servicesFactory(false);

}  // namespace

STANDIN_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID *ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (IsEqualGUID(rclsid, CLSID_StandInApplication)) return g_applicationFactory.QueryInterface(riid, ppv);
  if (IsEqualGUID(rclsid, CLSID_StandInServices)) return g_servicesFactory.QueryInterface(riid, ppv);
  return CLASS_E_CLASSNOTAVAILABLE;
}

STANDIN_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow(void) { return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE; }
