// Error information: the object CreateErrorInfo makes and the per-thread slot
// that SetErrorInfo and GetErrorInfo pass it through.
#include <oleauto.h>

#include <mutex>
#include <new>
#include <optional>
#include <string>

#include "kernel32/text.h"

namespace {

class ErrorInfo final : public ICreateErrorInfo, public IErrorInfo {
 public:
  // IUnknown, reached through either interface.
  STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IErrorInfo) {
      *ppv = static_cast<IErrorInfo *>(this);
    } else if (riid == IID_ICreateErrorInfo) {
      *ppv = static_cast<ICreateErrorInfo *>(this);
    } else {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
  STDMETHODIMP_(ULONG) Release() override {
    LONG n = InterlockedDecrement(&m_refs);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }

  // ICreateErrorInfo.
  STDMETHODIMP SetGUID(REFGUID rguid) override {
    std::lock_guard<std::mutex> g(m_lock);
    m_guid = rguid;
    return S_OK;
  }
  STDMETHODIMP SetSource(LPOLESTR s) override { return Store(m_source, s); }
  STDMETHODIMP SetDescription(LPOLESTR s) override { return Store(m_description, s); }
  STDMETHODIMP SetHelpFile(LPOLESTR s) override { return Store(m_helpFile, s); }
  STDMETHODIMP SetHelpContext(DWORD context) override {
    std::lock_guard<std::mutex> g(m_lock);
    m_helpContext = context;
    return S_OK;
  }

  // IErrorInfo.
  STDMETHODIMP GetGUID(GUID *pGUID) override {
    if (!pGUID) return E_INVALIDARG;
    std::lock_guard<std::mutex> g(m_lock);
    *pGUID = m_guid;
    return S_OK;
  }
  STDMETHODIMP GetSource(BSTR *p) override { return Load(m_source, p); }
  STDMETHODIMP GetDescription(BSTR *p) override { return Load(m_description, p); }
  STDMETHODIMP GetHelpFile(BSTR *p) override { return Load(m_helpFile, p); }
  STDMETHODIMP GetHelpContext(DWORD *p) override {
    if (!p) return E_INVALIDARG;
    std::lock_guard<std::mutex> g(m_lock);
    *p = m_helpContext;
    return S_OK;
  }

 private:
  using Field = std::optional<std::u16string>;

  HRESULT Store(Field &field, LPOLESTR s) {
    try {
      Field value;
      if (s) value.emplace(platform::View(s));
      std::lock_guard<std::mutex> g(m_lock);
      field = std::move(value);
      return S_OK;
    } catch (const std::bad_alloc &) {
      return E_OUTOFMEMORY;
    }
  }

  // The caller gets its own copy; an unset field reads as null.
  HRESULT Load(const Field &field, BSTR *out) {
    if (!out) return E_INVALIDARG;
    std::lock_guard<std::mutex> g(m_lock);
    if (!field) {
      *out = nullptr;
      return S_OK;
    }
    *out = SysAllocStringLen(field->data(), static_cast<UINT>(field->size()));
    return *out ? S_OK : E_OUTOFMEMORY;
  }

  LONG m_refs = 1;
  std::mutex m_lock;
  GUID m_guid = GUID_NULL_INIT;
  Field m_source, m_description, m_helpFile;
  DWORD m_helpContext = 0;
};

// The thread's current error object; released when the thread ends.
struct Slot {
  IErrorInfo *info = nullptr;
  ~Slot() {
    if (info) info->Release();
  }
};
thread_local Slot g_slot;

}  // namespace

HRESULT WINAPI CreateErrorInfo(ICreateErrorInfo **pperrinfo) {
  if (!pperrinfo) return E_INVALIDARG;
  *pperrinfo = new (std::nothrow) ErrorInfo;
  return *pperrinfo ? S_OK : E_OUTOFMEMORY;
}

HRESULT WINAPI SetErrorInfo(ULONG dwReserved, IErrorInfo *perrinfo) {
  if (dwReserved != 0) return E_INVALIDARG;
  if (perrinfo) perrinfo->AddRef();
  IErrorInfo *old = g_slot.info;
  g_slot.info = perrinfo;
  // Released last: its destructor might set error information itself.
  if (old) old->Release();
  return S_OK;
}

HRESULT WINAPI GetErrorInfo(ULONG dwReserved, IErrorInfo **pperrinfo) {
  if (!pperrinfo || dwReserved != 0) return E_INVALIDARG;
  *pperrinfo = g_slot.info;  // the slot's reference passes to the caller
  g_slot.info = nullptr;
  return *pperrinfo ? S_OK : S_FALSE;
}
