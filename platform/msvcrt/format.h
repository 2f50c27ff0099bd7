// The formatting engine behind the wide printf family, strsafe and the
// inserts of FormatMessage. It follows the C runtime of Windows: in wide
// functions %s and %c take wide text, %hs/%S/%hc/%C narrow text, and "l" is
// 32 bits wide.
#pragma once

#include <windows.h>

#include <stdarg.h>

#include <string>

namespace platform {

// Where formatted text goes: a caller's buffer of fixed capacity, or a string
// that grows up to a cap. It counts everything it is given, stored or not, so
// that the caller learns the full length without any write past the end.
class Sink {
 public:
  Sink(WCHAR *buf, size_t cap) : m_buf(buf), m_cap(cap) {}
  Sink(std::u16string *str, size_t cap) : m_str(str), m_cap(cap) {}
  void Put(const char16_t *p, size_t n);
  void Put(char16_t c) { Put(&c, 1); }
  void Fill(char16_t c, size_t n);
  size_t Count() const { return m_count; }

 private:
  WCHAR *m_buf = nullptr;
  std::u16string *m_str = nullptr;
  size_t m_cap;
  size_t m_count = 0;
};

// Supplies the arguments of one format: from a va_list, or from the
// pointer-sized slots FormatMessage works with.
class ArgReader {
 public:
  virtual ~ArgReader() = default;
  virtual int64_t Signed(int bytes) = 0;
  virtual uint64_t Unsigned(int bytes) = 0;
  virtual double Double(bool longDouble) = 0;
  virtual const void *Pointer() = 0;
};

class VaArgReader final : public ArgReader {
 public:
  // The va_list is read in place: the caller's copy advances.
  explicit VaArgReader(va_list *ap) : m_ap(ap) {}
  int64_t Signed(int bytes) override;
  uint64_t Unsigned(int bytes) override;
  double Double(bool longDouble) override;
  const void *Pointer() override;

 private:
  va_list *m_ap;
};

class SlotArgReader final : public ArgReader {
 public:
  SlotArgReader(const DWORD_PTR *slots, size_t count) : m_slots(slots), m_count(count) {}
  int64_t Signed(int bytes) override;
  uint64_t Unsigned(int bytes) override;
  double Double(bool longDouble) override;
  const void *Pointer() override;
  bool Overrun() const { return m_overrun; }

 private:
  DWORD_PTR Next();
  const DWORD_PTR *m_slots;
  size_t m_count;
  size_t m_next = 0;
  bool m_overrun = false;
};

// Formats fmt into out. narrowDefault makes %s and %c narrow, as in the
// narrow functions. Returns false when the format is malformed (the C
// runtime's invalid-parameter case); out then holds a partial result.
bool FormatWide(Sink &out, const WCHAR *fmt, ArgReader &args, bool narrowDefault = false);

}  // namespace platform
