// Look-ups of a release by major revision, software version and controller
// identity: plain functions over a directory's collection and index of the
// release table.
#pragma once

#include "frame/port.h"

#include <windows.h>

#include "catalog/processor_catalog.h"
#include "catalog/revision_table.h"

namespace revdir {

// Of the releases of `majorRev`: the installed one with the highest software
// version, else the highest; null when there is none.
const CRevisionInformation *FindRevisionByMajorRev(const MajorRevKeySet &revisions, DWORD majorRev);

// Of the releases of major software version `major`: the installed one with
// the highest minor version, else the highest; null when there is none.
const CRevisionInformation *FindRevisionByMajorSoftwareVersion(const SoftwareVersionIndex &index, DWORD major);

// The installed release with the highest software version, or null.
const CRevisionInformation *FindLatestInstalledRevision(const SoftwareVersionIndex &index);

// The catalogue entry of the controller type that reports this identity, or
// null when it is no type of the catalogue.
const CProcessorTypeRow *FindControllerType(LONG productType, LONG productCode);

}  // namespace revdir
