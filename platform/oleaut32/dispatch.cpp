// Late binding: calls by DISPID through type information, the standard
// IDispatch built on it, and DispCallFunc. Calls reach the object's vtable
// slot, `this` first, as a vtable client calls it: through a typed function
// pointer for the common shapes (see the call plans), through libffi for
// the rest.
#include <string.h>

#include <stdint.h>

#include <atomic>
#include <new>
#include <utility>

#include "oleaut32/typelib_impl.h"

namespace platform {

namespace {

constexpr size_t kInlineArgs = 16;

// Storage for one argument: the value itself, or a VARIANT when the member
// takes one by value.
union ArgValue {
  VARIANT var;
  LONGLONG i8;
  void *ptr;
};

// Small arrays on the stack for the common case, the heap beyond.
template <typename T>
class ArgArray {
 public:
  explicit ArgArray(size_t n) : m_items(n <= kInlineArgs ? m_inline : new T[n]) {}
  ~ArgArray() {
    if (m_items != m_inline) delete[] m_items;
  }
  ArgArray(const ArgArray &) = delete;
  ArgArray &operator=(const ArgArray &) = delete;
  T &operator[](size_t i) { return m_items[i]; }
  T *Data() { return m_items; }

 private:
  T m_inline[kInlineArgs];
  T *m_items;
};

bool FlagsMatch(WORD flags, INVOKEKIND kind) {
  switch (kind) {
    case INVOKE_FUNC:
      return flags & DISPATCH_METHOD;
    case INVOKE_PROPERTYGET:
      // Scripting engines reach property gets with DISPATCH_METHOD too.
      return flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET);
    case INVOKE_PROPERTYPUT:
      return flags & DISPATCH_PROPERTYPUT;
    case INVOKE_PROPERTYPUTREF:
      return flags & DISPATCH_PROPERTYPUTREF;
  }
  return false;
}

// Releases what a slot of `vt` owns (an [out, retval] that nobody receives).
void FreeValue(VARTYPE vt, ArgValue &v) {
  switch (vt) {
    case VT_BSTR:
      SysFreeString(static_cast<BSTR>(v.ptr));
      break;
    case VT_UNKNOWN:
    case VT_DISPATCH:
      if (v.ptr) static_cast<IUnknown *>(v.ptr)->Release();
      break;
    case VT_VARIANT:
      VariantClear(&v.var);
      break;
    default:
      break;
  }
}

// Moves a value of `vt` from raw storage into a VARIANT.
void StoreValue(VARTYPE vt, const ArgValue &v, VARIANT *out) {
  if (vt == VT_VARIANT) {
    *out = v.var;
    return;
  }
  VariantInit(out);
  V_VT(out) = vt;
  switch (vt) {
    case VT_I1: case VT_UI1: memcpy(&out->bVal, &v, 1); break;
    case VT_I2: case VT_UI2: case VT_BOOL: memcpy(&out->iVal, &v, 2); break;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_ERROR: case VT_R4: memcpy(&out->lVal, &v, 4); break;
    case VT_HRESULT: memcpy(&out->lVal, &v, 4); V_VT(out) = VT_ERROR; break;
    default: memcpy(&out->llVal, &v, 8); break;
  }
}

void FillExcepInfo(HRESULT hr, EXCEPINFO *ei) {
  if (!ei) return;
  memset(ei, 0, sizeof *ei);
  ei->scode = hr;
  IErrorInfo *info = nullptr;
  if (GetErrorInfo(0, &info) == S_OK && info) {
    info->GetSource(&ei->bstrSource);
    info->GetDescription(&ei->bstrDescription);
    info->GetHelpFile(&ei->bstrHelpFile);
    info->GetHelpContext(&ei->dwHelpContext);
    info->Release();
  }
}

// An argument that needs work after the call.
struct Fixup {
  enum Kind : BYTE { kNone, kClearTemp } kind = kNone;
};

// The member that answers `memid` for `flags`; restricted members are not
// reachable through IDispatch.
const FuncData *FindMember(const TypeInfoImpl &ti, MEMBERID memid, WORD flags) {
  for (const FuncData *f : ti.Chain()) {
    if (f->memid == memid && FlagsMatch(flags, f->invkind) && !(f->flags & FUNCFLAG_FRESTRICTED)) return f;
  }
  return nullptr;
}

// Which rgvarg entry feeds each parameter (arguments come last-first); -1
// where none does.
HRESULT MapArguments(const FuncData &func, size_t inCount, const DISPPARAMS &dp, ArgArray<int> &source, UINT *argErr) {
  const UINT named = dp.cNamedArgs, positional = dp.cArgs - named;
  for (size_t i = 0; i < func.params.size(); ++i) source[i] = -1;
  for (UINT i = 0; i < positional; ++i) source[i] = static_cast<int>(dp.cArgs - 1 - i);
  bool isPut = func.invkind & (INVOKE_PROPERTYPUT | INVOKE_PROPERTYPUTREF);
  for (UINT i = 0; i < named; ++i) {
    DISPID id = dp.rgdispidNamedArgs[i];
    if (id == DISPID_PROPERTYPUT && isPut && inCount) id = static_cast<DISPID>(inCount - 1);
    if (id < 0 || static_cast<size_t>(id) >= inCount || source[id] != -1) {
      if (argErr) *argErr = i;
      return DISP_E_PARAMNOTFOUND;
    }
    source[id] = static_cast<int>(i);
  }
  return S_OK;
}

// Fills `v` for a parameter of type `vt` from the caller's argument (null
// when none was passed). `argPtr` is what libffi passes; `fixup` says what
// to undo after the call.
HRESULT PrepareArgument(VARTYPE vt, const ParamData &param, VARIANT *arg, ArgValue &v, void *&argPtr, Fixup &fixup) {
  if (!arg) {
    if (!(param.flags & PARAMFLAG_FOPT)) return DISP_E_BADPARAMCOUNT;
    if (vt == VT_VARIANT) {  // a missing optional VARIANT arrives as "parameter not found"
      V_VT(&v.var) = VT_ERROR;
      V_ERROR(&v.var) = DISP_E_PARAMNOTFOUND;
    }
    return S_OK;
  }
  if (V_VT(arg) == VT_ERROR && V_ERROR(arg) == DISP_E_PARAMNOTFOUND && !(param.flags & PARAMFLAG_FOPT) &&
      vt != VT_VARIANT)
    return DISP_E_PARAMNOTOPTIONAL;
  if (vt & VT_BYREF) {
    // Pointer parameters take the caller's reference of exactly that type:
    // a VARIANT reference for a typed pointer is a type mismatch, as a
    // script learns that passes its variables to a BSTR* parameter.
    if (V_VT(arg) != vt) return DISP_E_TYPEMISMATCH;
    v.ptr = V_BYREF(arg);
    return S_OK;
  }
  if (V_VT(arg) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(arg)) arg = V_VARIANTREF(arg);
  if (vt == VT_VARIANT) {
    v.var = *arg;  // passed as is: a bitwise copy that the caller keeps owning
    return S_OK;
  }
  // An HRESULT parameter takes an error code (VT_ERROR) and nothing that
  // would have to be coerced into one: VT_I4 is a type mismatch.
  VARTYPE want = vt == VT_HRESULT ? VARTYPE{VT_ERROR} : vt;
  if (V_VT(arg) == want) {
    memcpy(&v, &arg->llVal, sizeof(LONGLONG));
    return S_OK;
  }
  // Coerce into a temporary that is cleared after the call; by-reference
  // arguments are dereferenced on the way.
  HRESULT hr = VariantChangeType(&v.var, arg, 0, want);
  if (FAILED(hr)) return hr;
  fixup.kind = Fixup::kClearTemp;
  argPtr = &v.var.llVal;  // the value sits inside the VARIANT
  return S_OK;
}

// Turns what a member that returns an HRESULT gave back (and left in its
// [out, retval] storage) into the caller's result.
HRESULT FinishCall(const CallData &call, HRESULT callHr, ArgValue &retval, VARIANT *result, EXCEPINFO *excepInfo) {
  if (FAILED(callHr)) {
    FillExcepInfo(callHr, excepInfo);
    return DISP_E_EXCEPTION;
  }
  if (call.retvalParam >= 0) {
    VARTYPE rvt = call.argVt[call.retvalParam] & ~VT_BYREF;
    if (result)
      StoreValue(rvt, retval, result);
    else
      FreeValue(rvt, retval);
  } else if (result) {
    VariantInit(result);
  }
  return S_OK;
}

// Calls the member's vtable slot and turns what it returns (or leaves in
// its [out, retval] storage) into the caller's result.
HRESULT CallMember(const FuncData &func, void *instance, void **argPtrs, ArgValue &retval, VARIANT *result,
                   EXCEPINFO *excepInfo) {
  const CallData &call = func.call;
  void *fn = (*static_cast<void ***>(instance))[func.slot];
  ArgValue ret;
  memset(&ret, 0, sizeof ret);
  ffi_call(const_cast<ffi_cif *>(&call.cif), FFI_FN(fn), &ret, argPtrs);

  if (call.retVt == VT_HRESULT)
    return FinishCall(call, static_cast<HRESULT>(static_cast<int32_t>(ret.i8)), retval, result, excepInfo);
  if (result) {
    if (call.retVt == VT_VOID || call.retVt == VT_EMPTY)
      VariantInit(result);
    else
      StoreValue(call.retVt, ret, result);
  }
  return S_OK;
}

// ------------------------------------------------------------ call plans
//
// What a call to one member with a given number of positional arguments
// needs is the same every time: the member, its slot and what each
// parameter takes. A plan keeps that; when the member takes `this` and
// then only values that travel as one integer or pointer word and returns
// an HRESULT, the call goes straight through a typed function pointer,
// with the arguments sign or zero extended to pointer width (valid for
// narrower integer parameters on x86-64 and Windows x64 alike). Anything
// the direct road is unsure of goes the general way, which has the errors.

static_assert(sizeof(intptr_t) == sizeof(LONGLONG), "the direct road passes 64-bit values in one word");

constexpr size_t kPlanParams = 8;

struct PlanStep {
  enum Kind : BYTE { kArgument, kMissing, kRetval } kind = kArgument;
  VARTYPE want = VT_EMPTY;  // what the argument must arrive as
  UINT source = 0;          // its index in rgvarg
};

}  // namespace

