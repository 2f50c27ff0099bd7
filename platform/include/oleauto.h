// OLE Automation services (oleaut32): strings, variants, error information,
// type libraries and type-information-driven dispatch.
#pragma once

#include "oaidl.h"

WINOLEAUTAPI_(BSTR) SysAllocString(const OLECHAR *psz);
WINOLEAUTAPI_(BSTR) SysAllocStringLen(const OLECHAR *strIn, UINT ui);
WINOLEAUTAPI_(BSTR) SysAllocStringByteLen(LPCSTR psz, UINT len);
WINOLEAUTAPI_(INT) SysReAllocString(BSTR *pbstr, const OLECHAR *psz);
WINOLEAUTAPI_(INT) SysReAllocStringLen(BSTR *pbstr, const OLECHAR *psz, UINT len);
WINOLEAUTAPI_(void) SysFreeString(BSTR bstrString);
WINOLEAUTAPI_(UINT) SysStringLen(BSTR pbstr);
WINOLEAUTAPI_(UINT) SysStringByteLen(BSTR bstr);

#define VARIANT_NOVALUEPROP 0x01
#define VARIANT_ALPHABOOL 0x02
#define VARIANT_NOUSEROVERRIDE 0x04
#define VARIANT_LOCALBOOL 0x10
// Flags of the Var*FromStr and VarBstrFrom* conversions.
#define VAR_TIMEVALUEONLY 0x00000001
#define VAR_DATEVALUEONLY 0x00000002
#define VAR_LOCALBOOL 0x00000010
WINOLEAUTAPI_(void) VariantInit(VARIANTARG *pvarg);
WINOLEAUTAPI VariantClear(VARIANTARG *pvarg);
WINOLEAUTAPI VariantCopy(VARIANTARG *pvargDest, const VARIANTARG *pvargSrc);
WINOLEAUTAPI VariantCopyInd(VARIANT *pvarDest, const VARIANTARG *pvargSrc);
WINOLEAUTAPI VariantChangeType(VARIANTARG *pvargDest, const VARIANTARG *pvarSrc, USHORT wFlags, VARTYPE vt);
WINOLEAUTAPI VariantChangeTypeEx(VARIANTARG *pvargDest, const VARIANTARG *pvarSrc, LCID lcid, USHORT wFlags,
                                 VARTYPE vt);

// The Var<To>From<From> conversions, each one VariantChangeType between two
// types. The lists below name them once for the declarations here and the
// definitions in the library: the types with their C type and VARTYPE, and
// for each target the value types it converts from (every other one).
#define PLATFORM_VAR_TYPES(X) X(UI1, BYTE, VT_UI1) X(I2, SHORT, VT_I2) X(I4, LONG, VT_I4) X(I8, LONG64, VT_I8) \
  X(R4, FLOAT, VT_R4) X(R8, DOUBLE, VT_R8) X(Cy, CY, VT_CY) X(Date, DATE, VT_DATE) X(Bool, VARIANT_BOOL, VT_BOOL) \
  X(I1, CHAR, VT_I1) X(UI2, USHORT, VT_UI2) X(UI4, ULONG, VT_UI4) X(UI8, ULONG64, VT_UI8)
#define PLATFORM_VAR_FROM_UI1(X, T) X(T, I2) X(T, I4) X(T, I8) X(T, R4) X(T, R8) X(T, Cy) X(T, Date) X(T, Bool) \
  X(T, I1) X(T, UI2) X(T, UI4) X(T, UI8)
#define PLATFORM_VAR_FROM_I2(X, T) X(T, UI1) X(T, I4) X(T, I8) X(T, R4) X(T, R8) X(T, Cy) X(T, Date) X(T, Bool) \
  X(T, I1) X(T, UI2) X(T, UI4) X(T, UI8)
#define PLATFORM_VAR_FROM_I4(X, T) X(T, UI1) X(T, I2) X(T, I8) X(T, R4) X(T, R8) X(T, Cy) X(T, Date) X(T, Bool) \
  X(T, I1) X(T, UI2) X(T, UI4) X(T, UI8)
#define PLATFORM_VAR_FROM_I8(X, T) X(T, UI1) X(T, I2) X(T, I4) X(T, R4) X(T, R8) X(T, Cy) X(T, Date) X(T, Bool) \
  X(T, I1) X(T, UI2) X(T, UI4) X(T, UI8)
