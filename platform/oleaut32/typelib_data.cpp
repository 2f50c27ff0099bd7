// What a loaded type library needs beyond its records: the checks that link
// its types together, the call descriptions of its members, and the built-in
// description of the standard interfaces that dual interfaces derive from.
#include <string.h>

#include "kernel32/text.h"
#include "oleaut32/typelib_data.h"

namespace platform {

bool IsScalarVt(VARTYPE vt) {
  switch (vt) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_I8: case VT_UI8:
    case VT_INT: case VT_UINT: case VT_R4: case VT_R8: case VT_CY: case VT_DATE: case VT_BSTR:
    case VT_BOOL: case VT_ERROR: case VT_VARIANT: case VT_UNKNOWN: case VT_DISPATCH: case VT_HRESULT:
    case VT_VOID:
      return true;
    default:
      return false;
  }
}

namespace {

// ---- call preparation

ffi_type *VariantFfiType() {
  static ffi_type *g_elements[] = {&ffi_type_uint16, &ffi_type_uint16, &ffi_type_uint16, &ffi_type_uint16,
                                   &ffi_type_uint64, &ffi_type_uint64, nullptr};
  static ffi_type g_type = {0, 0, FFI_TYPE_STRUCT, g_elements};
  return &g_type;
}

}  // namespace

ffi_type *FfiTypeOf(VARTYPE vt) {
  if (vt & VT_BYREF) return &ffi_type_pointer;
  switch (vt) {
    case VT_I1: return &ffi_type_sint8;
    case VT_UI1: return &ffi_type_uint8;
    case VT_I2: case VT_BOOL: return &ffi_type_sint16;
    case VT_UI2: return &ffi_type_uint16;
    case VT_I4: case VT_INT: case VT_ERROR: case VT_HRESULT: return &ffi_type_sint32;
    case VT_UI4: case VT_UINT: return &ffi_type_uint32;
    case VT_I8: return &ffi_type_sint64;
    case VT_UI8: case VT_CY: return &ffi_type_uint64;
    case VT_R4: return &ffi_type_float;
    case VT_R8: case VT_DATE: return &ffi_type_double;
    case VT_BSTR: case VT_UNKNOWN: case VT_DISPATCH: return &ffi_type_pointer;
    case VT_VARIANT: return VariantFfiType();
    case VT_EMPTY: case VT_VOID: return &ffi_type_void;
    default: return nullptr;
  }
}

bool ResolveHref(const LibData &lib, HREFTYPE href, const LibData **outLib, size_t *outIndex) {
  if (href >= kHrefIUnknown && href - kHrefIUnknown < StdOleLib().types.size()) {
    *outLib = &StdOleLib();
    *outIndex = href - kHrefIUnknown;
    return true;
  }
  if (href >= 0xFFFF0000) return false;
  size_t index = href >> 1;
  if (index >= lib.types.size()) return false;
  *outLib = &lib;
  *outIndex = index;
  return true;
}

// The VARTYPE under which a declared type travels in a VARIANT: enums are
// VT_I4, interface pointers VT_DISPATCH or VT_UNKNOWN, pointers VT_BYREF.
// VT_ILLEGAL when no VARIANT can carry it.
VARTYPE VariantTypeOf(const LibData &lib, const TYPEDESC &t) {
  switch (t.vt) {
    case VT_USERDEFINED: {
      const LibData *l;
      size_t i;
      if (!ResolveHref(lib, t.hreftype, &l, &i)) return VT_ILLEGAL;
      return l->types[i].kind == TKIND_ENUM ? VT_I4 : VT_ILLEGAL;
    }
    case VT_PTR: {
      const TYPEDESC &in = *t.lptdesc;
      if (in.vt == VT_USERDEFINED) {
        const LibData *l;
        size_t i;
        if (!ResolveHref(lib, in.hreftype, &l, &i)) return VT_ILLEGAL;
        const TypeData &td = l->types[i];
        if (td.kind == TKIND_INTERFACE || td.kind == TKIND_DISPATCH)
          return td.dispatchable ? VT_DISPATCH : VT_UNKNOWN;
      }
      VARTYPE inner = VariantTypeOf(lib, in);
      if (inner == VT_ILLEGAL || (inner & VT_BYREF) || inner == VT_VOID || inner == VT_HRESULT) return VT_ILLEGAL;
      return inner | VT_BYREF;
    }
    case VT_VOID:
      return VT_VOID;
    default:
      return IsScalarVt(t.vt) ? t.vt : VARTYPE{VT_ILLEGAL};
  }
}