struct CallPlan {
  MEMBERID memid = 0;
  WORD flags = 0;
  UINT args = 0;
  const FuncData *func = nullptr;
  bool direct = false;  // the typed call applies
  size_t count = 0;     // parameters, the [out, retval] one included
  PlanStep steps[kPlanParams];
};

namespace {

// Travels as one integer-class word.
bool IsWordVt(VARTYPE vt) {
  if (vt & VT_BYREF) return true;
  switch (vt) {
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_ERROR:
    case VT_HRESULT:
    case VT_I8:
    case VT_UI8:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return true;
    default:
      return false;
  }
}

CallPlan *BuildPlan(const FuncData &func, MEMBERID memid, WORD flags, UINT args) {
  auto *plan = new (std::nothrow) CallPlan;
  if (!plan) return nullptr;
  plan->memid = memid;
  plan->flags = flags;
  plan->args = args;
  plan->func = &func;
  const CallData &call = func.call;
  const size_t n = func.params.size();
  const size_t inCount = call.retvalParam >= 0 ? n - 1 : n;
  plan->count = n;
  plan->direct = call.callable && call.retVt == VT_HRESULT && n <= kPlanParams && args <= inCount;
  for (size_t i = 0; plan->direct && i < n; ++i) {
    PlanStep &step = plan->steps[i];
    const VARTYPE vt = call.argVt[i];
    if (static_cast<int>(i) == call.retvalParam) {
      step.kind = PlanStep::kRetval;  // any type: the callee writes through our pointer
    } else if (!IsWordVt(vt)) {
      plan->direct = false;
    } else if (i < args) {
      step.kind = PlanStep::kArgument;
      step.want = vt == VT_HRESULT ? VARTYPE{VT_ERROR} : vt;  // as PrepareArgument takes it
      step.source = static_cast<UINT>(args - 1 - i);
    } else if (func.params[i].flags & PARAMFLAG_FOPT) {
      step.kind = PlanStep::kMissing;  // arrives as zero
    } else {
      plan->direct = false;  // the general road reports the missing argument
    }
  }
  return plan;
}

// The plan for a call with `args` positional arguments; null when no
// member answers (or no plan could be kept).
const CallPlan *PlanFor(const TypeInfoImpl &ti, MEMBERID memid, WORD flags, UINT args) {
  PlanCache &cache = ti.Plans();
  if (const CallPlan *plan = cache.Find(memid, flags, args)) return plan;
  const FuncData *func = FindMember(ti, memid, flags);
  if (!func) return nullptr;
  CallPlan *plan = BuildPlan(*func, memid, flags, args);
  if (!plan) return nullptr;
  const CallPlan *kept = cache.Add(plan);
  if (kept != plan) delete plan;
  return kept;
}

// The value of an argument already of type `vt`, as the word that carries it.
bool ReadWord(VARTYPE vt, const VARIANT &v, intptr_t &out) {
  if (vt & VT_BYREF) {
    out = reinterpret_cast<intptr_t>(v.byref);
    return true;
  }
  switch (vt) {
    case VT_I1:
      out = static_cast<signed char>(v.cVal);
      break;
    case VT_UI1:
      out = v.bVal;
      break;
    case VT_I2:
    case VT_BOOL:
      out = v.iVal;
      break;
    case VT_UI2:
      out = v.uiVal;
      break;
    case VT_I4:
    case VT_INT:
    case VT_ERROR:
      out = v.lVal;
      break;
    case VT_UI4:
    case VT_UINT:
      out = v.ulVal;
      break;
    case VT_I8:
      out = v.llVal;
      break;
    case VT_UI8:
      out = static_cast<intptr_t>(v.ullVal);
      break;
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
      out = reinterpret_cast<intptr_t>(v.byref);
      break;
    default:
      return false;
  }
  return true;
}

// The range of an integer type that coercion reaches by value; false for
// other types (VT_INT and VT_UINT only ever arrive as themselves here).
bool RangeOf(VARTYPE vt, LONGLONG &lo, LONGLONG &hi) {
  switch (vt) {
    case VT_I1:
      lo = -128;
      hi = 127;
      return true;
    case VT_UI1:
      lo = 0;
      hi = 0xFF;
      return true;
    case VT_I2:
      lo = -32768;
      hi = 32767;
      return true;
    case VT_UI2:
      lo = 0;
      hi = 0xFFFF;
      return true;
    case VT_I4:
      lo = INT32_MIN;
      hi = INT32_MAX;
      return true;
    case VT_UI4:
      lo = 0;
      hi = UINT32_MAX;
      return true;
    case VT_I8:
      lo = INT64_MIN;
      hi = INT64_MAX;
      return true;
    case VT_UI8:
      lo = 0;
      hi = INT64_MAX;
      return true;
    default:
      return false;
  }
}

// The word for an argument that must arrive as `want`: as it is, or an
// integer (or boolean) that VariantChangeType would carry over unchanged
// because it fits. False leaves the argument to the general road.
bool ArgumentWord(VARTYPE want, const VARIANT &arg, intptr_t &out) {
  const VARTYPE have = V_VT(&arg);
  if (have == want) {
    // A "missing" marker is an error or a pass-through depending on the
    // parameter's flags, which the general road looks at.
    if (have == VT_ERROR && V_ERROR(&arg) == DISP_E_PARAMNOTFOUND) return false;
    return ReadWord(want, arg, out);
  }
  LONGLONG lo, hi, unused;
  if (have == VT_ERROR || (have & VT_BYREF) || !RangeOf(want, lo, hi)) return false;
  if (have != VT_BOOL && have != VT_INT && have != VT_UINT && !RangeOf(have, unused, unused)) return false;
  intptr_t value;
  if (!ReadWord(have, arg, value) || (have == VT_UI8 && value < 0) || value < lo || value > hi) return false;
  out = value;
  return true;
}

template <size_t>
using Word = intptr_t;

template <size_t... I>
HRESULT CallWords(void *fn, void *instance, const intptr_t *words, std::index_sequence<I...>) {
  using Slot = HRESULT(STDMETHODCALLTYPE *)(void *, Word<I>...);
  return reinterpret_cast<Slot>(fn)(instance, words[I]...);
}

HRESULT CallSlot(void *fn, void *instance, const intptr_t *words, size_t count) {
  switch (count) {
    case 0:
      return CallWords(fn, instance, words, std::make_index_sequence<0>());
    case 1:
      return CallWords(fn, instance, words, std::make_index_sequence<1>());
    case 2:
      return CallWords(fn, instance, words, std::make_index_sequence<2>());
    case 3:
      return CallWords(fn, instance, words, std::make_index_sequence<3>());
    case 4:
      return CallWords(fn, instance, words, std::make_index_sequence<4>());
    case 5:
      return CallWords(fn, instance, words, std::make_index_sequence<5>());
    case 6:
      return CallWords(fn, instance, words, std::make_index_sequence<6>());
    case 7:
      return CallWords(fn, instance, words, std::make_index_sequence<7>());
    default:
      return CallWords(fn, instance, words, std::make_index_sequence<kPlanParams>());
  }
}

// Runs a direct plan; false (having done nothing) when an argument needs
// the general road.
bool InvokeDirect(const CallPlan &plan, void *instance, const DISPPARAMS &dp, VARIANT *result, EXCEPINFO *excepInfo,
                  HRESULT &hr) {
  static_assert(kPlanParams == 8, "CallSlot spells out every count up to kPlanParams");
  intptr_t words[kPlanParams];
  ArgValue retval;
  for (size_t i = 0; i < plan.count; ++i) {
    const PlanStep &step = plan.steps[i];
    switch (step.kind) {
      case PlanStep::kArgument:
        if (!ArgumentWord(step.want, dp.rgvarg[step.source], words[i])) return false;
        break;
      case PlanStep::kMissing:
        words[i] = 0;
        break;
      case PlanStep::kRetval:
        memset(&retval, 0, sizeof retval);
        words[i] = reinterpret_cast<intptr_t>(&retval);
        break;
    }
  }
  void *fn = (*static_cast<void ***>(instance))[plan.func->slot];
  hr = FinishCall(plan.func->call, CallSlot(fn, instance, words, plan.count), retval, result, excepInfo);
  return true;
}

// Prepares every argument, calls, and cleans up: the road for any member.
HRESULT InvokeGeneral(const FuncData &func, void *instance, DISPPARAMS *dp, VARIANT *result, EXCEPINFO *excepInfo,
                      UINT *argErr) {
  const CallData &call = func.call;
  if (!call.callable) return DISP_E_BADVARTYPE;

  const size_t n = func.params.size();
  const size_t inCount = call.retvalParam >= 0 ? n - 1 : n;
  if (dp->cArgs > inCount) return DISP_E_BADPARAMCOUNT;
  ArgArray<int> source(n + 1);
  HRESULT hr = MapArguments(func, inCount, *dp, source, argErr);
  if (FAILED(hr)) return hr;

  // values[i] holds argument i (values[n] receives the retval).
  ArgArray<ArgValue> values(n + 1);
  ArgArray<void *> argPtrs(n + 2);
  ArgArray<Fixup> fixups(n + 1);
  argPtrs[0] = &instance;
  size_t prepared = 0;
  for (size_t i = 0; i < n; ++i) {
    ArgValue &v = values[i];
    memset(&v, 0, sizeof v);
    fixups[i].kind = Fixup::kNone;
    argPtrs[i + 1] = &v;
    prepared = i + 1;
    if (static_cast<int>(i) == call.retvalParam) {
      // The callee writes through a pointer to storage of ours.
      memset(&values[n], 0, sizeof(ArgValue));
      v.ptr = &values[n];
      continue;
    }
    const int src = source[i];
    hr = PrepareArgument(call.argVt[i], func.params[i], src < 0 ? nullptr : &dp->rgvarg[src], v, argPtrs[i + 1],
                         fixups[i]);
    if (FAILED(hr)) {
      if (src >= 0 && argErr) *argErr = static_cast<UINT>(src);
      break;
    }
  }
  if (SUCCEEDED(hr)) hr = CallMember(func, instance, argPtrs.Data(), values[n], result, excepInfo);
  for (size_t i = 0; i < prepared; ++i)
    if (fixups[i].kind == Fixup::kClearTemp) VariantClear(&values[i].var);
  return hr;
}

}  // namespace

