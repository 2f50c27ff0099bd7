// Monikers, bind contexts, the running object table and runnable objects.
#pragma once

#include "unknwn.h"
#include "wtypes.h"

typedef interface IStream IStream;
typedef interface IEnumString IEnumString;
typedef interface IEnumUnknown IEnumUnknown;
typedef interface IEnumMoniker IEnumMoniker;
typedef interface IPersist IPersist;
typedef interface IPersistStream IPersistStream;
typedef interface IPersistFile IPersistFile;
typedef interface IMoniker IMoniker;
typedef interface IRunningObjectTable IRunningObjectTable;
typedef interface IBindCtx IBindCtx;
typedef interface IRunnableObject IRunnableObject;
typedef IMoniker *LPMONIKER;
typedef IRunningObjectTable *LPRUNNINGOBJECTTABLE;
typedef IBindCtx *LPBC;
typedef IBindCtx *LPBINDCTX;

EXTERN_C DECLSPEC_IMPORT const IID IID_IPersist;
EXTERN_C DECLSPEC_IMPORT const IID IID_IPersistStream;
EXTERN_C DECLSPEC_IMPORT const IID IID_IPersistFile;
EXTERN_C DECLSPEC_IMPORT const IID IID_IMoniker;
EXTERN_C DECLSPEC_IMPORT const IID IID_IBindCtx;
EXTERN_C DECLSPEC_IMPORT const IID IID_IRunningObjectTable;
EXTERN_C DECLSPEC_IMPORT const IID IID_IEnumMoniker;
EXTERN_C DECLSPEC_IMPORT const IID IID_IRunnableObject;
EXTERN_C DECLSPEC_IMPORT const IID IID_IStream;
EXTERN_C DECLSPEC_IMPORT const IID IID_IEnumUnknown;

#define ROTFLAGS_REGISTRATIONKEEPSALIVE 0x1
#define ROTFLAGS_ALLOWANYCLIENT 0x2
#define MKSYS_NONE 0
#define MKSYS_GENERICCOMPOSITE 1
#define MKSYS_FILEMONIKER 2
#define MKSYS_ANTIMONIKER 3
#define MKSYS_ITEMMONIKER 4
#define MKSYS_POINTERMONIKER 5
#define MKSYS_CLASSMONIKER 7

typedef struct tagBIND_OPTS {
  DWORD cbStruct;
  DWORD grfFlags;
  DWORD grfMode;
  DWORD dwTickCountDeadline;
} BIND_OPTS, *LPBIND_OPTS;

#if defined(__cplusplus) && !defined(CINTERFACE)
struct IEnumUnknown : public IUnknown {
  STDMETHOD(Next)(ULONG celt, IUnknown **rgelt, ULONG *pceltFetched) = 0;
  STDMETHOD(Skip)(ULONG celt) = 0;
  STDMETHOD(Reset)() = 0;
  STDMETHOD(Clone)(IEnumUnknown **ppenum) = 0;
};

struct IEnumMoniker : public IUnknown {
  STDMETHOD(Next)(ULONG celt, IMoniker **rgelt, ULONG *pceltFetched) = 0;
  STDMETHOD(Skip)(ULONG celt) = 0;
  STDMETHOD(Reset)() = 0;
  STDMETHOD(Clone)(IEnumMoniker **ppenum) = 0;
};

struct IPersist : public IUnknown {
  STDMETHOD(GetClassID)(CLSID *pClassID) = 0;
};

struct IPersistStream : public IPersist {
  STDMETHOD(IsDirty)() = 0;
  STDMETHOD(Load)(IStream *pStm) = 0;
  STDMETHOD(Save)(IStream *pStm, BOOL fClearDirty) = 0;
  STDMETHOD(GetSizeMax)(ULARGE_INTEGER *pcbSize) = 0;
};

struct IPersistFile : public IPersist {
  STDMETHOD(IsDirty)() = 0;
  STDMETHOD(Load)(LPCOLESTR pszFileName, DWORD dwMode) = 0;
  STDMETHOD(Save)(LPCOLESTR pszFileName, BOOL fRemember) = 0;
  STDMETHOD(SaveCompleted)(LPCOLESTR pszFileName) = 0;
  STDMETHOD(GetCurFile)(LPOLESTR *ppszFileName) = 0;
};

