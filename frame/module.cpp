#include "frame/port.h"
#include "frame/module.h"

#include <atomic>
#include <new>

#include "frame/dispatch_impl.h"

namespace revdir {

namespace {

HINSTANCE g_instance = nullptr;
std::atomic<LONG> g_lockCount{0};
CRITICAL_SECTION g_moduleLock;
bool g_initialized = false;

// The standard class object: LockServer counts in the module lock; the
// object itself lives as long as the module and is not counted.
class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(CreateInstanceFn create) : m_create(create) {}
  STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IClassFactory)) {
      *ppv = static_cast<IClassFactory *>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
  STDMETHODIMP_(ULONG) Release() override { return --m_refs; }  // freed at module termination
  STDMETHODIMP CreateInstance(IUnknown *outer, REFIID riid, void **ppv) override {
    return m_create(outer, riid, ppv);
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock) ModuleLock();
    else ModuleUnlock();
    return S_OK;
  }

 private:
  CreateInstanceFn m_create;
  std::atomic<ULONG> m_refs{1};
};

// One cached class object per entry of the object map: as many slots as the
// map has entries, made at module initialisation (none when the heap refused).
ClassFactory **g_factories = nullptr;
size_t g_factoryCount = 0;

}  // namespace

HINSTANCE ModuleInstance() { return g_instance; }
void ModuleLock() { ++g_lockCount; }
void ModuleUnlock() { --g_lockCount; }
LONG ModuleLockCount() { return g_lockCount.load(); }
void EnterModuleLock() { EnterCriticalSection(&g_moduleLock); }
void LeaveModuleLock() { LeaveCriticalSection(&g_moduleLock); }

void ModuleInitialize(HINSTANCE instance) {
  if (g_initialized) return;
  g_instance = instance;
  InitializeCriticalSection(&g_moduleLock);
  size_t count;
  ObjectMap(&count);
  g_factories = new (std::nothrow) ClassFactory *[count]();
  g_factoryCount = g_factories ? count : 0;
  g_initialized = true;
}

void ModuleTerminate() {
  if (!g_initialized) return;
  for (size_t i = 0; i < g_factoryCount; ++i) delete g_factories[i];
  delete[] g_factories;
  g_factories = nullptr;
  g_factoryCount = 0;
  ReleaseTypeInfoCache();
  DeleteCriticalSection(&g_moduleLock);
  g_initialized = false;
}

HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void **ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  size_t count;
  const ObjectMapEntry *map = ObjectMap(&count);
  for (size_t i = 0; i < count; ++i) {
    if (!IsEqualGUID(rclsid, *map[i].clsid)) continue;
    if (i >= g_factoryCount) return E_OUTOFMEMORY;
    EnterModuleLock();
    if (!g_factories[i]) g_factories[i] = new (std::nothrow) ClassFactory(map[i].create);
    ClassFactory *factory = g_factories[i];
    LeaveModuleLock();
    if (!factory) return E_OUTOFMEMORY;
    return factory->QueryInterface(riid, ppv);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace revdir
