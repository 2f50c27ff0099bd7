// Monikers, bind contexts, the running object table and runnable objects.
#pragma once

#include "unknwn.h"
#include "wtypes.h"

struct IStream;
struct IEnumString;
struct IMoniker;
struct IBindCtx;
struct IRunningObjectTable;

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

#ifdef __cplusplus
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
typedef IMoniker *LPMONIKER;

struct IRunningObjectTable : public IUnknown {
  STDMETHOD(Register)(DWORD grfFlags, IUnknown *punkObject, IMoniker *pmkObjectName, DWORD *pdwRegister) = 0;
  STDMETHOD(Revoke)(DWORD dwRegister) = 0;
  STDMETHOD(IsRunning)(IMoniker *pmkObjectName) = 0;
  STDMETHOD(GetObject)(IMoniker *pmkObjectName, IUnknown **ppunkObject) = 0;
  STDMETHOD(NoteChangeTime)(DWORD dwRegister, FILETIME *pfiletime) = 0;
  STDMETHOD(GetTimeOfLastChange)(IMoniker *pmkObjectName, FILETIME *pfiletime) = 0;
  STDMETHOD(EnumRunning)(IEnumMoniker **ppenumMoniker) = 0;
};
typedef IRunningObjectTable *LPRUNNINGOBJECTTABLE;

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
typedef IBindCtx *LPBC;
typedef IBindCtx *LPBINDCTX;

struct IRunnableObject : public IUnknown {
  STDMETHOD(GetRunningClass)(CLSID *lpClsid) = 0;
  STDMETHOD(Run)(IBindCtx *pbc) = 0;
  STDMETHOD_(BOOL, IsRunning)() = 0;
  STDMETHOD(LockRunning)(BOOL fLock, BOOL fLastUnlockCloses) = 0;
  STDMETHOD(SetContainedObject)(BOOL fContained) = 0;
};
#endif