struct IMoniker : public IPersistStream {
  STDMETHOD(BindToObject)(IBindCtx *pbc, IMoniker *pmkToLeft, REFIID riidResult, void **ppvResult) = 0;
  STDMETHOD(BindToStorage)(IBindCtx *pbc, IMoniker *pmkToLeft, REFIID riid, void **ppvObj) = 0;
  STDMETHOD(Reduce)(IBindCtx *pbc, DWORD dwReduceHowFar, IMoniker **ppmkToLeft, IMoniker **ppmkReduced) = 0;
  STDMETHOD(ComposeWith)(IMoniker *pmkRight, BOOL fOnlyIfNotGeneric, IMoniker **ppmkComposite) = 0;
  STDMETHOD(Enum)(BOOL fForward, IEnumMoniker **ppenumMoniker) = 0;
  STDMETHOD(IsEqual)(IMoniker *pmkOtherMoniker) = 0;
  STDMETHOD(Hash)(DWORD *pdwHash) = 0;
  STDMETHOD(IsRunning)(IBindCtx *pbc, IMoniker *pmkToLeft, IMoniker *pmkNewlyRunning) = 0;
  STDMETHOD(GetTimeOfLastChange)(IBindCtx *pbc, IMoniker *pmkToLeft, FILETIME *pFileTime) = 0;
  STDMETHOD(Inverse)(IMoniker **ppmk) = 0;
  STDMETHOD(CommonPrefixWith)(IMoniker *pmkOther, IMoniker **ppmkPrefix) = 0;
  STDMETHOD(RelativePathTo)(IMoniker *pmkOther, IMoniker **ppmkRelPath) = 0;
  STDMETHOD(GetDisplayName)(IBindCtx *pbc, IMoniker *pmkToLeft, LPOLESTR *ppszDisplayName) = 0;
  STDMETHOD(ParseDisplayName)(IBindCtx *pbc, IMoniker *pmkToLeft, LPOLESTR pszDisplayName, ULONG *pchEaten,
                              IMoniker **ppmkOut) = 0;
  STDMETHOD(IsSystemMoniker)(DWORD *pdwMksys) = 0;
};

struct IRunningObjectTable : public IUnknown {
  STDMETHOD(Register)(DWORD grfFlags, IUnknown *punkObject, IMoniker *pmkObjectName, DWORD *pdwRegister) = 0;
  STDMETHOD(Revoke)(DWORD dwRegister) = 0;
  STDMETHOD(IsRunning)(IMoniker *pmkObjectName) = 0;
  STDMETHOD(GetObject)(IMoniker *pmkObjectName, IUnknown **ppunkObject) = 0;
  STDMETHOD(NoteChangeTime)(DWORD dwRegister, FILETIME *pfiletime) = 0;
  STDMETHOD(GetTimeOfLastChange)(IMoniker *pmkObjectName, FILETIME *pfiletime) = 0;
  STDMETHOD(EnumRunning)(IEnumMoniker **ppenumMoniker) = 0;
};

struct IBindCtx : public IUnknown {
  STDMETHOD(RegisterObjectBound)(IUnknown *punk) = 0;
  STDMETHOD(RevokeObjectBound)(IUnknown *punk) = 0;
  STDMETHOD(ReleaseBoundObjects)() = 0;
  STDMETHOD(SetBindOptions)(BIND_OPTS *pbindopts) = 0;
  STDMETHOD(GetBindOptions)(BIND_OPTS *pbindopts) = 0;
  STDMETHOD(GetRunningObjectTable)(IRunningObjectTable **pprot) = 0;
  STDMETHOD(RegisterObjectParam)(LPOLESTR pszKey, IUnknown *punk) = 0;
  STDMETHOD(GetObjectParam)(LPOLESTR pszKey, IUnknown **ppunk) = 0;
  STDMETHOD(EnumObjectParam)(IEnumString **ppenum) = 0;
  STDMETHOD(RevokeObjectParam)(LPOLESTR pszKey) = 0;
};

