#include "resolve/export_scan.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define REVDIR_SCAN_AVX2 1
#endif

namespace revdir {

namespace {

// The C library's isspace in the "C" locale, on bytes.
inline bool IsSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
inline unsigned char Lower(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }
// What may stand before an attribute's name.
inline bool BeforeAttribute(unsigned char c) { return IsSpace(c) || c == ',' || c == '('; }
// Ends a number: the set ",) \t" and its terminating NUL.
inline bool EndsNumber(unsigned char c) { return c == ',' || c == ')' || c == ' ' || c == '\t' || c == 0; }

constexpr int32_t kMaxValue = 0x7FFFFFFF;
inline int64_t AddDigit(int64_t value, unsigned char digit) {
  // Saturates: a number too long for 32 bits stays the largest one.
  return std::min<int64_t>(value * 10 + (digit - '0'), kMaxValue);
}

bool EqualNoCase(const unsigned char *p, const char *keyword, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (Lower(p[i]) != static_cast<unsigned char>(keyword[i])) return false;
  return true;
}

// --- The plain scanner, one function per step --------------------------------

struct Reference {
  const unsigned char *text;
  size_t length;

  static const unsigned char *FindNoCase(const char *needle, const unsigned char *haystack, size_t length) {
    size_t n = std::strlen(needle);
    if (n > length) return nullptr;
    for (size_t p = 0; p + n <= length; ++p)
      if (EqualNoCase(haystack + p, needle, n)) return haystack + p;
    return nullptr;
  }

  // The position after the keyword's whitespace (no terminator) or of the
  // terminator; null when the keyword does not stand there.
  const unsigned char *MatchKeyword(const char *keyword, const unsigned char *position, size_t remaining,
                                    char terminator) const {
    size_t n = std::strlen(keyword);
    if (remaining < n || !EqualNoCase(position, keyword, n)) return nullptr;
    if (position != text) {
      unsigned char before = position[-1];
      if (terminator == ':' ? !BeforeAttribute(before) : !IsSpace(before)) return nullptr;
    }
    const unsigned char *p = position + n;
    size_t left = remaining - n;
    if (!terminator) {
      if (left == 0) return p;
      if (!IsSpace(*p)) return nullptr;
      while (left && IsSpace(*p)) ++p, --left;
      return p;
    }
    if (left == 0) return nullptr;
    while (left && IsSpace(*p)) ++p, --left;
    if (left == 0 || *p != static_cast<unsigned char>(terminator)) return nullptr;
    return p;
  }

  static const unsigned char *FindMatchingParenthesis(const unsigned char *position, size_t length) {
    long depth = 0;
    for (size_t i = 0; i < length; ++i) {
      if (position[i] == ')') --depth;
      if (position[i] == '(') ++depth;
      if (depth == 0) return position + i;
    }
    return nullptr;
  }

  // -1 marks no number.
  static int32_t ParseDecimal(const unsigned char *position, size_t length) {
    size_t digits = 0;
    while (digits < length && IsDigit(position[digits])) ++digits;
    if (digits == 0) return -1;
    // The end of the text ends a number as a NUL does.
    if (digits < length && !EndsNumber(position[digits])) return -1;
    int64_t value = 0;
    for (size_t i = 0; i < digits; ++i) value = AddDigit(value, position[i]);
    return static_cast<int32_t>(value);
  }

  bool FindLocalModule(const unsigned char **list, size_t *listLength) const {
    const unsigned char *p = text;
    const unsigned char *end = text + length;
    size_t remaining = length;
    while (remaining > 6) {
      const unsigned char *at = FindNoCase("module", p, remaining);
      if (!at) return false;
      const unsigned char *local = MatchKeyword("module", at, static_cast<size_t>(end - at), 0);
      if (local && local < end) {
        const unsigned char *open = MatchKeyword("local", local, static_cast<size_t>(end - local), '(');
        if (open && open < end) {
          const unsigned char *close = FindMatchingParenthesis(open, static_cast<size_t>(end - open));
          if (close) {
            *list = open;
            *listLength = static_cast<size_t>(close - open) + 1;
            return true;
          }
        }
      }
      size_t advance = static_cast<size_t>(at - p) + 6;
      p += advance;
      remaining -= advance;
    }
    return false;
  }

  int32_t FindNumericAttribute(const char *name, const unsigned char *list, size_t listLength) const {
    size_t n = std::strlen(name);
    if (listLength <= n) return -1;
    const unsigned char *end = list + listLength;
    const unsigned char *p = list;
    while (static_cast<size_t>(end - p) > n) {
      const unsigned char *at = FindNoCase(name, p, static_cast<size_t>(end - p));
      if (!at) return -1;
      const unsigned char *colon = MatchKeyword(name, at, static_cast<size_t>(end - at), ':');
      if (!colon) {
        p = at + n;
        continue;
      }
      if (end - colon < 2 || colon[1] != '=') {
        p = colon;
        continue;
      }
      const unsigned char *digits = colon + 2;
      while (digits < end && IsSpace(*digits)) ++digits;
      int32_t value = ParseDecimal(digits, static_cast<size_t>(end - digits));
      if (value >= 0) return value;
      p = digits;
    }
    return -1;
  }

