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
constexpr DWORD ProcessorTypeCatalogCount = 24;
extern const CProcessorTypeRow ProcessorTypeCatalog[ProcessorTypeCatalogCount];

// The per-release tables, each in ascending Id order (RevisionTable points to
// them with their row counts).
extern const CProcessorTypeRow ProcessorTypeTable1[];
extern const CProcessorTypeRow ProcessorTypeTable2[];
extern const CProcessorTypeRow ProcessorTypeTable3[];
extern const CProcessorTypeRow ProcessorTypeTable4[];
extern const CProcessorTypeRow ProcessorTypeTable5[];
extern const CProcessorTypeRow ProcessorTypeTable6[];
extern const CProcessorTypeRow ProcessorTypeTable7[];
extern const CProcessorTypeRow ProcessorTypeTable8[];
extern const CProcessorTypeRow ProcessorTypeTable9[];
extern const CProcessorTypeRow ProcessorTypeTable10[];
extern const CProcessorTypeRow ProcessorTypeTable11[];
extern const CProcessorTypeRow ProcessorTypeTable12[];
extern const CProcessorTypeRow ProcessorTypeTable13[];
extern const CProcessorTypeRow ProcessorTypeTable14[];
extern const CProcessorTypeRow ProcessorTypeTable15[];
extern const CProcessorTypeRow ProcessorTypeTable16[];
extern const CProcessorTypeRow ProcessorTypeTable17[];
extern const CProcessorTypeRow ProcessorTypeTable18[];
extern const CProcessorTypeRow ProcessorTypeTable19[];
extern const CProcessorTypeRow ProcessorTypeTable20[];
extern const CProcessorTypeRow ProcessorTypeTable21[];
extern const CProcessorTypeRow ProcessorTypeTable22[];
extern const CProcessorTypeRow ProcessorTypeTable23[];

struct ProcessorTypeTableRef {
  const CProcessorTypeRow *Rows;
  DWORD Count;
};
constexpr DWORD ProcessorTypeTableCount = 23;
// The tables above with their sizes, in their numbering (index 0 is table 1).
extern const ProcessorTypeTableRef ProcessorTypeTables[ProcessorTypeTableCount];

// Adds count rows, in order, each with the language id. A row whose name is
// already in the set (ignoring case) is dropped: the first one inserted wins.
// E_INVALIDARG when rows is null and count is not 0; E_OUTOFMEMORY when the
// set cannot grow (the rows inserted before stay).
HRESULT InsertProcessorTypes(ProcessorTypeSet &set, const CProcessorTypeRow *rows, DWORD count, LONG languageId);

// The first row of the release's table with this type id, or null.
const CProcessorTypeRow *FindProcessorFirmware(const CRevisionInformation *revision, LONG id);

}  // namespace revdir