struct IRunnableObject : public IUnknown {
  STDMETHOD(GetRunningClass)(CLSID *lpClsid) = 0;
  STDMETHOD(Run)(IBindCtx *pbc) = 0;
  STDMETHOD_(BOOL, IsRunning)() = 0;
  STDMETHOD(LockRunning)(BOOL fLock, BOOL fLastUnlockCloses) = 0;
  STDMETHOD(SetContainedObject)(BOOL fContained) = 0;
};
#else
typedef struct IEnumUnknownVtbl {
  BEGIN_INTERFACE
  HRESULT(STDMETHODCALLTYPE *QueryInterface)(IEnumUnknown *This, REFIID riid, void **ppvObject);
  ULONG(STDMETHODCALLTYPE *AddRef)(IEnumUnknown *This);
  ULONG(STDMETHODCALLTYPE *Release)(IEnumUnknown *This);
  HRESULT(STDMETHODCALLTYPE *Next)(IEnumUnknown *This, ULONG celt, IUnknown **rgelt, ULONG *pceltFetched);
  HRESULT(STDMETHODCALLTYPE *Skip)(IEnumUnknown *This, ULONG celt);
  HRESULT(STDMETHODCALLTYPE *Reset)(IEnumUnknown *This);
  HRESULT(STDMETHODCALLTYPE *Clone)(IEnumUnknown *This, IEnumUnknown **ppenum);
  END_INTERFACE
} IEnumUnknownVtbl;
interface IEnumUnknown {
  CONST_VTBL struct IEnumUnknownVtbl *lpVtbl;
};
#ifdef COBJMACROS
#define IEnumUnknown_QueryInterface(This, riid, ppvObject) (This)->lpVtbl->QueryInterface(This, riid, ppvObject)
#define IEnumUnknown_AddRef(This) (This)->lpVtbl->AddRef(This)
#define IEnumUnknown_Release(This) (This)->lpVtbl->Release(This)
#define IEnumUnknown_Next(This, celt, rgelt, pceltFetched) (This)->lpVtbl->Next(This, celt, rgelt, pceltFetched)
#define IEnumUnknown_Skip(This, celt) (This)->lpVtbl->Skip(This, celt)
#define IEnumUnknown_Reset(This) (This)->lpVtbl->Reset(This)
#define IEnumUnknown_Clone(This, ppenum) (This)->lpVtbl->Clone(This, ppenum)
#endif

typedef struct IEnumMonikerVtbl {
  BEGIN_INTERFACE
  HRESULT(STDMETHODCALLTYPE *QueryInterface)(IEnumMoniker *This, REFIID riid, void **ppvObject);
  ULONG(STDMETHODCALLTYPE *AddRef)(IEnumMoniker *This);
  ULONG(STDMETHODCALLTYPE *Release)(IEnumMoniker *This);
  HRESULT(STDMETHODCALLTYPE *Next)(IEnumMoniker *This, ULONG celt, IMoniker **rgelt, ULONG *pceltFetched);
  HRESULT(STDMETHODCALLTYPE *Skip)(IEnumMoniker *This, ULONG celt);
  HRESULT(STDMETHODCALLTYPE *Reset)(IEnumMoniker *This);
  HRESULT(STDMETHODCALLTYPE *Clone)(IEnumMoniker *This, IEnumMoniker **ppenum);
  END_INTERFACE
} IEnumMonikerVtbl;
interface IEnumMoniker {
  CONST_VTBL struct IEnumMonikerVtbl *lpVtbl;
};
#ifdef COBJMACROS
#define IEnumMoniker_QueryInterface(This, riid, ppvObject) (This)->lpVtbl->QueryInterface(This, riid, ppvObject)
#define IEnumMoniker_AddRef(This) (This)->lpVtbl->AddRef(This)
#define IEnumMoniker_Release(This) (This)->lpVtbl->Release(This)
#define IEnumMoniker_Next(This, celt, rgelt, pceltFetched) (This)->lpVtbl->Next(This, celt, rgelt, pceltFetched)
#define IEnumMoniker_Skip(This, celt) (This)->lpVtbl->Skip(This, celt)
#define IEnumMoniker_Reset(This) (This)->lpVtbl->Reset(This)
#define IEnumMoniker_Clone(This, ppenum) (This)->lpVtbl->Clone(This, ppenum)
#endif

typedef struct IPersistVtbl {
  BEGIN_INTERFACE
  HRESULT(STDMETHODCALLTYPE *QueryInterface)(IPersist *This, REFIID riid, void **ppvObject);
  ULONG(STDMETHODCALLTYPE *AddRef)(IPersist *This);
  ULONG(STDMETHODCALLTYPE *Release)(IPersist *This);
  HRESULT(STDMETHODCALLTYPE *GetClassID)(IPersist *This, CLSID *pClassID);
  END_INTERFACE
} IPersistVtbl;
interface IPersist {
  CONST_VTBL struct IPersistVtbl *lpVtbl;
};
#ifdef COBJMACROS
#define IPersist_QueryInterface(This, riid, ppvObject) (This)->lpVtbl->QueryInterface(This, riid, ppvObject)
#define IPersist_AddRef(This) (This)->lpVtbl->AddRef(This)
#define IPersist_Release(This) (This)->lpVtbl->Release(This)
#define IPersist_GetClassID(This, pClassID) (This)->lpVtbl->GetClassID(This, pClassID)
#endif

