#include "frame/port.h"
#include "catalog/revision_table.h"

#include <functional>

#include "catalog/processor_catalog.h"

namespace revdir {

// Every release there is, in the order the collections show them. Releases
// of one major revision that program the same controllers share a table.
const CRevisionInformation RevisionTable[RevisionCount] = {
    // sw major, sw minor, MajorRev, database version, processor types, rows, ProgId suffix     // row
    { 1,  0,  1,   33, ProcessorTypeTable1,   1, OLESTR(".2.00")},   // 1
    { 1, 10,  1,   64, ProcessorTypeTable2,   1, OLESTR(".2.00")},   // 2
    { 1, 11,  1,   65, ProcessorTypeTable3,   1, OLESTR(".2.00")},   // 3
    { 1, 20,  2,   80, ProcessorTypeTable4,   1, OLESTR(".2.00")},   // 4
    { 1, 21,  2,   81, ProcessorTypeTable5,   1, OLESTR(".2.00")},   // 5
    { 1, 23,  2,   82, ProcessorTypeTable6,   1, OLESTR(".2.00")},   // 6
    { 2, 10,  3,  308, ProcessorTypeTable7,   1, OLESTR(".2.00")},   // 7
    { 2, 15,  3,  308, ProcessorTypeTable8,   1, OLESTR(".2.00")},   // 8
    { 2, 25,  4,  604, ProcessorTypeTable9,   1, OLESTR(".2.25")},   // 9
    { 2, 27,  4, 1000, ProcessorTypeTable10,  1, OLESTR(".2.25")},   // 10
    { 2, 51,  5, 2001, ProcessorTypeTable11,  1, OLESTR(".2.50")},   // 11
    { 6,  1,  6, 3014, ProcessorTypeTable12,  6, OLESTR(".2.50")},   // 12
    { 6,  3,  6, 3014, ProcessorTypeTable12,  6, OLESTR(".2.50")},   // 13
    { 7,  0,  7, 3016, ProcessorTypeTable13,  7, OLESTR(".2.50")},   // 14
    { 7,  2,  7, 3016, ProcessorTypeTable13,  7, OLESTR(".2.50")},   // 15
    { 8,  0,  8, 3032, ProcessorTypeTable14,  9, OLESTR(".2.50")},   // 16
    { 8,  2,  8, 3039, ProcessorTypeTable15,  9, OLESTR(".2.50")},   // 17
    { 9,  0,  9, 3044, ProcessorTypeTable16,  3, OLESTR(".2.50")},   // 18
    {10,  0, 10, 3071, ProcessorTypeTable17, 11, OLESTR(".10.00")},  // 19
    {10,  2, 10, 3071, ProcessorTypeTable17, 11, OLESTR(".10.00")},  // 20
    {10,  3, 10, 3071, ProcessorTypeTable17, 11, OLESTR(".10.00")},  // 21
    {10,  4, 10, 3071, ProcessorTypeTable17, 11, OLESTR(".10.00")},  // 22
    {10,  5, 10, 3071, ProcessorTypeTable17, 11, OLESTR(".10.00")},  // 23
    {10,  6, 10, 3071, ProcessorTypeTable17, 11, OLESTR(".10.00")},  // 24
    {10,  7, 10, 3071, ProcessorTypeTable17, 11, OLESTR(".10.00")},  // 25
    {11,  0, 11, 3081, ProcessorTypeTable18, 10, OLESTR(".11.00")},  // 26
    {11,  1, 11, 3081, ProcessorTypeTable18, 10, OLESTR(".11.00")},  // 27
    {11, 10, 11, 3106, ProcessorTypeTable18, 10, OLESTR(".11.00")},  // 28
    {11, 11, 11, 3106, ProcessorTypeTable18, 10, OLESTR(".11.00")},  // 29
    {11, 12, 11, 3106, ProcessorTypeTable18, 10, OLESTR(".11.00")},  // 30
    {11, 13, 11, 3106, ProcessorTypeTable18, 10, OLESTR(".11.00")},  // 31
    {11, 14, 11, 3106, ProcessorTypeTable18, 10, OLESTR(".11.00")},  // 32
    {11, 15, 11, 3106, ProcessorTypeTable18, 10, OLESTR(".11.00")},  // 33
    {11, 16, 11, 3106, ProcessorTypeTable18, 10, OLESTR(".11.00")},  // 34
    {12,  0, 12, 3139, ProcessorTypeTable19, 13, OLESTR(".12.00")},  // 35
    {12,  1, 12, 3149, ProcessorTypeTable19, 13, OLESTR(".12.00")},  // 36
    {12,  2, 12, 3149, ProcessorTypeTable19, 13, OLESTR(".12.00")},  // 37
    {12,  3, 12, 3149, ProcessorTypeTable19, 13, OLESTR(".12.00")},  // 38
    {12,  4, 12, 3149, ProcessorTypeTable19, 13, OLESTR(".12.00")},  // 39
    {12,  5, 12, 3149, ProcessorTypeTable19, 13, OLESTR(".12.00")},  // 40
    {12,  6, 12, 3149, ProcessorTypeTable19, 13, OLESTR(".12.00")},  // 41
    {13,  0, 13, 3213, ProcessorTypeTable20, 18, OLESTR(".13.00")},  // 42
    {13,  1, 13, 3213, ProcessorTypeTable21, 19, OLESTR(".13.00")},  // 43
    {13,  2, 13, 3213, ProcessorTypeTable21, 19, OLESTR(".13.00")},  // 44
    {13,  3, 13, 3213, ProcessorTypeTable21, 19, OLESTR(".13.00")},  // 45
    {13,  4, 13, 3213, ProcessorTypeTable21, 19, OLESTR(".13.00")},  // 46
    {14,  0, 14, 3267, ProcessorTypeTable22,  5, OLESTR(".14.00")},  // 47
    {14,  1, 14, 3267, ProcessorTypeTable22,  5, OLESTR(".14.00")},  // 48
    {15,  0, 15, 3279, ProcessorTypeTable23, 15, OLESTR(".15.00")},  // 49
    {15,  1, 15, 3279, ProcessorTypeTable23, 15, OLESTR(".15.00")},  // 50
};

LONG RevisionTableIndex(const CRevisionInformation *record) {
  // std::less gives a total order over pointers into different objects too.
  std::less<const CRevisionInformation *> before;
  if (!record || before(record, RevisionTable) || !before(record, RevisionTable + RevisionCount)) return -1;
  return static_cast<LONG>(record - RevisionTable);
}

CRevisionInformation MajorRevSearchKey(DWORD majorRev) {
  return {RevisionKeyAny, RevisionKeyAny, majorRev, RevisionKeyAny, nullptr, 0, nullptr};
}

CRevisionInformation DatabaseVersionSearchKey(DWORD acdFileVersion) {
  return {RevisionKeyAny, RevisionKeyAny, RevisionKeyAny, acdFileVersion, nullptr, 0, nullptr};
}

CRevisionInformation SoftwareVersionSearchKey(DWORD majorSoftwareVersion, DWORD minorSoftwareVersion) {
  return {majorSoftwareVersion, minorSoftwareVersion, RevisionKeyAny, RevisionKeyAny, nullptr, 0, nullptr};
}

bool operator<(const CMajorRevKey &a, const CMajorRevKey &b) {
  const CRevisionInformation &x = *a.Revision;
  const CRevisionInformation &y = *b.Revision;
  if (x.MajorRev != y.MajorRev) return x.MajorRev < y.MajorRev;
  if (x.MajorSoftwareVersion == RevisionKeyAny || y.MajorSoftwareVersion == RevisionKeyAny) return false;
  if (x.MajorSoftwareVersion != y.MajorSoftwareVersion) return x.MajorSoftwareVersion < y.MajorSoftwareVersion;
  if (x.MinorSoftwareVersion != y.MinorSoftwareVersion) return x.MinorSoftwareVersion < y.MinorSoftwareVersion;
  return x.ACDFileVersionNumber < y.ACDFileVersionNumber;
}

bool DatabaseVersionLess::operator()(const CRevisionInformation *a, const CRevisionInformation *b) const {
  if (a->ACDFileVersionNumber != b->ACDFileVersionNumber) return a->ACDFileVersionNumber < b->ACDFileVersionNumber;
  if (a->MajorSoftwareVersion == RevisionKeyAny || b->MajorSoftwareVersion == RevisionKeyAny) return false;
  if (a->MajorSoftwareVersion != b->MajorSoftwareVersion) return a->MajorSoftwareVersion < b->MajorSoftwareVersion;
  return a->MinorSoftwareVersion < b->MinorSoftwareVersion;
}

bool SoftwareVersionLess::operator()(const CRevisionInformation *a, const CRevisionInformation *b) const {
  if (a->MajorSoftwareVersion != b->MajorSoftwareVersion) return a->MajorSoftwareVersion < b->MajorSoftwareVersion;
  return a->MinorSoftwareVersion < b->MinorSoftwareVersion;
}

const CRevisionInformation *FindBySoftwareVersion(const SoftwareVersionIndex &index, DWORD majorSoftwareVersion,
                                                  DWORD minorSoftwareVersion) {
  const CRevisionInformation key = SoftwareVersionSearchKey(majorSoftwareVersion, minorSoftwareVersion);
  auto it = index.lower_bound(&key);
  if (it == index.end() || index.key_comp()(&key, *it)) return nullptr;
  return *it;
}

}  // namespace revdir