PlanCache::~PlanCache() {
  for (auto &slot : m_slots) delete slot.load(std::memory_order_relaxed);
}

namespace {

size_t PlanHash(MEMBERID memid, WORD flags, UINT args) {
  const uint32_t key = static_cast<uint32_t>(memid) ^ (uint32_t{flags} << 20) ^ (args << 26);
  return (key * 2654435761u) >> 26;  // six bits: kSlots
}

}  // namespace

const CallPlan *PlanCache::Find(MEMBERID memid, WORD flags, UINT args) const {
  static_assert(kSlots == 64, "PlanHash yields six bits");
  for (size_t k = 0, h = PlanHash(memid, flags, args); k < kSlots; ++k, h = (h + 1) % kSlots) {
    const CallPlan *plan = m_slots[h].load(std::memory_order_acquire);
    if (!plan) return nullptr;  // slots fill in probe order and are never emptied
    if (plan->memid == memid && plan->flags == flags && plan->args == args) return plan;
  }
  return nullptr;
}

const CallPlan *PlanCache::Add(CallPlan *plan) {
  for (size_t k = 0, h = PlanHash(plan->memid, plan->flags, plan->args); k < kSlots; ++k, h = (h + 1) % kSlots) {
    CallPlan *seen = nullptr;
    if (m_slots[h].compare_exchange_strong(seen, plan, std::memory_order_release, std::memory_order_acquire))
      return plan;
    if (seen->memid == plan->memid && seen->flags == plan->flags && seen->args == plan->args) return seen;
  }
  return nullptr;
}

