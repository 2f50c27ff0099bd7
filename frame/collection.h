// The shape shared by the three collection classes: an ordered set of
// elements with unique insertion, Count, a 1-based Item and an IEnumVARIANT
// enumerator that keeps the collection alive. Collections set no error
// information.
#pragma once

#include "frame/port.h"
#include <algorithm>
#include <iterator>

#include "frame/com_object.h"
#include "frame/dispatch_impl.h"

namespace revdir {

// Traits supply: Set (an ordered std::set with unique insertion), ItemInterface,
// and static HRESULT CreateItem(const Set::value_type &, ItemInterface **).
template <class Set>
const typename Set::value_type &ElementAt(const Set &set, size_t index) {
  return *std::next(set.begin(), static_cast<std::ptrdiff_t>(index));
}

template <class Collection>
class CollectionEnumerator : public IEnumVARIANT, public ObjectRoot {
 public:
  void Bind(Collection *collection, size_t position) {
    m_collection = collection;
    m_collection->AddRef();
    m_position = position;
  }
  void FinalRelease() {
    if (m_collection) m_collection->Release();
  }
  void *FindInterface(REFIID riid) {
    if (IsEqualGUID(riid, IID_IEnumVARIANT) || IsEqualGUID(riid, IID_IUnknown)) return static_cast<IEnumVARIANT *>(this);
    return nullptr;
  }

  STDMETHODIMP Next(ULONG celt, VARIANT *rgVar, ULONG *pCeltFetched) override {
    if (!rgVar || (celt != 1 && !pCeltFetched)) return E_POINTER;
    const auto &items = m_collection->Set();
    ULONG fetched = 0;
    while (fetched < celt && m_position < items.size()) {
      typename Collection::ItemInterface *item;
      HRESULT hr = Collection::Traits::CreateItem(ElementAt(items, m_position), &item);
      if (FAILED(hr)) {
        for (ULONG i = 0; i < fetched; ++i) VariantClear(&rgVar[i]);
        if (pCeltFetched) *pCeltFetched = 0;
        return hr;
      }
      VariantInit(&rgVar[fetched]);
      rgVar[fetched].vt = VT_DISPATCH;
      rgVar[fetched].pdispVal = item;
      ++fetched;
      ++m_position;
    }
    if (pCeltFetched) *pCeltFetched = fetched;
    return fetched == celt ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG celt) override {
    size_t size = m_collection->Set().size();
    size_t left = size - std::min(m_position, size);
    m_position = std::min(size, m_position + celt);
    return celt <= left ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    m_position = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumVARIANT **ppEnum) override {
    if (!ppEnum) return E_POINTER;
    return Create(m_collection, m_position, ppEnum);
  }

  static HRESULT Create(Collection *collection, size_t position, IEnumVARIANT **out) {
    return CreateBoundInstance<CollectionEnumerator>(
        [&](CollectionEnumerator &e) { e.Bind(collection, position); }, IID_IEnumVARIANT,
        reinterpret_cast<void **>(out));
  }

 private:
  Collection *m_collection = nullptr;
  size_t m_position = 0;
};

// Itf is the collection's dual interface (IRevisions, IAvailableRevisions,
// IProcessorTypes); its members are _NewEnum, Item and Count.
template <class Itf, const IID *Iid, class TraitsT>
class Collection : public DispatchImpl<Itf, Iid>, public ObjectRoot {
 public:
  using Traits = TraitsT;
  using Interface = Itf;
  using ItemInterface = typename Traits::ItemInterface;

  void *FindInterface(REFIID riid) {
    if (IsEqualGUID(riid, *Iid) || IsEqualGUID(riid, IID_IDispatch) || IsEqualGUID(riid, IID_IUnknown))
      return static_cast<Itf *>(this);
    return nullptr;
  }

  typename Traits::Set &Set() { return m_set; }

  STDMETHODIMP get__NewEnum(IUnknown **ppUnk) override {
    if (!ppUnk) return E_POINTER;
    *ppUnk = nullptr;
    IEnumVARIANT *e;
    HRESULT hr = CollectionEnumerator<Collection>::Create(this, 0, &e);
    if (FAILED(hr)) return hr;
    *ppUnk = e;
    return S_OK;
  }
  STDMETHODIMP get_Item(LONG Index, ItemInterface **ppItem) override {
    if (!ppItem) return E_POINTER;
    *ppItem = nullptr;
    if (Index < 1) return E_INVALIDARG;
    if (static_cast<size_t>(Index) > m_set.size()) return E_FAIL;
    return Traits::CreateItem(ElementAt(m_set, Index - 1), ppItem);
  }
  STDMETHODIMP get_Count(LONG *pCount) override {
    if (!pCount) return E_POINTER;
    *pCount = static_cast<LONG>(m_set.size());
    return S_OK;
  }

 private:
  typename Traits::Set m_set;
};

}  // namespace revdir
