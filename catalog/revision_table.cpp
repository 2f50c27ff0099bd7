#include "frame/port.h"
#include "catalog/revision_table.h"

#include <functional>

#include "catalog/processor_catalog.h"

namespace revdir {

// Every release there is, in the order the collections show them. Releases
// of one major revision that program the same controllers share a table.
// clang-format off
const CRevisionInformation kRevisionTable[kRevisionCount] = {
    // sw major, sw minor, MajorRev, database version, processor types, rows, ProgId suffix  // row
    { 1,  0,  1,   33, kTypesFrom1v00,   1, OLESTR(".2.00")},  // 1
    { 1, 10,  1,   64, kTypesFrom1v10,   1, OLESTR(".2.00")},  // 2
    { 1, 11,  1,   65, kTypesFrom1v11,   1, OLESTR(".2.00")},  // 3
    { 1, 20,  2,   80, kTypesFrom1v20,   1, OLESTR(".2.00")},  // 4
    { 1, 21,  2,   81, kTypesFrom1v21,   1, OLESTR(".2.00")},  // 5
    { 1, 23,  2,   82, kTypesFrom1v23,   1, OLESTR(".2.00")},  // 6
    { 2, 10,  3,  308, kTypesFrom2v10,   1, OLESTR(".2.00")},  // 7
    { 2, 15,  3,  308, kTypesFrom2v15,   1, OLESTR(".2.00")},  // 8
    { 2, 25,  4,  604, kTypesFrom2v25,   1, OLESTR(".2.25")},  // 9
    { 2, 27,  4, 1000, kTypesFrom2v27,   1, OLESTR(".2.25")},  // 10
    { 2, 51,  5, 2001, kTypesFrom2v51,   1, OLESTR(".2.50")},  // 11
    { 6,  1,  6, 3014, kTypesFrom6v01,   6, OLESTR(".2.50")},  // 12
    { 6,  3,  6, 3014, kTypesFrom6v01,   6, OLESTR(".2.50")},  // 13
    { 7,  0,  7, 3016, kTypesFrom7v00,   7, OLESTR(".2.50")},  // 14
    { 7,  2,  7, 3016, kTypesFrom7v00,   7, OLESTR(".2.50")},  // 15
    { 8,  0,  8, 3032, kTypesFrom8v00,   9, OLESTR(".2.50")},  // 16
    { 8,  2,  8, 3039, kTypesFrom8v02,   9, OLESTR(".2.50")},  // 17
    { 9,  0,  9, 3044, kTypesFrom9v00,   3, OLESTR(".2.50")},  // 18
    {10,  0, 10, 3071, kTypesFrom10v00, 11, OLESTR(".10.00")},  // 19
    {10,  2, 10, 3071, kTypesFrom10v00, 11, OLESTR(".10.00")},  // 20
    {10,  3, 10, 3071, kTypesFrom10v00, 11, OLESTR(".10.00")},  // 21
    {10,  4, 10, 3071, kTypesFrom10v00, 11, OLESTR(".10.00")},  // 22
    {10,  5, 10, 3071, kTypesFrom10v00, 11, OLESTR(".10.00")},  // 23
    {10,  6, 10, 3071, kTypesFrom10v00, 11, OLESTR(".10.00")},  // 24
    {10,  7, 10, 3071, kTypesFrom10v00, 11, OLESTR(".10.00")},  // 25
    {11,  0, 11, 3081, kTypesFrom11v00, 10, OLESTR(".11.00")},  // 26
    {11,  1, 11, 3081, kTypesFrom11v00, 10, OLESTR(".11.00")},  // 27
    {11, 10, 11, 3106, kTypesFrom11v00, 10, OLESTR(".11.00")},  // 28
    {11, 11, 11, 3106, kTypesFrom11v00, 10, OLESTR(".11.00")},  // 29
    {11, 12, 11, 3106, kTypesFrom11v00, 10, OLESTR(".11.00")},  // 30
    {11, 13, 11, 3106, kTypesFrom11v00, 10, OLESTR(".11.00")},  // 31
    {11, 14, 11, 3106, kTypesFrom11v00, 10, OLESTR(".11.00")},  // 32
    {11, 15, 11, 3106, kTypesFrom11v00, 10, OLESTR(".11.00")},  // 33
    {11, 16, 11, 3106, kTypesFrom11v00, 10, OLESTR(".11.00")},  // 34
    {12,  0, 12, 3139, kTypesFrom12v00, 13, OLESTR(".12.00")},  // 35
    {12,  1, 12, 3149, kTypesFrom12v00, 13, OLESTR(".12.00")},  // 36
    {12,  2, 12, 3149, kTypesFrom12v00, 13, OLESTR(".12.00")},  // 37
    {12,  3, 12, 3149, kTypesFrom12v00, 13, OLESTR(".12.00")},  // 38
    {12,  4, 12, 3149, kTypesFrom12v00, 13, OLESTR(".12.00")},  // 39
    {12,  5, 12, 3149, kTypesFrom12v00, 13, OLESTR(".12.00")},  // 40
    {12,  6, 12, 3149, kTypesFrom12v00, 13, OLESTR(".12.00")},  // 41
    {13,  0, 13, 3213, kTypesFrom13v00, 18, OLESTR(".13.00")},  // 42
    {13,  1, 13, 3213, kTypesFrom13v01, 19, OLESTR(".13.00")},  // 43
    {13,  2, 13, 3213, kTypesFrom13v01, 19, OLESTR(".13.00")},  // 44
    {13,  3, 13, 3213, kTypesFrom13v01, 19, OLESTR(".13.00")},  // 45
    {13,  4, 13, 3213, kTypesFrom13v01, 19, OLESTR(".13.00")},  // 46
    {14,  0, 14, 3267, kTypesFrom14v00,  5, OLESTR(".14.00")},  // 47
    {14,  1, 14, 3267, kTypesFrom14v00,  5, OLESTR(".14.00")},  // 48
    {15,  0, 15, 3279, kTypesFrom15v00, 15, OLESTR(".15.00")},  // 49
    {15,  1, 15, 3279, kTypesFrom15v00, 15, OLESTR(".15.00")},  // 50
};

LONG RevisionTableIndex(const CRevisionInformation *record) {
  // std::less gives a total order over pointers into different objects too.
  std::less<const CRevisionInformation *> before;
  if (!record || before(record, kRevisionTable) || !before(record, kRevisionTable + kRevisionCount)) return -1;
  return static_cast<LONG>(record - kRevisionTable);
}

CRevisionInformation MajorRevSearchKey(DWORD majorRev) {
  return {kRevisionKeyAny, kRevisionKeyAny, majorRev, kRevisionKeyAny, nullptr, 0, nullptr};
}

CRevisionInformation DatabaseVersionSearchKey(DWORD acdFileVersion) {
  return {kRevisionKeyAny, kRevisionKeyAny, kRevisionKeyAny, acdFileVersion, nullptr, 0, nullptr};
}

CRevisionInformation SoftwareVersionSearchKey(DWORD majorSoftwareVersion, DWORD minorSoftwareVersion) {
  return {majorSoftwareVersion, minorSoftwareVersion, kRevisionKeyAny, kRevisionKeyAny, nullptr, 0, nullptr};
}

bool operator<(const CMajorRevKey &a, const CMajorRevKey &b) {
  const CRevisionInformation &x = *a.Revision;
  const CRevisionInformation &y = *b.Revision;
  if (x.MajorRev != y.MajorRev) return x.MajorRev < y.MajorRev;
  if (x.MajorSoftwareVersion == kRevisionKeyAny || y.MajorSoftwareVersion == kRevisionKeyAny) return false;
  if (x.MajorSoftwareVersion != y.MajorSoftwareVersion) return x.MajorSoftwareVersion < y.MajorSoftwareVersion;
  if (x.MinorSoftwareVersion != y.MinorSoftwareVersion) return x.MinorSoftwareVersion < y.MinorSoftwareVersion;
  return x.ACDFileVersionNumber < y.ACDFileVersionNumber;
}

bool DatabaseVersionLess::operator()(const CRevisionInformation *a, const CRevisionInformation *b) const {
  if (a->ACDFileVersionNumber != b->ACDFileVersionNumber) return a->ACDFileVersionNumber < b->ACDFileVersionNumber;
  if (a->MajorSoftwareVersion == kRevisionKeyAny || b->MajorSoftwareVersion == kRevisionKeyAny) return false;
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
