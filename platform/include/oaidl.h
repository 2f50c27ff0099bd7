// OLE Automation data types and interfaces, with their Windows x64 layouts.
#pragma once

#include "unknwn.h"
#include "wtypes.h"

typedef interface IDispatch IDispatch;
typedef interface IEnumVARIANT IEnumVARIANT;
typedef interface IRecordInfo IRecordInfo;
typedef interface ITypeComp ITypeComp;
typedef interface ITypeInfo ITypeInfo;
typedef interface ITypeLib ITypeLib;
typedef interface IErrorInfo IErrorInfo;
typedef interface ICreateErrorInfo ICreateErrorInfo;
typedef interface ISupportErrorInfo ISupportErrorInfo;
typedef IDispatch *LPDISPATCH;
typedef ITypeInfo *LPTYPEINFO;
typedef ITypeLib *LPTYPELIB;

typedef struct tagSAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
} SAFEARRAYBOUND, *LPSAFEARRAYBOUND;

typedef struct tagSAFEARRAY {
  USHORT cDims;
  USHORT fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  PVOID pvData;
  SAFEARRAYBOUND rgsabound[1];
} SAFEARRAY, *LPSAFEARRAY;

typedef struct tagVARIANT VARIANT, *LPVARIANT, VARIANTARG, *LPVARIANTARG;
struct tagVARIANT {
  union {
    struct {
      VARTYPE vt;
      WORD wReserved1;
      WORD wReserved2;
      WORD wReserved3;
      union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        IUnknown *punkVal;
        IDispatch *pdispVal;
        SAFEARRAY *parray;
        BYTE *pbVal;
        SHORT *piVal;
        LONG *plVal;
        LONGLONG *pllVal;
        FLOAT *pfltVal;
        DOUBLE *pdblVal;
        VARIANT_BOOL *pboolVal;
        SCODE *pscode;
        CY *pcyVal;
        DATE *pdate;
        BSTR *pbstrVal;
        IUnknown **ppunkVal;
        IDispatch **ppdispVal;
        SAFEARRAY **pparray;
        VARIANT *pvarVal;
        PVOID byref;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        DECIMAL *pdecVal;
        CHAR *pcVal;
        USHORT *puiVal;
        ULONG *pulVal;
        ULONGLONG *pullVal;
        INT *pintVal;
        UINT *puintVal;
        struct {
          PVOID pvRecord;
          IRecordInfo *pRecInfo;
        };
      };
    };
    DECIMAL decVal;
  };
};

#define V_VT(X) ((X)->vt)
#define V_ISBYREF(X) (V_VT(X) & VT_BYREF)
#define V_I2(X) ((X)->iVal)
#define V_I4(X) ((X)->lVal)
#define V_UI4(X) ((X)->ulVal)
#define V_BOOL(X) ((X)->boolVal)
#define V_BSTR(X) ((X)->bstrVal)
#define V_UNKNOWN(X) ((X)->punkVal)
#define V_DISPATCH(X) ((X)->pdispVal)
#define V_ERROR(X) ((X)->scode)
#define V_BYREF(X) ((X)->byref)
#define V_VARIANTREF(X) ((X)->pvarVal)

typedef struct tagDISPPARAMS {
  VARIANTARG *rgvarg;
  DISPID *rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
} DISPPARAMS;

typedef struct tagEXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  PVOID pvReserved;
  HRESULT(STDMETHODCALLTYPE *pfnDeferredFillIn)(struct tagEXCEPINFO *);
  SCODE scode;
} EXCEPINFO, *LPEXCEPINFO;

#define DISPATCH_METHOD 0x1
#define DISPATCH_PROPERTYGET 0x2
#define DISPATCH_PROPERTYPUT 0x4
#define DISPATCH_PROPERTYPUTREF 0x8
#define DISPID_UNKNOWN (-1)
#define DISPID_VALUE (0)
#define DISPID_PROPERTYPUT (-3)
#define DISPID_NEWENUM (-4)
#define DISPID_EVALUATE (-5)
#define DISPID_CONSTRUCTOR (-6)
#define DISPID_DESTRUCTOR (-7)
#define DISPID_COLLECT (-8)
#define MEMBERID_NIL DISPID_UNKNOWN

// Type information.
typedef enum tagTYPEKIND {
  TKIND_ENUM = 0,
  TKIND_RECORD,
  TKIND_MODULE,
  TKIND_INTERFACE,
  TKIND_DISPATCH,
  TKIND_COCLASS,
  TKIND_ALIAS,
  TKIND_UNION,
  TKIND_MAX
} TYPEKIND;

typedef enum tagSYSKIND { SYS_WIN16 = 0, SYS_WIN32, SYS_MAC, SYS_WIN64 } SYSKIND;
typedef enum tagFUNCKIND {
  FUNC_VIRTUAL = 0,
  FUNC_PUREVIRTUAL,
  FUNC_NONVIRTUAL,
  FUNC_STATIC,
  FUNC_DISPATCH
} FUNCKIND;
typedef enum tagINVOKEKIND {
  INVOKE_FUNC = 1,
  INVOKE_PROPERTYGET = 2,
  INVOKE_PROPERTYPUT = 4,
  INVOKE_PROPERTYPUTREF = 8
} INVOKEKIND;
typedef enum tagCALLCONV {
  CC_FASTCALL = 0,
  CC_CDECL = 1,
  CC_MSCPASCAL,
  CC_PASCAL = CC_MSCPASCAL,
  CC_MACPASCAL,
  CC_STDCALL,
  CC_FPFASTCALL,
  CC_SYSCALL,
  CC_MPWCDECL,
  CC_MPWPASCAL,
  CC_MAX
} CALLCONV;
typedef enum tagVARKIND { VAR_PERINSTANCE = 0, VAR_STATIC, VAR_CONST, VAR_DISPATCH } VARKIND;
typedef enum tagDESCKIND {
  DESCKIND_NONE = 0,
  DESCKIND_FUNCDESC,
  DESCKIND_VARDESC,
  DESCKIND_TYPECOMP,
  DESCKIND_IMPLICITAPPOBJ,
  DESCKIND_MAX
} DESCKIND;
typedef enum tagREGKIND { REGKIND_DEFAULT = 0, REGKIND_REGISTER, REGKIND_NONE } REGKIND;

