// Monikers: file monikers, bind contexts, the running object table, and the
// display-name binding built on them (MkParseDisplayName, CoGetObject).
#include <objbase.h>

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "ole32/com_internal.h"
#include "kernel32/text.h"
#include "kernel32/trace.h"

EXTERN_C DECLSPEC_EXPORT const IID IID_IPersistFile = {
    0x0000010b, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

namespace platform {
namespace {

const CLSID CLSID_FileMoniker = {0x00000303, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// Answered only by this layer's file monikers, so that IsEqual can reach the
// path of another file moniker without asking it for its display name.
const IID IID_PlatformFileMoniker = {0x5b0f3a61, 0x2c4e, 0x4d8e, {0x9a, 0x1f, 0x6e, 0x22, 0x07, 0xc4, 0x3b, 0x95}};

// IUnknown of a heap object that answers `Itf` and the listed identifiers
// with one pointer, counts atomically and deletes itself on its last release.
template <class Derived, class Itf, const IID *...Iids>
class Unknown : public Itf {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || ((riid == *Iids) || ...)) {
      *ppv = static_cast<Itf *>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_refs); }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG n = InterlockedDecrement(&m_refs);
    if (n == 0) delete static_cast<Derived *>(this);
    return n;
  }

 protected:
  LONG m_refs = 1;
};

HRESULT CopyToTaskMem(std::u16string_view s, LPOLESTR *out) {
  auto *p = static_cast<LPOLESTR>(CoTaskMemAlloc((s.size() + 1) * sizeof(OLECHAR)));
  if (!p) return E_OUTOFMEMORY;
  std::memcpy(p, s.data(), s.size() * sizeof(OLECHAR));
  p[s.size()] = 0;
  *out = p;
  return S_OK;
}

// ---------------------------------------------------------------------------
// Enumerator over a snapshot of monikers.

class MonikerEnum final : public Unknown<MonikerEnum, IEnumMoniker, &IID_IEnumMoniker> {
 public:
  explicit MonikerEnum(std::vector<IMoniker *> items, size_t pos = 0) : m_items(std::move(items)), m_pos(pos) {
    for (IMoniker *m : m_items) m->AddRef();
  }

  STDMETHODIMP Next(ULONG celt, IMoniker **rgelt, ULONG *pceltFetched) override {
    if (!rgelt || (celt != 1 && !pceltFetched)) return E_INVALIDARG;
    ULONG n = 0;
    for (; n < celt && m_pos < m_items.size(); ++n, ++m_pos) {
      rgelt[n] = m_items[m_pos];
      rgelt[n]->AddRef();
    }
    if (pceltFetched) *pceltFetched = n;
    return n == celt ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG celt) override {
    size_t left = m_items.size() - m_pos;
    if (celt > left) {
      m_pos = m_items.size();
      return S_FALSE;
    }
    m_pos += celt;
    return S_OK;
  }
  STDMETHODIMP Reset() override {
    m_pos = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumMoniker **ppenum) override {
    if (!ppenum) return E_INVALIDARG;
    *ppenum = new MonikerEnum(m_items, m_pos);
    return S_OK;
  }

 private:
  friend Unknown;
  ~MonikerEnum() {
    for (IMoniker *m : m_items) m->Release();
  }
  std::vector<IMoniker *> m_items;
  size_t m_pos;
};

// ---------------------------------------------------------------------------
// The running object table: one per process, never destroyed.

class RunningObjectTable final
    : public Unknown<RunningObjectTable, IRunningObjectTable, &IID_IRunningObjectTable> {
 public:
  // The table lives as long as the process; the count is kept only so that
  // callers see the usual values.
  STDMETHODIMP_(ULONG) Release() override {
    LONG n = InterlockedDecrement(&m_refs);
    return n > 0 ? static_cast<ULONG>(n) : 1;
  }

  STDMETHODIMP Register(DWORD grfFlags, IUnknown *punkObject, IMoniker *pmkObjectName,
                        DWORD *pdwRegister) override {
    if (pdwRegister) *pdwRegister = 0;
    if (!punkObject || !pmkObjectName || !pdwRegister) return E_INVALIDARG;
    if (grfFlags & ~static_cast<DWORD>(ROTFLAGS_REGISTRATIONKEEPSALIVE | ROTFLAGS_ALLOWANYCLIENT))
      return E_INVALIDARG;
    DWORD hash = 0;
    if (FAILED(pmkObjectName->Hash(&hash))) return E_INVALIDARG;
    std::lock_guard lock(m_mutex);
    bool duplicate = Find(pmkObjectName, hash) != nullptr;
    Entry e;
    e.cookie = m_nextCookie++;
    if (m_nextCookie == 0) m_nextCookie = 1;
    e.object = punkObject;
    e.moniker = pmkObjectName;
    e.hash = hash;
    e.changed = FileTimeNow();
    // The table holds its object, as Windows does within a process.
    punkObject->AddRef();
    pmkObjectName->AddRef();
    m_entries.push_back(e);
    *pdwRegister = e.cookie;
    return duplicate ? MK_S_MONIKERALREADYREGISTERED : S_OK;
  }

  STDMETHODIMP Revoke(DWORD dwRegister) override {
    Entry e;
    {
      std::lock_guard lock(m_mutex);
      auto it = m_entries.begin();
      while (it != m_entries.end() && it->cookie != dwRegister) ++it;
      if (it == m_entries.end()) return E_INVALIDARG;
      e = *it;
      m_entries.erase(it);
    }
    // Released outside the lock: the object's destructor may use the table.
    e.object->Release();
    e.moniker->Release();
    return S_OK;
  }

  STDMETHODIMP IsRunning(IMoniker *pmkObjectName) override {
    if (!pmkObjectName) return E_INVALIDARG;
    DWORD hash = 0;
    if (FAILED(pmkObjectName->Hash(&hash))) return S_FALSE;
    std::lock_guard lock(m_mutex);
    return Find(pmkObjectName, hash) ? S_OK : S_FALSE;
  }

  STDMETHODIMP GetObject(IMoniker *pmkObjectName, IUnknown **ppunkObject) override {
    if (!ppunkObject) return E_INVALIDARG;
    *ppunkObject = nullptr;
    if (!pmkObjectName) return E_INVALIDARG;
    DWORD hash = 0;
    if (FAILED(pmkObjectName->Hash(&hash))) return MK_E_UNAVAILABLE;
    std::lock_guard lock(m_mutex);
    const Entry *e = Find(pmkObjectName, hash);
    if (!e) return MK_E_UNAVAILABLE;
    e->object->AddRef();
    *ppunkObject = e->object;
    return S_OK;
  }

  STDMETHODIMP NoteChangeTime(DWORD dwRegister, FILETIME *pfiletime) override {
    if (!pfiletime) return E_INVALIDARG;
    std::lock_guard lock(m_mutex);
    for (Entry &e : m_entries) {
      if (e.cookie == dwRegister) {
        e.changed = *pfiletime;
        return S_OK;
      }
    }
    return E_INVALIDARG;
  }

  STDMETHODIMP GetTimeOfLastChange(IMoniker *pmkObjectName, FILETIME *pfiletime) override {
    if (!pmkObjectName || !pfiletime) return E_INVALIDARG;
    DWORD hash = 0;
    if (FAILED(pmkObjectName->Hash(&hash))) return MK_E_UNAVAILABLE;
    std::lock_guard lock(m_mutex);
    const Entry *e = Find(pmkObjectName, hash);
    if (!e) return MK_E_UNAVAILABLE;
    *pfiletime = e->changed;
    return S_OK;
  }

  STDMETHODIMP EnumRunning(IEnumMoniker **ppenumMoniker) override {
    if (!ppenumMoniker) return E_INVALIDARG;
    std::vector<IMoniker *> monikers;
    {
      std::lock_guard lock(m_mutex);
      for (const Entry &e : m_entries) monikers.push_back(e.moniker);
      *ppenumMoniker = new MonikerEnum(std::move(monikers));
    }
    return S_OK;
  }

 private:
  struct Entry {
    DWORD cookie = 0;
    IUnknown *object = nullptr;
    IMoniker *moniker = nullptr;
    DWORD hash = 0;
    FILETIME changed{};
  };

  // The first registration whose moniker equals the given one. The mutex is
  // recursive because IsEqual of a foreign moniker may call back into the table.
  const Entry *Find(IMoniker *mk, DWORD hash) {
    for (Entry &e : m_entries)
      if (e.hash == hash && (e.moniker == mk || e.moniker->IsEqual(mk) == S_OK)) return &e;
    return nullptr;
  }

  std::recursive_mutex m_mutex;
  std::vector<Entry> m_entries;
  DWORD m_nextCookie = 1;
};

RunningObjectTable &TheTable() {
  // Leaked on purpose: registrations may outlive static destruction order.
  static RunningObjectTable *g_table = new RunningObjectTable;
  return *g_table;
}

// ---------------------------------------------------------------------------
// File monikers.

// The comparison form of a path: upper case, one kind of separator.
std::u16string ComparablePath(std::u16string_view path) {
  std::u16string s;
  s.reserve(path.size());
  for (char16_t c : path) s += c == u'/' ? u'\\' : UpperCase(c);
  return s;
}

class FileMoniker final : public Unknown<FileMoniker, IMoniker, &IID_IPersist, &IID_IPersistStream, &IID_IMoniker,
                                                &IID_PlatformFileMoniker> {
 public:
  explicit FileMoniker(std::u16string path) : m_path(std::move(path)), m_key(ComparablePath(m_path)) {}

  const std::u16string &Key() const { return m_key; }

  STDMETHODIMP GetClassID(CLSID *pClassID) override {
    if (!pClassID) return E_POINTER;
    *pClassID = CLSID_FileMoniker;
    return S_OK;
  }
  STDMETHODIMP IsDirty() override { return S_FALSE; }
  // Monikers are never persisted to streams by this layer.
  STDMETHODIMP Load(IStream *) override { return NotImplemented("FileMoniker::Load"); }
  STDMETHODIMP Save(IStream *, BOOL) override { return NotImplemented("FileMoniker::Save"); }
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER *) override { return NotImplemented("FileMoniker::GetSizeMax"); }

  STDMETHODIMP BindToObject(IBindCtx *pbc, IMoniker *pmkToLeft, REFIID riid, void **ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!pbc) return E_INVALIDARG;
    // Composite monikers are not supported.
    if (pmkToLeft) return NotImplemented("FileMoniker::BindToObject with a moniker to the left");
    IRunningObjectTable *rot = nullptr;
    HRESULT hr = pbc->GetRunningObjectTable(&rot);
    if (FAILED(hr)) return hr;
    IUnknown *running = nullptr;
    hr = rot->GetObject(this, &running);
    rot->Release();
    if (SUCCEEDED(hr)) {
      hr = running->QueryInterface(riid, ppv);
      running->Release();
      return hr;
    }
    // Not running: create an object of the file's class and let it load the file.
    CLSID clsid;
    hr = GetClassFile(m_path.c_str(), &clsid);
    if (FAILED(hr)) return hr;
    IPersistFile *file = nullptr;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IPersistFile, reinterpret_cast<void **>(&file));
    if (FAILED(hr)) return hr;
    BIND_OPTS opts{};
    opts.cbStruct = sizeof opts;
    pbc->GetBindOptions(&opts);
    hr = file->Load(m_path.c_str(), opts.grfMode);
    if (SUCCEEDED(hr)) hr = file->QueryInterface(riid, ppv);
    file->Release();
    return hr;
  }
  STDMETHODIMP BindToStorage(IBindCtx *, IMoniker *, REFIID, void **ppvObj) override {
    if (ppvObj) *ppvObj = nullptr;
    return NotImplemented("FileMoniker::BindToStorage");
  }
  STDMETHODIMP Reduce(IBindCtx *, DWORD, IMoniker **ppmkToLeft, IMoniker **ppmkReduced) override {
    (void)ppmkToLeft;
    if (!ppmkReduced) return E_POINTER;
    AddRef();
    *ppmkReduced = this;
    return MK_S_REDUCED_TO_SELF;
  }
  STDMETHODIMP ComposeWith(IMoniker *, BOOL, IMoniker **ppmkComposite) override {
    if (ppmkComposite) *ppmkComposite = nullptr;
    return NotImplemented("FileMoniker::ComposeWith");
  }
  STDMETHODIMP Enum(BOOL, IEnumMoniker **ppenumMoniker) override {
    // A simple moniker has no parts to enumerate.
    if (!ppenumMoniker) return E_POINTER;
    *ppenumMoniker = nullptr;
    return S_OK;
  }
  STDMETHODIMP IsEqual(IMoniker *pmkOtherMoniker) override {
    if (!pmkOtherMoniker) return S_FALSE;
    IUnknown *other = nullptr;
    if (FAILED(pmkOtherMoniker->QueryInterface(IID_PlatformFileMoniker, reinterpret_cast<void **>(&other))))
      return S_FALSE;
    bool same = static_cast<FileMoniker *>(static_cast<IMoniker *>(other))->m_key == m_key;
    other->Release();
    return same ? S_OK : S_FALSE;
  }
  STDMETHODIMP Hash(DWORD *pdwHash) override {
    if (!pdwHash) return E_POINTER;
    DWORD h = 0;
    for (char16_t c : m_key) h = (h * 37) + c;
    *pdwHash = h;
    return S_OK;
  }
  STDMETHODIMP IsRunning(IBindCtx *pbc, IMoniker *pmkToLeft, IMoniker *pmkNewlyRunning) override {
    if (pmkToLeft) return NotImplemented("FileMoniker::IsRunning with a moniker to the left");
    if (pmkNewlyRunning && IsEqual(pmkNewlyRunning) == S_OK) return S_OK;
    if (!pbc) return E_INVALIDARG;
    IRunningObjectTable *rot = nullptr;
    HRESULT hr = pbc->GetRunningObjectTable(&rot);
    if (FAILED(hr)) return hr;
    hr = rot->IsRunning(this);
    rot->Release();
    return hr;
  }
  STDMETHODIMP GetTimeOfLastChange(IBindCtx *pbc, IMoniker *pmkToLeft, FILETIME *pFileTime) override {
    if (!pbc || !pFileTime) return E_INVALIDARG;
    if (pmkToLeft) return NotImplemented("FileMoniker::GetTimeOfLastChange with a moniker to the left");
    IRunningObjectTable *rot = nullptr;
    HRESULT hr = pbc->GetRunningObjectTable(&rot);
    if (FAILED(hr)) return hr;
    hr = rot->GetTimeOfLastChange(this, pFileTime);
    rot->Release();
    return hr;
  }
  STDMETHODIMP Inverse(IMoniker **ppmk) override {
    if (ppmk) *ppmk = nullptr;
    return NotImplemented("FileMoniker::Inverse");
  }
  STDMETHODIMP CommonPrefixWith(IMoniker *, IMoniker **ppmkPrefix) override {
    if (ppmkPrefix) *ppmkPrefix = nullptr;
    return NotImplemented("FileMoniker::CommonPrefixWith");
  }
  STDMETHODIMP RelativePathTo(IMoniker *, IMoniker **ppmkRelPath) override {
    if (ppmkRelPath) *ppmkRelPath = nullptr;
    return NotImplemented("FileMoniker::RelativePathTo");
  }
  STDMETHODIMP GetDisplayName(IBindCtx *, IMoniker *, LPOLESTR *ppszDisplayName) override {
    if (!ppszDisplayName) return E_POINTER;
    *ppszDisplayName = nullptr;
    return CopyToTaskMem(m_path, ppszDisplayName);
  }
  STDMETHODIMP ParseDisplayName(IBindCtx *, IMoniker *, LPOLESTR, ULONG *pchEaten, IMoniker **ppmkOut) override {
    if (pchEaten) *pchEaten = 0;
    if (ppmkOut) *ppmkOut = nullptr;
    return MK_E_SYNTAX;
  }
  STDMETHODIMP IsSystemMoniker(DWORD *pdwMksys) override {
    if (!pdwMksys) return E_POINTER;
    *pdwMksys = MKSYS_FILEMONIKER;
    return S_OK;
  }

 private:
  friend Unknown;
  ~FileMoniker() = default;
  std::u16string m_path;
  std::u16string m_key;
};