#define PLATFORM_VAR_FROM_R4(X, T) X(T, UI1) X(T, I2) X(T, I4) X(T, I8) X(T, R8) X(T, Cy) X(T, Date) X(T, Bool) \
  X(T, I1) X(T, UI2) X(T, UI4) X(T, UI8)
#define PLATFORM_VAR_FROM_R8(X, T) X(T, UI1) X(T, I2) X(T, I4) X(T, I8) X(T, R4) X(T, Cy) X(T, Date) X(T, Bool) \
  X(T, I1) X(T, UI2) X(T, UI4) X(T, UI8)
#define PLATFORM_VAR_FROM_Cy(X, T) X(T, UI1) X(T, I2) X(T, I4) X(T, I8) X(T, R4) X(T, R8) X(T, Date) X(T, Bool) \
  X(T, I1) X(T, UI2) X(T, UI4) X(T, UI8)
#define PLATFORM_VAR_FROM_Date(X, T) X(T, UI1) X(T, I2) X(T, I4) X(T, I8) X(T, R4) X(T, R8) X(T, Cy) X(T, Bool) \
  X(T, I1) X(T, UI2) X(T, UI4) X(T, UI8)
#define PLATFORM_VAR_FROM_Bool(X, T) X(T, UI1) X(T, I2) X(T, I4) X(T, I8) X(T, R4) X(T, R8) X(T, Cy) X(T, Date) \
  X(T, I1) X(T, UI2) X(T, UI4) X(T, UI8)
#define PLATFORM_VAR_FROM_I1(X, T) X(T, UI1) X(T, I2) X(T, I4) X(T, I8) X(T, R4) X(T, R8) X(T, Cy) X(T, Date) \
  X(T, Bool) X(T, UI2) X(T, UI4) X(T, UI8)
#define PLATFORM_VAR_FROM_UI2(X, T) X(T, UI1) X(T, I2) X(T, I4) X(T, I8) X(T, R4) X(T, R8) X(T, Cy) X(T, Date) \
  X(T, Bool) X(T, I1) X(T, UI4) X(T, UI8)
#define PLATFORM_VAR_FROM_UI4(X, T) X(T, UI1) X(T, I2) X(T, I4) X(T, I8) X(T, R4) X(T, R8) X(T, Cy) X(T, Date) \
  X(T, Bool) X(T, I1) X(T, UI2) X(T, UI8)
#define PLATFORM_VAR_FROM_UI8(X, T) X(T, UI1) X(T, I2) X(T, I4) X(T, I8) X(T, R4) X(T, R8) X(T, Cy) X(T, Date) \
  X(T, Bool) X(T, I1) X(T, UI2) X(T, UI4)
#define PLATFORM_VAR_FROM_Bstr(X, T) X(T, UI1) X(T, I2) X(T, I4) X(T, I8) X(T, R4) X(T, R8) X(T, Cy) X(T, Date) \
  X(T, Bool) X(T, I1) X(T, UI2) X(T, UI4) X(T, UI8)
#define PLATFORM_CTYPE_UI1 BYTE
#define PLATFORM_CTYPE_I2 SHORT
#define PLATFORM_CTYPE_I4 LONG
#define PLATFORM_CTYPE_I8 LONG64
#define PLATFORM_CTYPE_R4 FLOAT
#define PLATFORM_CTYPE_R8 DOUBLE
#define PLATFORM_CTYPE_Cy CY
#define PLATFORM_CTYPE_Date DATE
#define PLATFORM_CTYPE_Bool VARIANT_BOOL
#define PLATFORM_CTYPE_I1 CHAR
#define PLATFORM_CTYPE_UI2 USHORT
#define PLATFORM_CTYPE_UI4 ULONG
#define PLATFORM_CTYPE_UI8 ULONG64
#define PLATFORM_CTYPE_Bstr BSTR

#define PLATFORM_DECLARE_VAR_FROM(T, Y) WINOLEAUTAPI Var##T##From##Y(PLATFORM_CTYPE_##Y in, PLATFORM_CTYPE_##T *out);
#define PLATFORM_DECLARE_VAR_TO(T, C, V)                                                      \
  PLATFORM_VAR_FROM_##T(PLATFORM_DECLARE_VAR_FROM, T)                                          \
  WINOLEAUTAPI Var##T##FromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, C *out);            \
  WINOLEAUTAPI Var##T##FromDisp(IDispatch *pdispIn, LCID lcid, C *out);                       \
  WINOLEAUTAPI Var##T##FromDec(const DECIMAL *pdecIn, C *out);