enum {
  TYPEFLAG_FAPPOBJECT = 0x1,
  TYPEFLAG_FCANCREATE = 0x2,
  TYPEFLAG_FLICENSED = 0x4,
  TYPEFLAG_FPREDECLID = 0x8,
  TYPEFLAG_FHIDDEN = 0x10,
  TYPEFLAG_FCONTROL = 0x20,
  TYPEFLAG_FDUAL = 0x40,
  TYPEFLAG_FNONEXTENSIBLE = 0x80,
  TYPEFLAG_FOLEAUTOMATION = 0x100,
  TYPEFLAG_FRESTRICTED = 0x200,
  TYPEFLAG_FAGGREGATABLE = 0x400,
  TYPEFLAG_FREPLACEABLE = 0x800,
  TYPEFLAG_FDISPATCHABLE = 0x1000,
  TYPEFLAG_FREVERSEBIND = 0x2000,
  TYPEFLAG_FPROXY = 0x4000
};
enum {
  FUNCFLAG_FRESTRICTED = 0x1,
  FUNCFLAG_FSOURCE = 0x2,
  FUNCFLAG_FBINDABLE = 0x4,
  FUNCFLAG_FREQUESTEDIT = 0x8,
  FUNCFLAG_FDISPLAYBIND = 0x10,
  FUNCFLAG_FDEFAULTBIND = 0x20,
  FUNCFLAG_FHIDDEN = 0x40,
  FUNCFLAG_FUSESGETLASTERROR = 0x80,
  FUNCFLAG_FDEFAULTCOLLELEM = 0x100,
  FUNCFLAG_FUIDEFAULT = 0x200,
  FUNCFLAG_FNONBROWSABLE = 0x400,
  FUNCFLAG_FREPLACEABLE = 0x800,
  FUNCFLAG_FIMMEDIATEBIND = 0x1000
};
#define IMPLTYPEFLAG_FDEFAULT 0x1
#define IMPLTYPEFLAG_FSOURCE 0x2
#define IMPLTYPEFLAG_FRESTRICTED 0x4
#define IMPLTYPEFLAG_FDEFAULTVTABLE 0x8
#define LIBFLAG_FRESTRICTED 0x1
#define LIBFLAG_FCONTROL 0x2
#define LIBFLAG_FHIDDEN 0x4
#define LIBFLAG_FHASDISKIMAGE 0x8
#define PARAMFLAG_NONE 0x00
#define PARAMFLAG_FIN 0x01
#define PARAMFLAG_FOUT 0x02
#define PARAMFLAG_FLCID 0x04
#define PARAMFLAG_FRETVAL 0x08
#define PARAMFLAG_FOPT 0x10
#define PARAMFLAG_FHASDEFAULT 0x20
#define PARAMFLAG_FHASCUSTDATA 0x40
#define IDLFLAG_NONE PARAMFLAG_NONE
#define IDLFLAG_FIN PARAMFLAG_FIN
#define IDLFLAG_FOUT PARAMFLAG_FOUT
#define IDLFLAG_FLCID PARAMFLAG_FLCID
#define IDLFLAG_FRETVAL PARAMFLAG_FRETVAL

typedef struct tagARRAYDESC ARRAYDESC;
typedef struct tagTYPEDESC {
  union {
    struct tagTYPEDESC *lptdesc;
    ARRAYDESC *lpadesc;
    HREFTYPE hreftype;
  };
  VARTYPE vt;
} TYPEDESC;
struct tagARRAYDESC {
  TYPEDESC tdescElem;
  USHORT cDims;
  SAFEARRAYBOUND rgbounds[1];
};

typedef struct tagPARAMDESCEX {
  ULONG cBytes;
  VARIANTARG varDefaultValue;
} PARAMDESCEX, *LPPARAMDESCEX;

typedef struct tagPARAMDESC {
  LPPARAMDESCEX pparamdescex;
  USHORT wParamFlags;
} PARAMDESC, *LPPARAMDESC;

typedef struct tagIDLDESC {
  ULONG_PTR dwReserved;
  USHORT wIDLFlags;
} IDLDESC, *LPIDLDESC;

typedef struct tagELEMDESC {
  TYPEDESC tdesc;
  union {
    IDLDESC idldesc;
    PARAMDESC paramdesc;
  };
} ELEMDESC, *LPELEMDESC;

typedef struct tagTYPEATTR {
  GUID guid;
  LCID lcid;
  DWORD dwReserved;
  MEMBERID memidConstructor;
  MEMBERID memidDestructor;
  LPOLESTR lpstrSchema;
  ULONG cbSizeInstance;
  TYPEKIND typekind;
  WORD cFuncs;
  WORD cVars;
  WORD cImplTypes;
  WORD cbSizeVft;
  WORD cbAlignment;
  WORD wTypeFlags;
  WORD wMajorVerNum;
  WORD wMinorVerNum;
  TYPEDESC tdescAlias;
  IDLDESC idldescType;
} TYPEATTR, *LPTYPEATTR;

