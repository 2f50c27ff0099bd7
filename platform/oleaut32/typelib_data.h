// The in-memory form of a type library: what a binary type library (a .tlb
// file or a module's TYPELIB resource) holds, checked and resolved so that
// ITypeInfo and late-bound calls never meet a dangling reference.
#pragma once

#include <ffi.h>
#include <oleauto.h>

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// Type references as clients see them in TYPEDESC.hreftype and from
// GetRefTypeOfImplType: a type of the same library is (index << 1), with the
// low bit set when it names the vtable view of a dual interface. The two
// standard interfaces (and the structures their members take) live in a
// built-in library of their own, from kHrefIUnknown on.
constexpr HREFTYPE kHrefIUnknown = 0xFFFFFF00;
constexpr HREFTYPE kHrefIDispatch = 0xFFFFFF01;
constexpr HREFTYPE HrefOf(size_t index, bool vtableView = false) {
  return static_cast<HREFTYPE>(index << 1) | (vtableView ? 1u : 0u);
}

struct ParamData {
  std::u16string name;
  USHORT flags = 0;
  TYPEDESC tdesc{};
};

// How a value crosses the vtable call: its VARTYPE as a VARIANT would carry
// it (VT_BYREF for pointers to it), and the libffi type of the argument.
struct CallData {
  bool callable = false;
  VARTYPE retVt = VT_EMPTY;        // the function's own return type (VT_HRESULT for members of duals)
  int retvalParam = -1;            // index of the [out, retval] parameter, or -1
  std::vector<VARTYPE> argVt;      // one per parameter
  std::vector<ffi_type *> ffiArgs; // `this`, then one per parameter
  ffi_cif cif{};
};

struct FuncData {
  MEMBERID memid = 0;
  INVOKEKIND invkind = INVOKE_FUNC;
  WORD flags = 0;
  USHORT slot = 0;
  std::u16string name, doc;
  DWORD helpContext = 0;
  TYPEDESC ret{};
  std::vector<ParamData> params;
  CallData call;
};

struct VarData {
  MEMBERID memid = 0;
  VARTYPE type = VT_I4;     // as declared
  VARTYPE valueVt = VT_I4;  // of the constant's value
  std::u16string name, doc;
  DWORD helpContext = 0;
  LONG value = 0;
};

struct ImplData {
  HREFTYPE href = 0;
  INT flags = 0;
};

struct TypeData {
  TYPEKIND kind = TKIND_ENUM;
  GUID guid{};
  std::u16string name, doc;
  DWORD helpContext = 0;
  WORD flags = 0, major = 0, minor = 0;
  ULONG instanceSize = sizeof(void *);
  WORD alignment = sizeof(void *);
  std::vector<ImplData> impls;
  std::vector<FuncData> funcs;
  std::vector<VarData> vars;
  // Interfaces only: slots of the base chain (3 for IUnknown, 7 for IDispatch).
  USHORT firstSlot = 0;
  USHORT baseDepth = 0;       // levels down to IUnknown or IDispatch (1: derives from one)
  bool dispatchable = false;  // IDispatch is in the base chain
};

struct LibData {
  GUID guid{};
  LCID lcid = 0;
  WORD major = 0, minor = 0, libFlags = 0;
  SYSKIND syskind = SYS_WIN64;
  std::u16string name, doc, helpFile;
  DWORD helpContext = 0;
  std::vector<TypeData> types;
  // Nodes that TYPEDESC.lptdesc points at; a deque keeps their addresses.
  std::deque<TYPEDESC> nodes;
};

// Reads and checks a binary type library. On failure returns null and sets
// *hr: TYPE_E_UNSUPFORMAT for another format or a kind of type this layer
// does not model, TYPE_E_CANTLOADLIBRARY for a reference into a library
// other than the standard one, TYPE_E_INVDATAREAD for truncated or
// inconsistent data.
std::unique_ptr<LibData> ParseTypeLib(const BYTE *data, size_t size, HRESULT *hr);

// Links the types of a library read from its records: the vtable slots of
// each interface's base chain, duals that derive from IDispatch, coclasses
// that implement interfaces, the call description of every member. False
// when the records do not fit together, or when the interfaces' vtables
// together exceed `slotBudget` slots (what their base chains may cost).
bool LinkLib(LibData &lib, size_t slotBudget);

// The types a member's signature may name directly.
bool IsScalarVt(VARTYPE vt);

// The library that describes IUnknown and IDispatch (index 0 and 1), and
// the records GUID, DISPPARAMS and EXCEPINFO (2 to 4) as names only.
const LibData &StdOleLib();

// Resolves a type reference made from `lib` to its library and type index.
bool ResolveHref(const LibData &lib, HREFTYPE href, const LibData **outLib, size_t *outIndex);

// The VARTYPE under which a declared type travels in a VARIANT (enums as
// VT_I4, interface pointers as VT_DISPATCH or VT_UNKNOWN, pointers with
// VT_BYREF); VT_ILLEGAL when no VARIANT can carry it.
VARTYPE VariantTypeOf(const LibData &lib, const TYPEDESC &t);
// The libffi type of an argument of that VARTYPE; null if unsupported.
ffi_type *FfiTypeOf(VARTYPE vt);

}  // namespace platform

