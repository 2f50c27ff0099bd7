// The controller (processor) types the component knows: their catalogue and,
// per release, the types that release programs and at which firmware.
#pragma once

#include "frame/port.h"
#include <windows.h>

#include <set>

struct CRevisionInformation;

// Values of the type library's RdProcessorTypes. Only 24 have a catalogue
// row; the others are named by no table, so every release treats them as
// unsupported.
namespace ProcessorTypeId {
constexpr LONG Arvane01 = 1;
constexpr LONG Arvane02 = 2;
constexpr LONG Quorral01 = 3;
constexpr LONG Betrel01 = 4;
constexpr LONG Nimbrel01 = 5;
constexpr LONG Ostrel01 = 6;
constexpr LONG Motion01 = 7;
constexpr LONG Arvane03 = 8;
constexpr LONG Arvane04 = 9;
constexpr LONG Quorral02 = 10;
constexpr LONG Betrel02 = 11;
constexpr LONG Betrel03 = 12;
constexpr LONG Betrel04 = 13;
constexpr LONG Arvane05 = 14;
constexpr LONG Ostrel02 = 15;
constexpr LONG Mimic01 = 16;
constexpr LONG Betrel05 = 17;
constexpr LONG Arvane06 = 18;
constexpr LONG Pendra01 = 19;
constexpr LONG Arvane07 = 20;
constexpr LONG Arvane08 = 21;
constexpr LONG Ostrel03 = 22;
constexpr LONG Betrel06 = 23;
constexpr LONG Betrel07 = 24;
constexpr LONG Betrel08 = 25;
constexpr LONG Betrel09 = 26;
constexpr LONG Arvane09 = 27;
constexpr LONG Arvane10 = 28;
constexpr LONG Arvane11 = 29;
constexpr LONG Betrel10 = 30;
constexpr LONG Betrel11 = 31;
constexpr LONG Betrel12 = 32;
}  // namespace ProcessorTypeId

// A static row: a catalogue entry, or a type as one release supports it.
struct CProcessorTypeRow {
  LONG Id;                    // ProcessorTypeId
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
