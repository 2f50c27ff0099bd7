// The object map: the six creatable classes in registration order.
#include "frame/port.h"
#include "QuillonRevisionDirectory.h"
#include "directory/revision_collections.h"
#include "directory/revision_directory.h"
#include "frame/module.h"
#include "revision/processor_type.h"
#include "revision/revision.h"
#include "resources/resource.h"

namespace revdir {

const ObjectMapEntry *ObjectMap(size_t *count) {
  static const ObjectMapEntry kMap[] = {
      {&CLSID_RevisionDirectory, &CRevisionDirectory::CreateInstance, IDR_REVISIONDIRECTORY},
      {&CLSID_Revision, &CRevision::CreateInstance, IDR_REVISION},
      {&CLSID_AvailableRevisions, &CAvailableRevisions::CreateInstance, IDR_AVAILABLEREVISIONS},
      {&CLSID_Revisions, &CRevisions::CreateInstance, IDR_REVISIONS},
      {&CLSID_ProcessorTypes, &CProcessorTypes::CreateInstance, IDR_PROCESSORTYPES},
      {&CLSID_ProcessorType, &CProcessorType::CreateInstance, IDR_PROCESSORTYPE},
  };
  *count = ARRAYSIZE(kMap);
  return kMap;
}

}  // namespace revdir