typedef struct tagFUNCDESC {
  MEMBERID memid;
  SCODE *lprgscode;
  ELEMDESC *lprgelemdescParam;
  FUNCKIND funckind;
  INVOKEKIND invkind;
  CALLCONV callconv;
  SHORT cParams;
  SHORT cParamsOpt;
  SHORT oVft;
  SHORT cScodes;
  ELEMDESC elemdescFunc;
  WORD wFuncFlags;
} FUNCDESC, *LPFUNCDESC;

typedef struct tagVARDESC {
  MEMBERID memid;
  LPOLESTR lpstrSchema;
  union {
    ULONG oInst;
    VARIANT *lpvarValue;
  };
  ELEMDESC elemdescVar;
  WORD wVarFlags;
  VARKIND varkind;
} VARDESC, *LPVARDESC;

typedef struct tagTLIBATTR {
  GUID guid;
  LCID lcid;
  SYSKIND syskind;
  WORD wMajorVerNum;
  WORD wMinorVerNum;
  WORD wLibFlags;
} TLIBATTR, *LPTLIBATTR;

typedef union tagBINDPTR {
  FUNCDESC *lpfuncdesc;
  VARDESC *lpvardesc;
  ITypeComp *lptcomp;
} BINDPTR, *LPBINDPTR;

static_assert(sizeof(VARIANT) == 24, "VARIANT is 24 bytes on x64");
static_assert(sizeof(DISPPARAMS) == 24 && sizeof(EXCEPINFO) == 64, "DISPPARAMS and EXCEPINFO x64 layouts");
static_assert(sizeof(TYPEDESC) == 16 && sizeof(ELEMDESC) == 32 && sizeof(PARAMDESCEX) == 32,
              "TYPEDESC, ELEMDESC and PARAMDESCEX x64 layouts");
static_assert(sizeof(TYPEATTR) == 96 && sizeof(FUNCDESC) == 88 && sizeof(VARDESC) == 64 && sizeof(TLIBATTR) == 32,
              "type-information structures have their x64 layouts");
static_assert(offsetof(FUNCDESC, elemdescFunc) == 48 && offsetof(TYPEATTR, tdescAlias) == 64,
              "type-information field offsets");

EXTERN_C DECLSPEC_IMPORT const IID IID_IDispatch;
EXTERN_C DECLSPEC_IMPORT const IID IID_ITypeInfo;
EXTERN_C DECLSPEC_IMPORT const IID IID_ITypeLib;
EXTERN_C DECLSPEC_IMPORT const IID IID_ITypeComp;
EXTERN_C DECLSPEC_IMPORT const IID IID_IEnumVARIANT;
EXTERN_C DECLSPEC_IMPORT const IID IID_IErrorInfo;
EXTERN_C DECLSPEC_IMPORT const IID IID_ICreateErrorInfo;
EXTERN_C DECLSPEC_IMPORT const IID IID_ISupportErrorInfo;
EXTERN_C DECLSPEC_IMPORT const IID IID_IRecordInfo;

#if defined(__cplusplus) && !defined(CINTERFACE)
struct IDispatch : public IUnknown {
  STDMETHOD(GetTypeInfoCount)(UINT *pctinfo) = 0;
  STDMETHOD(GetTypeInfo)(UINT iTInfo, LCID lcid, ITypeInfo **ppTInfo) = 0;
  STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR *rgszNames, UINT cNames, LCID lcid, DISPID *rgDispId) = 0;
  STDMETHOD(Invoke)(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS *pDispParams,
                    VARIANT *pVarResult, EXCEPINFO *pExcepInfo, UINT *puArgErr) = 0;
};

struct IEnumVARIANT : public IUnknown {
  STDMETHOD(Next)(ULONG celt, VARIANT *rgVar, ULONG *pCeltFetched) = 0;
  STDMETHOD(Skip)(ULONG celt) = 0;
  STDMETHOD(Reset)() = 0;
  STDMETHOD(Clone)(IEnumVARIANT **ppEnum) = 0;
};

struct ITypeComp : public IUnknown {
  STDMETHOD(Bind)(LPOLESTR szName, ULONG lHashVal, WORD wFlags, ITypeInfo **ppTInfo, DESCKIND *pDescKind,
                  BINDPTR *pBindPtr) = 0;
  STDMETHOD(BindType)(LPOLESTR szName, ULONG lHashVal, ITypeInfo **ppTInfo, ITypeComp **ppTComp) = 0;
};

