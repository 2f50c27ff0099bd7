// What each release programs: one table per run of releases that support
// the same controllers at the same firmware, named after the run's first
// release. Rows repeat the catalogue entry of their type with the firmware
// revision the release works with.
#include "frame/port.h"
#include "resources/resource.h"
#include "catalog/processor_catalog.h"

namespace revdir {

// clang-format off
// Id, Name, description string, product type, product code, major, minor

// Release 1.00.
const CProcessorTypeRow kTypesFrom1v00[] = {
    {Arvane01,  OLESTR("AR-01"), IDS_ARVANE01, 14,  3, 1, 40},
};

// Release 1.10.
const CProcessorTypeRow kTypesFrom1v10[] = {
    {Arvane01,  OLESTR("AR-01"), IDS_ARVANE01, 14,  3, 1, 81},
};

// Release 1.11.
const CProcessorTypeRow kTypesFrom1v11[] = {
    {Arvane01,  OLESTR("AR-01"), IDS_ARVANE01, 14,  3, 1, 84},
};

// Release 1.20.
const CProcessorTypeRow kTypesFrom1v20[] = {
    {Arvane01,  OLESTR("AR-01"), IDS_ARVANE01, 14,  3, 2,  1},
};

// Release 1.21.
const CProcessorTypeRow kTypesFrom1v21[] = {
    {Arvane01,  OLESTR("AR-01"), IDS_ARVANE01, 14,  3, 2,  9},
};

// Release 1.23.
const CProcessorTypeRow kTypesFrom1v23[] = {
    {Arvane01,  OLESTR("AR-01"), IDS_ARVANE01, 14,  3, 2, 10},
};

// Release 2.10.
const CProcessorTypeRow kTypesFrom2v10[] = {
    {Arvane01,  OLESTR("AR-01"), IDS_ARVANE01, 14,  3, 3, 29},
};

// Release 2.15.
const CProcessorTypeRow kTypesFrom2v15[] = {
    {Arvane01,  OLESTR("AR-01"), IDS_ARVANE01, 14,  3, 3, 31},
};

// Release 2.25.
const CProcessorTypeRow kTypesFrom2v25[] = {
    {Arvane01,  OLESTR("AR-01"), IDS_ARVANE01, 14,  3, 4, 47},
};

// Release 2.27: the same rows as kTypesFrom2v25, kept as an array of its own
// like every release of its major revision.
const CProcessorTypeRow kTypesFrom2v27[] = {
    {Arvane01,  OLESTR("AR-01"), IDS_ARVANE01, 14,  3, 4, 47},
};

// Release 2.51.
const CProcessorTypeRow kTypesFrom2v51[] = {
    {Arvane01,  OLESTR("AR-01"), IDS_ARVANE01, 14,  3, 5, 16},
};

// Releases 6.01, 6.03.
const CProcessorTypeRow kTypesFrom6v01[] = {
    {Arvane01,  OLESTR("AR-01"), IDS_ARVANE01, 14,  3, 6,  6},
    {Quorral01, OLESTR("QR-01"), IDS_QUORRAL01, 14, 41, 6,  6},
    {Nimbrel01, OLESTR("NB-01"), IDS_NIMBREL01, 14, 15, 6,  1},
    {Arvane03,  OLESTR("AR-03"), IDS_ARVANE03, 14, 50, 6,  2},
    {Arvane04,  OLESTR("AR-04"), IDS_ARVANE04, 14, 51, 6,  1},
    {Quorral02, OLESTR("QR-02"), IDS_QUORRAL02, 14, 42, 6,  6},
};

// Releases 7.00, 7.02.
const CProcessorTypeRow kTypesFrom7v00[] = {
    {Arvane01,  OLESTR("AR-01"), IDS_ARVANE01, 14,  3, 7, 10},
    {Quorral01, OLESTR("QR-01"), IDS_QUORRAL01, 14, 41, 7,  5},
    {Nimbrel01, OLESTR("NB-01"), IDS_NIMBREL01, 14, 15, 7,  1},
    {Arvane03,  OLESTR("AR-03"), IDS_ARVANE03, 14, 50, 7,  6},
    {Arvane04,  OLESTR("AR-04"), IDS_ARVANE04, 14, 51, 7,  8},
    {Quorral02, OLESTR("QR-02"), IDS_QUORRAL02, 14, 42, 7,  5},
    {Betrel02,  OLESTR("BT-02"), IDS_BETREL02, 14, 43, 7,  5},
};

// Release 8.00.
const CProcessorTypeRow kTypesFrom8v00[] = {
    {Arvane01,  OLESTR("AR-01"), IDS_ARVANE01, 14,  3, 8,  9},
    {Quorral01, OLESTR("QR-01"), IDS_QUORRAL01, 14, 41, 8,  5},
    {Nimbrel01, OLESTR("NB-01"), IDS_NIMBREL01, 14, 15, 8,  1},
    {Ostrel01,  OLESTR("OS-01"), IDS_OSTREL01, 14, 48, 8,  7},
    {Arvane03,  OLESTR("AR-03"), IDS_ARVANE03, 14, 50, 8,  4},
    {Arvane04,  OLESTR("AR-04"), IDS_ARVANE04, 14, 51, 8, 16},
    {Quorral02, OLESTR("QR-02"), IDS_QUORRAL02, 14, 42, 8,  1},
    {Betrel02,  OLESTR("BT-02"), IDS_BETREL02, 14, 43, 8,  3},
    {Betrel03,  OLESTR("BT-03"), IDS_BETREL03, 14, 44, 8,  3},
};

// Release 8.02.
const CProcessorTypeRow kTypesFrom8v02[] = {
    {Arvane01,  OLESTR("AR-01"), IDS_ARVANE01, 14,  3, 8, 20},
    {Quorral01, OLESTR("QR-01"), IDS_QUORRAL01, 14, 41, 8, 12},
    {Nimbrel01, OLESTR("NB-01"), IDS_NIMBREL01, 14, 15, 8, 29},
    {Ostrel01,  OLESTR("OS-01"), IDS_OSTREL01, 14, 48, 8, 14},
    {Arvane03,  OLESTR("AR-03"), IDS_ARVANE03, 14, 50, 8, 14},
    {Arvane04,  OLESTR("AR-04"), IDS_ARVANE04, 14, 51, 8, 19},
    {Quorral02, OLESTR("QR-02"), IDS_QUORRAL02, 14, 42, 8, 12},
    {Betrel02,  OLESTR("BT-02"), IDS_BETREL02, 14, 43, 8, 14},
    {Betrel03,  OLESTR("BT-03"), IDS_BETREL03, 14, 44, 8, 14},
};

// Release 9.00.
const CProcessorTypeRow kTypesFrom9v00[] = {
    {Arvane01,  OLESTR("AR-01"), IDS_ARVANE01, 14,  3, 9, 13},
    {Arvane03,  OLESTR("AR-03"), IDS_ARVANE03, 14, 50, 9, 13},
    {Arvane04,  OLESTR("AR-04"), IDS_ARVANE04, 14, 51, 9, 14},
};

// Releases 10.00, 10.02, 10.03, 10.04, 10.05, 10.06, 10.07.
const CProcessorTypeRow kTypesFrom10v00[] = {
    {Arvane01,  OLESTR("AR-01"), IDS_ARVANE01, 14,  3, 10, 23},
    {Quorral01, OLESTR("QR-01"), IDS_QUORRAL01, 14, 41, 10, 14},
    {Nimbrel01, OLESTR("NB-01"), IDS_NIMBREL01, 14, 15, 10, 15},
    {Ostrel01,  OLESTR("OS-01"), IDS_OSTREL01, 14, 48, 10, 11},
    {Arvane03,  OLESTR("AR-03"), IDS_ARVANE03, 14, 50, 10, 23},
    {Arvane04,  OLESTR("AR-04"), IDS_ARVANE04, 14, 51, 10, 24},
    {Quorral02, OLESTR("QR-02"), IDS_QUORRAL02, 14, 42, 10, 14},
    {Betrel02,  OLESTR("BT-02"), IDS_BETREL02, 14, 43, 10, 10},
    {Betrel03,  OLESTR("BT-03"), IDS_BETREL03, 14, 44, 10, 10},
    {Arvane05,  OLESTR("AR-05"), IDS_ARVANE05, 14, 56, 10, 23},
    {Ostrel02,  OLESTR("OS-02"), IDS_OSTREL02, 14, 49, 10, 11},
};

// Releases 11.00, 11.01, 11.10, 11.11, 11.12, 11.13, 11.14, 11.15, 11.16.
const CProcessorTypeRow kTypesFrom11v00[] = {
    {Arvane01,  OLESTR("AR-01"), IDS_ARVANE01, 14,  3, 11, 28},
    {Quorral01, OLESTR("QR-01"), IDS_QUORRAL01, 14, 41, 11, 18},
    {Nimbrel01, OLESTR("NB-01"), IDS_NIMBREL01, 14, 15, 11, 16},
    {Ostrel01,  OLESTR("OS-01"), IDS_OSTREL01, 14, 48, 11, 11},
    {Arvane03,  OLESTR("AR-03"), IDS_ARVANE03, 14, 50, 11, 23},
    {Arvane04,  OLESTR("AR-04"), IDS_ARVANE04, 14, 51, 11, 25},
    {Quorral02, OLESTR("QR-02"), IDS_QUORRAL02, 14, 42, 11, 18},
    {Betrel02,  OLESTR("BT-02"), IDS_BETREL02, 14, 43, 11, 20},
    {Betrel03,  OLESTR("BT-03"), IDS_BETREL03, 14, 44, 11, 20},
    {Arvane05,  OLESTR("AR-05"), IDS_ARVANE05, 14, 56, 11, 19},
};

// Releases 12.00, 12.01, 12.02, 12.03, 12.04, 12.05, 12.06.
const CProcessorTypeRow kTypesFrom12v00[] = {
    {Arvane01,  OLESTR("AR-01"), IDS_ARVANE01, 14,  3, 12, 27},
    {Quorral01, OLESTR("QR-01"), IDS_QUORRAL01, 14, 41, 12, 22},
    {Nimbrel01, OLESTR("NB-01"), IDS_NIMBREL01, 14, 15, 12,  1},
    {Ostrel01,  OLESTR("OS-01"), IDS_OSTREL01, 14, 48, 12, 13},
    {Arvane04,  OLESTR("AR-04"), IDS_ARVANE04, 14, 51, 12, 23},
    {Quorral02, OLESTR("QR-02"), IDS_QUORRAL02, 14, 42, 12, 22},
    {Betrel02,  OLESTR("BT-02"), IDS_BETREL02, 14, 43, 12, 13},
    {Betrel03,  OLESTR("BT-03"), IDS_BETREL03, 14, 44, 12, 13},
    {Arvane05,  OLESTR("AR-05"), IDS_ARVANE05, 14, 56, 12, 30},
    {Mimic01,   OLESTR("MM-01"), IDS_MIMIC01, 14, 53, 12,  1},
    {Betrel05,  OLESTR("BT-05"), IDS_BETREL05, 14, 65, 12, 22},
    {Arvane07,  OLESTR("AR-07"), IDS_ARVANE07, 14, 54, 12, 30},
    {Arvane08,  OLESTR("AR-08"), IDS_ARVANE08, 14, 55, 12, 30},
};

// Release 13.00.
const CProcessorTypeRow kTypesFrom13v00[] = {
    {Arvane01,  OLESTR("AR-01"), IDS_ARVANE01, 14,  3, 13, 24},
    {Quorral01, OLESTR("QR-01"), IDS_QUORRAL01, 14, 41, 13, 24},
    {Nimbrel01, OLESTR("NB-01"), IDS_NIMBREL01, 14, 15, 13, 23},
    {Ostrel01,  OLESTR("OS-01"), IDS_OSTREL01, 14, 48, 13,  8},
    {Arvane04,  OLESTR("AR-04"), IDS_ARVANE04, 14, 51, 13, 25},
    {Quorral02, OLESTR("QR-02"), IDS_QUORRAL02, 14, 42, 13, 24},
    {Betrel02,  OLESTR("BT-02"), IDS_BETREL02, 14, 43, 13, 16},
    {Betrel03,  OLESTR("BT-03"), IDS_BETREL03, 14, 44, 13, 16},
    {Arvane05,  OLESTR("AR-05"), IDS_ARVANE05, 14, 56, 13, 25},
    {Mimic01,   OLESTR("MM-01"), IDS_MIMIC01, 14, 53, 13, 22},
    {Betrel05,  OLESTR("BT-05"), IDS_BETREL05, 14, 65, 13, 15},
    {Arvane07,  OLESTR("AR-07"), IDS_ARVANE07, 14, 54, 13, 25},
    {Arvane08,  OLESTR("AR-08"), IDS_ARVANE08, 14, 55, 13, 25},
    {Ostrel03,  OLESTR("OS-03"), IDS_OSTREL03, 14, 52, 13,  8},
    {Betrel06,  OLESTR("BT-06"), IDS_BETREL06, 14, 64, 13, 15},
    {Betrel07,  OLESTR("BT-07"), IDS_BETREL07, 14, 77, 13, 15},
    {Betrel09,  OLESTR("BT-09"), IDS_BETREL09, 14, 80, 13, 15},
    {Arvane09,  OLESTR("AR-09"), IDS_ARVANE09, 14, 79, 13,  4},
};

// Releases 13.01, 13.02, 13.03, 13.04.
const CProcessorTypeRow kTypesFrom13v01[] = {
    {Arvane01,  OLESTR("AR-01"), IDS_ARVANE01, 14,  3, 13, 24},
    {Quorral01, OLESTR("QR-01"), IDS_QUORRAL01, 14, 41, 13, 24},
    {Nimbrel01, OLESTR("NB-01"), IDS_NIMBREL01, 14, 15, 13, 23},
    {Ostrel01,  OLESTR("OS-01"), IDS_OSTREL01, 14, 48, 13,  8},
    {Arvane04,  OLESTR("AR-04"), IDS_ARVANE04, 14, 51, 13, 25},
    {Quorral02, OLESTR("QR-02"), IDS_QUORRAL02, 14, 42, 13, 24},
    {Betrel02,  OLESTR("BT-02"), IDS_BETREL02, 14, 43, 13, 16},
    {Betrel03,  OLESTR("BT-03"), IDS_BETREL03, 14, 44, 13, 16},
    {Arvane05,  OLESTR("AR-05"), IDS_ARVANE05, 14, 56, 13, 25},
    {Mimic01,   OLESTR("MM-01"), IDS_MIMIC01, 14, 53, 13, 22},
    {Betrel05,  OLESTR("BT-05"), IDS_BETREL05, 14, 65, 13, 15},
    {Arvane07,  OLESTR("AR-07"), IDS_ARVANE07, 14, 54, 13, 25},
    {Arvane08,  OLESTR("AR-08"), IDS_ARVANE08, 14, 55, 13, 25},
    {Ostrel03,  OLESTR("OS-03"), IDS_OSTREL03, 14, 52, 13,  8},
    {Betrel06,  OLESTR("BT-06"), IDS_BETREL06, 14, 64, 13, 15},
    {Betrel07,  OLESTR("BT-07"), IDS_BETREL07, 14, 77, 13, 15},
    {Betrel09,  OLESTR("BT-09"), IDS_BETREL09, 14, 80, 13, 15},
    {Arvane09,  OLESTR("AR-09"), IDS_ARVANE09, 14, 79, 13,  4},
    {Betrel10,  OLESTR("BT-10"), IDS_BETREL10, 14, 76, 13, 18},
};

// Releases 14.00, 14.01.
const CProcessorTypeRow kTypesFrom14v00[] = {
    {Arvane05,  OLESTR("AR-05"), IDS_ARVANE05, 14, 56, 14,  2},
    {Arvane07,  OLESTR("AR-07"), IDS_ARVANE07, 14, 54, 14,  2},
    {Arvane08,  OLESTR("AR-08"), IDS_ARVANE08, 14, 55, 14,  2},
    {Arvane10,  OLESTR("AR-10"), IDS_ARVANE10, 14, 67, 14, 32},
    {Arvane11,  OLESTR("AR-11"), IDS_ARVANE11, 14, 68, 14, 32},
};

// Releases 15.00, 15.01.
const CProcessorTypeRow kTypesFrom15v00[] = {
    {Nimbrel01, OLESTR("NB-01"), IDS_NIMBREL01, 14, 15, 15,  1},
    {Arvane04,  OLESTR("AR-04"), IDS_ARVANE04, 14, 51, 15,  3},
    {Quorral02, OLESTR("QR-02"), IDS_QUORRAL02, 14, 42, 15,  3},
    {Arvane05,  OLESTR("AR-05"), IDS_ARVANE05, 14, 56, 15,  3},
    {Mimic01,   OLESTR("MM-01"), IDS_MIMIC01, 14, 53, 15,  1},
    {Betrel05,  OLESTR("BT-05"), IDS_BETREL05, 14, 65, 15,  3},
    {Arvane07,  OLESTR("AR-07"), IDS_ARVANE07, 14, 54, 15,  3},
    {Arvane08,  OLESTR("AR-08"), IDS_ARVANE08, 14, 55, 15,  3},
    {Ostrel03,  OLESTR("OS-03"), IDS_OSTREL03, 14, 52, 15,  3},
    {Betrel06,  OLESTR("BT-06"), IDS_BETREL06, 14, 64, 15,  3},
    {Betrel07,  OLESTR("BT-07"), IDS_BETREL07, 14, 77, 15,  3},
    {Betrel09,  OLESTR("BT-09"), IDS_BETREL09, 14, 80, 15,  3},
    {Arvane09,  OLESTR("AR-09"), IDS_ARVANE09, 14, 79, 15,  3},
    {Betrel10,  OLESTR("BT-10"), IDS_BETREL10, 14, 76, 15,  3},
    {Betrel11,  OLESTR("BT-11"), IDS_BETREL11, 14, 72, 15,  4},
};

const ProcessorTypeTableRef kProcessorTypeTables[kProcessorTypeTableCount] = {
    {kTypesFrom1v00, ARRAYSIZE(kTypesFrom1v00)},
    {kTypesFrom1v10, ARRAYSIZE(kTypesFrom1v10)},
    {kTypesFrom1v11, ARRAYSIZE(kTypesFrom1v11)},
    {kTypesFrom1v20, ARRAYSIZE(kTypesFrom1v20)},
    {kTypesFrom1v21, ARRAYSIZE(kTypesFrom1v21)},
    {kTypesFrom1v23, ARRAYSIZE(kTypesFrom1v23)},
    {kTypesFrom2v10, ARRAYSIZE(kTypesFrom2v10)},
    {kTypesFrom2v15, ARRAYSIZE(kTypesFrom2v15)},
    {kTypesFrom2v25, ARRAYSIZE(kTypesFrom2v25)},
    {kTypesFrom2v27, ARRAYSIZE(kTypesFrom2v27)},
    {kTypesFrom2v51, ARRAYSIZE(kTypesFrom2v51)},
    {kTypesFrom6v01, ARRAYSIZE(kTypesFrom6v01)},
    {kTypesFrom7v00, ARRAYSIZE(kTypesFrom7v00)},
    {kTypesFrom8v00, ARRAYSIZE(kTypesFrom8v00)},
    {kTypesFrom8v02, ARRAYSIZE(kTypesFrom8v02)},
    {kTypesFrom9v00, ARRAYSIZE(kTypesFrom9v00)},
    {kTypesFrom10v00, ARRAYSIZE(kTypesFrom10v00)},
    {kTypesFrom11v00, ARRAYSIZE(kTypesFrom11v00)},
    {kTypesFrom12v00, ARRAYSIZE(kTypesFrom12v00)},
    {kTypesFrom13v00, ARRAYSIZE(kTypesFrom13v00)},
    {kTypesFrom13v01, ARRAYSIZE(kTypesFrom13v01)},
    {kTypesFrom14v00, ARRAYSIZE(kTypesFrom14v00)},
    {kTypesFrom15v00, ARRAYSIZE(kTypesFrom15v00)},
};
// clang-format on

}  // namespace revdir