  ExportScanResult Scan() const {
    ExportScanResult result;
    const unsigned char *list;
    size_t listLength;
    if (!FindLocalModule(&list, &listLength)) return result;
    result.major = FindNumericAttribute("major", list, listLength);
    if (result.major < 0) return result;
    result.minor = FindNumericAttribute("minor", list, listLength);
    return result;
  }
};

// --- States of the streaming matchers ---------------------------------------

// "module", whitespace, "local", whitespace, "(": states 1-5 have matched
// that many letters of "module", 6 all of it, 7 whitespace after it, 8-11
// one to four letters of "local", 12 all of it, 13 whitespace after it.
constexpr int kModuleMatched = 6, kModuleSpace = 7, kLocalMatched = 12, kLocalSpace = 13;
constexpr char kModule[] = "module";
constexpr char kLocal[] = "local";

// Whether the text at `at` (inside data[0, size)) is plainly no start of a
// controller module entry: a verdict on the spot that spares the state
// machine most words that merely contain "module". Undecided at the block's
// edges.
bool Rejected(const unsigned char *data, size_t size, size_t at) {
  if (at == 0 || size - at < 13) return false;
  if (!IsSpace(data[at - 1]) || !EqualNoCase(data + at, kModule, 6) || !IsSpace(data[at + 6])) return true;
  size_t i = at + 7;
  while (i < size && IsSpace(data[i])) ++i;
  if (size - i < 6) return false;
  return !EqualNoCase(data + i, kLocal, 5);
}

// "name", whitespace, ":=", whitespace, digits: 1-4 letters matched, 5 the
// name (and any whitespace after it), 6 ":", 7 ":=" (and whitespace), 8 digits.
constexpr int kNameMatched = 5, kColon = 6, kAssigned = 7, kDigits = 8;

// Where a "module" may begin: an "m" with an "e" five bytes on (near the
// end, any "m"). Only then can the idle state change.
size_t SkipIdleSse2(const unsigned char *p, size_t n) {
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i fold = _mm_set1_epi8(0x20), m = _mm_set1_epi8('m'), e = _mm_set1_epi8('e');
  for (; i + 37 <= n; i += 32) {
    const __m128i *at = reinterpret_cast<const __m128i *>(p + i);
    const __m128i *later = reinterpret_cast<const __m128i *>(p + i + 5);
    __m128i a0 = _mm_cmpeq_epi8(_mm_or_si128(_mm_loadu_si128(at), fold), m);
    __m128i a1 = _mm_cmpeq_epi8(_mm_or_si128(_mm_loadu_si128(at + 1), fold), m);
    __m128i b0 = _mm_cmpeq_epi8(_mm_or_si128(_mm_loadu_si128(later), fold), e);
    __m128i b1 = _mm_cmpeq_epi8(_mm_or_si128(_mm_loadu_si128(later + 1), fold), e);
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(a0, b0))) |
                    (static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(a1, b1))) << 16);
    if (mask) return i + static_cast<size_t>(__builtin_ctz(mask));
  }
#endif
  for (; i < n; ++i)
    if ((p[i] | 0x20) == 'm' && (i + 5 >= n || (p[i + 5] | 0x20) == 'e')) return i;
  return n;
}

#if REVDIR_SCAN_AVX2
// Whitespace bytes: blank, or tab to carriage return.
__attribute__((target("avx2"))) inline __m256i SpaceMask(__m256i v) {
  __m256i fromTab = _mm256_sub_epi8(v, _mm256_set1_epi8('\t'));
  __m256i controls = _mm256_cmpeq_epi8(_mm256_min_epu8(fromTab, _mm256_set1_epi8(4)), fromTab);
  return _mm256_or_si256(controls, _mm256_cmpeq_epi8(v, _mm256_set1_epi8(' ')));
}

