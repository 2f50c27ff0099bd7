// The controller (processor) types the component knows: their catalogue and,
// per release, the types that release programs and at which firmware.
#pragma once

#include "frame/port.h"
#include <windows.h>

#include <set>

// The ids are the type library's RdProcessorTypes. Only 24 have a catalogue
// row; the others are named by no table, so every release treats them as
// unsupported.
#include "QuillonRevisionDirectory.h"

namespace revdir {

struct CRevisionInformation;

// A static row: a catalogue entry, or a type as one release supports it.
struct CProcessorTypeRow {
  LONG Id;                    // RdProcessorTypes
  const WCHAR *Name;          // catalogue number, static storage
  DWORD DescriptionStringId;  // string resource with the display text
  LONG ProductType;           // identity the controller reports
  LONG ProductCode;
  LONG MajorRev;              // firmware; -1 in the catalogue
  LONG MinorRev;
};

// A row as a collection holds it: the static fields and the language whose
// string table gives its display text.
struct CProcessorTypeInformation {
  LONG Id;
  const WCHAR *Name;
  DWORD DescriptionStringId;
  LONG ProductType;
  LONG ProductCode;
  LONG MajorRev;
  LONG MinorRev;
  LONG LanguageId;
};

// Compares catalogue numbers ignoring case, the way _wcsicmp does in the C
// locale: UTF-16 units after lower-casing A-Z; the sign tells the order. A
// null name sorts before any text.
int CompareProcessorTypeNames(const WCHAR *a, const WCHAR *b);

// Records are ordered, and told apart, by name alone (ignoring case).
bool operator<(const CProcessorTypeInformation &a, const CProcessorTypeInformation &b);

// The set a ProcessorTypes collection holds.
using ProcessorTypeSet = std::set<CProcessorTypeInformation>;

// Every type the component serves, in the order the controller-identity
// lookup scans them.
constexpr DWORD kProcessorTypeCatalogCount = 24;
extern const CProcessorTypeRow kProcessorTypeCatalog[kProcessorTypeCatalogCount];

// The types each release programs, at the firmware it works with: one table
// per run of releases in kRevisionTable that program the same, named after
// the first release of the run (kTypesFrom13v01: releases 13.01 on, up to the
// release that the next table is named after). Each table is in ascending Id
// order; kRevisionTable points to them with their row counts.
extern const CProcessorTypeRow kTypesFrom1v00[];
extern const CProcessorTypeRow kTypesFrom1v10[];
extern const CProcessorTypeRow kTypesFrom1v11[];
extern const CProcessorTypeRow kTypesFrom1v20[];
extern const CProcessorTypeRow kTypesFrom1v21[];
extern const CProcessorTypeRow kTypesFrom1v23[];
extern const CProcessorTypeRow kTypesFrom2v10[];
extern const CProcessorTypeRow kTypesFrom2v15[];
extern const CProcessorTypeRow kTypesFrom2v25[];
extern const CProcessorTypeRow kTypesFrom2v27[];
extern const CProcessorTypeRow kTypesFrom2v51[];
extern const CProcessorTypeRow kTypesFrom6v01[];
extern const CProcessorTypeRow kTypesFrom7v00[];
extern const CProcessorTypeRow kTypesFrom8v00[];
extern const CProcessorTypeRow kTypesFrom8v02[];
extern const CProcessorTypeRow kTypesFrom9v00[];
extern const CProcessorTypeRow kTypesFrom10v00[];
extern const CProcessorTypeRow kTypesFrom11v00[];
extern const CProcessorTypeRow kTypesFrom12v00[];
extern const CProcessorTypeRow kTypesFrom13v00[];
extern const CProcessorTypeRow kTypesFrom13v01[];
extern const CProcessorTypeRow kTypesFrom14v00[];
extern const CProcessorTypeRow kTypesFrom15v00[];

// A table with its size.
struct ProcessorTypeTableRef {
  const CProcessorTypeRow *Rows;
  DWORD Count;
};
constexpr DWORD kProcessorTypeTableCount = 23;
// The tables above with their sizes, in the order of their first releases.
extern const ProcessorTypeTableRef kProcessorTypeTables[kProcessorTypeTableCount];

// Adds count rows, in order, each with the language id. A row whose name is
// already in the set (ignoring case) is dropped: the first one inserted wins.
// E_INVALIDARG when rows is null and count is not 0; E_OUTOFMEMORY when the
// set cannot grow (the rows inserted before stay).
HRESULT InsertProcessorTypes(ProcessorTypeSet &set, const CProcessorTypeRow *rows, DWORD count, LONG languageId);

// The first row of the release's table with this type id, or null.
const CProcessorTypeRow *FindProcessorFirmware(const CRevisionInformation *revision, LONG id);

}  // namespace revdir
