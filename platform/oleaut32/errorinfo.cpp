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
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  STDMETHODIMP_(ULONG) Release() override {
    LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }

  // ICreateErrorInfo.
  STDMETHODIMP SetGUID(REFGUID rguid) override {
    std::lock_guard<std::mutex> g(lock_);
    guid_ = rguid;
    return S_OK;
  }
  STDMETHODIMP SetSource(LPOLESTR s) override { return Store(source_, s); }
  STDMETHODIMP SetDescription(LPOLESTR s) override { return Store(description_, s); }
  STDMETHODIMP SetHelpFile(LPOLESTR s) override { return Store(helpFile_, s); }
  STDMETHODIMP SetHelpContext(DWORD context) override {
    std::lock_guard<std::mutex> g(lock_);
    helpContext_ = context;
    return S_OK;
  }

  // IErrorInfo.
  STDMETHODIMP GetGUID(GUID *pGUID) override {
    if (!pGUID) return E_INVALIDARG;
    std::lock_guard<std::mutex> g(lock_);
    *pGUID = guid_;
    return S_OK;
  }
  STDMETHODIMP GetSource(BSTR *p) override { return Load(source_, p); }
  STDMETHODIMP GetDescription(BSTR *p) override { return Load(description_, p); }
  STDMETHODIMP GetHelpFile(BSTR *p) override { return Load(helpFile_, p); }
  STDMETHODIMP GetHelpContext(DWORD *p) override {
    if (!p) return E_INVALIDARG;
    std::lock_guard<std::mutex> g(lock_);
    *p = helpContext_;
    return S_OK;
  }

 private:
  using Field = std::optional<std::u16string>;

  HRESULT Store(Field &field, LPOLESTR s) {
    try {
      Field value;
      if (s) value.emplace(platform::View(s));
      std::lock_guard<std::mutex> g(lock_);
      field = std::move(value);
      return S_OK;
    } catch (const std::bad_alloc &) {
      return E_OUTOFMEMORY;
    }
  }

  // The caller gets its own copy; an unset field reads as null.
  HRESULT Load(const Field &field, BSTR *out) {
    if (!out) return E_INVALIDARG;
    std::lock_guard<std::mutex> g(lock_);
    if (!field) {
      *out = nullptr;
      return S_OK;
    }
    *out = SysAllocStringLen(field->data(), static_cast<UINT>(field->size()));
    return *out ? S_OK : E_OUTOFMEMORY;
  }

  LONG refs_ = 1;
  std::mutex lock_;
  GUID guid_ = GUID_NULL_INIT;
  Field source_, description_, helpFile_;
  DWORD helpContext_ = 0;
};

// The thread's current error object; released when the thread ends.
struct Slot {
  IErrorInfo *info = nullptr;
  ~Slot() {
    if (info) info->Release();
  }
};
thread_local Slot t_slot;

}  // namespace

HRESULT WINAPI CreateErrorInfo(ICreateErrorInfo **pperrinfo) {
  if (!pperrinfo) return E_INVALIDARG;
  *pperrinfo = new (std::nothrow) ErrorInfo;
  return *pperrinfo ? S_OK : E_OUTOFMEMORY;
}

HRESULT WINAPI SetErrorInfo(ULONG dwReserved, IErrorInfo *perrinfo) {
  if (dwReserved != 0) return E_INVALIDARG;
  if (perrinfo) perrinfo->AddRef();
  IErrorInfo *old = t_slot.info;
  t_slot.info = perrinfo;
  // Released last: its destructor might set error information itself.
  if (old) old->Release();
  return S_OK;
}

HRESULT WINAPI GetErrorInfo(ULONG dwReserved, IErrorInfo **pperrinfo) {
  if (!pperrinfo || dwReserved != 0) return E_INVALIDARG;
  *pperrinfo = t_slot.info;  // the slot's reference passes to the caller
  t_slot.info = nullptr;
  return *pperrinfo ? S_OK : S_FALSE;
}