struct ITypeInfo : public IUnknown {
  STDMETHOD(GetTypeAttr)(TYPEATTR **ppTypeAttr) = 0;
  STDMETHOD(GetTypeComp)(ITypeComp **ppTComp) = 0;
  STDMETHOD(GetFuncDesc)(UINT index, FUNCDESC **ppFuncDesc) = 0;
  STDMETHOD(GetVarDesc)(UINT index, VARDESC **ppVarDesc) = 0;
  STDMETHOD(GetNames)(MEMBERID memid, BSTR *rgBstrNames, UINT cMaxNames, UINT *pcNames) = 0;
  STDMETHOD(GetRefTypeOfImplType)(UINT index, HREFTYPE *pRefType) = 0;
  STDMETHOD(GetImplTypeFlags)(UINT index, INT *pImplTypeFlags) = 0;
  STDMETHOD(GetIDsOfNames)(LPOLESTR *rgszNames, UINT cNames, MEMBERID *pMemId) = 0;
  STDMETHOD(Invoke)(PVOID pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS *pDispParams, VARIANT *pVarResult,
                    EXCEPINFO *pExcepInfo, UINT *puArgErr) = 0;
  STDMETHOD(GetDocumentation)(MEMBERID memid, BSTR *pBstrName, BSTR *pBstrDocString, DWORD *pdwHelpContext,
                              BSTR *pBstrHelpFile) = 0;
  STDMETHOD(GetDllEntry)(MEMBERID memid, INVOKEKIND invKind, BSTR *pBstrDllName, BSTR *pBstrName,
                         WORD *pwOrdinal) = 0;
  STDMETHOD(GetRefTypeInfo)(HREFTYPE hRefType, ITypeInfo **ppTInfo) = 0;
  STDMETHOD(AddressOfMember)(MEMBERID memid, INVOKEKIND invKind, PVOID *ppv) = 0;
  STDMETHOD(CreateInstance)(IUnknown *pUnkOuter, REFIID riid, PVOID *ppvObj) = 0;
  STDMETHOD(GetMops)(MEMBERID memid, BSTR *pBstrMops) = 0;
  STDMETHOD(GetContainingTypeLib)(ITypeLib **ppTLib, UINT *pIndex) = 0;
  STDMETHOD_(void, ReleaseTypeAttr)(TYPEATTR *pTypeAttr) = 0;
  STDMETHOD_(void, ReleaseFuncDesc)(FUNCDESC *pFuncDesc) = 0;
  STDMETHOD_(void, ReleaseVarDesc)(VARDESC *pVarDesc) = 0;
};

struct ITypeLib : public IUnknown {
  STDMETHOD_(UINT, GetTypeInfoCount)() = 0;
  STDMETHOD(GetTypeInfo)(UINT index, ITypeInfo **ppTInfo) = 0;
  STDMETHOD(GetTypeInfoType)(UINT index, TYPEKIND *pTKind) = 0;
  STDMETHOD(GetTypeInfoOfGuid)(REFGUID guid, ITypeInfo **ppTinfo) = 0;
  STDMETHOD(GetLibAttr)(TLIBATTR **ppTLibAttr) = 0;
  STDMETHOD(GetTypeComp)(ITypeComp **ppTComp) = 0;
  STDMETHOD(GetDocumentation)(INT index, BSTR *pBstrName, BSTR *pBstrDocString, DWORD *pdwHelpContext,
                              BSTR *pBstrHelpFile) = 0;
  STDMETHOD(IsName)(LPOLESTR szNameBuf, ULONG lHashVal, BOOL *pfName) = 0;
  STDMETHOD(FindName)(LPOLESTR szNameBuf, ULONG lHashVal, ITypeInfo **ppTInfo, MEMBERID *rgMemId,
                      USHORT *pcFound) = 0;
  STDMETHOD_(void, ReleaseTLibAttr)(TLIBATTR *pTLibAttr) = 0;
};

struct IErrorInfo : public IUnknown {
  STDMETHOD(GetGUID)(GUID *pGUID) = 0;
  STDMETHOD(GetSource)(BSTR *pBstrSource) = 0;
  STDMETHOD(GetDescription)(BSTR *pBstrDescription) = 0;
  STDMETHOD(GetHelpFile)(BSTR *pBstrHelpFile) = 0;
  STDMETHOD(GetHelpContext)(DWORD *pdwHelpContext) = 0;
};

struct ICreateErrorInfo : public IUnknown {
  STDMETHOD(SetGUID)(REFGUID rguid) = 0;
  STDMETHOD(SetSource)(LPOLESTR szSource) = 0;
  STDMETHOD(SetDescription)(LPOLESTR szDescription) = 0;
  STDMETHOD(SetHelpFile)(LPOLESTR szHelpFile) = 0;
  STDMETHOD(SetHelpContext)(DWORD dwHelpContext) = 0;
};

struct ISupportErrorInfo : public IUnknown {
  STDMETHOD(InterfaceSupportsErrorInfo)(REFIID riid) = 0;
};
#else
typedef struct IDispatchVtbl {
  BEGIN_INTERFACE
  HRESULT(STDMETHODCALLTYPE *QueryInterface)(IDispatch *This, REFIID riid, void **ppvObject);
  ULONG(STDMETHODCALLTYPE *AddRef)(IDispatch *This);
  ULONG(STDMETHODCALLTYPE *Release)(IDispatch *This);
  HRESULT(STDMETHODCALLTYPE *GetTypeInfoCount)(IDispatch *This, UINT *pctinfo);
  HRESULT(STDMETHODCALLTYPE *GetTypeInfo)(IDispatch *This, UINT iTInfo, LCID lcid, ITypeInfo **ppTInfo);
  HRESULT(STDMETHODCALLTYPE *GetIDsOfNames)(IDispatch *This, REFIID riid, LPOLESTR *rgszNames, UINT cNames, LCID lcid,
                                            DISPID *rgDispId);
  HRESULT(STDMETHODCALLTYPE *Invoke)(IDispatch *This, DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                     DISPPARAMS *pDispParams, VARIANT *pVarResult, EXCEPINFO *pExcepInfo,
                                     UINT *puArgErr);
  END_INTERFACE
} IDispatchVtbl;
interface IDispatch {
  CONST_VTBL struct IDispatchVtbl *lpVtbl;
};
#ifdef COBJMACROS
#define IDispatch_QueryInterface(This, riid, ppvObject) (This)->lpVtbl->QueryInterface(This, riid, ppvObject)
#define IDispatch_AddRef(This) (This)->lpVtbl->AddRef(This)
#define IDispatch_Release(This) (This)->lpVtbl->Release(This)
#define IDispatch_GetTypeInfoCount(This, pctinfo) (This)->lpVtbl->GetTypeInfoCount(This, pctinfo)
#define IDispatch_GetTypeInfo(This, iTInfo, lcid, ppTInfo) (This)->lpVtbl->GetTypeInfo(This, iTInfo, lcid, ppTInfo)
#define IDispatch_GetIDsOfNames(This, riid, rgszNames, cNames, lcid, rgDispId) \
  (This)->lpVtbl->GetIDsOfNames(This, riid, rgszNames, cNames, lcid, rgDispId)
