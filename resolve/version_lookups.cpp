// Look-ups of a release by major revision, software version and controller
// identity.
#include "frame/port.h"

#include "resolve/version_lookups.h"

#include <iterator>

#include "catalog/installed_path.h"

namespace revdir {

const CRevisionInformation *FindRevisionByMajorRev(const MajorRevKeySet &revisions, DWORD majorRev) {
  CRevisionInformation key = MajorRevSearchKey(majorRev);
  // The search key is equivalent to every release of the major revision.
  auto upper = revisions.upper_bound(CMajorRevKey{&key, -1});
  if (upper == revisions.begin()) return nullptr;
  auto it = upper;
  do {
    --it;
    if (it->Revision->MajorRev < majorRev) break;
    if (IsInstalled(it->Revision)) return it->Revision;
  } while (it != revisions.begin());
  const CRevisionInformation *highest = std::prev(upper)->Revision;
  return highest->MajorRev == majorRev ? highest : nullptr;
}

const CRevisionInformation *FindRevisionByMajorSoftwareVersion(const SoftwareVersionIndex &index, DWORD major) {
  CRevisionInformation key = SoftwareVersionSearchKey(major, kRevisionKeyAny);
  auto end = index.lower_bound(&key);  // after the last of `major`
  const CRevisionInformation *highest = nullptr;
  for (auto it = end; it != index.begin();) {
    --it;
    if ((*it)->MajorSoftwareVersion != major) break;
    if (!highest) highest = *it;
    if (IsInstalled(*it)) return *it;
  }
  return highest;
}

const CRevisionInformation *FindLatestInstalledRevision(const SoftwareVersionIndex &index) {
  for (auto it = index.rbegin(); it != index.rend(); ++it)
    if (IsInstalled(*it)) return *it;
  return nullptr;
}

const CProcessorTypeRow *FindControllerType(LONG productType, LONG productCode) {
  for (const CProcessorTypeRow &row : kProcessorTypeCatalog)
    if (row.ProductType == productType && row.ProductCode == productCode) return &row;
  return nullptr;
}

}  // namespace revdir