typedef struct IPersistStreamVtbl {
  BEGIN_INTERFACE
  HRESULT(STDMETHODCALLTYPE *QueryInterface)(IPersistStream *This, REFIID riid, void **ppvObject);
  ULONG(STDMETHODCALLTYPE *AddRef)(IPersistStream *This);
  ULONG(STDMETHODCALLTYPE *Release)(IPersistStream *This);
  HRESULT(STDMETHODCALLTYPE *GetClassID)(IPersistStream *This, CLSID *pClassID);
  HRESULT(STDMETHODCALLTYPE *IsDirty)(IPersistStream *This);
  HRESULT(STDMETHODCALLTYPE *Load)(IPersistStream *This, IStream *pStm);
  HRESULT(STDMETHODCALLTYPE *Save)(IPersistStream *This, IStream *pStm, BOOL fClearDirty);
  HRESULT(STDMETHODCALLTYPE *GetSizeMax)(IPersistStream *This, ULARGE_INTEGER *pcbSize);
  END_INTERFACE
} IPersistStreamVtbl;
interface IPersistStream {
  CONST_VTBL struct IPersistStreamVtbl *lpVtbl;
};
#ifdef COBJMACROS
#define IPersistStream_QueryInterface(This, riid, ppvObject) (This)->lpVtbl->QueryInterface(This, riid, ppvObject)
#define IPersistStream_AddRef(This) (This)->lpVtbl->AddRef(This)
#define IPersistStream_Release(This) (This)->lpVtbl->Release(This)
#define IPersistStream_GetClassID(This, pClassID) (This)->lpVtbl->GetClassID(This, pClassID)
#define IPersistStream_IsDirty(This) (This)->lpVtbl->IsDirty(This)
#define IPersistStream_Load(This, pStm) (This)->lpVtbl->Load(This, pStm)
#define IPersistStream_Save(This, pStm, fClearDirty) (This)->lpVtbl->Save(This, pStm, fClearDirty)
#define IPersistStream_GetSizeMax(This, pcbSize) (This)->lpVtbl->GetSizeMax(This, pcbSize)
#endif

typedef struct IPersistFileVtbl {
  BEGIN_INTERFACE
  HRESULT(STDMETHODCALLTYPE *QueryInterface)(IPersistFile *This, REFIID riid, void **ppvObject);
  ULONG(STDMETHODCALLTYPE *AddRef)(IPersistFile *This);
  ULONG(STDMETHODCALLTYPE *Release)(IPersistFile *This);
  HRESULT(STDMETHODCALLTYPE *GetClassID)(IPersistFile *This, CLSID *pClassID);
  HRESULT(STDMETHODCALLTYPE *IsDirty)(IPersistFile *This);
  HRESULT(STDMETHODCALLTYPE *Load)(IPersistFile *This, LPCOLESTR pszFileName, DWORD dwMode);
  HRESULT(STDMETHODCALLTYPE *Save)(IPersistFile *This, LPCOLESTR pszFileName, BOOL fRemember);
  HRESULT(STDMETHODCALLTYPE *SaveCompleted)(IPersistFile *This, LPCOLESTR pszFileName);
  HRESULT(STDMETHODCALLTYPE *GetCurFile)(IPersistFile *This, LPOLESTR *ppszFileName);
  END_INTERFACE
} IPersistFileVtbl;
interface IPersistFile {
  CONST_VTBL struct IPersistFileVtbl *lpVtbl;
};
#ifdef COBJMACROS
#define IPersistFile_QueryInterface(This, riid, ppvObject) (This)->lpVtbl->QueryInterface(This, riid, ppvObject)
#define IPersistFile_AddRef(This) (This)->lpVtbl->AddRef(This)
#define IPersistFile_Release(This) (This)->lpVtbl->Release(This)
#define IPersistFile_GetClassID(This, pClassID) (This)->lpVtbl->GetClassID(This, pClassID)
#define IPersistFile_IsDirty(This) (This)->lpVtbl->IsDirty(This)
#define IPersistFile_Load(This, pszFileName, dwMode) (This)->lpVtbl->Load(This, pszFileName, dwMode)
#define IPersistFile_Save(This, pszFileName, fRemember) (This)->lpVtbl->Save(This, pszFileName, fRemember)
#define IPersistFile_SaveCompleted(This, pszFileName) (This)->lpVtbl->SaveCompleted(This, pszFileName)
#define IPersistFile_GetCurFile(This, ppszFileName) (This)->lpVtbl->GetCurFile(This, ppszFileName)
#endif