// ---------------------------------------------------------------------------
// Bind contexts.

class BindCtx final : public Unknown<BindCtx, IBindCtx, &IID_IBindCtx> {
 public:
  BindCtx() {
    m_opts.cbStruct = sizeof m_opts;
    m_opts.grfMode = STGM_READWRITE;
  }


  STDMETHODIMP RegisterObjectBound(IUnknown *punk) override {
    if (!punk) return E_INVALIDARG;
    punk->AddRef();
    std::lock_guard lock(m_mutex);
    m_bound.push_back(punk);
    return S_OK;
  }
  STDMETHODIMP RevokeObjectBound(IUnknown *punk) override {
    if (!punk) return E_INVALIDARG;
    {
      std::lock_guard lock(m_mutex);
      auto it = m_bound.begin();
      while (it != m_bound.end() && *it != punk) ++it;
      if (it == m_bound.end()) return MK_E_NOTBOUND;
      m_bound.erase(it);
    }
    punk->Release();
    return S_OK;
  }
  STDMETHODIMP ReleaseBoundObjects() override {
    std::vector<IUnknown *> bound;
    {
      std::lock_guard lock(m_mutex);
      bound.swap(m_bound);
    }
    for (IUnknown *p : bound) p->Release();
    return S_OK;
  }
  STDMETHODIMP SetBindOptions(BIND_OPTS *pbindopts) override {
    if (!pbindopts || pbindopts->cbStruct < sizeof(BIND_OPTS)) return E_INVALIDARG;
    std::lock_guard lock(m_mutex);
    m_opts.grfFlags = pbindopts->grfFlags;
    m_opts.grfMode = pbindopts->grfMode;
    m_opts.dwTickCountDeadline = pbindopts->dwTickCountDeadline;
    return S_OK;
  }
  STDMETHODIMP GetBindOptions(BIND_OPTS *pbindopts) override {
    if (!pbindopts || pbindopts->cbStruct < sizeof(BIND_OPTS)) return E_INVALIDARG;
    std::lock_guard lock(m_mutex);
    pbindopts->grfFlags = m_opts.grfFlags;
    pbindopts->grfMode = m_opts.grfMode;
    pbindopts->dwTickCountDeadline = m_opts.dwTickCountDeadline;
    return S_OK;
  }
  STDMETHODIMP GetRunningObjectTable(IRunningObjectTable **pprot) override {
    return ::GetRunningObjectTable(0, pprot);
  }
  STDMETHODIMP RegisterObjectParam(LPOLESTR pszKey, IUnknown *punk) override {
    if (!pszKey || !punk) return E_INVALIDARG;
    punk->AddRef();
    IUnknown *old = nullptr;
    {
      std::lock_guard lock(m_mutex);
      IUnknown *&slot = m_params[std::u16string(View(pszKey))];
      old = slot;
      slot = punk;
    }
    if (old) old->Release();
    return S_OK;
  }
  STDMETHODIMP GetObjectParam(LPOLESTR pszKey, IUnknown **ppunk) override {
    if (!ppunk) return E_INVALIDARG;
    *ppunk = nullptr;
    if (!pszKey) return E_INVALIDARG;
    std::lock_guard lock(m_mutex);
    auto it = m_params.find(std::u16string(View(pszKey)));
    if (it == m_params.end()) return E_FAIL;
    it->second->AddRef();
    *ppunk = it->second;
    return S_OK;
  }
  // IEnumString is not part of this layer.
  STDMETHODIMP EnumObjectParam(IEnumString **ppenum) override {
    if (ppenum) *ppenum = nullptr;
    return NotImplemented("BindCtx::EnumObjectParam");
  }
  STDMETHODIMP RevokeObjectParam(LPOLESTR pszKey) override {
    if (!pszKey) return E_INVALIDARG;
    IUnknown *old = nullptr;
    {
      std::lock_guard lock(m_mutex);
      auto it = m_params.find(std::u16string(View(pszKey)));
      if (it == m_params.end()) return E_FAIL;
      old = it->second;
      m_params.erase(it);
    }
    old->Release();
    return S_OK;
  }

