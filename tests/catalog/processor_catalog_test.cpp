// The controller-type catalogue, the per-release tables, and the set the
// ProcessorTypes collections hold.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/processor_catalog.h"
#include "catalog/revision_table.h"
#include "conformance.h"
#include "platform/text/wide_text.h"

using namespace revdir;

namespace {

using Text = std::basic_string<WCHAR>;
using TextView = std::basic_string_view<WCHAR>;

const CProcessorTypeRow *CatalogueRow(LONG id) {
  auto it = std::find_if(std::begin(kProcessorTypeCatalog), std::end(kProcessorTypeCatalog),
                         [&](const CProcessorTypeRow &r) { return r.Id == id; });
  return it == std::end(kProcessorTypeCatalog) ? nullptr : it;
}

bool SameRow(const CProcessorTypeRow &a, const CProcessorTypeRow &b) {
  return a.Id == b.Id && TextView(a.Name) == TextView(b.Name) &&
         a.DescriptionStringId == b.DescriptionStringId && a.ProductType == b.ProductType &&
         a.ProductCode == b.ProductCode && a.MajorRev == b.MajorRev && a.MinorRev == b.MinorRev;
}

int Sign(int v) { return (v > 0) - (v < 0); }

// The entry of kProcessorTypeTables for the table that starts at `rows`.
const ProcessorTypeTableRef &TableOf(const CProcessorTypeRow *rows) {
  static const ProcessorTypeTableRef kNone = {nullptr, 0};
  for (const ProcessorTypeTableRef &table : kProcessorTypeTables)
    if (table.Rows == rows) return table;
  ADD_FAILURE() << "no such table";
  return kNone;
}

}  // namespace

TEST(ProcessorTypeCatalog, DescribesTypesInGeneral) {
  ProcessorTypeSet names;
  ASSERT_EQ(InsertProcessorTypes(names, kProcessorTypeCatalog, kProcessorTypeCatalogCount, 1033), S_OK);
  EXPECT_EQ(names.size(), kProcessorTypeCatalogCount) << "two catalogue names differ only in case";
  for (const CProcessorTypeRow &r : kProcessorTypeCatalog) {
    SCOPED_TRACE(platform::Narrow(r.Name));
    EXPECT_GE(r.Id, Arvane01);
    EXPECT_LE(r.Id, Betrel12);
    EXPECT_EQ(CatalogueRow(r.Id), &r) << "id " << r.Id << " appears twice";
    EXPECT_EQ(r.ProductType, 14);
    EXPECT_EQ(r.MajorRev, -1);
    EXPECT_EQ(r.MinorRev, -1);
  }
}

// Each table lists its types once, by ascending id, each as its catalogue
// entry with a firmware revision.
TEST(ProcessorTypeTables, RowsAreCatalogueEntriesInIdOrder) {
  for (DWORD t = 0; t < kProcessorTypeTableCount; ++t) {
    const ProcessorTypeTableRef &table = kProcessorTypeTables[t];
    ASSERT_GT(table.Count, 0u) << "table " << t;
    for (DWORD i = 0; i < table.Count; ++i) {
      const CProcessorTypeRow &r = table.Rows[i];
      SCOPED_TRACE(testing::Message() << "table " << t << " entry " << i << " " << platform::Narrow(r.Name));
      if (i > 0) {
        EXPECT_LT(table.Rows[i - 1].Id, r.Id);
      }
      const CProcessorTypeRow *c = CatalogueRow(r.Id);
      ASSERT_NE(c, nullptr) << "id " << r.Id << " is not in the catalogue";
      EXPECT_EQ(TextView(r.Name), TextView(c->Name));
      EXPECT_EQ(r.DescriptionStringId, c->DescriptionStringId);
      EXPECT_EQ(r.ProductType, c->ProductType);
      EXPECT_EQ(r.ProductCode, c->ProductCode);
      EXPECT_GE(r.MinorRev, 0);
    }
  }
}

TEST(ProcessorTypeTables, RelatedTablesShareContentsButNotStorage) {
  const ProcessorTypeTableRef &from2v25 = TableOf(kTypesFrom2v25), &from2v27 = TableOf(kTypesFrom2v27);
  EXPECT_NE(from2v25.Rows, from2v27.Rows);
  ASSERT_EQ(from2v25.Count, from2v27.Count);
  EXPECT_TRUE(std::equal(from2v25.Rows, from2v25.Rows + from2v25.Count, from2v27.Rows, SameRow));

  const ProcessorTypeTableRef &from13v00 = TableOf(kTypesFrom13v00), &from13v01 = TableOf(kTypesFrom13v01);
  ASSERT_EQ(from13v01.Count, from13v00.Count + 1);
  EXPECT_TRUE(std::equal(from13v00.Rows, from13v00.Rows + from13v00.Count, from13v01.Rows, SameRow));
  const CProcessorTypeRow &last = from13v01.Rows[from13v00.Count];
  EXPECT_EQ(last.Id, Betrel10);
  EXPECT_EQ(last.MinorRev, 18);
}