typedef struct IMonikerVtbl {
  BEGIN_INTERFACE
  HRESULT(STDMETHODCALLTYPE *QueryInterface)(IMoniker *This, REFIID riid, void **ppvObject);
  ULONG(STDMETHODCALLTYPE *AddRef)(IMoniker *This);
  ULONG(STDMETHODCALLTYPE *Release)(IMoniker *This);
  HRESULT(STDMETHODCALLTYPE *GetClassID)(IMoniker *This, CLSID *pClassID);
  HRESULT(STDMETHODCALLTYPE *IsDirty)(IMoniker *This);
  HRESULT(STDMETHODCALLTYPE *Load)(IMoniker *This, IStream *pStm);
  HRESULT(STDMETHODCALLTYPE *Save)(IMoniker *This, IStream *pStm, BOOL fClearDirty);
  HRESULT(STDMETHODCALLTYPE *GetSizeMax)(IMoniker *This, ULARGE_INTEGER *pcbSize);
  HRESULT(STDMETHODCALLTYPE *BindToObject)(IMoniker *This, IBindCtx *pbc, IMoniker *pmkToLeft, REFIID riidResult,
                                           void **ppvResult);
  HRESULT(STDMETHODCALLTYPE *BindToStorage)(IMoniker *This, IBindCtx *pbc, IMoniker *pmkToLeft, REFIID riid,
                                            void **ppvObj);
  HRESULT(STDMETHODCALLTYPE *Reduce)(IMoniker *This, IBindCtx *pbc, DWORD dwReduceHowFar, IMoniker **ppmkToLeft,
                                     IMoniker **ppmkReduced);
  HRESULT(STDMETHODCALLTYPE *ComposeWith)(IMoniker *This, IMoniker *pmkRight, BOOL fOnlyIfNotGeneric,
                                          IMoniker **ppmkComposite);
  HRESULT(STDMETHODCALLTYPE *Enum)(IMoniker *This, BOOL fForward, IEnumMoniker **ppenumMoniker);
  HRESULT(STDMETHODCALLTYPE *IsEqual)(IMoniker *This, IMoniker *pmkOtherMoniker);
  HRESULT(STDMETHODCALLTYPE *Hash)(IMoniker *This, DWORD *pdwHash);
  HRESULT(STDMETHODCALLTYPE *IsRunning)(IMoniker *This, IBindCtx *pbc, IMoniker *pmkToLeft, IMoniker *pmkNewlyRunning);
  HRESULT(STDMETHODCALLTYPE *GetTimeOfLastChange)(IMoniker *This, IBindCtx *pbc, IMoniker *pmkToLeft,
                                                  FILETIME *pFileTime);
  HRESULT(STDMETHODCALLTYPE *Inverse)(IMoniker *This, IMoniker **ppmk);
  HRESULT(STDMETHODCALLTYPE *CommonPrefixWith)(IMoniker *This, IMoniker *pmkOther, IMoniker **ppmkPrefix);
  HRESULT(STDMETHODCALLTYPE *RelativePathTo)(IMoniker *This, IMoniker *pmkOther, IMoniker **ppmkRelPath);
  HRESULT(STDMETHODCALLTYPE *GetDisplayName)(IMoniker *This, IBindCtx *pbc, IMoniker *pmkToLeft,
                                             LPOLESTR *ppszDisplayName);
  HRESULT(STDMETHODCALLTYPE *ParseDisplayName)(IMoniker *This, IBindCtx *pbc, IMoniker *pmkToLeft,
                                               LPOLESTR pszDisplayName, ULONG *pchEaten, IMoniker **ppmkOut);
  HRESULT(STDMETHODCALLTYPE *IsSystemMoniker)(IMoniker *This, DWORD *pdwMksys);
  END_INTERFACE
} IMonikerVtbl;
interface IMoniker {
  CONST_VTBL struct IMonikerVtbl *lpVtbl;
};
#ifdef COBJMACROS
#define IMoniker_QueryInterface(This, riid, ppvObject) (This)->lpVtbl->QueryInterface(This, riid, ppvObject)
#define IMoniker_AddRef(This) (This)->lpVtbl->AddRef(This)
#define IMoniker_Release(This) (This)->lpVtbl->Release(This)
#define IMoniker_GetClassID(This, pClassID) (This)->lpVtbl->GetClassID(This, pClassID)
#define IMoniker_IsDirty(This) (This)->lpVtbl->IsDirty(This)
#define IMoniker_Load(This, pStm) (This)->lpVtbl->Load(This, pStm)
#define IMoniker_Save(This, pStm, fClearDirty) (This)->lpVtbl->Save(This, pStm, fClearDirty)
#define IMoniker_GetSizeMax(This, pcbSize) (This)->lpVtbl->GetSizeMax(This, pcbSize)
#define IMoniker_BindToObject(This, pbc, pmkToLeft, riidResult, ppvResult) \
  (This)->lpVtbl->BindToObject(This, pbc, pmkToLeft, riidResult, ppvResult)
