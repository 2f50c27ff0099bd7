// The ProcessorType object and the ProcessorTypes collection.
#pragma once

#include "frame/port.h"
#include "QuillonRevisionDirectory.h"
#include "frame/collection.h"
#include "frame/com_object.h"
#include "frame/dispatch_impl.h"
#include "frame/errors.h"
#include "catalog/processor_catalog.h"

namespace revdir {

// Shows one controller-type record. It keeps a copy of the record's fields
// (they never change once inserted), so it answers the same after the
// collection that made it is gone.
class CProcessorType : public DispatchImpl<IProcessorType_V2, &IID_IProcessorType_V2>,
                       public ISupportErrorInfo,
                       public ObjectRoot {
 public:
  CProcessorType();
  void *FindInterface(REFIID riid);
  void Bind(const CProcessorTypeInformation &record);

  STDMETHODIMP get_Id(RdProcessorTypes *Id) override;
  STDMETHODIMP get_MajorRev(LONG *MajorRev) override;
  STDMETHODIMP get_MinorRev(LONG *MinorRev) override;
  STDMETHODIMP get_Name(BSTR *Name) override;
  STDMETHODIMP get_Description(BSTR *Val) override;
  STDMETHODIMP get_ProductType(LONG *ProductType) override;
  STDMETHODIMP get_ProductCode(LONG *ProductCode) override;
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

  static HRESULT CreateInstance(IUnknown *outer, REFIID riid, void **ppv);
  // Internal creation: a new object bound to `record`, as IProcessorType_V2.
  static HRESULT CreateBound(const CProcessorTypeInformation &record, IProcessorType_V2 **out);

 private:
  template <class T>
  HRESULT GetNumber(T *out, T noRecord, T value);

  bool m_bound = false;
  CProcessorTypeInformation m_record{};
  CErrorInfo m_errorInfo;
};

struct ProcessorTypesTraits {
  using Set = ProcessorTypeSet;
  using ItemInterface = IProcessorType;
  static HRESULT CreateItem(const CProcessorTypeInformation &record, IProcessorType **out);
};

class CProcessorTypes : public Collection<IProcessorTypes, &IID_IProcessorTypes, ProcessorTypesTraits> {
 public:
  static HRESULT CreateInstance(IUnknown *outer, REFIID riid, void **ppv);
  // Internal creation: an empty collection with one reference for the caller.
  static HRESULT CreateEmpty(ComObject<CProcessorTypes> **out);
};

}  // namespace revdir
