#include "frame/port.h"
#include "directory/revision_collections.h"

#include "revision/revision.h"

namespace revdir {

HRESULT RevisionsTraits::CreateItem(const CMajorRevKey &key, IRevision **out) {
  IRevision_V2 *revision;
  HRESULT hr = CRevision::CreateBound(key.Revision, key.LanguageId, IID_IRevision_V2,
                                      reinterpret_cast<void **>(&revision));
  *out = SUCCEEDED(hr) ? revision : nullptr;
  return hr;
}

HRESULT CRevisions::CreateInstance(IUnknown *outer, REFIID riid, void **ppv) {
  return CreateComInstance<CRevisions>(outer, riid, ppv);
}

HRESULT CAvailableRevisions::CreateInstance(IUnknown *outer, REFIID riid, void **ppv) {
  return CreateComInstance<CAvailableRevisions>(outer, riid, ppv);
}

}  // namespace revdir