// The same, 32 bytes a step, where the processor has AVX2; it also asks for
// whitespace before the "m", which spares most words that merely contain
// "module" a visit to the state machine.
__attribute__((target("avx2"))) size_t SkipIdleAvx2(const unsigned char *p, size_t n) {
  if (n == 0 || (p[0] | 0x20) == 'm') return 0;
  size_t i = 1;
  const __m256i fold = _mm256_set1_epi8(0x20), m = _mm256_set1_epi8('m'), e = _mm256_set1_epi8('e');
  for (; i + 37 <= n; i += 32) {
    __m256i before = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + i - 1));
    __m256i at = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + i));
    __m256i later = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + i + 5));
    __m256i hit = _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_or_si256(at, fold), m),
                                   _mm256_cmpeq_epi8(_mm256_or_si256(later, fold), e));
    hit = _mm256_and_si256(hit, SpaceMask(before));
    if (!_mm256_testz_si256(hit, hit))
      return i + static_cast<size_t>(__builtin_ctz(static_cast<uint32_t>(_mm256_movemask_epi8(hit))));
  }
  return i + SkipIdleSse2(p + i, n - i);
}

// Asked during static initialisation, so the processor is examined first.
const bool kHaveAvx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
#endif

}  // namespace

ExportScanResult ScanExportReference(const unsigned char *text, size_t length) {
  return Reference{text, length}.Scan();
}

ExportScanner::ExportScanner(size_t pendingLimit)
    : m_limit(std::max<size_t>(pendingLimit, 1)) {}

ExportScanner::~ExportScanner() = default;

void ExportScanner::Reset(uint64_t offset) {
  m_pending.clear();
  m_depth = 0;
  m_offset = offset;
  m_moduleState = 0;
  m_prevSpace = true;
  m_major.state = m_minor.state = 0;
  m_haveBest = false;
  m_firstDropped = Dropped{};
  m_done = false;
  m_result = ExportScanResult{};
}

uint64_t ExportScanner::BeginRestart() {
  // The first entry that found no room: everything before it is decided.
  uint64_t from = m_firstDropped.moduleOffset;
  Reset(from);
  return from;
}

size_t ExportScanner::SkipIdle(const unsigned char *p, size_t n) const {
#if REVDIR_SCAN_AVX2
  if (kHaveAvx2) return SkipIdleAvx2(p, n);
#endif
  return SkipIdleSse2(p, n);
}

// Inside a list with every matcher at rest only "(", ")" and an "m" (of
// "module", "major" or "minor") change anything.
size_t ExportScanner::SkipPending(const unsigned char *p, size_t n) const {
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i fold = _mm_set1_epi8(0x20), m = _mm_set1_epi8('m'), open = _mm_set1_epi8('('),
                close = _mm_set1_epi8(')');
  for (; i + 16 <= n; i += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
    __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(_mm_or_si128(v, fold), m),
                               _mm_or_si128(_mm_cmpeq_epi8(v, open), _mm_cmpeq_epi8(v, close)));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
    if (mask) return i + static_cast<size_t>(__builtin_ctz(mask));
  }
#endif
  for (; i < n; ++i)
    if ((p[i] | 0x20) == 'm' || p[i] == '(' || p[i] == ')') return i;
  return n;
}

// True when `c` is the "(" of a controller module entry.
bool ExportScanner::StepModule(unsigned char c) {
  unsigned char lower = Lower(c);
  bool entry = false;
  int s = m_moduleState;
  if (s >= 1 && s < kModuleMatched) {
    s = lower == static_cast<unsigned char>(kModule[s]) ? s + 1 : 0;
  } else if (s == kModuleMatched) {
    s = IsSpace(c) ? kModuleSpace : 0;
  } else if (s == kModuleSpace) {
    s = IsSpace(c) ? kModuleSpace : lower == 'l' ? kModuleSpace + 1 : 0;
  } else if (s > kModuleSpace && s < kLocalMatched) {
    s = lower == static_cast<unsigned char>(kLocal[s - kModuleSpace]) ? s + 1 : 0;
  } else if (s == kLocalMatched || s == kLocalSpace) {
    if (IsSpace(c)) {
      s = kLocalSpace;
    } else {
      entry = c == '(';
      s = 0;
    }
  }
  // A byte that broke a partial match may begin a new one.
  if (s == 0 && !entry && m_prevSpace && lower == 'm') {
    s = 1;
    m_moduleOffset = m_offset;
  }
  m_moduleState = s;
  m_prevSpace = IsSpace(c);
  return entry;
}

// The value when `c` ends a valid number, else -1.
int32_t ExportScanner::StepAttribute(Attribute &a, unsigned char c) {
  int32_t found = -1;
  int s = a.state;
  if (s >= 1 && s < kNameMatched) {
    s = Lower(c) == static_cast<unsigned char>(a.name[s]) ? s + 1 : 0;
  } else if (s == kNameMatched) {
    s = IsSpace(c) ? kNameMatched : c == ':' ? kColon : 0;
  } else if (s == kColon) {
    s = c == '=' ? kAssigned : 0;
  } else if (s == kAssigned) {
    if (IsDigit(c)) {
      a.value = c - '0';
      s = kDigits;
    } else if (!IsSpace(c)) {
      s = 0;
    }
  } else if (s == kDigits) {
    if (IsDigit(c)) {
      a.value = AddDigit(a.value, c);
    } else {
      if (EndsNumber(c)) found = static_cast<int32_t>(a.value);
      s = 0;
    }
  }
  if (s == 0 && a.prevOk && Lower(c) == static_cast<unsigned char>(a.name[0])) s = 1;
  a.state = s;
  a.prevOk = BeforeAttribute(c);
  return found;
}