#define IDispatch_Invoke(This, dispIdMember, riid, lcid, wFlags, pDispParams, pVarResult, pExcepInfo, puArgErr) \
  (This)->lpVtbl->Invoke(This, dispIdMember, riid, lcid, wFlags, pDispParams, pVarResult, pExcepInfo, puArgErr)
#endif

typedef struct IEnumVARIANTVtbl {
  BEGIN_INTERFACE
  HRESULT(STDMETHODCALLTYPE *QueryInterface)(IEnumVARIANT *This, REFIID riid, void **ppvObject);
  ULONG(STDMETHODCALLTYPE *AddRef)(IEnumVARIANT *This);
  ULONG(STDMETHODCALLTYPE *Release)(IEnumVARIANT *This);
  HRESULT(STDMETHODCALLTYPE *Next)(IEnumVARIANT *This, ULONG celt, VARIANT *rgVar, ULONG *pCeltFetched);
  HRESULT(STDMETHODCALLTYPE *Skip)(IEnumVARIANT *This, ULONG celt);
  HRESULT(STDMETHODCALLTYPE *Reset)(IEnumVARIANT *This);
  HRESULT(STDMETHODCALLTYPE *Clone)(IEnumVARIANT *This, IEnumVARIANT **ppEnum);
  END_INTERFACE
} IEnumVARIANTVtbl;
interface IEnumVARIANT {
  CONST_VTBL struct IEnumVARIANTVtbl *lpVtbl;
};
#ifdef COBJMACROS
#define IEnumVARIANT_QueryInterface(This, riid, ppvObject) (This)->lpVtbl->QueryInterface(This, riid, ppvObject)
#define IEnumVARIANT_AddRef(This) (This)->lpVtbl->AddRef(This)
#define IEnumVARIANT_Release(This) (This)->lpVtbl->Release(This)
#define IEnumVARIANT_Next(This, celt, rgVar, pCeltFetched) (This)->lpVtbl->Next(This, celt, rgVar, pCeltFetched)
#define IEnumVARIANT_Skip(This, celt) (This)->lpVtbl->Skip(This, celt)
#define IEnumVARIANT_Reset(This) (This)->lpVtbl->Reset(This)
#define IEnumVARIANT_Clone(This, ppEnum) (This)->lpVtbl->Clone(This, ppEnum)
#endif

typedef struct ITypeCompVtbl {
  BEGIN_INTERFACE
  HRESULT(STDMETHODCALLTYPE *QueryInterface)(ITypeComp *This, REFIID riid, void **ppvObject);
  ULONG(STDMETHODCALLTYPE *AddRef)(ITypeComp *This);
  ULONG(STDMETHODCALLTYPE *Release)(ITypeComp *This);
  HRESULT(STDMETHODCALLTYPE *Bind)(ITypeComp *This, LPOLESTR szName, ULONG lHashVal, WORD wFlags, ITypeInfo **ppTInfo,
                                   DESCKIND *pDescKind, BINDPTR *pBindPtr);
  HRESULT(STDMETHODCALLTYPE *BindType)(ITypeComp *This, LPOLESTR szName, ULONG lHashVal, ITypeInfo **ppTInfo,
                                       ITypeComp **ppTComp);
  END_INTERFACE
} ITypeCompVtbl;
interface ITypeComp {
  CONST_VTBL struct ITypeCompVtbl *lpVtbl;
};
#ifdef COBJMACROS
#define ITypeComp_QueryInterface(This, riid, ppvObject) (This)->lpVtbl->QueryInterface(This, riid, ppvObject)
#define ITypeComp_AddRef(This) (This)->lpVtbl->AddRef(This)
#define ITypeComp_Release(This) (This)->lpVtbl->Release(This)
#define ITypeComp_Bind(This, szName, lHashVal, wFlags, ppTInfo, pDescKind, pBindPtr) \
  (This)->lpVtbl->Bind(This, szName, lHashVal, wFlags, ppTInfo, pDescKind, pBindPtr)
#define ITypeComp_BindType(This, szName, lHashVal, ppTInfo, ppTComp) \
  (This)->lpVtbl->BindType(This, szName, lHashVal, ppTInfo, ppTComp)
#endif