#define IMoniker_BindToStorage(This, pbc, pmkToLeft, riid, ppvObj) \
  (This)->lpVtbl->BindToStorage(This, pbc, pmkToLeft, riid, ppvObj)
#define IMoniker_Reduce(This, pbc, dwReduceHowFar, ppmkToLeft, ppmkReduced) \
  (This)->lpVtbl->Reduce(This, pbc, dwReduceHowFar, ppmkToLeft, ppmkReduced)
#define IMoniker_ComposeWith(This, pmkRight, fOnlyIfNotGeneric, ppmkComposite) \
  (This)->lpVtbl->ComposeWith(This, pmkRight, fOnlyIfNotGeneric, ppmkComposite)
#define IMoniker_Enum(This, fForward, ppenumMoniker) (This)->lpVtbl->Enum(This, fForward, ppenumMoniker)
#define IMoniker_IsEqual(This, pmkOtherMoniker) (This)->lpVtbl->IsEqual(This, pmkOtherMoniker)
#define IMoniker_Hash(This, pdwHash) (This)->lpVtbl->Hash(This, pdwHash)
#define IMoniker_IsRunning(This, pbc, pmkToLeft, pmkNewlyRunning) \
  (This)->lpVtbl->IsRunning(This, pbc, pmkToLeft, pmkNewlyRunning)
#define IMoniker_GetTimeOfLastChange(This, pbc, pmkToLeft, pFileTime) \
  (This)->lpVtbl->GetTimeOfLastChange(This, pbc, pmkToLeft, pFileTime)
#define IMoniker_Inverse(This, ppmk) (This)->lpVtbl->Inverse(This, ppmk)
#define IMoniker_CommonPrefixWith(This, pmkOther, ppmkPrefix) \
  (This)->lpVtbl->CommonPrefixWith(This, pmkOther, ppmkPrefix)
#define IMoniker_RelativePathTo(This, pmkOther, ppmkRelPath) (This)->lpVtbl->RelativePathTo(This, pmkOther, ppmkRelPath)
#define IMoniker_GetDisplayName(This, pbc, pmkToLeft, ppszDisplayName) \
  (This)->lpVtbl->GetDisplayName(This, pbc, pmkToLeft, ppszDisplayName)
#define IMoniker_ParseDisplayName(This, pbc, pmkToLeft, pszDisplayName, pchEaten, ppmkOut) \
  (This)->lpVtbl->ParseDisplayName(This, pbc, pmkToLeft, pszDisplayName, pchEaten, ppmkOut)
#define IMoniker_IsSystemMoniker(This, pdwMksys) (This)->lpVtbl->IsSystemMoniker(This, pdwMksys)
#endif