HRESULT InvokeMember(const TypeInfoImpl &ti, void *instance, MEMBERID memid, WORD flags, DISPPARAMS *dp,
                     VARIANT *result, EXCEPINFO *excepInfo, UINT *argErr) {
  if (!dp || (dp->cArgs && !dp->rgvarg) || dp->cNamedArgs > dp->cArgs || (dp->cNamedArgs && !dp->rgdispidNamedArgs))
    return E_INVALIDARG;
  // Named arguments are rare enough to map afresh each time.
  const CallPlan *plan = dp->cNamedArgs ? nullptr : PlanFor(ti, memid, flags, dp->cArgs);
  const FuncData *func = plan ? plan->func : FindMember(ti, memid, flags);
  if (!func) return DISP_E_MEMBERNOTFOUND;
  if (!instance) return E_INVALIDARG;
  HRESULT hr;
  if (plan && plan->direct && InvokeDirect(*plan, instance, *dp, result, excepInfo, hr)) return hr;
  return InvokeGeneral(*func, instance, dp, result, excepInfo, argErr);
}

namespace {

// The standard dispatch object of CreateStdDispatch: IDispatch answered from
// type information, aggregatable.
class StdDispatch final : public IDispatch {
 public:
  StdDispatch(IUnknown *outer, void *instance, ITypeInfo *info)
      : m_outer(outer ? outer : &m_inner), m_instance(instance), m_info(info) {
    m_inner.owner = this;
    m_info->AddRef();
  }
  ~StdDispatch() { m_info->Release(); }

