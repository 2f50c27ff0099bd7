// The controller module entry of a text export, read by the plain scanner
// and by the streaming one (whole, in small blocks, with a tiny bound on open
// lists): both must give the answer each rule asks for.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "resolve/export_scan.h"

namespace {

using revdir::ExportScanResult;

const unsigned char *Bytes(const std::string &s) { return reinterpret_cast<const unsigned char *>(s.data()); }

// The answer every way of scanning agrees on; a disagreement fails the test.
ExportScanResult Scan(const std::string &text) {
  ExportScanResult reference = revdir::ScanExportReference(Bytes(text), text.size());
  for (size_t chunk : {SIZE_MAX, size_t{1}, size_t{3}, size_t{64}})
    for (size_t limit : {revdir::ExportScanner::kDefaultPendingLimit, size_t{1}, size_t{2}}) {
      ExportScanResult streamed = revdir::ScanExport(Bytes(text), text.size(), chunk, limit);
      EXPECT_EQ(streamed.major, reference.major) << "chunk " << chunk << ", limit " << limit << ": " << text;
      EXPECT_EQ(streamed.minor, reference.minor) << "chunk " << chunk << ", limit " << limit << ": " << text;
    }
  return reference;
}

struct Case {
  const char *text;
  int major, minor;
};

void ExpectAll(const Case *cases, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    ExportScanResult r = Scan(cases[i].text);
    EXPECT_EQ(r.major, cases[i].major) << cases[i].text;
    EXPECT_EQ(r.minor, cases[i].minor) << cases[i].text;
  }
}

}  // namespace

TEST(ExportScan, ModuleEntryKeywordsIgnoreCaseAndWhitespace) {
  const Case cases[] = {
      {"MODULE Local (Major := 15, Minor := 1)", 15, 1},
      {"module local (major := 15, minor := 1)", 15, 1},
      {"MODULE\tLocal\r\n(\n\tMajor := 15,\vMinor := 1 \f)", 15, 1},
      {"MODULE Local(Major := 15, Minor := 1)", 15, 1},
      {"x\nMODULE   \n Local (Major := 7, Minor := 2) trailing", 7, 2},
      // Not an entry: LocalRack, no whitespace before "module" or after it.
      {"MODULE LocalRack (Major := 14, Minor := 2)", -1, -1},
      {"MODULE LocalRack (Major := 14, Minor := 2)\nMODULE Local (Major := 15, Minor := 1)", 15, 1},
      {"SubMODULE Local (Major := 14, Minor := 2)", -1, -1},
      {"MODULELocal (Major := 14, Minor := 2)", -1, -1},
      {"MODULE Local x(Major := 14, Minor := 2)", -1, -1},
      {"MODULE Local", -1, -1},
      {"MODULE module Local (Major := 3, Minor := 4)", 3, 4},
      // Only the first entry counts, even when its attributes are missing.
      {"MODULE Local (Minor := 1)\nMODULE Local (Major := 15, Minor := 1)", -1, -1},
  };
  ExpectAll(cases, std::size(cases));
}

TEST(ExportScan, AttributesNeedTheirExactForm) {
  const Case cases[] = {
      {"MODULE Local (Major:=15,Minor:=1)", 15, 1},
      {"MODULE Local (Major : = 15, Minor := 1)", -1, -1},
      {"MODULE Local (MajorFault := 3, Minor := 1)", -1, -1},
      {"MODULE Local (MajorFault := 3, Major := 12, Minor := 1)", 12, 1},
      {"MODULE Local (Major := 15.0, Minor := 1, Major := 12)", 12, 1},
      {"MODULE Local (xMajor := 4, Minor := 1)", -1, -1},
      {"MODULE Local (Major := , Major := 5 , Minor := 6\t)", 5, 6},
      {"MODULE Local (Major := 15)", 15, -1},
      {"MODULE Local (Major := 15, Minor := 1\f)", 15, -1},
      // A number too large for 32 bits saturates.
      {"MODULE Local (Major := 99999999999999999999, Minor := 2147483648)", 2147483647, 2147483647},
  };
  ExpectAll(cases, std::size(cases));
  // A NUL ends a number too.
  std::string withNul("MODULE Local (Major := 9\0, Minor := 1)", 38);
  EXPECT_EQ(Scan(withNul), (ExportScanResult{9, 1}));
}

TEST(ExportScan, TheListEndsAtTheBalancingParenthesis) {
  const Case cases[] = {
      // Every ")" closes, quoted or not: what follows is not in the list.
      {"MODULE Local (Description := \"a) b\", Major := 15, Minor := 1)", -1, -1},
      {"MODULE Local (Ports := (1, (2)), Major := 15, Minor := 1)", 15, 1},
      // An entry whose list never closes gives way to a later one that does.
      {"MODULE Local (Major := 1, Minor := 1\nMODULE Local (Major := 2, Minor := 2)", 2, 2},
      // An enclosing list sees the attributes of the entries inside it.
      {"MODULE Local (Major := 5, ( MODULE Local (Major := 4, Minor := 1) Minor := 6))", 5, 1},
      {"MODULE Local (Major := 5, ( MODULE Local (Major := 4, Minor := 1) Minor := 6", 4, 1},
      {"MODULE Local ( MODULE Local (Major := 5, MODULE Local (Major := 4, Minor := 1) Minor := 2)", 5, 1},
      {"((MODULE Local (Major := 4, Minor := 1))", -1, -1},
  };
  ExpectAll(cases, std::size(cases));
}

TEST(ExportScan, ShortAndEmptyTextsHoldNoEntry) {
  for (const char *text : {"", "m", "module", "MODULE ", "MODULE Local (", "Major := 1)"})
    EXPECT_FALSE(Scan(text).Found()) << text;
}

TEST(ExportScan, DeepNestingIsDecidedExactlyWithBoundedMemory) {
  // Open entries nested far beyond the bound, closed from the inside out to
  // different depths: only a second pass can tell which closes first.
  for (int closes : {0, 1, 5, 39, 40, 41}) {
    std::string text;
    for (int i = 0; i < 40; ++i)
      text += " MODULE Local (Major := " + std::to_string(i) + ", Minor := " + std::to_string(100 + i) + ", ";
    text += std::string(static_cast<size_t>(closes), ')');
    ExportScanResult expected = revdir::ScanExportReference(Bytes(text), text.size());
    // The earliest entry whose list closed.
    int earliest = std::max(40 - closes, 0);
    if (closes == 0) {
      EXPECT_FALSE(expected.Found());
    } else {
      EXPECT_EQ(expected, (ExportScanResult{earliest, 100 + earliest}));
    }
    for (size_t limit : {size_t{1}, size_t{3}, size_t{64}})
      EXPECT_EQ(revdir::ScanExport(Bytes(text), text.size(), 7, limit), expected) << closes << " " << limit;
  }
}

TEST(ExportScan, EntrySplitAcrossEveryBlockBoundary) {
  std::string text = std::string(70, 'x') + "\nMODULE  Local\t(Major := 31, Minor := 4)" + std::string(50, 'm');
  for (size_t chunk = 1; chunk <= text.size(); ++chunk)
    EXPECT_EQ(revdir::ScanExport(Bytes(text), text.size(), chunk), (ExportScanResult{31, 4})) << chunk;
}