typedef struct ITypeInfoVtbl {
  BEGIN_INTERFACE
  HRESULT(STDMETHODCALLTYPE *QueryInterface)(ITypeInfo *This, REFIID riid, void **ppvObject);
  ULONG(STDMETHODCALLTYPE *AddRef)(ITypeInfo *This);
  ULONG(STDMETHODCALLTYPE *Release)(ITypeInfo *This);
  HRESULT(STDMETHODCALLTYPE *GetTypeAttr)(ITypeInfo *This, TYPEATTR **ppTypeAttr);
  HRESULT(STDMETHODCALLTYPE *GetTypeComp)(ITypeInfo *This, ITypeComp **ppTComp);
  HRESULT(STDMETHODCALLTYPE *GetFuncDesc)(ITypeInfo *This, UINT index, FUNCDESC **ppFuncDesc);
  HRESULT(STDMETHODCALLTYPE *GetVarDesc)(ITypeInfo *This, UINT index, VARDESC **ppVarDesc);
  HRESULT(STDMETHODCALLTYPE *GetNames)(ITypeInfo *This, MEMBERID memid, BSTR *rgBstrNames, UINT cMaxNames,
                                       UINT *pcNames);
  HRESULT(STDMETHODCALLTYPE *GetRefTypeOfImplType)(ITypeInfo *This, UINT index, HREFTYPE *pRefType);
  HRESULT(STDMETHODCALLTYPE *GetImplTypeFlags)(ITypeInfo *This, UINT index, INT *pImplTypeFlags);
  HRESULT(STDMETHODCALLTYPE *GetIDsOfNames)(ITypeInfo *This, LPOLESTR *rgszNames, UINT cNames, MEMBERID *pMemId);
  HRESULT(STDMETHODCALLTYPE *Invoke)(ITypeInfo *This, PVOID pvInstance, MEMBERID memid, WORD wFlags,
                                     DISPPARAMS *pDispParams, VARIANT *pVarResult, EXCEPINFO *pExcepInfo,
                                     UINT *puArgErr);
  HRESULT(STDMETHODCALLTYPE *GetDocumentation)(ITypeInfo *This, MEMBERID memid, BSTR *pBstrName, BSTR *pBstrDocString,
                                               DWORD *pdwHelpContext, BSTR *pBstrHelpFile);
  HRESULT(STDMETHODCALLTYPE *GetDllEntry)(ITypeInfo *This, MEMBERID memid, INVOKEKIND invKind, BSTR *pBstrDllName,
                                          BSTR *pBstrName, WORD *pwOrdinal);
  HRESULT(STDMETHODCALLTYPE *GetRefTypeInfo)(ITypeInfo *This, HREFTYPE hRefType, ITypeInfo **ppTInfo);
  HRESULT(STDMETHODCALLTYPE *AddressOfMember)(ITypeInfo *This, MEMBERID memid, INVOKEKIND invKind, PVOID *ppv);
  HRESULT(STDMETHODCALLTYPE *CreateInstance)(ITypeInfo *This, IUnknown *pUnkOuter, REFIID riid, PVOID *ppvObj);
  HRESULT(STDMETHODCALLTYPE *GetMops)(ITypeInfo *This, MEMBERID memid, BSTR *pBstrMops);
  HRESULT(STDMETHODCALLTYPE *GetContainingTypeLib)(ITypeInfo *This, ITypeLib **ppTLib, UINT *pIndex);
  void(STDMETHODCALLTYPE *ReleaseTypeAttr)(ITypeInfo *This, TYPEATTR *pTypeAttr);
  void(STDMETHODCALLTYPE *ReleaseFuncDesc)(ITypeInfo *This, FUNCDESC *pFuncDesc);
  void(STDMETHODCALLTYPE *ReleaseVarDesc)(ITypeInfo *This, VARDESC *pVarDesc);
  END_INTERFACE
} ITypeInfoVtbl;
interface ITypeInfo {
  CONST_VTBL struct ITypeInfoVtbl *lpVtbl;
};
#ifdef COBJMACROS
#define ITypeInfo_QueryInterface(This, riid, ppvObject) (This)->lpVtbl->QueryInterface(This, riid, ppvObject)
#define ITypeInfo_AddRef(This) (This)->lpVtbl->AddRef(This)
#define ITypeInfo_Release(This) (This)->lpVtbl->Release(This)
#define ITypeInfo_GetTypeAttr(This, ppTypeAttr) (This)->lpVtbl->GetTypeAttr(This, ppTypeAttr)
#define ITypeInfo_GetTypeComp(This, ppTComp) (This)->lpVtbl->GetTypeComp(This, ppTComp)
#define ITypeInfo_GetFuncDesc(This, index, ppFuncDesc) (This)->lpVtbl->GetFuncDesc(This, index, ppFuncDesc)
#define ITypeInfo_GetVarDesc(This, index, ppVarDesc) (This)->lpVtbl->GetVarDesc(This, index, ppVarDesc)
#define ITypeInfo_GetNames(This, memid, rgBstrNames, cMaxNames, pcNames) \
  (This)->lpVtbl->GetNames(This, memid, rgBstrNames, cMaxNames, pcNames)
#define ITypeInfo_GetRefTypeOfImplType(This, index, pRefType) \
  (This)->lpVtbl->GetRefTypeOfImplType(This, index, pRefType)
#define ITypeInfo_GetImplTypeFlags(This, index, pImplTypeFlags) \
  (This)->lpVtbl->GetImplTypeFlags(This, index, pImplTypeFlags)
#define ITypeInfo_GetIDsOfNames(This, rgszNames, cNames, pMemId) \
  (This)->lpVtbl->GetIDsOfNames(This, rgszNames, cNames, pMemId)
#define ITypeInfo_Invoke(This, pvInstance, memid, wFlags, pDispParams, pVarResult, pExcepInfo, puArgErr) \
  (This)->lpVtbl->Invoke(This, pvInstance, memid, wFlags, pDispParams, pVarResult, pExcepInfo, puArgErr)
#define ITypeInfo_GetDocumentation(This, memid, pBstrName, pBstrDocString, pdwHelpContext, pBstrHelpFile) \
  (This)->lpVtbl->GetDocumentation(This, memid, pBstrName, pBstrDocString, pdwHelpContext, pBstrHelpFile)
#define ITypeInfo_GetDllEntry(This, memid, invKind, pBstrDllName, pBstrName, pwOrdinal) \
  (This)->lpVtbl->GetDllEntry(This, memid, invKind, pBstrDllName, pBstrName, pwOrdinal)
#define ITypeInfo_GetRefTypeInfo(This, hRefType, ppTInfo) (This)->lpVtbl->GetRefTypeInfo(This, hRefType, ppTInfo)
#define ITypeInfo_AddressOfMember(This, memid, invKind, ppv) (This)->lpVtbl->AddressOfMember(This, memid, invKind, ppv)
#define ITypeInfo_CreateInstance(This, pUnkOuter, riid, ppvObj) \
  (This)->lpVtbl->CreateInstance(This, pUnkOuter, riid, ppvObj)
