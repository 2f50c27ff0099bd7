// The controller module entry of a project's text export: which major and
// minor revision the controller has. Two scanners with one answer: a plain
// one that follows the rules step by step over text in memory, and the
// streaming one the component uses, which sees each byte once, in blocks of
// any size, with memory that does not grow with the text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace revdir {

struct ExportScanResult {
  int32_t major = -1;  // -1: not found
  int32_t minor = -1;  // -1: not found (also whenever major is not found)
  bool Found() const { return major >= 0 && minor >= 0; }
  bool operator==(const ExportScanResult &) const = default;
};

// The plain scanner over a whole text.
ExportScanResult ScanExportReference(const unsigned char *text, size_t length);

// The streaming scanner. Feed the text in order, then call Finish. Lists
// nested deeper than `pendingLimit` unfinished entries make Finish ask for
// another pass: BeginRestart gives the offset to feed the text from again.
// Memory stays bounded by the limit either way.
class ExportScanner {
 public:
  static constexpr size_t kDefaultPendingLimit = size_t{1} << 20;  // 24 MiB at most

  explicit ExportScanner(size_t pendingLimit = kDefaultPendingLimit);
  ~ExportScanner();
  ExportScanner(const ExportScanner &) = delete;
  ExportScanner &operator=(const ExportScanner &) = delete;

  // Scans the next bytes; false once the answer is known and no more text
  // is needed.
  bool Feed(const unsigned char *data, size_t size);
  // The end of the text. True when the answer is final; false when the text
  // must be fed again, from the offset that BeginRestart returns.
  bool Finish();
  uint64_t BeginRestart();
  ExportScanResult Result() const { return m_result; }

 private:
  struct Pending {
    uint64_t listOffset;  // of its "("
    int64_t base;         // parenthesis depth before its "("
    int32_t major, minor;
  };
  struct Dropped {
    bool any = false;
    uint64_t moduleOffset = 0, listOffset = 0;
  };
  // One "name ws* := ws* digits" matcher; see the .cpp.
  struct Attribute {
    const char *name;
    int state = 0;
    bool prevOk = false;
    int64_t value = 0;
  };

  void Reset(uint64_t offset);
  size_t SkipIdle(const unsigned char *p, size_t n) const;
  size_t SkipPending(const unsigned char *p, size_t n) const;
  bool StepModule(unsigned char c);
  static int32_t StepAttribute(Attribute &a, unsigned char c);
  // One byte with the machines of a pending list; false when the answer is known.
  bool StepPending(unsigned char c, uint64_t offset);
  void Complete(const Pending &entry);
  bool AttributesIdle() const { return m_major.state == 0 && m_minor.state == 0; }

  // Grows with the nesting of open lists, up to the limit.
  std::vector<Pending> m_pending;
  size_t m_limit;
  int64_t m_depth = 0;
  uint64_t m_offset = 0;         // of the next byte fed
  uint64_t m_moduleOffset = 0;   // of the "module" being matched
  int m_moduleState = 0;
  bool m_prevSpace = true;       // the byte before the next one is whitespace (or there is none)
  Attribute m_major{"major"}, m_minor{"minor"};
  bool m_haveBest = false;
  Pending m_best{};
  Dropped m_firstDropped;
  bool m_done = false;
  ExportScanResult m_result;
};

// The streaming scanner over text in memory, fed `chunk` bytes at a time
// (restarts included).
ExportScanResult ScanExport(const unsigned char *text, size_t length, size_t chunk = SIZE_MAX,
                            size_t pendingLimit = ExportScanner::kDefaultPendingLimit);

}  // namespace revdir