 private:
  friend Unknown;
  ~BindCtx() {
    ReleaseBoundObjects();
    for (auto &p : m_params) p.second->Release();
  }
  std::mutex m_mutex;
  BIND_OPTS m_opts{};
  std::vector<IUnknown *> m_bound;
  std::map<std::u16string, IUnknown *> m_params;
};

}  // namespace
}  // namespace platform

HRESULT STDAPICALLTYPE GetRunningObjectTable(DWORD reserved, LPRUNNINGOBJECTTABLE *pprot) {
  if (!pprot) return E_INVALIDARG;
  *pprot = nullptr;
  if (reserved != 0) return E_INVALIDARG;
  auto &table = platform::TheTable();
  table.AddRef();
  *pprot = &table;
  return S_OK;
}

HRESULT STDAPICALLTYPE CreateFileMoniker(LPCOLESTR lpszPathName, LPMONIKER *ppmk) {
  if (!ppmk) return E_INVALIDARG;
  *ppmk = nullptr;
  if (!lpszPathName) return E_INVALIDARG;
  *ppmk = new platform::FileMoniker(std::u16string(platform::View(lpszPathName)));
  return S_OK;
}

HRESULT STDAPICALLTYPE CreateBindCtx(DWORD reserved, LPBC *ppbc) {
  if (!ppbc) return E_INVALIDARG;
  *ppbc = nullptr;
  if (reserved != 0) return E_INVALIDARG;
  *ppbc = new platform::BindCtx;
  return S_OK;
}

