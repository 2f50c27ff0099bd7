// The object map: the six creatable classes in registration order.
#include "frame/port.h"
#include "QuillonRevisionDirectory.h"
#include "directory/revision_collections.h"
#include "directory/revision_directory.h"
#include "frame/module.h"
#include "revision/processor_type.h"
#include "revision/revision.h"

namespace revdir {

const ObjectMapEntry *ObjectMap(size_t *count) {
  static const ObjectMapEntry kMap[] = {
      {&CLSID_RevisionDirectory, &CRevisionDirectory::CreateInstance, 101, OLESTR("RevisionDirectory Class")},
      {&CLSID_Revision, &CRevision::CreateInstance, 102, OLESTR("Revision Class")},
      {&CLSID_AvailableRevisions, &CAvailableRevisions::CreateInstance, 103, OLESTR("AvailableRevisions Class")},
      {&CLSID_Revisions, &CRevisions::CreateInstance, 104, OLESTR("Revisions Class")},
      {&CLSID_ProcessorTypes, &CProcessorTypes::CreateInstance, 105, OLESTR("ProcessorTypes Class")},
      {&CLSID_ProcessorType, &CProcessorType::CreateInstance, 106, OLESTR("ProcessorType Class")},
  };
  *count = ARRAYSIZE(kMap);
  return kMap;
}

}  // namespace revdir