  IUnknown *Inner() { return &m_inner; }

  STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override { return m_outer->QueryInterface(riid, ppv); }
  STDMETHODIMP_(ULONG) AddRef() override { return m_outer->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return m_outer->Release(); }

  STDMETHODIMP GetTypeInfoCount(UINT *pctinfo) override {
    if (!pctinfo) return E_INVALIDARG;
    *pctinfo = 1;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID, ITypeInfo **ppTInfo) override {
    if (!ppTInfo) return E_INVALIDARG;
    *ppTInfo = nullptr;
    if (iTInfo != 0) return DISP_E_BADINDEX;
    m_info->AddRef();
    *ppTInfo = m_info;
    return S_OK;
  }
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR *rgszNames, UINT cNames, LCID, DISPID *rgDispId) override {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    return DispGetIDsOfNames(m_info, rgszNames, cNames, rgDispId);
  }
  STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags, DISPPARAMS *pDispParams,
                      VARIANT *pVarResult, EXCEPINFO *pExcepInfo, UINT *puArgErr) override {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    return DispInvoke(m_instance, m_info, dispIdMember, wFlags, pDispParams, pVarResult, pExcepInfo, puArgErr);
  }

 private:
  struct InnerUnknown final : public IUnknown {
    StdDispatch *owner = nullptr;
    std::atomic<ULONG> refs{1};
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override {
      if (!ppv) return E_POINTER;
      if (riid == IID_IUnknown) {
        *ppv = static_cast<IUnknown *>(this);
      } else if (riid == IID_IDispatch) {
        *ppv = static_cast<IDispatch *>(owner);
      } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
      }
      static_cast<IUnknown *>(*ppv)->AddRef();
      return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override {
      ULONG n = --refs;
      if (n == 0) delete owner;
      return n;
    }
  };
  InnerUnknown m_inner;
  IUnknown *m_outer;
  void *m_instance;
  ITypeInfo *m_info;
};

}  // namespace