void PrepareCall(const LibData &lib, FuncData &f) {
  CallData &c = f.call;
  c.callable = false;
  c.retVt = VariantTypeOf(lib, f.ret);
  if (c.retVt == VT_ILLEGAL || (c.retVt & VT_BYREF) || !FfiTypeOf(c.retVt)) return;
  c.ffiArgs.assign(1, &ffi_type_pointer);
  c.argVt.clear();
  for (size_t i = 0; i < f.params.size(); ++i) {
    VARTYPE vt = VariantTypeOf(lib, f.params[i].tdesc);
    ffi_type *ft = vt == VT_ILLEGAL || vt == VT_VOID ? nullptr : FfiTypeOf(vt);
    if (!ft) return;
    c.argVt.push_back(vt);
    c.ffiArgs.push_back(ft);
    if (f.params[i].flags & PARAMFLAG_FRETVAL) c.retvalParam = static_cast<int>(i);
  }
  c.callable = ffi_prep_cif(&c.cif, FFI_DEFAULT_ABI, static_cast<unsigned>(c.ffiArgs.size()),
                            FfiTypeOf(c.retVt), c.ffiArgs.data()) == FFI_OK;
}

namespace {

// Deeper than any real library derives; also how a cycle is caught.
constexpr int kMaxBaseDepth = 64;

// Slots before an interface's own members, following the base chain; false
// on a cycle, a chain too deep or a base that is not an interface.
bool ComputeFirstSlot(LibData &lib, size_t index, int depth) {
  TypeData &t = lib.types[index];
  if (t.firstSlot) return true;
  if (depth > kMaxBaseDepth) return false;
  const LibData *bl;
  size_t bi;
  if (t.impls.size() != 1 || !ResolveHref(lib, t.impls[0].href, &bl, &bi)) return false;
  if (bl != &lib) {
    t.firstSlot = bi == 0 ? 3 : 7;
    t.dispatchable = bi == 1;
    t.baseDepth = 1;
    return true;
  }
  TypeData &base = lib.types[bi];
  if (base.kind != TKIND_INTERFACE || !ComputeFirstSlot(lib, bi, depth + 1)) return false;
  // However the types are ordered, however many were linked before.
  if (base.baseDepth >= kMaxBaseDepth) return false;
  size_t first = base.firstSlot + base.funcs.size();
  if (first + t.funcs.size() > 0x7FFF / 8) return false;  // oVft is a SHORT
  t.firstSlot = static_cast<USHORT>(first);
  t.dispatchable = base.dispatchable;
  t.baseDepth = base.baseDepth + 1;
  return true;
}

}  // namespace

bool LinkLib(LibData &lib, size_t slotBudget) {
  for (size_t i = 0; i < lib.types.size(); ++i) {
    TypeData &t = lib.types[i];
    if (t.kind == TKIND_INTERFACE) {
      if (!ComputeFirstSlot(lib, i, 0)) return false;
      // Each view lists the members of its whole base chain.
      size_t slots = t.firstSlot + t.funcs.size();
      if (slots > slotBudget) return false;
      slotBudget -= slots;
      if ((t.flags & TYPEFLAG_FDUAL) && !t.dispatchable) return false;
      for (size_t k = 0; k < t.funcs.size(); ++k)
        if (t.funcs[k].slot != t.firstSlot + k) return false;
    } else if (t.kind == TKIND_COCLASS) {
      for (const ImplData &impl : t.impls) {
        const LibData *l;
        size_t idx;
        if (!ResolveHref(lib, impl.href, &l, &idx) || l->types[idx].kind != TKIND_INTERFACE) return false;
      }
    }
  }
  for (TypeData &t : lib.types)
    for (FuncData &f : t.funcs) PrepareCall(lib, f);
  return true;
}

namespace {

constexpr USHORT kIn = PARAMFLAG_FIN, kOut = PARAMFLAG_FOUT;

// Type descriptions for the standard library's members; what a pointer
// points at is kept in the library's node store.
class StdOleTypes {
 public:
  explicit StdOleTypes(LibData &lib) : m_lib(lib), m_riid(Record(kHrefIUnknown + 2)) {}

  static TYPEDESC Scalar(VARTYPE vt) {
    TYPEDESC t{};
    t.vt = vt;
    return t;
  }

  TYPEDESC Ptr(TYPEDESC inner) {
    m_lib.nodes.push_back(inner);
    TYPEDESC t{};
    t.vt = VT_PTR;
    t.lptdesc = &m_lib.nodes.back();
    return t;
  }

  // The structures the members take, named as records without members.
  TYPEDESC Record(HREFTYPE href) {
    TYPEDESC t{};
    t.vt = VT_USERDEFINED;
    t.hreftype = href;
    return Ptr(t);
  }

  // The one description of the REFIID every member that takes one shares.
  TYPEDESC Riid() const { return m_riid; }

