// The release table and the keys and indices over it.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <set>
#include <vector>

#include "catalog/revision_table.h"
#include "catalog/processor_catalog.h"

using namespace revdir;

namespace {

bool Equivalent(const CMajorRevKey &a, const CMajorRevKey &b) { return !(a < b) && !(b < a); }

CMajorRevKey Key(const CRevisionInformation *r, LONG language = 1033) { return {r, language}; }

DatabaseVersionIndex AllByDatabaseVersion() {
  DatabaseVersionIndex index;
  for (const CRevisionInformation &r : kRevisionTable) index.insert(&r);
  return index;
}

SoftwareVersionIndex AllBySoftwareVersion() {
  SoftwareVersionIndex index;
  for (const CRevisionInformation &r : kRevisionTable) index.insert(&r);
  return index;
}

}  // namespace

// Each release points at one of the processor-type tables with that table's
// size, every table belongs to some release, and the firmware major revision
// of its rows is the release's.
TEST(RevisionTable, EachReleaseOwnsAConsistentProcessorTypeTable) {
  std::vector<int> users(kProcessorTypeTableCount, 0);
  for (DWORD row = 0; row < kRevisionCount; ++row) {
    const CRevisionInformation &r = kRevisionTable[row];
    SCOPED_TRACE(testing::Message() << "row " << row + 1 << " (" << r.MajorSoftwareVersion << "."
                                    << r.MinorSoftwareVersion << ")");
    auto ref = std::find_if(std::begin(kProcessorTypeTables), std::end(kProcessorTypeTables),
                            [&](const ProcessorTypeTableRef &t) { return t.Rows == r.ProcessorTypeTable; });
    ASSERT_NE(ref, std::end(kProcessorTypeTables)) << "points at no known table";
    ++users[ref - kProcessorTypeTables];
    EXPECT_EQ(r.ProcessorTypeCount, ref->Count);
    for (DWORD i = 0; i < ref->Count; ++i) EXPECT_EQ(ref->Rows[i].MajorRev, static_cast<LONG>(r.MajorRev)) << "entry " << i;
    ASSERT_NE(r.AutomationInterfaceVersion, nullptr);
    EXPECT_EQ(r.AutomationInterfaceVersion[0], OLESTR('.'));
    EXPECT_NE(r.MajorSoftwareVersion, kRevisionKeyAny);
  }
  for (DWORD t = 0; t < kProcessorTypeTableCount; ++t) EXPECT_GT(users[t], 0) << "table " << t << " is unused";
}

TEST(RevisionTable, IndexOfKnowsOnlyTableRecords) {
  EXPECT_EQ(RevisionTableIndex(&kRevisionTable[0]), 0);
  EXPECT_EQ(RevisionTableIndex(&kRevisionTable[kRevisionCount - 1]), static_cast<LONG>(kRevisionCount - 1));
  CRevisionInformation copy = kRevisionTable[3];
  EXPECT_EQ(RevisionTableIndex(&copy), -1);
  EXPECT_EQ(RevisionTableIndex(kRevisionTable + kRevisionCount), -1);
  EXPECT_EQ(RevisionTableIndex(nullptr), -1);
}

// The collections show releases in table order; inserting in any order
// gives it back, and no two releases are equivalent.
TEST(MajorRevKey, OrdersTheTableInTableOrder) {
  std::set<CMajorRevKey> keys;
  for (DWORD row = kRevisionCount; row-- > 0;) keys.insert(Key(&kRevisionTable[row]));
  ASSERT_EQ(keys.size(), kRevisionCount);
  DWORD row = 0;
  for (const CMajorRevKey &k : keys) EXPECT_EQ(k.Revision, &kRevisionTable[row++]) << "position " << row;

  // Unique insertion keeps the element already there, language id included.
  EXPECT_FALSE(keys.insert(Key(&kRevisionTable[5], 1031)).second);
  EXPECT_EQ(keys.find(Key(&kRevisionTable[5]))->LanguageId, 1033);
}

TEST(MajorRevKey, SearchKeyMatchesEveryReleaseOfItsMajorRevisionOnly) {
  const CRevisionInformation search = MajorRevSearchKey(11);
  int matches = 0;
  for (const CRevisionInformation &r : kRevisionTable) {
    bool equivalent = Equivalent(Key(&search), Key(&r));
    EXPECT_EQ(equivalent, r.MajorRev == 11) << r.MajorSoftwareVersion << "." << r.MinorSoftwareVersion;
    matches += equivalent;
  }
  EXPECT_EQ(matches, 9);

  std::set<CMajorRevKey> keys;
  for (const CRevisionInformation &r : kRevisionTable) keys.insert(Key(&r));
  auto [first, last] = keys.equal_range(Key(&search));
  ASSERT_EQ(std::distance(first, last), 9);
  EXPECT_EQ(first->Revision, &kRevisionTable[25]);            // 11.00
  EXPECT_EQ(std::prev(last)->Revision, &kRevisionTable[33]);  // 11.16
}

TEST(SoftwareVersionIndex, FindsExactVersionsOnly) {
  SoftwareVersionIndex index = AllBySoftwareVersion();
  ASSERT_EQ(index.size(), kRevisionCount) << "two releases share a software version";
  EXPECT_EQ(FindBySoftwareVersion(index, 11, 16), &kRevisionTable[33]);
  EXPECT_EQ(FindBySoftwareVersion(index, 11, 2), nullptr);
  EXPECT_EQ(FindBySoftwareVersion(index, 16, 0), nullptr);
  EXPECT_EQ(FindBySoftwareVersion(index, kRevisionKeyAny, kRevisionKeyAny), nullptr);
  EXPECT_EQ(FindBySoftwareVersion(SoftwareVersionIndex(), 1, 0), nullptr);
  for (const CRevisionInformation &r : kRevisionTable)
    EXPECT_EQ(FindBySoftwareVersion(index, r.MajorSoftwareVersion, r.MinorSoftwareVersion), &r);
}

TEST(DatabaseVersionIndex, ReleasesSharingADatabaseVersionStayDistinct) {
  DatabaseVersionIndex index = AllByDatabaseVersion();
  ASSERT_EQ(index.size(), kRevisionCount);

  const CRevisionInformation search = DatabaseVersionSearchKey(3071);
  auto [first, last] = index.equal_range(&search);
  std::vector<const CRevisionInformation *> found(first, last);
  // Rows 19 to 25: 10.00 and 10.02 to 10.07, in software-version order.
  std::vector<const CRevisionInformation *> expected;
  for (DWORD row = 18; row <= 24; ++row) expected.push_back(&kRevisionTable[row]);
  EXPECT_EQ(found, expected);

  const CRevisionInformation none = DatabaseVersionSearchKey(3070);
  EXPECT_EQ(index.count(&none), 0u);
}