void ExportScanner::Complete(const Pending &entry) {
  // The first entry in the text whose list closes wins; a later one counts
  // only if every earlier one stays open to the end.
  if (!m_haveBest || entry.listOffset < m_best.listOffset) {
    m_best = entry;
    m_haveBest = true;
  }
}

bool ExportScanner::StepPending(unsigned char c, uint64_t offset) {
  // A number's terminator may be the ")" that closes lists: it counts for them.
  int32_t major = StepAttribute(m_major, c);
  int32_t minor = StepAttribute(m_minor, c);
  // Lists that have a value are the oldest ones: the new value goes to the
  // newest ones that lack it.
  if (major >= 0)
    for (auto it = m_pending.rbegin(); it != m_pending.rend() && it->major < 0; ++it) it->major = major;
  if (minor >= 0)
    for (auto it = m_pending.rbegin(); it != m_pending.rend() && it->minor < 0; ++it) it->minor = minor;
  bool entry = StepModule(c);
  if (c == '(') {
    if (entry) {
      if (m_pending.size() < m_limit) {
        m_pending.push_back(Pending{offset, m_depth, -1, -1});
      } else if (!m_firstDropped.any) {
        m_firstDropped = Dropped{true, m_moduleOffset, offset};
      }
    }
    ++m_depth;
  } else if (c == ')') {
    --m_depth;
    if (m_pending.back().base == m_depth) {
      Pending closed = m_pending.back();
      m_pending.pop_back();
      if (m_pending.empty()) {
        // The oldest open list: nothing before it can close any more.
        m_result = ExportScanResult{closed.major, closed.major < 0 ? -1 : closed.minor};
        return false;
      }
      Complete(closed);
    }
  }
  return true;
}

bool ExportScanner::Feed(const unsigned char *data, size_t size) {
  if (m_done) return false;
  const uint64_t start = m_offset;
  size_t i = 0;
  while (i < size) {
    if (m_pending.empty()) {
      if (m_moduleState == 0) {
        size_t next = i;
        for (;;) {
          next += SkipIdle(data + next, size - next);
          if (next == size || !Rejected(data, size, next)) break;
          ++next;
        }
        if (next > i) m_prevSpace = IsSpace(data[next - 1]);
        i = next;
        if (i == size) break;
      }
      m_offset = start + i;
      if (StepModule(data[i])) {
        m_pending.push_back(Pending{m_offset, 0, -1, -1});
        m_depth = 1;
        m_major.state = m_minor.state = 0;
        m_major.prevOk = m_minor.prevOk = true;
      }
      ++i;
      continue;
    }
    if (m_moduleState == 0 && AttributesIdle()) {
      size_t next = i + SkipPending(data + i, size - i);
      if (next > i) {
        unsigned char before = data[next - 1];
        m_prevSpace = IsSpace(before);
        m_major.prevOk = m_minor.prevOk = BeforeAttribute(before);
      }
      i = next;
      if (i == size) break;
    }
    m_offset = start + i;
    if (!StepPending(data[i], m_offset)) {
      m_done = true;
      m_offset = start + i + 1;
      return false;
    }
    ++i;
  }
  m_offset = start + size;
  return true;
}

bool ExportScanner::Finish() {
  if (m_done) return true;
  // Lists still open at the end never close.
  m_pending.clear();
  m_done = true;
  if (m_haveBest && (!m_firstDropped.any || m_best.listOffset < m_firstDropped.listOffset)) {
    m_result = ExportScanResult{m_best.major, m_best.major < 0 ? -1 : m_best.minor};
    return true;
  }
  if (m_firstDropped.any) {
    m_done = false;
    return false;
  }
  m_result = ExportScanResult{};
  return true;
}

ExportScanResult ScanExport(const unsigned char *text, size_t length, size_t chunk, size_t pendingLimit) {
  ExportScanner scanner(pendingLimit);
  chunk = std::max<size_t>(chunk, 1);
  uint64_t from = 0;
  for (;;) {
    for (size_t at = static_cast<size_t>(from); at < length;) {
      size_t n = std::min(chunk, length - at);
      if (!scanner.Feed(text + at, n)) break;
      at += n;
    }
    if (scanner.Finish()) return scanner.Result();
    from = scanner.BeginRestart();
  }
}

}  // namespace revdir