typedef struct IRunningObjectTableVtbl {
  BEGIN_INTERFACE
  HRESULT(STDMETHODCALLTYPE *QueryInterface)(IRunningObjectTable *This, REFIID riid, void **ppvObject);
  ULONG(STDMETHODCALLTYPE *AddRef)(IRunningObjectTable *This);
  ULONG(STDMETHODCALLTYPE *Release)(IRunningObjectTable *This);
  HRESULT(STDMETHODCALLTYPE *Register)(IRunningObjectTable *This, DWORD grfFlags, IUnknown *punkObject,
                                       IMoniker *pmkObjectName, DWORD *pdwRegister);
  HRESULT(STDMETHODCALLTYPE *Revoke)(IRunningObjectTable *This, DWORD dwRegister);
  HRESULT(STDMETHODCALLTYPE *IsRunning)(IRunningObjectTable *This, IMoniker *pmkObjectName);
  HRESULT(STDMETHODCALLTYPE *GetObject)(IRunningObjectTable *This, IMoniker *pmkObjectName, IUnknown **ppunkObject);
  HRESULT(STDMETHODCALLTYPE *NoteChangeTime)(IRunningObjectTable *This, DWORD dwRegister, FILETIME *pfiletime);
  HRESULT(STDMETHODCALLTYPE *GetTimeOfLastChange)(IRunningObjectTable *This, IMoniker *pmkObjectName,
                                                  FILETIME *pfiletime);
  HRESULT(STDMETHODCALLTYPE *EnumRunning)(IRunningObjectTable *This, IEnumMoniker **ppenumMoniker);
  END_INTERFACE
} IRunningObjectTableVtbl;
interface IRunningObjectTable {
  CONST_VTBL struct IRunningObjectTableVtbl *lpVtbl;
};
#ifdef COBJMACROS
#define IRunningObjectTable_QueryInterface(This, riid, ppvObject) (This)->lpVtbl->QueryInterface(This, riid, ppvObject)
#define IRunningObjectTable_AddRef(This) (This)->lpVtbl->AddRef(This)
#define IRunningObjectTable_Release(This) (This)->lpVtbl->Release(This)
#define IRunningObjectTable_Register(This, grfFlags, punkObject, pmkObjectName, pdwRegister) \
  (This)->lpVtbl->Register(This, grfFlags, punkObject, pmkObjectName, pdwRegister)
#define IRunningObjectTable_Revoke(This, dwRegister) (This)->lpVtbl->Revoke(This, dwRegister)
#define IRunningObjectTable_IsRunning(This, pmkObjectName) (This)->lpVtbl->IsRunning(This, pmkObjectName)
#define IRunningObjectTable_GetObject(This, pmkObjectName, ppunkObject) \
  (This)->lpVtbl->GetObject(This, pmkObjectName, ppunkObject)
#define IRunningObjectTable_NoteChangeTime(This, dwRegister, pfiletime) \
  (This)->lpVtbl->NoteChangeTime(This, dwRegister, pfiletime)
#define IRunningObjectTable_GetTimeOfLastChange(This, pmkObjectName, pfiletime) \
  (This)->lpVtbl->GetTimeOfLastChange(This, pmkObjectName, pfiletime)
#define IRunningObjectTable_EnumRunning(This, ppenumMoniker) (This)->lpVtbl->EnumRunning(This, ppenumMoniker)
#endif

