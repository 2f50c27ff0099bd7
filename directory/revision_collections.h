// The Revisions and AvailableRevisions collections: releases ordered by
// major revision, then software version.
#pragma once

#include "frame/port.h"

#include "QuillonRevisionDirectory.h"
#include "catalog/revision_table.h"
#include "frame/collection.h"

namespace revdir {

struct RevisionsTraits {
  using Set = MajorRevKeySet;
  using ItemInterface = IRevision;
  // A new revision object for the key, handed out as IRevision_V2.
  static HRESULT CreateItem(const CMajorRevKey &key, IRevision **out);
};

class CRevisions : public Collection<IRevisions, &IID_IRevisions, RevisionsTraits> {
 public:
  static HRESULT CreateInstance(IUnknown *outer, REFIID riid, void **ppv);
};

class CAvailableRevisions : public Collection<IAvailableRevisions, &IID_IAvailableRevisions, RevisionsTraits> {
 public:
  static HRESULT CreateInstance(IUnknown *outer, REFIID riid, void **ppv);
};

}  // namespace revdir