 private:
  LibData &m_lib;
  TYPEDESC m_riid;
};

FuncData Restricted(MEMBERID memid, USHORT slot, const char16_t *name, TYPEDESC ret, std::vector<ParamData> params) {
  FuncData f;
  f.memid = memid;
  f.flags = FUNCFLAG_FRESTRICTED;
  f.slot = slot;
  f.name = name;
  f.ret = ret;
  f.params = std::move(params);
  return f;
}

TypeData IUnknownType(StdOleTypes &t) {
  const TYPEDESC hr = StdOleTypes::Scalar(VT_HRESULT), ul = StdOleTypes::Scalar(VT_UI4);
  TypeData unk;
  unk.kind = TKIND_INTERFACE;
  unk.guid = {0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  unk.name = u"IUnknown";
  unk.flags = TYPEFLAG_FHIDDEN;
  unk.funcs.push_back(
      Restricted(0x60000000, 0, u"QueryInterface", hr,
                 {{u"riid", kIn, t.Riid()}, {u"ppvObj", kOut, t.Ptr(t.Ptr(StdOleTypes::Scalar(VT_VOID)))}}));
  unk.funcs.push_back(Restricted(0x60000001, 1, u"AddRef", ul, {}));
  unk.funcs.push_back(Restricted(0x60000002, 2, u"Release", ul, {}));
  return unk;
}

TypeData IDispatchType(StdOleTypes &t) {
  const TYPEDESC hr = StdOleTypes::Scalar(VT_HRESULT), uint = StdOleTypes::Scalar(VT_UINT),
                 lcid = StdOleTypes::Scalar(VT_UI4);
  TypeData disp;
  disp.kind = TKIND_INTERFACE;
  disp.guid = {0x00020400, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  disp.name = u"IDispatch";
  disp.flags = TYPEFLAG_FDISPATCHABLE;
  disp.impls.push_back({kHrefIUnknown, 0});
  disp.firstSlot = 3;
  disp.dispatchable = true;
  disp.funcs.push_back(Restricted(0x60010000, 3, u"GetTypeInfoCount", hr, {{u"pctinfo", kOut, t.Ptr(uint)}}));
  disp.funcs.push_back(Restricted(
      0x60010001, 4, u"GetTypeInfo", hr,
      {{u"itinfo", kIn, uint}, {u"lcid", kIn, lcid}, {u"pptinfo", kOut, t.Ptr(t.Ptr(StdOleTypes::Scalar(VT_VOID)))}}));
  disp.funcs.push_back(Restricted(0x60010002, 5, u"GetIDsOfNames", hr,
                                  {{u"riid", kIn, t.Riid()},
                                   {u"rgszNames", kIn, t.Ptr(t.Ptr(StdOleTypes::Scalar(VT_I1)))},
                                   {u"cNames", kIn, uint},
                                   {u"lcid", kIn, lcid},
                                   {u"rgdispid", kOut, t.Ptr(StdOleTypes::Scalar(VT_I4))}}));
  disp.funcs.push_back(Restricted(0x60010003, 6, u"Invoke", hr,
                                  {{u"dispidMember", kIn, StdOleTypes::Scalar(VT_I4)},
                                   {u"riid", kIn, t.Riid()},
                                   {u"lcid", kIn, lcid},
                                   {u"wFlags", kIn, StdOleTypes::Scalar(VT_UI2)},
                                   {u"pdispparams", kIn, t.Record(kHrefIUnknown + 3)},
                                   {u"pvarResult", kOut, t.Ptr(StdOleTypes::Scalar(VT_VARIANT))},
                                   {u"pexcepinfo", kOut, t.Record(kHrefIUnknown + 4)},
                                   {u"puArgErr", kOut, t.Ptr(uint)}}));
  return disp;
}

// The standard library as far as duals need it: IUnknown and IDispatch, and
// the records their members take.
LibData *BuildStdOle() {
  auto *lib = new LibData;
  lib->guid = {0x00020430, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  lib->major = 2;
  lib->name = u"stdole";
  lib->doc = u"OLE Automation";
  StdOleTypes types(*lib);
  lib->types.push_back(IUnknownType(types));
  lib->types.push_back(IDispatchType(types));
  for (const char16_t *name : {u"GUID", u"DISPPARAMS", u"EXCEPINFO"}) {
    TypeData rec;
    rec.kind = TKIND_RECORD;
    rec.name = name;
    lib->types.push_back(std::move(rec));
  }
  return lib;
}

}  // namespace

const LibData &StdOleLib() {
  static const LibData *g_lib = BuildStdOle();
  return *g_lib;
}

}  // namespace platform
