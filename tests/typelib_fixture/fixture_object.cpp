#include "fixture_object.h"

#include <string>

#include "platform/text/wide_text.h"

namespace {

using WString = std::basic_string<WCHAR>;

WString Str(BSTR b) { return b ? WString(b, SysStringLen(b)) : WString(); }
BSTR Alloc(const WString &s) { return SysAllocStringLen(s.data(), static_cast<UINT>(s.size())); }

WString Decimal(long long v) { return platform::Widen(std::to_string(v)); }

// IUnknown and IDispatch of a dual interface I, dispatch from type information.
template <typename I>
class DualObject : public I {
 public:
  DualObject(ITypeLib *lib, REFIID iid) : m_iid(iid) { lib->GetTypeInfoOfGuid(iid, &m_info); }
  virtual ~DualObject() {
    if (m_info) m_info->Release();
  }
  STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || Answers(riid)) {
      *ppv = static_cast<I *>(this);
      this->AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_refs); }
  STDMETHODIMP_(ULONG) Release() override {
    LONG n = InterlockedDecrement(&m_refs);
    if (n == 0) delete this;
    return n;
  }
  STDMETHODIMP GetTypeInfoCount(UINT *pctinfo) override {
    if (!pctinfo) return E_POINTER;
    *pctinfo = 1;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID, ITypeInfo **ppTInfo) override {
    if (!ppTInfo) return E_POINTER;
    *ppTInfo = nullptr;
    if (iTInfo != 0) return DISP_E_BADINDEX;
    m_info->AddRef();
    *ppTInfo = m_info;
    return S_OK;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR *rgszNames, UINT cNames, LCID, DISPID *rgDispId) override {
    return DispGetIDsOfNames(m_info, rgszNames, cNames, rgDispId);
  }
  STDMETHODIMP Invoke(DISPID dispIdMember, REFIID, LCID, WORD wFlags, DISPPARAMS *pDispParams, VARIANT *pVarResult,
                      EXCEPINFO *pExcepInfo, UINT *puArgErr) override {
    return DispInvoke(static_cast<I *>(this), m_info, dispIdMember, wFlags, pDispParams, pVarResult, pExcepInfo,
                      puArgErr);
  }

 protected:
  virtual bool Answers(REFIID riid) { return riid == m_iid; }

 private:
  LONG m_refs = 1;
  IID m_iid;
  ITypeInfo *m_info = nullptr;
};

class FixItem final : public DualObject<IFixItem> {
 public:
  FixItem(ITypeLib *lib, WString name) : DualObject(lib, IID_IFixItem), m_name(std::move(name)) {}
  STDMETHODIMP get_Name(BSTR *Name) override {
    if (!Name) return E_POINTER;
    *Name = Alloc(m_name);
    return S_OK;
  }

 private:
  WString m_name;
};

class FixtureObject final : public DualObject<IFixture2> {
 public:
  explicit FixtureObject(ITypeLib *lib) : DualObject(lib, IID_IFixture2), m_lib(lib) { m_lib->AddRef(); }
  ~FixtureObject() override { m_lib->Release(); }

  STDMETHODIMP get_Item(LONG Index, IFixItem **Item) override {
    if (!Item) return E_POINTER;
    *Item = nullptr;
    if (Index < 0 || Index >= kCount) return E_INVALIDARG;
    *Item = new FixItem(m_lib, OLESTR("item") + Decimal(Index));
    return S_OK;
  }
  STDMETHODIMP get__NewEnum(IUnknown **Enum) override {
    if (!Enum) return E_POINTER;
    // Stands in for an enumerator: an object that answers IUnknown.
    *Enum = new FixItem(m_lib, OLESTR("enumerator"));
    return S_OK;
  }
  STDMETHODIMP get_Count(LONG *Count) override {
    if (!Count) return E_POINTER;
    *Count = kCount;
    return S_OK;
  }
  STDMETHODIMP Describe(LONG Number, ULONG Flags, BSTR Text, VARIANT_BOOL Flag, FixColor Color, BSTR *Result) override {
    if (!Result) return E_POINTER;
    *Result = Alloc(Decimal(Number) + OLESTR("|") + Decimal(Flags) + OLESTR("|") + Str(Text) + OLESTR("|") +
                    Decimal(Flag) + OLESTR("|") + Decimal(Color));
    return S_OK;
  }
  STDMETHODIMP Fail(LONG Code, VARIANT_BOOL WithErrorInfo) override {
    ICreateErrorInfo *create = nullptr;
    if (WithErrorInfo && SUCCEEDED(CreateErrorInfo(&create))) {
      create->SetSource(const_cast<LPOLESTR>(FIXTURE_ERROR_SOURCE));
      create->SetDescription(const_cast<LPOLESTR>(FIXTURE_ERROR_TEXT));
      IErrorInfo *info = nullptr;
      if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void **>(&info)))) {
        SetErrorInfo(0, info);
        info->Release();
      }
      create->Release();
    } else {
      SetErrorInfo(0, nullptr);
    }
    return Code;
  }
  STDMETHODIMP Split(BSTR Text, BSTR *Head, BSTR *Tail) override {
    if (!Head || !Tail) return E_POINTER;
    WString s = Str(Text);
    size_t cut = s.find(OLESTR(','));
    if (cut == WString::npos) cut = s.size();
    *Head = Alloc(s.substr(0, cut));
    *Tail = Alloc(cut < s.size() ? s.substr(cut + 1) : WString());
    return S_OK;
  }
  STDMETHODIMP NameOf(IFixItem *Item, BSTR *Name) override {
    if (!Name) return E_POINTER;
    *Name = nullptr;
    if (!Item) return E_INVALIDARG;
    return Item->get_Name(Name);
  }
  STDMETHODIMP Echo(VARIANT Value, VARIANT *Result) override {
    if (!Result) return E_POINTER;
    VariantInit(Result);
    return VariantCopy(Result, &Value);
  }
  STDMETHODIMP Twice(LONG Value, LONG *Result) override {
    if (!Result) return E_POINTER;
    *Result = 2 * Value;
    return S_OK;
  }
  STDMETHODIMP Report(HRESULT Code, LONG *Result) override {
    if (!Result) return E_POINTER;
    *Result = Code;
    return S_OK;
  }

 protected:
  bool Answers(REFIID riid) override { return riid == IID_IFixture || riid == IID_IFixture2; }

 private:
  static constexpr LONG kCount = 3;
  ITypeLib *m_lib;
};

}  // namespace

HRESULT CreateFixture(ITypeLib *lib, IFixture2 **out) {
  if (!lib || !out) return E_POINTER;
  *out = new FixtureObject(lib);
  return S_OK;
}