#define ITypeInfo_GetMops(This, memid, pBstrMops) (This)->lpVtbl->GetMops(This, memid, pBstrMops)
#define ITypeInfo_GetContainingTypeLib(This, ppTLib, pIndex) (This)->lpVtbl->GetContainingTypeLib(This, ppTLib, pIndex)
#define ITypeInfo_ReleaseTypeAttr(This, pTypeAttr) (This)->lpVtbl->ReleaseTypeAttr(This, pTypeAttr)
#define ITypeInfo_ReleaseFuncDesc(This, pFuncDesc) (This)->lpVtbl->ReleaseFuncDesc(This, pFuncDesc)
#define ITypeInfo_ReleaseVarDesc(This, pVarDesc) (This)->lpVtbl->ReleaseVarDesc(This, pVarDesc)
#endif

typedef struct ITypeLibVtbl {
  BEGIN_INTERFACE
  HRESULT(STDMETHODCALLTYPE *QueryInterface)(ITypeLib *This, REFIID riid, void **ppvObject);
  ULONG(STDMETHODCALLTYPE *AddRef)(ITypeLib *This);
  ULONG(STDMETHODCALLTYPE *Release)(ITypeLib *This);
  UINT(STDMETHODCALLTYPE *GetTypeInfoCount)(ITypeLib *This);
  HRESULT(STDMETHODCALLTYPE *GetTypeInfo)(ITypeLib *This, UINT index, ITypeInfo **ppTInfo);
  HRESULT(STDMETHODCALLTYPE *GetTypeInfoType)(ITypeLib *This, UINT index, TYPEKIND *pTKind);
  HRESULT(STDMETHODCALLTYPE *GetTypeInfoOfGuid)(ITypeLib *This, REFGUID guid, ITypeInfo **ppTinfo);
  HRESULT(STDMETHODCALLTYPE *GetLibAttr)(ITypeLib *This, TLIBATTR **ppTLibAttr);
  HRESULT(STDMETHODCALLTYPE *GetTypeComp)(ITypeLib *This, ITypeComp **ppTComp);
  HRESULT(STDMETHODCALLTYPE *GetDocumentation)(ITypeLib *This, INT index, BSTR *pBstrName, BSTR *pBstrDocString,
                                               DWORD *pdwHelpContext, BSTR *pBstrHelpFile);
  HRESULT(STDMETHODCALLTYPE *IsName)(ITypeLib *This, LPOLESTR szNameBuf, ULONG lHashVal, BOOL *pfName);
  HRESULT(STDMETHODCALLTYPE *FindName)(ITypeLib *This, LPOLESTR szNameBuf, ULONG lHashVal, ITypeInfo **ppTInfo,
                                       MEMBERID *rgMemId, USHORT *pcFound);
  void(STDMETHODCALLTYPE *ReleaseTLibAttr)(ITypeLib *This, TLIBATTR *pTLibAttr);
  END_INTERFACE
} ITypeLibVtbl;
interface ITypeLib {
  CONST_VTBL struct ITypeLibVtbl *lpVtbl;
};
#ifdef COBJMACROS
#define ITypeLib_QueryInterface(This, riid, ppvObject) (This)->lpVtbl->QueryInterface(This, riid, ppvObject)
#define ITypeLib_AddRef(This) (This)->lpVtbl->AddRef(This)
#define ITypeLib_Release(This) (This)->lpVtbl->Release(This)
#define ITypeLib_GetTypeInfoCount(This) (This)->lpVtbl->GetTypeInfoCount(This)
#define ITypeLib_GetTypeInfo(This, index, ppTInfo) (This)->lpVtbl->GetTypeInfo(This, index, ppTInfo)
#define ITypeLib_GetTypeInfoType(This, index, pTKind) (This)->lpVtbl->GetTypeInfoType(This, index, pTKind)
#define ITypeLib_GetTypeInfoOfGuid(This, guid, ppTinfo) (This)->lpVtbl->GetTypeInfoOfGuid(This, guid, ppTinfo)
#define ITypeLib_GetLibAttr(This, ppTLibAttr) (This)->lpVtbl->GetLibAttr(This, ppTLibAttr)
#define ITypeLib_GetTypeComp(This, ppTComp) (This)->lpVtbl->GetTypeComp(This, ppTComp)
#define ITypeLib_GetDocumentation(This, index, pBstrName, pBstrDocString, pdwHelpContext, pBstrHelpFile) \
  (This)->lpVtbl->GetDocumentation(This, index, pBstrName, pBstrDocString, pdwHelpContext, pBstrHelpFile)
#define ITypeLib_IsName(This, szNameBuf, lHashVal, pfName) (This)->lpVtbl->IsName(This, szNameBuf, lHashVal, pfName)
#define ITypeLib_FindName(This, szNameBuf, lHashVal, ppTInfo, rgMemId, pcFound) \
  (This)->lpVtbl->FindName(This, szNameBuf, lHashVal, ppTInfo, rgMemId, pcFound)
#define ITypeLib_ReleaseTLibAttr(This, pTLibAttr) (This)->lpVtbl->ReleaseTLibAttr(This, pTLibAttr)
#endif

