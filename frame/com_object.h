// Reference counting, identity and aggregation for the component's classes.
//
// A class T derives from its interfaces and from ObjectRoot, and provides
//   void *FindInterface(REFIID riid);   // its interface map, in order; the
//                                       // pointer for IUnknown is its identity
//   HRESULT FinalConstruct();           // optional, from ObjectRoot
//   void FinalRelease();                // optional, from ObjectRoot
// The wrappers below implement IUnknown for a plain object (ComObject), for
// the inner object of an aggregate (ComContainedObject inside ComAggObject).
#pragma once

#include "frame/port.h"
#include <objbase.h>

#include <atomic>
#include <new>

#include "frame/module.h"

namespace revdir {

class ObjectRoot {
 public:
  HRESULT FinalConstruct() { return S_OK; }
  void FinalRelease() {}

 protected:
  ObjectRoot() = default;
  // All classes count atomically; a count shared between threads is then
  // safe whatever the client does.
  std::atomic<ULONG> m_refs{0};
};

template <class T>
HRESULT InternalQueryInterface(T *object, REFIID riid, void **ppv) {
  if (!ppv) return E_POINTER;
  void *p = object->FindInterface(riid);
  if (!p) {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  static_cast<IUnknown *>(p)->AddRef();
  *ppv = p;
  return S_OK;
}

// A plain, non-aggregated object. Holds a module lock for its lifetime.
template <class T>
class ComObject final : public T {
 public:
  ComObject() { ModuleLock(); }
  ~ComObject() { ModuleUnlock(); }
  ComObject(const ComObject &) = delete;
  ComObject &operator=(const ComObject &) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override { return InternalQueryInterface<T>(this, riid, ppv); }
  STDMETHODIMP_(ULONG) AddRef() override { return ++this->m_refs; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG refs = --this->m_refs;
    if (refs == 0) {
      this->m_refs = 1;  // a re-entrant AddRef/Release in cleanup must not delete twice
      this->FinalRelease();
      delete this;
    }
    return refs;
  }

  // Allocates an object with a count of 0 and runs its construction; the
  // caller queries it (which adds the first reference). Internal creation
  // uses this directly, never the class factory.
  static HRESULT Create(ComObject **out) {
    *out = nullptr;
    auto *object = new (std::nothrow) ComObject();
    if (!object) return E_OUTOFMEMORY;
    object->m_refs = 1;  // keep it alive through construction
    HRESULT hr = object->FinalConstruct();
    object->m_refs = 0;
    if (FAILED(hr)) {
      object->m_refs = 1;
      object->FinalRelease();
      delete object;
      return hr;
    }
    *out = object;
    return S_OK;
  }
};

// The inner object of an aggregate: every interface but the inner IUnknown
// delegates to the controlling object.
template <class T>
class ComContainedObject final : public T {
 public:
  explicit ComContainedObject(IUnknown *outer) : m_outer(outer) {}
  STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override { return m_outer->QueryInterface(riid, ppv); }
  STDMETHODIMP_(ULONG) AddRef() override { return m_outer->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return m_outer->Release(); }

 private:
  IUnknown *m_outer;
};

// The aggregatable form: its own IUnknown answers the class's interface map
// and counts the inner object's references.
template <class T>
class ComAggObject final : public IUnknown {
 public:
  explicit ComAggObject(IUnknown *outer) : m_contained(outer) { ModuleLock(); }
  ~ComAggObject() { ModuleUnlock(); }
  ComAggObject(const ComAggObject &) = delete;
  ComAggObject &operator=(const ComAggObject &) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown)) {
      *ppv = static_cast<IUnknown *>(this);
      AddRef();
      return S_OK;
    }
    return InternalQueryInterface<T>(&m_contained, riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG refs = --m_refs;
    if (refs == 0) {
      m_refs = 1;
      m_contained.FinalRelease();
      delete this;
    }
    return refs;
  }

  HRESULT FinalConstruct() { return m_contained.FinalConstruct(); }

 private:
  std::atomic<ULONG> m_refs{0};
  ComContainedObject<T> m_contained;
};

// A new object of class T that `bind` gives its state before it is asked
// for `riid`; the object is destroyed when the query fails.
template <class T, class Bind>
HRESULT CreateBoundInstance(Bind &&bind, REFIID riid, void **ppv) {
  *ppv = nullptr;
  ComObject<T> *object;
  HRESULT hr = ComObject<T>::Create(&object);
  if (FAILED(hr)) return hr;
  bind(static_cast<T &>(*object));
  object->AddRef();
  hr = object->QueryInterface(riid, ppv);
  object->Release();
  return hr;
}

// The class factory's CreateInstance for class T: plain or aggregated; a
// failed construction or query destroys the new object.
template <class T>
HRESULT CreateComInstance(IUnknown *outer, REFIID riid, void **ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) {
    if (!IsEqualGUID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    auto *object = new (std::nothrow) ComAggObject<T>(outer);
    if (!object) return E_OUTOFMEMORY;
    object->AddRef();
    HRESULT hr = object->FinalConstruct();
    if (SUCCEEDED(hr)) hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
  }
  return CreateBoundInstance<T>([](T &) {}, riid, ppv);
}

}  // namespace revdir