typedef struct IBindCtxVtbl {
  BEGIN_INTERFACE
  HRESULT(STDMETHODCALLTYPE *QueryInterface)(IBindCtx *This, REFIID riid, void **ppvObject);
  ULONG(STDMETHODCALLTYPE *AddRef)(IBindCtx *This);
  ULONG(STDMETHODCALLTYPE *Release)(IBindCtx *This);
  HRESULT(STDMETHODCALLTYPE *RegisterObjectBound)(IBindCtx *This, IUnknown *punk);
  HRESULT(STDMETHODCALLTYPE *RevokeObjectBound)(IBindCtx *This, IUnknown *punk);
  HRESULT(STDMETHODCALLTYPE *ReleaseBoundObjects)(IBindCtx *This);
  HRESULT(STDMETHODCALLTYPE *SetBindOptions)(IBindCtx *This, BIND_OPTS *pbindopts);
  HRESULT(STDMETHODCALLTYPE *GetBindOptions)(IBindCtx *This, BIND_OPTS *pbindopts);
  HRESULT(STDMETHODCALLTYPE *GetRunningObjectTable)(IBindCtx *This, IRunningObjectTable **pprot);
  HRESULT(STDMETHODCALLTYPE *RegisterObjectParam)(IBindCtx *This, LPOLESTR pszKey, IUnknown *punk);
  HRESULT(STDMETHODCALLTYPE *GetObjectParam)(IBindCtx *This, LPOLESTR pszKey, IUnknown **ppunk);
  HRESULT(STDMETHODCALLTYPE *EnumObjectParam)(IBindCtx *This, IEnumString **ppenum);
  HRESULT(STDMETHODCALLTYPE *RevokeObjectParam)(IBindCtx *This, LPOLESTR pszKey);
  END_INTERFACE
} IBindCtxVtbl;
interface IBindCtx {
  CONST_VTBL struct IBindCtxVtbl *lpVtbl;
};
#ifdef COBJMACROS
#define IBindCtx_QueryInterface(This, riid, ppvObject) (This)->lpVtbl->QueryInterface(This, riid, ppvObject)
#define IBindCtx_AddRef(This) (This)->lpVtbl->AddRef(This)
#define IBindCtx_Release(This) (This)->lpVtbl->Release(This)
#define IBindCtx_RegisterObjectBound(This, punk) (This)->lpVtbl->RegisterObjectBound(This, punk)
#define IBindCtx_RevokeObjectBound(This, punk) (This)->lpVtbl->RevokeObjectBound(This, punk)
#define IBindCtx_ReleaseBoundObjects(This) (This)->lpVtbl->ReleaseBoundObjects(This)
#define IBindCtx_SetBindOptions(This, pbindopts) (This)->lpVtbl->SetBindOptions(This, pbindopts)
#define IBindCtx_GetBindOptions(This, pbindopts) (This)->lpVtbl->GetBindOptions(This, pbindopts)
#define IBindCtx_GetRunningObjectTable(This, pprot) (This)->lpVtbl->GetRunningObjectTable(This, pprot)
#define IBindCtx_RegisterObjectParam(This, pszKey, punk) (This)->lpVtbl->RegisterObjectParam(This, pszKey, punk)
#define IBindCtx_GetObjectParam(This, pszKey, ppunk) (This)->lpVtbl->GetObjectParam(This, pszKey, ppunk)
#define IBindCtx_EnumObjectParam(This, ppenum) (This)->lpVtbl->EnumObjectParam(This, ppenum)
#define IBindCtx_RevokeObjectParam(This, pszKey) (This)->lpVtbl->RevokeObjectParam(This, pszKey)
#endif

typedef struct IRunnableObjectVtbl {
  BEGIN_INTERFACE
  HRESULT(STDMETHODCALLTYPE *QueryInterface)(IRunnableObject *This, REFIID riid, void **ppvObject);
  ULONG(STDMETHODCALLTYPE *AddRef)(IRunnableObject *This);
  ULONG(STDMETHODCALLTYPE *Release)(IRunnableObject *This);
  HRESULT(STDMETHODCALLTYPE *GetRunningClass)(IRunnableObject *This, CLSID *lpClsid);
  HRESULT(STDMETHODCALLTYPE *Run)(IRunnableObject *This, IBindCtx *pbc);
  BOOL(STDMETHODCALLTYPE *IsRunning)(IRunnableObject *This);
  HRESULT(STDMETHODCALLTYPE *LockRunning)(IRunnableObject *This, BOOL fLock, BOOL fLastUnlockCloses);
  HRESULT(STDMETHODCALLTYPE *SetContainedObject)(IRunnableObject *This, BOOL fContained);
  END_INTERFACE
} IRunnableObjectVtbl;
interface IRunnableObject {
  CONST_VTBL struct IRunnableObjectVtbl *lpVtbl;
};
#ifdef COBJMACROS
#define IRunnableObject_QueryInterface(This, riid, ppvObject) (This)->lpVtbl->QueryInterface(This, riid, ppvObject)
#define IRunnableObject_AddRef(This) (This)->lpVtbl->AddRef(This)
#define IRunnableObject_Release(This) (This)->lpVtbl->Release(This)
#define IRunnableObject_GetRunningClass(This, lpClsid) (This)->lpVtbl->GetRunningClass(This, lpClsid)
#define IRunnableObject_Run(This, pbc) (This)->lpVtbl->Run(This, pbc)
#define IRunnableObject_IsRunning(This) (This)->lpVtbl->IsRunning(This)
#define IRunnableObject_LockRunning(This, fLock, fLastUnlockCloses) \
  (This)->lpVtbl->LockRunning(This, fLock, fLastUnlockCloses)
#define IRunnableObject_SetContainedObject(This, fContained) (This)->lpVtbl->SetContainedObject(This, fContained)
#endif
#endif
