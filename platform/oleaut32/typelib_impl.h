// ITypeLib and ITypeInfo over a LibData. A dual interface has two type
// infos, its dispatch view (what the library hands out) and its vtable view
// (reached through GetRefTypeOfImplType(-1)). The type infos live inside
// their library object and share its reference count.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "oleaut32/typelib_data.h"

namespace platform {

class TypeLibImpl;
struct CallPlan;

// The call plans of late-bound calls on one type information, keyed by
// member, invoke flags and argument count: built on first use, never
// changed once published, so concurrent calls read them without a lock.
class PlanCache {
 public:
  PlanCache() = default;
  ~PlanCache();
  PlanCache(const PlanCache &) = delete;
  PlanCache &operator=(const PlanCache &) = delete;

  const CallPlan *Find(MEMBERID memid, WORD flags, UINT args) const;
  // Publishes `plan`, or finds the one another thread published first for
  // the same key. Null when the table is full; `plan` is then the caller's.
  const CallPlan *Add(CallPlan *plan);

 private:
  static constexpr size_t kSlots = 64;
  std::atomic<CallPlan *> m_slots[kSlots] = {};
};

class TypeInfoImpl final : public ITypeInfo {
 public:
  TypeInfoImpl(TypeLibImpl *lib, size_t index, bool vtableView);

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  // ITypeInfo
  STDMETHODIMP GetTypeAttr(TYPEATTR **ppTypeAttr) override;
  STDMETHODIMP GetTypeComp(ITypeComp **ppTComp) override;
  STDMETHODIMP GetFuncDesc(UINT index, FUNCDESC **ppFuncDesc) override;
  STDMETHODIMP GetVarDesc(UINT index, VARDESC **ppVarDesc) override;
  STDMETHODIMP GetNames(MEMBERID memid, BSTR *rgBstrNames, UINT cMaxNames, UINT *pcNames) override;
  STDMETHODIMP GetRefTypeOfImplType(UINT index, HREFTYPE *pRefType) override;
  STDMETHODIMP GetImplTypeFlags(UINT index, INT *pImplTypeFlags) override;
  STDMETHODIMP GetIDsOfNames(LPOLESTR *rgszNames, UINT cNames, MEMBERID *pMemId) override;
  STDMETHODIMP Invoke(PVOID pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS *pDispParams,
                      VARIANT *pVarResult, EXCEPINFO *pExcepInfo, UINT *puArgErr) override;
  STDMETHODIMP GetDocumentation(MEMBERID memid, BSTR *pBstrName, BSTR *pBstrDocString, DWORD *pdwHelpContext,
                                BSTR *pBstrHelpFile) override;
  STDMETHODIMP GetDllEntry(MEMBERID memid, INVOKEKIND invKind, BSTR *pBstrDllName, BSTR *pBstrName,
                           WORD *pwOrdinal) override;
  STDMETHODIMP GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo **ppTInfo) override;
  STDMETHODIMP AddressOfMember(MEMBERID memid, INVOKEKIND invKind, PVOID *ppv) override;
  STDMETHODIMP CreateInstance(IUnknown *pUnkOuter, REFIID riid, PVOID *ppvObj) override;
  STDMETHODIMP GetMops(MEMBERID memid, BSTR *pBstrMops) override;
  STDMETHODIMP GetContainingTypeLib(ITypeLib **ppTLib, UINT *pIndex) override;
  STDMETHODIMP_(void) ReleaseTypeAttr(TYPEATTR *pTypeAttr) override;
  STDMETHODIMP_(void) ReleaseFuncDesc(FUNCDESC *pFuncDesc) override;
  STDMETHODIMP_(void) ReleaseVarDesc(VARDESC *pVarDesc) override;

  // Filled once the library's type infos all exist.
  void Link();

  const TypeData &Data() const;
  TYPEKIND Kind() const { return m_kind; }
  // Every member reachable through this type, base members included, in
  // vtable order; what late binding searches.
  const std::vector<const FuncData *> &Chain() const { return m_chain; }
  PlanCache &Plans() const { return m_plans; }

 private:
  TypeLibImpl *m_lib;
  size_t m_index;
  TYPEKIND m_kind;
  std::vector<const FuncData *> m_chain;
  std::vector<const FuncData *> m_visible;  // what GetFuncDesc lists
  mutable PlanCache m_plans;
  bool IsDualDispatch() const;
};

class TypeLibImpl final : public ITypeLib {
 public:
  // `immortal`: a process-wide library that reference counting never frees.
  TypeLibImpl(std::unique_ptr<LibData> owned, const LibData *data, bool immortal);
  static TypeLibImpl &StdOle();

  STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP_(UINT) GetTypeInfoCount() override;
  STDMETHODIMP GetTypeInfo(UINT index, ITypeInfo **ppTInfo) override;
  STDMETHODIMP GetTypeInfoType(UINT index, TYPEKIND *pTKind) override;
  STDMETHODIMP GetTypeInfoOfGuid(REFGUID guid, ITypeInfo **ppTinfo) override;
  STDMETHODIMP GetLibAttr(TLIBATTR **ppTLibAttr) override;
  STDMETHODIMP GetTypeComp(ITypeComp **ppTComp) override;
  STDMETHODIMP GetDocumentation(INT index, BSTR *pBstrName, BSTR *pBstrDocString, DWORD *pdwHelpContext,
                                BSTR *pBstrHelpFile) override;
  STDMETHODIMP IsName(LPOLESTR szNameBuf, ULONG lHashVal, BOOL *pfName) override;
  STDMETHODIMP FindName(LPOLESTR szNameBuf, ULONG lHashVal, ITypeInfo **ppTInfo, MEMBERID *rgMemId,
                        USHORT *pcFound) override;
  STDMETHODIMP_(void) ReleaseTLibAttr(TLIBATTR *pTLibAttr) override;

  const LibData &Data() const { return *m_data; }
  // The type info of a type: its vtable view when asked for and the type is dual.
  TypeInfoImpl *Info(size_t index, bool vtableView);

 private:
  ~TypeLibImpl() = default;
  std::unique_ptr<LibData> m_owned;
  const LibData *m_data;
  bool m_immortal;
  std::atomic<ULONG> m_refs{1};
  std::vector<std::unique_ptr<TypeInfoImpl>> m_infos;  // two per type: default view, vtable view
};

// Late-bound call of a member described by `ti` on the object at `instance`.
HRESULT InvokeMember(const TypeInfoImpl &ti, void *instance, MEMBERID memid, WORD flags, DISPPARAMS *params,
                     VARIANT *result, EXCEPINFO *excepInfo, UINT *argErr);

}  // namespace platform
