// The releases that exist, built into the component, and the keys and
// indices by which the directory finds them.
#pragma once

#include "frame/port.h"
#include <windows.h>

#include <set>

namespace revdir {

struct CProcessorTypeRow;

// One release. Everything here is constant; whether the release is
// installed, and where, is kept beside the table (installed_path.h) because
// it is process-wide state that changes while other threads read it.
struct CRevisionInformation {
  DWORD MajorSoftwareVersion;
  DWORD MinorSoftwareVersion;
  DWORD MajorRev;
  DWORD ACDFileVersionNumber;
  const CProcessorTypeRow *ProcessorTypeTable;
  DWORD ProcessorTypeCount;
  const WCHAR *AutomationInterfaceVersion;  // ProgId suffix, leading point included
};

// A number field that a search does not use. In MajorSoftwareVersion it
// marks a search key, never a release.
constexpr DWORD kRevisionKeyAny = 0xFFFFFFFF;

constexpr DWORD kRevisionCount = 50;
extern const CRevisionInformation kRevisionTable[kRevisionCount];

// Row of a record in kRevisionTable (0-based), or -1 for anything else
// (a search key, null).
LONG RevisionTableIndex(const CRevisionInformation *record);

// Search keys: the fields a search does not use are kRevisionKeyAny.
CRevisionInformation MajorRevSearchKey(DWORD majorRev);
CRevisionInformation DatabaseVersionSearchKey(DWORD acdFileVersion);
CRevisionInformation SoftwareVersionSearchKey(DWORD majorSoftwareVersion, DWORD minorSoftwareVersion);

// Element of the revision collections. The record is not owned; the language
// id is the one the collection had when the key was inserted.
struct CMajorRevKey {
  const CRevisionInformation *Revision;
  LONG LanguageId;
};

// By MajorRev, then software version, then database version. A key whose
// MajorSoftwareVersion is kRevisionKeyAny is equivalent to every release of its
// MajorRev, so one search finds a whole major revision.
bool operator<(const CMajorRevKey &a, const CMajorRevKey &b);

// The set a revision collection holds.
using MajorRevKeySet = std::set<CMajorRevKey>;

// By database version; within one, by software version, with a search key
// equivalent to every release of that database version.
struct DatabaseVersionLess {
  bool operator()(const CRevisionInformation *a, const CRevisionInformation *b) const;
};

// By software version (major, then minor).
struct SoftwareVersionLess {
  bool operator()(const CRevisionInformation *a, const CRevisionInformation *b) const;
};

// A directory's two indices of the table: ordered, unique, never owning.
using DatabaseVersionIndex = std::set<const CRevisionInformation *, DatabaseVersionLess>;
using SoftwareVersionIndex = std::set<const CRevisionInformation *, SoftwareVersionLess>;

// The release with exactly this software version, or null.
const CRevisionInformation *FindBySoftwareVersion(const SoftwareVersionIndex &index, DWORD majorSoftwareVersion,
                                                  DWORD minorSoftwareVersion);

}  // namespace revdir
