#include "frame/port.h"
#include "catalog/processor_catalog.h"
#include "resources/resource.h"

#include <wchar.h>

#include <new>

#include "catalog/revision_table.h"

namespace revdir {

// clang-format off
const CProcessorTypeRow kProcessorTypeCatalog[kProcessorTypeCatalogCount] = {
    // Id, Name, description string, product type, product code, major, minor   // English display text
    {Arvane01,  OLESTR("AR-01"), IDS_ARVANE01, 14,  3, -1, -1},  // Arvane 01 Controller
    {Quorral01, OLESTR("QR-01"), IDS_QUORRAL01, 14, 41, -1, -1},  // Quorral 01 Controller
    {Nimbrel01, OLESTR("NB-01"), IDS_NIMBREL01, 14, 15, -1, -1},  // Nimbrel 01 Controller
    {Ostrel01,  OLESTR("OS-01"), IDS_OSTREL01, 14, 48, -1, -1},  // Ostrel 01 Controller
    {Arvane03,  OLESTR("AR-03"), IDS_ARVANE03, 14, 50, -1, -1},  // Arvane 03 Controller
    {Arvane04,  OLESTR("AR-04"), IDS_ARVANE04, 14, 51, -1, -1},  // Arvane 04 Controller
    {Quorral02, OLESTR("QR-02"), IDS_QUORRAL02, 14, 42, -1, -1},  // Quorral 02 Controller
    {Betrel02,  OLESTR("BT-02"), IDS_BETREL02, 14, 43, -1, -1},  // Betrel 02 Controller
    {Betrel03,  OLESTR("BT-03"), IDS_BETREL03, 14, 44, -1, -1},  // Betrel 03 Controller
    {Arvane05,  OLESTR("AR-05"), IDS_ARVANE05, 14, 56, -1, -1},  // Arvane 05 Controller
    {Ostrel02,  OLESTR("OS-02"), IDS_OSTREL02, 14, 49, -1, -1},  // Ostrel 02 Controller
    {Mimic01,   OLESTR("MM-01"), IDS_MIMIC01, 14, 53, -1, -1},  // Mimic 01 Controller
    {Betrel05,  OLESTR("BT-05"), IDS_BETREL05, 14, 65, -1, -1},  // Betrel 05 Controller
    {Arvane07,  OLESTR("AR-07"), IDS_ARVANE07, 14, 54, -1, -1},  // Arvane 07 Controller
    {Arvane08,  OLESTR("AR-08"), IDS_ARVANE08, 14, 55, -1, -1},  // Arvane 08 Controller
    {Ostrel03,  OLESTR("OS-03"), IDS_OSTREL03, 14, 52, -1, -1},  // Ostrel 03 Controller
    {Betrel06,  OLESTR("BT-06"), IDS_BETREL06, 14, 64, -1, -1},  // Betrel 06 Controller
    {Betrel07,  OLESTR("BT-07"), IDS_BETREL07, 14, 77, -1, -1},  // Betrel 07 Controller
    {Betrel09,  OLESTR("BT-09"), IDS_BETREL09, 14, 80, -1, -1},  // Betrel 09 Controller
    {Arvane09,  OLESTR("AR-09"), IDS_ARVANE09, 14, 79, -1, -1},  // Arvane 09 Controller
    {Arvane10,  OLESTR("AR-10"), IDS_ARVANE10, 14, 67, -1, -1},  // Arvane 10 Safety Controller
    {Arvane11,  OLESTR("AR-11"), IDS_ARVANE11, 14, 68, -1, -1},  // Arvane 11 Safety Controller
    {Betrel10,  OLESTR("BT-10"), IDS_BETREL10, 14, 76, -1, -1},  // Betrel 10 Controller
    {Betrel11,  OLESTR("BT-11"), IDS_BETREL11, 14, 72, -1, -1},  // Betrel 11 Controller
};
// clang-format on

int CompareProcessorTypeNames(const WCHAR *a, const WCHAR *b) {
  // _wcsicmp would call the invalid-parameter handler for null; no static row
  // has a null name, but a null sorts first rather than reaching it.
  if (!a || !b) return (a ? 1 : 0) - (b ? 1 : 0);
  return _wcsicmp(a, b);
}

bool operator<(const CProcessorTypeInformation &a, const CProcessorTypeInformation &b) {
  return CompareProcessorTypeNames(a.Name, b.Name) < 0;
}

HRESULT InsertProcessorTypes(ProcessorTypeSet &set, const CProcessorTypeRow *rows, DWORD count, LONG languageId) {
  if (!rows && count) return E_INVALIDARG;
  try {
    for (DWORD i = 0; i < count; ++i) {
      const CProcessorTypeRow &r = rows[i];
      set.insert({r.Id, r.Name, r.DescriptionStringId, r.ProductType, r.ProductCode, r.MajorRev, r.MinorRev, languageId});
    }
  } catch (const std::bad_alloc &) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

const CProcessorTypeRow *FindProcessorFirmware(const CRevisionInformation *revision, LONG id) {
  if (!revision || !revision->ProcessorTypeTable) return nullptr;
  for (DWORD i = 0; i < revision->ProcessorTypeCount; ++i) {
    if (revision->ProcessorTypeTable[i].Id == id) return &revision->ProcessorTypeTable[i];
  }
  return nullptr;
}

}  // namespace revdir