PLATFORM_VAR_TYPES(PLATFORM_DECLARE_VAR_TO)
#define PLATFORM_DECLARE_BSTR_FROM(T, Y) \
  WINOLEAUTAPI VarBstrFrom##Y(PLATFORM_CTYPE_##Y in, LCID lcid, ULONG dwFlags, BSTR *pbstrOut);
PLATFORM_VAR_FROM_Bstr(PLATFORM_DECLARE_BSTR_FROM, Bstr)
WINOLEAUTAPI VarBstrFromDisp(IDispatch *pdispIn, LCID lcid, ULONG dwFlags, BSTR *pbstrOut);
WINOLEAUTAPI VarBstrFromDec(const DECIMAL *pdecIn, LCID lcid, ULONG dwFlags, BSTR *pbstrOut);
// A decimal is made from every value type, as text is.
#define PLATFORM_VAR_FROM_Dec(X, T) PLATFORM_VAR_FROM_Bstr(X, T)
#define PLATFORM_DECLARE_DEC_FROM(T, Y) WINOLEAUTAPI VarDecFrom##Y(PLATFORM_CTYPE_##Y in, DECIMAL *pdecOut);
PLATFORM_VAR_FROM_Dec(PLATFORM_DECLARE_DEC_FROM, Dec)
WINOLEAUTAPI VarDecFromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, DECIMAL *pdecOut);
WINOLEAUTAPI VarDecFromDisp(IDispatch *pdispIn, LCID lcid, DECIMAL *pdecOut);

#define VARCMP_LT 0
#define VARCMP_EQ 1
#define VARCMP_GT 2
#define VARCMP_NULL 3
WINOLEAUTAPI VarBstrCat(BSTR bstrLeft, BSTR bstrRight, BSTR *pbstrResult);
WINOLEAUTAPI VarBstrCmp(BSTR bstrLeft, BSTR bstrRight, LCID lcid, ULONG dwFlags);

WINOLEAUTAPI CreateErrorInfo(ICreateErrorInfo **pperrinfo);
WINOLEAUTAPI SetErrorInfo(ULONG dwReserved, IErrorInfo *perrinfo);
WINOLEAUTAPI GetErrorInfo(ULONG dwReserved, IErrorInfo **pperrinfo);

WINOLEAUTAPI LoadTypeLib(LPCOLESTR szFile, ITypeLib **pptlib);
WINOLEAUTAPI LoadTypeLibEx(LPCOLESTR szFile, REGKIND regkind, ITypeLib **pptlib);
WINOLEAUTAPI LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid, ITypeLib **pptlib);
WINOLEAUTAPI QueryPathOfRegTypeLib(REFGUID guid, USHORT wMaj, USHORT wMin, LCID lcid, BSTR *lpbstrPathName);
WINOLEAUTAPI RegisterTypeLib(ITypeLib *ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir);
WINOLEAUTAPI UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid, SYSKIND syskind);
WINOLEAUTAPI RegisterTypeLibForUser(ITypeLib *ptlib, OLECHAR *szFullPath, OLECHAR *szHelpDir);
WINOLEAUTAPI UnRegisterTypeLibForUser(REFGUID libID, WORD wMajorVerNum, WORD wMinorVerNum, LCID lcid, SYSKIND syskind);
EXTERN_C DECLSPEC_IMPORT void STDAPICALLTYPE OaEnablePerUserTLibRegistration(void);

WINOLEAUTAPI DispGetIDsOfNames(ITypeInfo *ptinfo, LPOLESTR *rgszNames, UINT cNames, DISPID *rgdispid);
WINOLEAUTAPI DispInvoke(void *_this, ITypeInfo *ptinfo, DISPID dispidMember, WORD wFlags, DISPPARAMS *pparams,
                        VARIANT *pvarResult, EXCEPINFO *pexcepinfo, UINT *puArgErr);
WINOLEAUTAPI CreateStdDispatch(IUnknown *punkOuter, void *pvThis, ITypeInfo *ptinfo, IUnknown **ppunkStdDisp);
WINOLEAUTAPI DispCallFunc(void *pvInstance, ULONG_PTR oVft, CALLCONV cc, VARTYPE vtReturn, UINT cActuals,
                          VARTYPE *prgvt, VARIANTARG **prgpvarg, VARIANT *pvargResult);
