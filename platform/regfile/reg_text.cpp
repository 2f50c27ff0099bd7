#include "platform/regfile/reg_text.h"

#include <wtypes.h>

#include <algorithm>
#include <climits>

namespace platform::reg {

namespace {

constexpr WideView kHeader = OLESTR("Windows Registry Editor Version 5.00");

bool IsSpace(WCHAR c) { return c == ' ' || c == '\t'; }

WideView TrimLeft(WideView s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  return s;
}

WideView TrimRight(WideView s) {
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

WideView Trim(WideView s) { return TrimRight(TrimLeft(s)); }

int HexDigit(WCHAR c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The keywords of value data are ASCII; any case is accepted.
bool StartsWithNoCase(WideView s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    WCHAR c = s[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<WCHAR>(c - 'A' + 'a');
    if (c != static_cast<WCHAR>(prefix[i])) return false;
  }
  return true;
}

bool OnlyCommentLeft(WideView s) {
  s = TrimLeft(s);
  return s.empty() || s.front() == ';';
}

// The file's text, without a BOM.
bool Decode(std::string_view bytes, WideString *text, ParseError *error) {
  // The conversions count in int.
  if (bytes.size() > INT_MAX) {
    *error = {0, "file too large"};
    return false;
  }
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    if (bytes.size() % 2) {
      *error = {0, "UTF-16 file with an odd number of bytes"};
      return false;
    }
    text->resize((bytes.size() - 2) / 2);
    for (size_t i = 0; i < text->size(); ++i)
      (*text)[i] = static_cast<WCHAR>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                      (static_cast<unsigned char>(bytes[3 + 2 * i]) << 8));
    return true;
  }
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  if (auto decoded = WidenStrict(bytes)) {
    *text = std::move(*decoded);
    return true;
  }
  // Name the first line that is not UTF-8.
  size_t line = 1;
  for (size_t start = 0;; ++line) {
    size_t end = bytes.find('\n', start);
    if (!WidenStrict(bytes.substr(start, end == std::string_view::npos ? end : end - start))) break;
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  *error = {line, "text is not valid UTF-8"};
  return false;
}

// Calls f with each piece of s between separators.
template <typename F>
void ForEachPiece(WideView s, WCHAR separator, F &&f) {
  for (size_t start = 0;;) {
    size_t end = s.find(separator, start);
    f(s.substr(start, end == WideView::npos ? end : end - start));
    if (end == WideView::npos) return;
    start = end + 1;
  }
}

std::vector<WideView> Lines(WideView all) {
  std::vector<WideView> lines;
  ForEachPiece(all, '\n', [&](WideView line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
  });
  return lines;
}

// A quoted string from after its opening quote; s is left after the closing one.
bool ReadQuoted(WideView &s, WideString *out, std::string *why) {
  out->clear();
  while (!s.empty()) {
    WCHAR c = s.front();
    s.remove_prefix(1);
    if (c == '"') return true;
    if (c != '\\') {
      out->push_back(c);
      continue;
    }
    if (s.empty()) break;
    WCHAR e = s.front();
    s.remove_prefix(1);
    switch (e) {
      case '\\':
        out->push_back('\\');
        break;
      case '"':
        out->push_back('"');
        break;
      case 'n':
        out->push_back('\n');
        break;
      case 'r':
        out->push_back('\r');
        break;
      default:
        *why = "unknown escape in a quoted string";
        return false;
    }
  }
  *why = "quoted string without its closing quote";
  return false;
}

// Comma-separated hex bytes (one digit is a byte too), up to a comment.
bool ReadHexBytes(WideView s, std::vector<BYTE> *out, std::string *why) {
  for (s = TrimLeft(s); !s.empty() && s.front() != ';'; s = TrimLeft(s)) {
    int hi = HexDigit(s.front());
    int lo = s.size() > 1 ? HexDigit(s[1]) : -1;
    if (hi < 0) {
      *why = "bad hex byte";
      return false;
    }
    out->push_back(static_cast<BYTE>(lo < 0 ? hi : hi * 16 + lo));
    s = TrimLeft(s.substr(lo < 0 ? 1 : 2));
    if (s.empty() || s.front() == ';') break;
    if (s.front() != ',') {
      *why = "hex bytes must be separated by commas";
      return false;
    }
    s.remove_prefix(1);
  }
  return true;
}

void AppendChars(std::vector<BYTE> *out, WideView s) {
  for (WCHAR c : s) {
    out->push_back(static_cast<BYTE>(c & 0xFF));
    out->push_back(static_cast<BYTE>((c >> 8) & 0xFF));
  }
}

// Reads a file's lines into statements, one line (or one value continued
// over several) at a time. A failure sets *error and ends the reading.
class Reader {
 public:
  Reader(std::vector<WideView> lines, std::vector<Entry> *entries, ParseError *error)
      : m_lines(std::move(lines)), m_entries(entries), m_error(error) {}

  bool Read() {
    if (!Header()) return false;
    for (++m_at; m_at < m_lines.size(); ++m_at) {
      WideView s = TrimLeft(m_lines[m_at]);
      if (TrimRight(s).empty() || s.front() == ';') continue;
      if (!(s.front() == '[' ? KeyLine(s) : ValueLine(s))) return false;
    }
    return true;
  }

 private:
  bool Fail(size_t line, std::string message) {
    *m_error = {line, std::move(message)};
    return false;
  }
  size_t LineNo() const { return m_at + 1; }

  // Leaves m_at on the header, the first line that is not blank.
  bool Header() {
    while (m_at < m_lines.size() && Trim(m_lines[m_at]).empty()) ++m_at;
    if (m_at < m_lines.size() && Trim(m_lines[m_at]) == kHeader) return true;
    return Fail(std::min(m_at, m_lines.size() - 1) + 1, "missing the header \"Windows Registry Editor Version 5.00\"");
  }

  // "[path]" starts a key's section, "[-path]" deletes the key.
  bool KeyLine(WideView s) {
    size_t close = s.rfind(']');
    if (close == WideView::npos || !OnlyCommentLeft(s.substr(close + 1)))
      return Fail(LineNo(), "key line without its closing ']'");
    WideView path = s.substr(1, close - 1);
    Entry e;
    e.line = LineNo();
    if (!path.empty() && path.front() == '-') {
      e.kind = Entry::kDeleteKey;
      path.remove_prefix(1);
    }
    if (path.empty() || path.front() == '\\') return Fail(LineNo(), "empty or malformed key path");
    e.path = path;
    m_inSection = e.kind == Entry::kKey;
    m_section = e.path;
    m_entries->push_back(std::move(e));
    return true;
  }

  // "NAME"=DATA or @=DATA, for the current section.
  bool ValueLine(WideView s) {
    if (s.front() != '"' && s.front() != '@') return Fail(LineNo(), "line is neither a key nor a value");
    const size_t lineNo = LineNo();
    Entry e;
    e.line = lineNo;
    const bool named = s.front() == '"';
    s.remove_prefix(1);
    std::string why;
    if (named && !ReadQuoted(s, &e.name, &why)) return Fail(lineNo, why);
    if (named && e.name.empty()) return Fail(lineNo, "empty value name (the default value is written @)");
    s = TrimLeft(s);
    if (s.empty() || s.front() != '=') return Fail(lineNo, "value name not followed by '='");
    if (!Data(TrimLeft(s.substr(1)), &e)) return false;
    if (m_section.empty()) return Fail(lineNo, "value before any key");
    // Values that follow a deleted key belong to no key and are skipped.
    if (!m_inSection) return true;
    e.path = m_section;
    m_entries->push_back(std::move(e));
    return true;
  }

  // The data after a value's '='.
  bool Data(WideView s, Entry *e) {
    e->kind = Entry::kValue;
    if (!s.empty() && s.front() == '-' && OnlyCommentLeft(s.substr(1))) {
      e->kind = Entry::kDeleteValue;
      return true;
    }
    if (!s.empty() && s.front() == '"') return StringData(s.substr(1), e);
    if (StartsWithNoCase(s, "dword:")) return DwordData(TrimRight(s.substr(6)), e);
    if (StartsWithNoCase(s, "hex")) return HexData(s.substr(3), e);
    return Fail(LineNo(), "unknown value data");
  }

  bool StringData(WideView s, Entry *e) {
    WideString text;
    std::string why;
    if (!ReadQuoted(s, &text, &why)) return Fail(LineNo(), why);
    if (!OnlyCommentLeft(s)) return Fail(LineNo(), "text after the closing quote");
    e->type = REG_SZ;
    text.push_back(0);
    AppendChars(&e->data, text);
    return true;
  }

  bool DwordData(WideView s, Entry *e) {
    size_t n = 0;
    DWORD v = 0;
    for (; n < s.size() && HexDigit(s[n]) >= 0; ++n) v = (v << 4) | static_cast<DWORD>(HexDigit(s[n]));
    if (n == 0 || n > 8 || !OnlyCommentLeft(s.substr(n))) return Fail(LineNo(), "dword needs 1 to 8 hex digits");
    e->type = REG_DWORD;
    for (int b = 0; b < 4; ++b) e->data.push_back(static_cast<BYTE>(v >> (8 * b)));
    return true;
  }

  // "hex:" or "hex(N):" and comma-separated bytes; a line ending in '\'
  // continues on the next, which moves m_at on.
  bool HexData(WideView s, Entry *e) {
    e->type = REG_BINARY;
    if (!s.empty() && s.front() == '(') {
      size_t n = 1;
      unsigned long long t = 0;
      for (; n < s.size() && n <= 8 && HexDigit(s[n]) >= 0; ++n) t = t * 16 + static_cast<unsigned>(HexDigit(s[n]));
      if (n == 1 || n >= s.size() || s[n] != ')') return Fail(LineNo(), "hex(N) needs a hex type number");
      e->type = static_cast<DWORD>(t);
      s.remove_prefix(n + 1);
    }
    if (s.empty() || s.front() != ':') return Fail(LineNo(), "hex data must follow ':'");
    s.remove_prefix(1);
    std::string why;
    for (;;) {
      WideView part = TrimRight(s);
      bool more = !part.empty() && part.back() == '\\';
      if (more) part.remove_suffix(1);
      if (!ReadHexBytes(part, &e->data, &why)) return Fail(LineNo(), why);
      if (!more) return true;
      if (++m_at == m_lines.size()) return Fail(m_at, "hex data continued past the end of the file");
      s = m_lines[m_at];
    }
  }

  std::vector<WideView> m_lines;
  std::vector<Entry> *m_entries;
  ParseError *m_error;
  size_t m_at = 0;  // the line being read
  bool m_inSection = false;
  WideString m_section;
};

}  // namespace

bool Parse(std::string_view bytes, std::vector<Entry> *entries, ParseError *error) {
  WideString text;
  if (!Decode(bytes, &text, error)) return false;
  return Reader(Lines(text), entries, error).Read();
}

std::vector<WideView> SplitPathView(WideView path) {
  std::vector<WideView> parts;
  ForEachPiece(path, '\\', [&](WideView part) {
    if (!part.empty()) parts.push_back(part);
  });
  return parts;
}

std::vector<WideString> SplitPath(WideView path) {
  std::vector<WideView> views = SplitPathView(path);
  return std::vector<WideString>(views.begin(), views.end());
}

bool WellFormed(WideView s) {
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] >= 0xD800 && s[i] <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      ++i;
    } else if (s[i] >= 0xD800 && s[i] <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

// ---------------------------------------------------------------------------
// Writer

namespace {

constexpr char kDigits[] = "0123456789abcdef";

void Escape(WideString &line, WideView s) {
  for (WCHAR c : s) {
    switch (c) {
      case '\\':
        line += OLESTR("\\\\");
        break;
      case '"':
        line += OLESTR("\\\"");
        break;
      case '\n':
        line += OLESTR("\\n");
        break;
      case '\r':
        line += OLESTR("\\r");
        break;
      default:
        line += c;
    }
  }
}

// The text of a REG_SZ whose bytes read back the same from "text": one
// terminating NUL and no other, no line break, well-formed.
bool PlainString(const std::vector<BYTE> &data, WideString *text) {
  if (data.size() < 2 || data.size() % 2) return false;
  text->clear();
  for (size_t i = 0; i < data.size(); i += 2) text->push_back(static_cast<WCHAR>(data[i] | (data[i + 1] << 8)));
  if (text->back() != 0) return false;
  text->pop_back();
  return text->find_first_of(WideView(OLESTR("\0\r\n"), 3)) == WideString::npos && WellFormed(*text);
}

// "hex:" for REG_BINARY, else "hex(N):" with the type in hex.
void HexPrefix(WideString &line, DWORD type) {
  if (type == REG_BINARY) {
    line += OLESTR("hex:");
    return;
  }
  line += OLESTR("hex(");
  bool any = false;
  for (int shift = 28; shift >= 0; shift -= 4) {
    unsigned d = (type >> shift) & 0xF;
    any = any || d || shift == 0;
    if (any) line += kDigits[d];
  }
  line += OLESTR("):");
}

}  // namespace

Writer::Writer(Encoding encoding) : m_encoding(encoding) {
  Line(kHeader);
  Line(OLESTR(""));
}

void Writer::Line(WideView s) {
  m_text += s;
  m_text += m_encoding == Encoding::kUtf16 ? OLESTR("\r\n") : OLESTR("\n");
}

void Writer::Section(WideView path) {
  if (m_inSection) Line(OLESTR(""));
  m_inSection = true;
  WideString line = OLESTR("[");
  line += path;
  line += ']';
  Line(line);
}

void Writer::DeleteSection(WideView path) {
  if (m_inSection) Line(OLESTR(""));
  m_inSection = false;
  WideString line = OLESTR("[-");
  line += path;
  line += ']';
  Line(line);
}

void Writer::Comment(WideView text) {
  WideString line = OLESTR(";");
  line += text;
  Line(line);
}

namespace {

WideString NamePart(WideView name) {
  if (name.empty()) return OLESTR("@=");
  WideString line = OLESTR("\"");
  Escape(line, name);
  line += OLESTR("\"=");
  return line;
}

}  // namespace

void Writer::DeleteValue(WideView name) { Line(NamePart(name) + OLESTR("-")); }

void Writer::Value(WideView name, DWORD type, const std::vector<BYTE> &data) {
  WideString line = NamePart(name);
  WideString text;
  if (type == REG_SZ && PlainString(data, &text)) {
    line += '"';
    Escape(line, text);
    line += '"';
    Line(line);
    return;
  }
  if (type == REG_DWORD && data.size() == 4) {
    DWORD d = data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<DWORD>(data[3]) << 24);
    line += OLESTR("dword:");
    for (int shift = 28; shift >= 0; shift -= 4) line += kDigits[(d >> shift) & 0xF];
    Line(line);
    return;
  }
  HexPrefix(line, type);
  // Wrapped as Windows wraps them: lines of at most 80 characters.
  for (size_t i = 0; i < data.size(); ++i) {
    line += kDigits[data[i] >> 4];
    line += kDigits[data[i] & 0xF];
    if (i + 1 == data.size()) break;
    line += ',';
    if (line.size() > 76) {
      line += '\\';
      Line(line);
      line = OLESTR("  ");
    }
  }
  Line(line);
}

std::string Writer::Finish() {
  if (m_inSection) Line(OLESTR(""));
  m_inSection = false;
  // Every name in a hive was checked to be well-formed UTF-16.
  if (m_encoding == Encoding::kUtf8) return Narrow(m_text);
  std::string bytes = "\xFF\xFE";
  bytes.reserve(2 + m_text.size() * 2);
  for (WCHAR c : m_text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
  }
  return bytes;
}

}  // namespace platform::reg
