// The stand-in application's automation, as the application has it: one
// application object per process, handed out by a class object registered
// when COM started the program, and the open project registered in the
// running-object table. All on one single-threaded apartment, whose messages
// carry the calls from other processes.
#include "local_server.h"

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>
#include <wchar.h>

#include "named_dispatch.h"
#include "standins.h"

namespace {

DWORD g_thread = 0;  // the apartment's, which runs the messages

enum : DISPID { kProcessId = 1, kQuit };

class Application final : public NamedDispatch {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, IID_IDispatch)) return E_NOINTERFACE;
    *ppv = static_cast<IDispatch *>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_refs); }
  // A static object: its last reference ends the program, not the object.
  STDMETHODIMP_(ULONG) Release() override {
    LONG n = InterlockedDecrement(&m_refs);
    if (!n) PostThreadMessageW(g_thread, WM_QUIT, 0, 0);
    return n;
  }

  const DispatchMember *Members() const override {
    static const DispatchMember kMembers[] = {{"ProcessId", kProcessId}, {"Quit", kQuit}, {nullptr, 0}};
    return kMembers;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *, VARIANT *result, EXCEPINFO *,
                      UINT *) override {
    if (result) VariantInit(result);
    if (id == kProcessId && (flags & DISPATCH_PROPERTYGET)) {
      if (result) {
        V_VT(result) = VT_I4;
        V_I4(result) = static_cast<LONG>(GetCurrentProcessId());
      }
      return S_OK;
    }
    if (id == kQuit && (flags & DISPATCH_METHOD)) {
      Close();
      return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
  }

  // Registers the project under its file's moniker, as the application
  // registers each project it opens.
  HRESULT Open(const wchar_t *path) {
    IMoniker *moniker = nullptr;
    IRunningObjectTable *table = nullptr;
    HRESULT hr = CreateFileMoniker(path, &moniker);
    if (SUCCEEDED(hr)) hr = GetRunningObjectTable(0, &table);
    if (SUCCEEDED(hr)) hr = table->Register(0, static_cast<IDispatch *>(this), moniker, &m_cookie);
    if (table) table->Release();
    if (moniker) moniker->Release();
    return hr;
  }
  bool HoldsProject() const { return m_cookie != 0; }
  // Revokes the project's registration; the program ends once no client
  // holds the object.
  void Close() {
    IRunningObjectTable *table = nullptr;
    if (m_cookie && SUCCEEDED(GetRunningObjectTable(0, &table))) {
      table->Revoke(m_cookie);
      table->Release();
    }
    m_cookie = 0;
    DropOwnReference();
  }
  // The program's own reference keeps it running while it has a project
  // open, or until a client first holds the object.
  void DropOwnReference() {
    if (m_own) {
      m_own = false;
      Release();
    }
  }

 private:
  LONG m_refs = 1;
  bool m_own = true;
  DWORD m_cookie = 0;
};

Application g_application;

class Factory final : public StaticClassFactory {
 public:
  STDMETHODIMP CreateInstance(IUnknown *outer, REFIID riid, void **ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    HRESULT hr = g_application.QueryInterface(riid, ppv);
    if (SUCCEEDED(hr) && !g_application.HoldsProject()) g_application.DropOwnReference();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock)
      g_application.AddRef();
    else
      g_application.Release();
    return S_OK;
  }
};

// Dispatches the apartment's messages until the quit or the time is up.
void RunMessages(UINT lifetimeMs) {
  UINT_PTR timer = SetTimer(nullptr, 0, lifetimeMs, nullptr);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && !msg.hwnd && msg.wParam == timer) break;
    DispatchMessageW(&msg);
  }
  KillTimer(nullptr, timer);
}

}  // namespace

AutomationStart AutomationRequested(int argc, wchar_t **argv) {
  AutomationStart start;
  for (int i = 1; i < argc; ++i) {
    // COM adds "-Embedding" to a local server's command line; an automation
    // server's registration may name "/Automation" itself.
    if (!_wcsicmp(argv[i], L"/Automation") || !_wcsicmp(argv[i], L"-Embedding") || !_wcsicmp(argv[i], L"/Embedding"))
      start.server = true;
    else if (!_wcsicmp(argv[i], L"/Open") && i + 1 < argc)
      start.project = argv[++i];
  }
  return start;
}

int ServeAutomation(const AutomationStart &start) {
  g_thread = GetCurrentThreadId();
  // The thread's message queue, before anything may post the quit to it.
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  static Factory g_factory;
  HRESULT hr = start.project ? g_application.Open(start.project) : S_OK;
  DWORD registration = 0;
  if (SUCCEEDED(hr) && start.server)
    hr = CoRegisterClassObject(CLSID_StandInLocalApplication, &g_factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                               &registration);
  if (SUCCEEDED(hr)) RunMessages(STANDIN_SERVER_LIFETIME_MS);
  if (registration) CoRevokeClassObject(registration);
  g_application.Close();
  CoUninitialize();
  return SUCCEEDED(hr) ? 0 : 1;
}