// Runs fn(this?, args...) with libffi for DispCallFunc.
HRESULT CallFunction(void *instance, void *fn, VARTYPE vtReturn, UINT count, const VARTYPE *types,
                     VARIANTARG **args, VARIANT *result) {
  ffi_type *retType = FfiTypeOf(vtReturn == VT_HRESULT ? VARTYPE{VT_I4} : vtReturn);
  if (!retType) return DISP_E_BADVARTYPE;
  size_t total = count + (instance ? 1 : 0);
  ArgArray<ffi_type *> ftypes(total + 1);
  ArgArray<void *> values(total + 1);
  size_t k = 0;
  if (instance) {
    ftypes[k] = &ffi_type_pointer;
    values[k++] = &instance;
  }
  for (UINT i = 0; i < count; ++i, ++k) {
    ftypes[k] = FfiTypeOf(types[i]);
    if (!ftypes[k] || types[i] == VT_VOID || types[i] == VT_EMPTY || !args[i]) return DISP_E_BADVARTYPE;
    // A VARIANT goes by value whole; anything else is the value inside it.
    values[k] = types[i] == VT_VARIANT ? static_cast<void *>(args[i]) : static_cast<void *>(&args[i]->llVal);
  }
  ffi_cif cif;
  if (ffi_prep_cif(&cif, FFI_DEFAULT_ABI, static_cast<unsigned>(total), retType, ftypes.Data()) != FFI_OK)
    return DISP_E_BADCALLEE;
  ArgValue ret;
  memset(&ret, 0, sizeof ret);
  ffi_call(&cif, FFI_FN(fn), &ret, values.Data());
  if (result) {
    if (vtReturn == VT_EMPTY || vtReturn == VT_VOID) {
      VariantInit(result);
      V_VT(result) = vtReturn;
    } else {
      StoreValue(vtReturn == VT_HRESULT ? VARTYPE{VT_I4} : vtReturn, ret, result);
      V_VT(result) = vtReturn;
    }
  }
  return S_OK;
}

}  // namespace platform

