// ITypeLib and ITypeInfo: reading a loaded type library, as oleaut32 shows a
// library built by MIDL (dual interfaces seen through their dispatch view).
#include <stdlib.h>
#include <string.h>

#include <new>

#include <objbase.h>

#include "kernel32/text.h"
#include "kernel32/trace.h"
#include "oleaut32/typelib_impl.h"

namespace platform {

namespace {

BSTR AllocBstr(const std::u16string &s) { return SysAllocStringLen(s.data(), static_cast<UINT>(s.size())); }
// Help strings and files that the library does not give come back as null.
BSTR AllocBstrOrNull(const std::u16string &s) { return s.empty() ? nullptr : AllocBstr(s); }

bool IsDual(const TypeData &t) { return t.kind == TKIND_INTERFACE && (t.flags & TYPEFLAG_FDUAL); }

}  // namespace

// ---------------------------------------------------------------- TypeInfoImpl

TypeInfoImpl::TypeInfoImpl(TypeLibImpl *lib, size_t index, bool vtableView) : m_lib(lib), m_index(index) {
  const TypeData &t = Data();
  m_kind = IsDual(t) && !vtableView ? TKIND_DISPATCH : t.kind;
}

const TypeData &TypeInfoImpl::Data() const { return m_lib->Data().types[m_index]; }

bool TypeInfoImpl::IsDualDispatch() const { return m_kind == TKIND_DISPATCH; }

void TypeInfoImpl::Link() {
  const TypeData &t = Data();
  if (t.kind != TKIND_INTERFACE) return;
  // Walk to the root, then list members from the root down: vtable order.
  std::vector<const TypeData *> path;
  const LibData *l = &m_lib->Data();
  size_t i = m_index;
  // At most every type of this library, then IDispatch and IUnknown.
  for (size_t guard = 0, depth = l->types.size() + 2; guard <= depth; ++guard) {
    const TypeData &cur = l->types[i];
    path.push_back(&cur);
    if (cur.impls.empty()) break;
    const LibData *nl;
    size_t ni;
    if (!ResolveHref(*l, cur.impls[0].href, &nl, &ni)) break;
    l = nl;
    i = ni;
  }
  for (auto it = path.rbegin(); it != path.rend(); ++it)
    for (const FuncData &f : (*it)->funcs) m_chain.push_back(&f);
  if (IsDualDispatch()) {
    m_visible = m_chain;
  } else {
    for (const FuncData &f : t.funcs) m_visible.push_back(&f);
  }
}

STDMETHODIMP TypeInfoImpl::QueryInterface(REFIID riid, void **ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_ITypeInfo) {
    *ppv = static_cast<ITypeInfo *>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) TypeInfoImpl::AddRef() { return m_lib->AddRef(); }
STDMETHODIMP_(ULONG) TypeInfoImpl::Release() { return m_lib->Release(); }

STDMETHODIMP TypeInfoImpl::GetTypeAttr(TYPEATTR **ppTypeAttr) {
  if (!ppTypeAttr) return E_INVALIDARG;
  auto *a = new (std::nothrow) TYPEATTR{};
  if (!a) return E_OUTOFMEMORY;
  const TypeData &t = Data();
  a->guid = t.guid;
  a->lcid = m_lib->Data().lcid;
  a->memidConstructor = MEMBERID_NIL;
  a->memidDestructor = MEMBERID_NIL;
  a->typekind = m_kind;
  a->wTypeFlags = t.flags;
  a->wMajorVerNum = t.major;
  a->wMinorVerNum = t.minor;
  a->cFuncs = static_cast<WORD>(m_visible.size());
  a->cVars = static_cast<WORD>(t.vars.size());
  a->cbSizeInstance = t.instanceSize;
  a->cbAlignment = t.alignment;
  switch (m_kind) {
    case TKIND_DISPATCH:
      // The dispatch view's vtable is IDispatch's; only the vtable view is
      // marked as an automation interface.
      a->wTypeFlags &= ~TYPEFLAG_FOLEAUTOMATION;
      a->cImplTypes = 1;
      a->cbSizeVft = 7 * sizeof(void *);
      break;
    case TKIND_INTERFACE:
      a->cImplTypes = static_cast<WORD>(t.impls.size());
      a->cbSizeVft = static_cast<WORD>((t.firstSlot + t.funcs.size()) * sizeof(void *));
      break;
    default:
      a->cImplTypes = static_cast<WORD>(t.impls.size());
      break;
  }
  *ppTypeAttr = a;
  return S_OK;
}

STDMETHODIMP TypeInfoImpl::GetTypeComp(ITypeComp **ppTComp) {
  if (ppTComp) *ppTComp = nullptr;
  return NotImplemented("ITypeInfo::GetTypeComp");
}

STDMETHODIMP TypeInfoImpl::GetFuncDesc(UINT index, FUNCDESC **ppFuncDesc) {
  if (!ppFuncDesc) return E_INVALIDARG;
  if (index >= m_visible.size()) return TYPE_E_ELEMENTNOTFOUND;
  const FuncData &f = *m_visible[index];
  size_t n = f.params.size();
  // One block: the FUNCDESC, then its parameters.
  void *block = calloc(1, sizeof(FUNCDESC) + n * sizeof(ELEMDESC));
  if (!block) return E_OUTOFMEMORY;
  auto *fd = static_cast<FUNCDESC *>(block);
  auto *params = reinterpret_cast<ELEMDESC *>(fd + 1);
  for (size_t i = 0; i < n; ++i) {
    params[i].tdesc = f.params[i].tdesc;
    params[i].paramdesc.wParamFlags = f.params[i].flags;
  }
  fd->memid = f.memid;
  fd->lprgelemdescParam = n ? params : nullptr;
  fd->funckind = IsDualDispatch() ? FUNC_DISPATCH : FUNC_PUREVIRTUAL;
  fd->invkind = f.invkind;
  fd->callconv = CC_STDCALL;
  fd->cParams = static_cast<SHORT>(n);
  fd->oVft = static_cast<SHORT>(f.slot * sizeof(void *));
  fd->elemdescFunc.tdesc = f.ret;
  fd->wFuncFlags = f.flags;
  // Through the dispatch view a member returning HRESULT shows its retval as
  // the result, as an automation client sees it.
  if (IsDualDispatch() && f.ret.vt == VT_HRESULT) {
    if (n && (f.params[n - 1].flags & PARAMFLAG_FRETVAL)) {
      fd->elemdescFunc.tdesc = *f.params[n - 1].tdesc.lptdesc;
      fd->cParams = static_cast<SHORT>(n - 1);
      if (n == 1) fd->lprgelemdescParam = nullptr;
    } else {
      fd->elemdescFunc.tdesc = TYPEDESC{};
      fd->elemdescFunc.tdesc.vt = VT_VOID;
    }
  }
  *ppFuncDesc = fd;
  return S_OK;
}

STDMETHODIMP TypeInfoImpl::GetVarDesc(UINT index, VARDESC **ppVarDesc) {
  if (!ppVarDesc) return E_INVALIDARG;
  const TypeData &t = Data();
  if (index >= t.vars.size()) return TYPE_E_ELEMENTNOTFOUND;
  void *block = calloc(1, sizeof(VARDESC) + sizeof(VARIANT));
  if (!block) return E_OUTOFMEMORY;
  auto *vd = static_cast<VARDESC *>(block);
  auto *value = reinterpret_cast<VARIANT *>(vd + 1);
  V_VT(value) = t.vars[index].valueVt;
  V_I4(value) = t.vars[index].value;
  vd->memid = t.vars[index].memid;
  vd->lpvarValue = value;
  vd->elemdescVar.tdesc.vt = t.vars[index].type;
  vd->varkind = VAR_CONST;
  *ppVarDesc = vd;
  return S_OK;
}

STDMETHODIMP TypeInfoImpl::GetNames(MEMBERID memid, BSTR *rgBstrNames, UINT cMaxNames, UINT *pcNames) {
  if (!rgBstrNames || !pcNames) return E_INVALIDARG;
  *pcNames = 0;
  for (const FuncData *f : m_chain) {
    if (f->memid != memid) continue;
    size_t n = f->params.size();
    if (IsDualDispatch() && n && (f->params[n - 1].flags & PARAMFLAG_FRETVAL)) --n;
    UINT count = 0;
    if (cMaxNames > 0) rgBstrNames[count++] = AllocBstr(f->name);
    for (size_t i = 0; i < n && count < cMaxNames; ++i) rgBstrNames[count++] = AllocBstr(f->params[i].name);
    *pcNames = count;
    return S_OK;
  }
  for (const VarData &v : Data().vars) {
    if (v.memid != memid) continue;
    if (cMaxNames > 0) {
      rgBstrNames[0] = AllocBstr(v.name);
      *pcNames = 1;
    }
    return S_OK;
  }
  return TYPE_E_ELEMENTNOTFOUND;
}

STDMETHODIMP TypeInfoImpl::GetRefTypeOfImplType(UINT index, HREFTYPE *pRefType) {
  if (!pRefType) return E_INVALIDARG;
  const TypeData &t = Data();
  if (index == static_cast<UINT>(-1)) {
    if (!IsDualDispatch()) return TYPE_E_ELEMENTNOTFOUND;
    *pRefType = HrefOf(m_index, true);
    return S_OK;
  }
  if (IsDualDispatch()) {
    if (index != 0) return TYPE_E_ELEMENTNOTFOUND;
    *pRefType = kHrefIDispatch;
    return S_OK;
  }
  if (index >= t.impls.size()) return TYPE_E_ELEMENTNOTFOUND;
  HREFTYPE href = t.impls[index].href;
  // From a vtable view the base is seen through its vtable view too.
  const LibData *l;
  size_t i;
  if (t.kind == TKIND_INTERFACE && ResolveHref(m_lib->Data(), href, &l, &i) && l == &m_lib->Data() &&
      IsDual(l->types[i]))
    href = HrefOf(i, true);
  *pRefType = href;
  return S_OK;
}

STDMETHODIMP TypeInfoImpl::GetImplTypeFlags(UINT index, INT *pImplTypeFlags) {
  if (!pImplTypeFlags) return E_INVALIDARG;
  const TypeData &t = Data();
  if (index >= (IsDualDispatch() ? 1 : t.impls.size())) return TYPE_E_ELEMENTNOTFOUND;
  *pImplTypeFlags = t.kind == TKIND_COCLASS ? t.impls[index].flags : 0;
  return S_OK;
}

STDMETHODIMP TypeInfoImpl::GetIDsOfNames(LPOLESTR *rgszNames, UINT cNames, MEMBERID *pMemId) {
  if (!rgszNames || !pMemId || cNames == 0) return E_INVALIDARG;
  for (UINT i = 0; i < cNames; ++i) pMemId[i] = MEMBERID_NIL;
  if (!rgszNames[0]) return DISP_E_UNKNOWNNAME;
  std::u16string_view name = View(rgszNames[0]);
  // Derived members first: the chain is base-first, so search it backwards.
  for (auto it = m_chain.rbegin(); it != m_chain.rend(); ++it) {
    const FuncData &f = **it;
    if (!EqualNoCase(f.name, name)) continue;
    pMemId[0] = f.memid;
    HRESULT hr = S_OK;
    for (UINT k = 1; k < cNames; ++k) {
      std::u16string_view pn = View(rgszNames[k]);
      size_t p = 0;
      while (p < f.params.size() && !EqualNoCase(f.params[p].name, pn)) ++p;
      if (!rgszNames[k] || p == f.params.size()) {
        hr = DISP_E_UNKNOWNNAME;
      } else {
        pMemId[k] = static_cast<MEMBERID>(p);
      }
    }
    return hr;
  }
  for (const VarData &v : Data().vars) {
    if (!EqualNoCase(v.name, name)) continue;
    pMemId[0] = v.memid;
    return cNames > 1 ? DISP_E_UNKNOWNNAME : S_OK;
  }
  return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP TypeInfoImpl::Invoke(PVOID pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS *pDispParams,
                                  VARIANT *pVarResult, EXCEPINFO *pExcepInfo, UINT *puArgErr) {
  return InvokeMember(*this, pvInstance, memid, wFlags, pDispParams, pVarResult, pExcepInfo, puArgErr);
}

STDMETHODIMP TypeInfoImpl::GetDocumentation(MEMBERID memid, BSTR *pBstrName, BSTR *pBstrDocString,
                                            DWORD *pdwHelpContext, BSTR *pBstrHelpFile) {
  const std::u16string *name = nullptr, *doc = nullptr;
  DWORD context = 0;
  const TypeData &t = Data();
  if (memid == MEMBERID_NIL) {
    name = &t.name;
    doc = &t.doc;
    context = t.helpContext;
  } else {
    for (auto it = m_chain.rbegin(); it != m_chain.rend() && !name; ++it) {
      if ((*it)->memid == memid) {
        name = &(*it)->name;
        doc = &(*it)->doc;
        context = (*it)->helpContext;
      }
    }
    for (size_t i = 0; i < t.vars.size() && !name; ++i) {
      if (t.vars[i].memid == memid) {
        name = &t.vars[i].name;
        doc = &t.vars[i].doc;
        context = t.vars[i].helpContext;
      }
    }
    if (!name) return TYPE_E_ELEMENTNOTFOUND;
  }
  if (pBstrName) *pBstrName = AllocBstr(*name);
  if (pBstrDocString) *pBstrDocString = AllocBstrOrNull(*doc);
  if (pdwHelpContext) *pdwHelpContext = context;
  if (pBstrHelpFile) *pBstrHelpFile = AllocBstrOrNull(m_lib->Data().helpFile);
  return S_OK;
}

STDMETHODIMP TypeInfoImpl::GetDllEntry(MEMBERID, INVOKEKIND, BSTR *pBstrDllName, BSTR *pBstrName,
                                       WORD *pwOrdinal) {
  if (pBstrDllName) *pBstrDllName = nullptr;
  if (pBstrName) *pBstrName = nullptr;
  if (pwOrdinal) *pwOrdinal = 0;
  return TYPE_E_BADMODULEKIND;  // only modules have DLL entries
}

STDMETHODIMP TypeInfoImpl::GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo **ppTInfo) {
  if (!ppTInfo) return E_INVALIDARG;
  *ppTInfo = nullptr;
  const LibData *l;
  size_t i;
  if (!ResolveHref(m_lib->Data(), hRefType, &l, &i)) return TYPE_E_ELEMENTNOTFOUND;
  TypeLibImpl *target = l == &m_lib->Data() ? m_lib : &TypeLibImpl::StdOle();
  TypeInfoImpl *info = target->Info(i, l == &m_lib->Data() && (hRefType & 1));
  info->AddRef();
  *ppTInfo = info;
  return S_OK;
}

STDMETHODIMP TypeInfoImpl::AddressOfMember(MEMBERID, INVOKEKIND, PVOID *ppv) {
  if (ppv) *ppv = nullptr;
  return TYPE_E_BADMODULEKIND;
}

STDMETHODIMP TypeInfoImpl::CreateInstance(IUnknown *pUnkOuter, REFIID riid, PVOID *ppvObj) {
  if (!ppvObj) return E_INVALIDARG;
  *ppvObj = nullptr;
  if (Data().kind != TKIND_COCLASS) return TYPE_E_WRONGTYPEKIND;
  return CoCreateInstance(Data().guid, pUnkOuter, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, riid, ppvObj);
}

STDMETHODIMP TypeInfoImpl::GetMops(MEMBERID, BSTR *pBstrMops) {
  if (!pBstrMops) return E_INVALIDARG;
  *pBstrMops = nullptr;
  return S_OK;
}

STDMETHODIMP TypeInfoImpl::GetContainingTypeLib(ITypeLib **ppTLib, UINT *pIndex) {
  if (pIndex) *pIndex = static_cast<UINT>(m_index);
  if (ppTLib) {
    m_lib->AddRef();
    *ppTLib = m_lib;
  }
  return S_OK;
}

STDMETHODIMP_(void) TypeInfoImpl::ReleaseTypeAttr(TYPEATTR *pTypeAttr) { delete pTypeAttr; }
STDMETHODIMP_(void) TypeInfoImpl::ReleaseFuncDesc(FUNCDESC *pFuncDesc) { free(pFuncDesc); }
STDMETHODIMP_(void) TypeInfoImpl::ReleaseVarDesc(VARDESC *pVarDesc) { free(pVarDesc); }

// ---------------------------------------------------------------- TypeLibImpl

TypeLibImpl::TypeLibImpl(std::unique_ptr<LibData> owned, const LibData *data, bool immortal)
    : m_owned(std::move(owned)), m_data(m_owned ? m_owned.get() : data), m_immortal(immortal) {
  size_t n = m_data->types.size();
  m_infos.resize(2 * n);
  for (size_t i = 0; i < n; ++i) {
    m_infos[2 * i] = std::make_unique<TypeInfoImpl>(this, i, false);
    if (IsDual(m_data->types[i])) m_infos[2 * i + 1] = std::make_unique<TypeInfoImpl>(this, i, true);
  }
  for (auto &info : m_infos)
    if (info) info->Link();
}

TypeLibImpl &TypeLibImpl::StdOle() {
  static TypeLibImpl *g_lib = new TypeLibImpl(nullptr, &StdOleLib(), true);
  return *g_lib;
}

TypeInfoImpl *TypeLibImpl::Info(size_t index, bool vtableView) {
  TypeInfoImpl *view = vtableView ? m_infos[2 * index + 1].get() : nullptr;
  return view ? view : m_infos[2 * index].get();
}

STDMETHODIMP TypeLibImpl::QueryInterface(REFIID riid, void **ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_ITypeLib) {
    *ppv = static_cast<ITypeLib *>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) TypeLibImpl::AddRef() { return ++m_refs; }

STDMETHODIMP_(ULONG) TypeLibImpl::Release() {
  ULONG n = --m_refs;
  if (n == 0 && !m_immortal) delete this;
  return n;
}

STDMETHODIMP_(UINT) TypeLibImpl::GetTypeInfoCount() { return static_cast<UINT>(m_data->types.size()); }

STDMETHODIMP TypeLibImpl::GetTypeInfo(UINT index, ITypeInfo **ppTInfo) {
  if (!ppTInfo) return E_INVALIDARG;
  if (index >= m_data->types.size()) {
    *ppTInfo = nullptr;
    return TYPE_E_ELEMENTNOTFOUND;
  }
  *ppTInfo = Info(index, false);
  AddRef();
  return S_OK;
}

STDMETHODIMP TypeLibImpl::GetTypeInfoType(UINT index, TYPEKIND *pTKind) {
  if (!pTKind) return E_INVALIDARG;
  if (index >= m_data->types.size()) return TYPE_E_ELEMENTNOTFOUND;
  *pTKind = Info(index, false)->Kind();
  return S_OK;
}

STDMETHODIMP TypeLibImpl::GetTypeInfoOfGuid(REFGUID guid, ITypeInfo **ppTinfo) {
  if (!ppTinfo) return E_INVALIDARG;
  *ppTinfo = nullptr;
  if (guid == GUID_NULL) return TYPE_E_ELEMENTNOTFOUND;
  for (size_t i = 0; i < m_data->types.size(); ++i) {
    if (m_data->types[i].guid == guid) {
      *ppTinfo = Info(i, false);
      AddRef();
      return S_OK;
    }
  }
  return TYPE_E_ELEMENTNOTFOUND;
}

STDMETHODIMP TypeLibImpl::GetLibAttr(TLIBATTR **ppTLibAttr) {
  if (!ppTLibAttr) return E_INVALIDARG;
  auto *a = new (std::nothrow) TLIBATTR{};
  if (!a) return E_OUTOFMEMORY;
  a->guid = m_data->guid;
  a->lcid = m_data->lcid;
  a->syskind = m_data->syskind;
  a->wMajorVerNum = m_data->major;
  a->wMinorVerNum = m_data->minor;
  a->wLibFlags = m_data->libFlags;
  *ppTLibAttr = a;
  return S_OK;
}

STDMETHODIMP TypeLibImpl::GetTypeComp(ITypeComp **ppTComp) {
  if (ppTComp) *ppTComp = nullptr;
  return NotImplemented("ITypeLib::GetTypeComp");
}

STDMETHODIMP TypeLibImpl::GetDocumentation(INT index, BSTR *pBstrName, BSTR *pBstrDocString,
                                           DWORD *pdwHelpContext, BSTR *pBstrHelpFile) {
  if (index == -1) {
    if (pBstrName) *pBstrName = AllocBstr(m_data->name);
    if (pBstrDocString) *pBstrDocString = AllocBstrOrNull(m_data->doc);
    if (pdwHelpContext) *pdwHelpContext = m_data->helpContext;
    if (pBstrHelpFile) *pBstrHelpFile = AllocBstrOrNull(m_data->helpFile);
    return S_OK;
  }
  if (index < 0 || static_cast<size_t>(index) >= m_data->types.size()) return TYPE_E_ELEMENTNOTFOUND;
  return Info(index, false)->GetDocumentation(MEMBERID_NIL, pBstrName, pBstrDocString, pdwHelpContext, pBstrHelpFile);
}

namespace {

// Calls visit(typeIndex, memid, storedName) for every name of the library:
// types, members and their parameters, enumeration constants. Stops when
// visit returns true.
template <typename Visit>
void ForEachName(const LibData &lib, Visit visit) {
  for (size_t i = 0; i < lib.types.size(); ++i) {
    const TypeData &t = lib.types[i];
    if (visit(i, MEMBERID_NIL, t.name)) return;
    for (const FuncData &f : t.funcs) {
      if (visit(i, f.memid, f.name)) return;
      for (const ParamData &p : f.params)
        if (visit(SIZE_MAX, f.memid, p.name)) return;
    }
    for (const VarData &v : t.vars)
      if (visit(i, v.memid, v.name)) return;
  }
}

}  // namespace

STDMETHODIMP TypeLibImpl::IsName(LPOLESTR szNameBuf, ULONG, BOOL *pfName) {
  if (!szNameBuf || !pfName) return E_INVALIDARG;
  std::u16string_view name = View(szNameBuf);
  *pfName = FALSE;
  if (EqualNoCase(m_data->name, name)) {
    memcpy(szNameBuf, m_data->name.data(), name.size() * sizeof(WCHAR));
    *pfName = TRUE;
    return S_OK;
  }
  ForEachName(*m_data, [&](size_t, MEMBERID, const std::u16string &stored) {
    if (!EqualNoCase(stored, name)) return false;
    // The caller's buffer receives the name as the library spells it.
    memcpy(szNameBuf, stored.data(), name.size() * sizeof(WCHAR));
    *pfName = TRUE;
    return true;
  });
  return S_OK;
}

STDMETHODIMP TypeLibImpl::FindName(LPOLESTR szNameBuf, ULONG, ITypeInfo **ppTInfo, MEMBERID *rgMemId,
                                   USHORT *pcFound) {
  if (!szNameBuf || !ppTInfo || !rgMemId || !pcFound || *pcFound == 0) return E_INVALIDARG;
  std::u16string_view name = View(szNameBuf);
  USHORT max = *pcFound, found = 0;
  ForEachName(*m_data, [&](size_t type, MEMBERID memid, const std::u16string &stored) {
    if (type == SIZE_MAX || !EqualNoCase(stored, name)) return false;
    // A type may name its member more than once (property accessors); count it once.
    for (USHORT k = 0; k < found; ++k)
      if (ppTInfo[k] == Info(type, false) && rgMemId[k] == memid) return false;
    ppTInfo[found] = Info(type, false);
    AddRef();
    rgMemId[found] = memid;
    return ++found == max;
  });
  *pcFound = found;
  return S_OK;
}

STDMETHODIMP_(void) TypeLibImpl::ReleaseTLibAttr(TLIBATTR *pTLibAttr) { delete pTLibAttr; }

}  // namespace platform