typedef struct IErrorInfoVtbl {
  BEGIN_INTERFACE
  HRESULT(STDMETHODCALLTYPE *QueryInterface)(IErrorInfo *This, REFIID riid, void **ppvObject);
  ULONG(STDMETHODCALLTYPE *AddRef)(IErrorInfo *This);
  ULONG(STDMETHODCALLTYPE *Release)(IErrorInfo *This);
  HRESULT(STDMETHODCALLTYPE *GetGUID)(IErrorInfo *This, GUID *pGUID);
  HRESULT(STDMETHODCALLTYPE *GetSource)(IErrorInfo *This, BSTR *pBstrSource);
  HRESULT(STDMETHODCALLTYPE *GetDescription)(IErrorInfo *This, BSTR *pBstrDescription);
  HRESULT(STDMETHODCALLTYPE *GetHelpFile)(IErrorInfo *This, BSTR *pBstrHelpFile);
  HRESULT(STDMETHODCALLTYPE *GetHelpContext)(IErrorInfo *This, DWORD *pdwHelpContext);
  END_INTERFACE
} IErrorInfoVtbl;
interface IErrorInfo {
  CONST_VTBL struct IErrorInfoVtbl *lpVtbl;
};
#ifdef COBJMACROS
#define IErrorInfo_QueryInterface(This, riid, ppvObject) (This)->lpVtbl->QueryInterface(This, riid, ppvObject)
#define IErrorInfo_AddRef(This) (This)->lpVtbl->AddRef(This)
#define IErrorInfo_Release(This) (This)->lpVtbl->Release(This)
#define IErrorInfo_GetGUID(This, pGUID) (This)->lpVtbl->GetGUID(This, pGUID)
#define IErrorInfo_GetSource(This, pBstrSource) (This)->lpVtbl->GetSource(This, pBstrSource)
#define IErrorInfo_GetDescription(This, pBstrDescription) (This)->lpVtbl->GetDescription(This, pBstrDescription)
#define IErrorInfo_GetHelpFile(This, pBstrHelpFile) (This)->lpVtbl->GetHelpFile(This, pBstrHelpFile)
#define IErrorInfo_GetHelpContext(This, pdwHelpContext) (This)->lpVtbl->GetHelpContext(This, pdwHelpContext)
#endif

typedef struct ICreateErrorInfoVtbl {
  BEGIN_INTERFACE
  HRESULT(STDMETHODCALLTYPE *QueryInterface)(ICreateErrorInfo *This, REFIID riid, void **ppvObject);
  ULONG(STDMETHODCALLTYPE *AddRef)(ICreateErrorInfo *This);
  ULONG(STDMETHODCALLTYPE *Release)(ICreateErrorInfo *This);
  HRESULT(STDMETHODCALLTYPE *SetGUID)(ICreateErrorInfo *This, REFGUID rguid);
  HRESULT(STDMETHODCALLTYPE *SetSource)(ICreateErrorInfo *This, LPOLESTR szSource);
  HRESULT(STDMETHODCALLTYPE *SetDescription)(ICreateErrorInfo *This, LPOLESTR szDescription);
  HRESULT(STDMETHODCALLTYPE *SetHelpFile)(ICreateErrorInfo *This, LPOLESTR szHelpFile);
  HRESULT(STDMETHODCALLTYPE *SetHelpContext)(ICreateErrorInfo *This, DWORD dwHelpContext);
  END_INTERFACE
} ICreateErrorInfoVtbl;
interface ICreateErrorInfo {
  CONST_VTBL struct ICreateErrorInfoVtbl *lpVtbl;
};
#ifdef COBJMACROS
#define ICreateErrorInfo_QueryInterface(This, riid, ppvObject) (This)->lpVtbl->QueryInterface(This, riid, ppvObject)
#define ICreateErrorInfo_AddRef(This) (This)->lpVtbl->AddRef(This)
#define ICreateErrorInfo_Release(This) (This)->lpVtbl->Release(This)
#define ICreateErrorInfo_SetGUID(This, rguid) (This)->lpVtbl->SetGUID(This, rguid)
#define ICreateErrorInfo_SetSource(This, szSource) (This)->lpVtbl->SetSource(This, szSource)
#define ICreateErrorInfo_SetDescription(This, szDescription) (This)->lpVtbl->SetDescription(This, szDescription)
#define ICreateErrorInfo_SetHelpFile(This, szHelpFile) (This)->lpVtbl->SetHelpFile(This, szHelpFile)
#define ICreateErrorInfo_SetHelpContext(This, dwHelpContext) (This)->lpVtbl->SetHelpContext(This, dwHelpContext)
#endif

typedef struct ISupportErrorInfoVtbl {
  BEGIN_INTERFACE
  HRESULT(STDMETHODCALLTYPE *QueryInterface)(ISupportErrorInfo *This, REFIID riid, void **ppvObject);
  ULONG(STDMETHODCALLTYPE *AddRef)(ISupportErrorInfo *This);
  ULONG(STDMETHODCALLTYPE *Release)(ISupportErrorInfo *This);
  HRESULT(STDMETHODCALLTYPE *InterfaceSupportsErrorInfo)(ISupportErrorInfo *This, REFIID riid);
  END_INTERFACE
} ISupportErrorInfoVtbl;
interface ISupportErrorInfo {
  CONST_VTBL struct ISupportErrorInfoVtbl *lpVtbl;
};
#ifdef COBJMACROS
#define ISupportErrorInfo_QueryInterface(This, riid, ppvObject) (This)->lpVtbl->QueryInterface(This, riid, ppvObject)
#define ISupportErrorInfo_AddRef(This) (This)->lpVtbl->AddRef(This)
#define ISupportErrorInfo_Release(This) (This)->lpVtbl->Release(This)
#define ISupportErrorInfo_InterfaceSupportsErrorInfo(This, riid) (This)->lpVtbl->InterfaceSupportsErrorInfo(This, riid)
#endif
#endif