using platform::TypeInfoImpl;

HRESULT WINAPI DispGetIDsOfNames(ITypeInfo *ptinfo, LPOLESTR *rgszNames, UINT cNames, DISPID *rgdispid) {
  if (!ptinfo) return E_INVALIDARG;
  return ptinfo->GetIDsOfNames(rgszNames, cNames, rgdispid);
}

HRESULT WINAPI DispInvoke(void *_this, ITypeInfo *ptinfo, DISPID dispidMember, WORD wFlags, DISPPARAMS *pparams,
                          VARIANT *pvarResult, EXCEPINFO *pexcepinfo, UINT *puArgErr) {
  if (!ptinfo) return E_INVALIDARG;
  return ptinfo->Invoke(_this, dispidMember, wFlags, pparams, pvarResult, pexcepinfo, puArgErr);
}

HRESULT WINAPI CreateStdDispatch(IUnknown *punkOuter, void *pvThis, ITypeInfo *ptinfo, IUnknown **ppunkStdDisp) {
  if (!ppunkStdDisp) return E_INVALIDARG;
  *ppunkStdDisp = nullptr;
  if (!pvThis || !ptinfo) return E_INVALIDARG;
  auto *obj = new (std::nothrow) platform::StdDispatch(punkOuter, pvThis, ptinfo);
  if (!obj) return E_OUTOFMEMORY;
  *ppunkStdDisp = obj->Inner();
  return S_OK;
}

HRESULT WINAPI DispCallFunc(void *pvInstance, ULONG_PTR oVft, CALLCONV cc, VARTYPE vtReturn, UINT cActuals,
                            VARTYPE *prgvt, VARIANTARG **prgpvarg, VARIANT *pvargResult) {
  // x64 has one calling convention; the others name 32-bit conventions.
  if (cc != CC_STDCALL && cc != CC_CDECL) return E_INVALIDARG;
  if (cActuals && (!prgvt || !prgpvarg)) return E_INVALIDARG;
  void *fn;
  if (pvInstance) {
    if (oVft % sizeof(void *)) return E_INVALIDARG;
    fn = (*static_cast<void ***>(pvInstance))[oVft / sizeof(void *)];
  } else {
    fn = reinterpret_cast<void *>(oVft);
  }
  if (!fn) return E_INVALIDARG;
  return platform::CallFunction(pvInstance, fn, vtReturn, cActuals, prgvt, prgpvarg, pvargResult);
}