HRESULT STDAPICALLTYPE MkParseDisplayName(LPBC pbc, LPCOLESTR szUserName, ULONG *pchEaten, LPMONIKER *ppmk) {
  if (pchEaten) *pchEaten = 0;
  if (ppmk) *ppmk = nullptr;
  if (!pbc || !szUserName || !pchEaten || !ppmk) return E_INVALIDARG;
  std::u16string_view name = platform::View(szUserName);
  if (name.empty()) return MK_E_SYNTAX;
  // "@ProgID", "ProgID:..." and "clsid:..." name classes, not files; only a
  // colon right after a drive letter belongs to a path.
  if (name[0] == u'@') return MK_E_SYNTAX;
  size_t colon = name.find(u':');
  if (colon != std::u16string_view::npos && colon != 1) return MK_E_SYNTAX;
  if (name.find(u':', colon == std::u16string_view::npos ? 0 : colon + 1) != std::u16string_view::npos)
    return MK_E_SYNTAX;
  HRESULT hr = CreateFileMoniker(szUserName, ppmk);
  if (SUCCEEDED(hr)) *pchEaten = static_cast<ULONG>(name.size());
  return hr;
}

HRESULT STDAPICALLTYPE CoGetObject(LPCWSTR pszName, BIND_OPTS *pBindOptions, REFIID riid, void **ppv) {
  if (!ppv) return E_INVALIDARG;
  *ppv = nullptr;
  if (!pszName) return E_INVALIDARG;
  if (!platform::ComUsable()) return CO_E_NOTINITIALIZED;
  IBindCtx *bc = nullptr;
  HRESULT hr = CreateBindCtx(0, &bc);
  if (FAILED(hr)) return hr;
  if (pBindOptions) hr = bc->SetBindOptions(pBindOptions);
  IMoniker *mk = nullptr;
  ULONG eaten = 0;
  if (SUCCEEDED(hr)) hr = MkParseDisplayName(bc, pszName, &eaten, &mk);
  if (SUCCEEDED(hr)) {
    hr = mk->BindToObject(bc, nullptr, riid, ppv);
    mk->Release();
  }
  bc->Release();
  return hr;
}

HRESULT STDAPICALLTYPE OleRun(LPUNKNOWN pUnknown) {
  if (!pUnknown) return E_INVALIDARG;
  IRunnableObject *runnable = nullptr;
  // Objects that are not runnable are running already.
  if (FAILED(pUnknown->QueryInterface(IID_IRunnableObject, reinterpret_cast<void **>(&runnable)))) return S_OK;
  HRESULT hr = runnable->Run(nullptr);
  runnable->Release();
  return hr;
}
