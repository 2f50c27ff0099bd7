#include "frame/port.h"
#include "revision/processor_type.h"


namespace revdir {

CProcessorType::CProcessorType()
    : m_errorInfo(OLESTR("QuillonRevisionDirectory.ProcessorType"), IID_IProcessorType) {}

void *CProcessorType::FindInterface(REFIID riid) {
  if (IsEqualGUID(riid, IID_IProcessorType_V2) || IsEqualGUID(riid, IID_IProcessorType) ||
      IsEqualGUID(riid, IID_IDispatch) || IsEqualGUID(riid, IID_IUnknown))
    return static_cast<IProcessorType_V2 *>(this);
  if (IsEqualGUID(riid, IID_ISupportErrorInfo)) return static_cast<ISupportErrorInfo *>(this);
  return nullptr;
}

void CProcessorType::Bind(const CProcessorTypeInformation &record) {
  m_record = record;
  m_bound = true;
  m_errorInfo.SetLanguageId(record.LanguageId);
}

HRESULT CProcessorType::CreateInstance(IUnknown *outer, REFIID riid, void **ppv) {
  return CreateComInstance<CProcessorType>(outer, riid, ppv);
}

HRESULT CProcessorType::CreateBound(const CProcessorTypeInformation &record, IProcessorType_V2 **out) {
  return CreateBoundInstance<CProcessorType>([&](CProcessorType &object) { object.Bind(record); },
                                             IID_IProcessorType_V2, reinterpret_cast<void **>(out));
}

STDMETHODIMP CProcessorType::InterfaceSupportsErrorInfo(REFIID riid) {
  return IsEqualGUID(riid, IID_IProcessorType_V2) || IsEqualGUID(riid, IID_IProcessorType) ? S_OK : S_FALSE;
}

template <class T>
HRESULT CProcessorType::GetNumber(T *out, T noRecord, T value) {
  if (!out) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  if (!m_bound) {
    *out = noRecord;
    return m_errorInfo.ReportError(RdE_InvalidProcessorTypeInternalState);
  }
  *out = value;
  return S_OK;
}

STDMETHODIMP CProcessorType::get_Id(RdProcessorTypes *Id) {
  // -1 is no enumerator: write the 32-bit value, never an enum outside its range.
  return GetNumber<LONG>(reinterpret_cast<LONG *>(Id), -1, m_record.Id);
}
STDMETHODIMP CProcessorType::get_MajorRev(LONG *MajorRev) { return GetNumber<LONG>(MajorRev, 0, m_record.MajorRev); }
STDMETHODIMP CProcessorType::get_MinorRev(LONG *MinorRev) { return GetNumber<LONG>(MinorRev, 0, m_record.MinorRev); }
STDMETHODIMP CProcessorType::get_ProductType(LONG *ProductType) {
  return GetNumber<LONG>(ProductType, -1, m_record.ProductType);
}
STDMETHODIMP CProcessorType::get_ProductCode(LONG *ProductCode) {
  return GetNumber<LONG>(ProductCode, -1, m_record.ProductCode);
}

STDMETHODIMP CProcessorType::get_Name(BSTR *Name) {
  if (!Name) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *Name = nullptr;
  if (!m_bound) return m_errorInfo.ReportError(RdE_InvalidProcessorTypeInternalState);
  *Name = SysAllocString(m_record.Name);
  return *Name || !m_record.Name ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CProcessorType::get_Description(BSTR *Val) {
  if (!Val) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *Val = nullptr;
  if (!m_bound) return m_errorInfo.ReportError(RdE_InvalidProcessorTypeInternalState);
  BSTR text;
  {
    ScopedThreadLanguage language(m_record.LanguageId);
    text = LoadModuleString(m_record.DescriptionStringId);
  }
  // A string missing from the table is the empty text, not a failure.
  *Val = text ? text : SysAllocString(OLESTR(""));
  return *Val ? S_OK : E_OUTOFMEMORY;
}

HRESULT ProcessorTypesTraits::CreateItem(const CProcessorTypeInformation &record, IProcessorType **out) {
  IProcessorType_V2 *item;
  HRESULT hr = CProcessorType::CreateBound(record, &item);
  *out = item;
  return hr;
}

HRESULT CProcessorTypes::CreateInstance(IUnknown *outer, REFIID riid, void **ppv) {
  return CreateComInstance<CProcessorTypes>(outer, riid, ppv);
}

HRESULT CProcessorTypes::CreateEmpty(ComObject<CProcessorTypes> **out) {
  HRESULT hr = ComObject<CProcessorTypes>::Create(out);
  if (SUCCEEDED(hr)) (*out)->AddRef();
  return hr;
}

}  // namespace revdir