// _wcsicmp lower-cases before comparing, which decides where characters
// between 'Z' and 'a' sort: '_' comes before letters, not after them.
TEST(ProcessorTypeNames, CompareLikeWcsicmp) {
  EXPECT_EQ(CompareProcessorTypeNames(OLESTR("AR-01"), OLESTR("ar-01")), 0);
  EXPECT_EQ(CompareProcessorTypeNames(OLESTR("bt-10"), OLESTR("BT-10")), 0);
  EXPECT_EQ(Sign(CompareProcessorTypeNames(OLESTR("AR-10"), OLESTR("AR-09"))), 1);
  EXPECT_EQ(Sign(CompareProcessorTypeNames(OLESTR("AR-09"), OLESTR("ar-10"))), -1);
  EXPECT_EQ(Sign(CompareProcessorTypeNames(OLESTR("AR-1"), OLESTR("AR-10"))), -1);
  EXPECT_EQ(Sign(CompareProcessorTypeNames(OLESTR("A_"), OLESTR("AB"))), -1);
  EXPECT_EQ(Sign(CompareProcessorTypeNames(OLESTR("A_"), OLESTR("ab"))), -1);
  EXPECT_EQ(Sign(CompareProcessorTypeNames(OLESTR("\u00C9"), OLESTR("\u00E9"))), -1);  // only A-Z fold
  EXPECT_EQ(CompareProcessorTypeNames(nullptr, nullptr), 0);
  EXPECT_EQ(Sign(CompareProcessorTypeNames(nullptr, OLESTR(""))), -1);
}

TEST(ProcessorTypeSet, CatalogueSortsByName) {
  ProcessorTypeSet set;
  ASSERT_EQ(InsertProcessorTypes(set, kProcessorTypeCatalog, kProcessorTypeCatalogCount, 1041), S_OK);
  std::vector<Text> names;
  for (const CProcessorTypeInformation &p : set) {
    names.emplace_back(p.Name);
    EXPECT_EQ(p.LanguageId, 1041);
  }
  const std::vector<Text> expected = {
      OLESTR("AR-01"), OLESTR("AR-03"), OLESTR("AR-04"), OLESTR("AR-05"), OLESTR("AR-07"), OLESTR("AR-08"), OLESTR("AR-09"), OLESTR("AR-10"),
      OLESTR("AR-11"), OLESTR("BT-02"), OLESTR("BT-03"), OLESTR("BT-05"), OLESTR("BT-06"), OLESTR("BT-07"), OLESTR("BT-09"), OLESTR("BT-10"),
      OLESTR("BT-11"), OLESTR("MM-01"), OLESTR("NB-01"), OLESTR("OS-01"), OLESTR("OS-02"), OLESTR("OS-03"), OLESTR("QR-01"), OLESTR("QR-02")};
  EXPECT_EQ(names, expected);
}

TEST(ProcessorTypeSet, FirstInsertedWins) {
  ProcessorTypeSet set;
  const ProcessorTypeTableRef &from15v00 = TableOf(kTypesFrom15v00);
  ASSERT_EQ(InsertProcessorTypes(set, from15v00.Rows, from15v00.Count, 1031), S_OK);
  const CProcessorTypeRow shouting = {Arvane05, OLESTR("ar-05"), 999, 1, 2, 3, 4};
  ASSERT_EQ(InsertProcessorTypes(set, &shouting, 1, 1036), S_OK);
  ASSERT_EQ(InsertProcessorTypes(set, kProcessorTypeCatalog, kProcessorTypeCatalogCount, 1036), S_OK);
  EXPECT_EQ(set.size(), kProcessorTypeCatalogCount);

  CProcessorTypeInformation probe{};
  probe.Name = OLESTR("AR-05");
  auto kept = set.find(probe);
  ASSERT_NE(kept, set.end());
  EXPECT_EQ(TextView(kept->Name), OLESTR("AR-05"));
  EXPECT_EQ(kept->MajorRev, 15);
  EXPECT_EQ(kept->MinorRev, 3);
  EXPECT_EQ(kept->LanguageId, 1031);

  probe.Name = OLESTR("AR-01");  // not in 15.00's table: came from the catalogue
  ASSERT_NE(set.find(probe), set.end());
  EXPECT_EQ(set.find(probe)->MajorRev, -1);
  EXPECT_EQ(set.find(probe)->LanguageId, 1036);
}

TEST(ProcessorTypeSet, InsertRejectsMissingRows) {
  ProcessorTypeSet set;
  EXPECT_EQ(InsertProcessorTypes(set, nullptr, 3, 1033), E_INVALIDARG);
  EXPECT_EQ(InsertProcessorTypes(set, nullptr, 0, 1033), S_OK);
  EXPECT_TRUE(set.empty());
}

TEST(FindProcessorFirmware, FindsTheReleasesOwnEntry) {
  for (const CRevisionInformation &r : kRevisionTable) {
    for (DWORD i = 0; i < r.ProcessorTypeCount; ++i)
      EXPECT_EQ(FindProcessorFirmware(&r, r.ProcessorTypeTable[i].Id), &r.ProcessorTypeTable[i]);
    EXPECT_EQ(FindProcessorFirmware(&r, Betrel12), nullptr);  // in no table
    EXPECT_EQ(FindProcessorFirmware(&r, 0), nullptr);
  }
  // 13.00 predates Betrel10; 13.01 programs it at firmware 13.18.
  EXPECT_EQ(FindProcessorFirmware(&kRevisionTable[41], Betrel10), nullptr);
  const CProcessorTypeRow *b10 = FindProcessorFirmware(&kRevisionTable[42], Betrel10);
  ASSERT_NE(b10, nullptr);
  EXPECT_EQ(b10->MinorRev, 18);
  EXPECT_EQ(FindProcessorFirmware(&kRevisionTable[48], Arvane01), nullptr);  // 15.00

  const CRevisionInformation search = MajorRevSearchKey(13);
  EXPECT_EQ(FindProcessorFirmware(&search, Arvane01), nullptr);
  EXPECT_EQ(FindProcessorFirmware(nullptr, Arvane01), nullptr);
}
