#include "regfile.h"

#include <wtypes.h>

#include <algorithm>
#include <climits>

namespace revdir::regfile {

namespace {

constexpr TextView kHeader = OLESTR("Windows Registry Editor Version 5.00");

bool IsSpace(WCHAR c) { return c == ' ' || c == '\t'; }

TextView TrimLeft(TextView s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  return s;
}

TextView TrimRight(TextView s) {
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

TextView Trim(TextView s) { return TrimRight(TrimLeft(s)); }

int HexDigit(WCHAR c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The keywords of value data are ASCII; any case is accepted.
bool StartsWithNoCase(TextView s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    WCHAR c = s[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<WCHAR>(c - 'A' + 'a');
    if (c != static_cast<WCHAR>(prefix[i])) return false;
  }
  return true;
}

bool OnlyCommentLeft(TextView s) {
  s = TrimLeft(s);
  return s.empty() || s.front() == ';';
}

// Strict UTF-8 to UTF-16 of one piece; false when it is not UTF-8.
bool FromUtf8(std::string_view bytes, Text *out) {
  out->clear();
  if (bytes.empty()) return true;
  int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (n <= 0) return false;
  out->resize(static_cast<size_t>(n));
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), out->data(),
                             n) == n;
}

// The file's text, without a BOM.
bool Decode(std::string_view bytes, Text *text, Error *error) {
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
  if (FromUtf8(bytes, text)) return true;
  // Name the first line that is not UTF-8.
  size_t line = 1;
  Text ignored;
  for (size_t start = 0;; ++line) {
    size_t end = bytes.find('\n', start);
    if (!FromUtf8(bytes.substr(start, end == std::string_view::npos ? end : end - start), &ignored)) break;
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  *error = {line, "text is not valid UTF-8"};
  return false;
}

// Calls f with each piece of s between separators.
template <typename F>
void ForEachPiece(TextView s, WCHAR separator, F &&f) {
  for (size_t start = 0;;) {
    size_t end = s.find(separator, start);
    f(s.substr(start, end == TextView::npos ? end : end - start));
    if (end == TextView::npos) return;
    start = end + 1;
  }
}

std::vector<TextView> Lines(TextView all) {
  std::vector<TextView> lines;
  ForEachPiece(all, '\n', [&](TextView line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
  });
  return lines;
}

// A quoted string from after its opening quote; s is left after the closing one.
bool ReadQuoted(TextView &s, Text *out, std::string *why) {
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
      case '\\': out->push_back('\\'); break;
      case '"': out->push_back('"'); break;
      case 'n': out->push_back('\n'); break;
      case 'r': out->push_back('\r'); break;
      default: *why = "unknown escape in a quoted string"; return false;
    }
  }
  *why = "quoted string without its closing quote";
  return false;
}

// Comma-separated hex bytes (one digit is a byte too), up to a comment.
bool ReadHexBytes(TextView s, std::vector<BYTE> *out, std::string *why) {
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

void AppendChars(std::vector<BYTE> *out, TextView s) {
  for (WCHAR c : s) {
    out->push_back(static_cast<BYTE>(c & 0xFF));
    out->push_back(static_cast<BYTE>((c >> 8) & 0xFF));
  }
}

// The data of a value line after its '='. *i is the line's index; hex data
// continued over following lines moves it on.
bool ReadData(TextView s, const std::vector<TextView> &lines, size_t *i, Entry *e, Error *error) {
  std::string why;
  auto fail = [&](size_t line, std::string message) {
    *error = {line, std::move(message)};
    return false;
  };
  e->kind = Entry::kValue;
  if (!s.empty() && s.front() == '-' && OnlyCommentLeft(s.substr(1))) {
    e->kind = Entry::kDeleteValue;
  } else if (!s.empty() && s.front() == '"') {
    s.remove_prefix(1);
    Text text;
    if (!ReadQuoted(s, &text, &why)) return fail(*i + 1, why);
    if (!OnlyCommentLeft(s)) return fail(*i + 1, "text after the closing quote");
    e->type = REG_SZ;
    text.push_back(0);
    AppendChars(&e->data, text);
  } else if (StartsWithNoCase(s, "dword:")) {
    s = TrimRight(s.substr(6));
    size_t n = 0;
    DWORD v = 0;
    for (; n < s.size() && HexDigit(s[n]) >= 0; ++n) v = (v << 4) | static_cast<DWORD>(HexDigit(s[n]));
    if (n == 0 || n > 8 || !OnlyCommentLeft(s.substr(n))) return fail(*i + 1, "dword needs 1 to 8 hex digits");
    e->type = REG_DWORD;
    for (int b = 0; b < 4; ++b) e->data.push_back(static_cast<BYTE>(v >> (8 * b)));
  } else if (StartsWithNoCase(s, "hex")) {
    s.remove_prefix(3);
    e->type = REG_BINARY;
    if (!s.empty() && s.front() == '(') {
      size_t n = 1;
      unsigned long long t = 0;
      for (; n < s.size() && n <= 8 && HexDigit(s[n]) >= 0; ++n) t = t * 16 + static_cast<unsigned>(HexDigit(s[n]));
      if (n == 1 || n >= s.size() || s[n] != ')') return fail(*i + 1, "hex(N) needs a hex type number");
      e->type = static_cast<DWORD>(t);
      s.remove_prefix(n + 1);
    }
    if (s.empty() || s.front() != ':') return fail(*i + 1, "hex data must follow ':'");
    s.remove_prefix(1);
    // A line ending in '\' continues on the next.
    for (;;) {
      TextView part = TrimRight(s);
      bool more = !part.empty() && part.back() == '\\';
      if (more) part.remove_suffix(1);
      if (!ReadHexBytes(part, &e->data, &why)) return fail(*i + 1, why);
      if (!more) break;
      if (++*i == lines.size()) return fail(*i, "hex data continued past the end of the file");
      s = lines[*i];
    }
  } else {
    return fail(*i + 1, "unknown value data");
  }
  return true;
}

}  // namespace

bool Parse(std::string_view bytes, std::vector<Entry> *entries, Error *error) {
  Text text;
  if (!Decode(bytes, &text, error)) return false;
  const std::vector<TextView> lines = Lines(text);
  auto fail = [&](size_t line, std::string message) {
    *error = {line, std::move(message)};
    return false;
  };
  size_t i = 0;
  while (i < lines.size() && Trim(lines[i]).empty()) ++i;
  if (i == lines.size() || Trim(lines[i]) != kHeader)
    return fail(std::min(i, lines.size() - 1) + 1, "missing the header \"Windows Registry Editor Version 5.00\"");
  // Values that follow a deleted key belong to no key and are skipped.
  bool inSection = false;
  Text section;
  std::string why;
  for (++i; i < lines.size(); ++i) {
    const size_t lineNo = i + 1;
    TextView s = TrimLeft(lines[i]);
    if (TrimRight(s).empty() || s.front() == ';') continue;
    Entry e;
    e.line = lineNo;
    if (s.front() == '[') {
      size_t close = s.rfind(']');
      if (close == TextView::npos || !OnlyCommentLeft(s.substr(close + 1)))
        return fail(lineNo, "key line without its closing ']'");
      TextView path = s.substr(1, close - 1);
      if (!path.empty() && path.front() == '-') {
        e.kind = Entry::kDeleteKey;
        path.remove_prefix(1);
      }
      if (path.empty() || path.front() == '\\') return fail(lineNo, "empty or malformed key path");
      e.path = path;
      inSection = e.kind == Entry::kKey;
      section = e.path;
      entries->push_back(std::move(e));
      continue;
    }
    if (s.front() != '"' && s.front() != '@') return fail(lineNo, "line is neither a key nor a value");
    const bool named = s.front() == '"';
    s.remove_prefix(1);
    if (named && !ReadQuoted(s, &e.name, &why)) return fail(lineNo, why);
    if (named && e.name.empty()) return fail(lineNo, "empty value name (the default value is written @)");
    s = TrimLeft(s);
    if (s.empty() || s.front() != '=') return fail(lineNo, "value name not followed by '='");
    if (!ReadData(TrimLeft(s.substr(1)), lines, &i, &e, error)) return false;
    if (section.empty()) return fail(lineNo, "value before any key");
    if (!inSection) continue;
    e.path = section;
    entries->push_back(std::move(e));
  }
  return true;
}

std::vector<Text> SplitPath(TextView path) {
  std::vector<Text> parts;
  ForEachPiece(path, '\\', [&](TextView part) {
    if (!part.empty()) parts.emplace_back(part);
  });
  return parts;
}

bool WellFormed(TextView s) {
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

void Escape(Text &line, TextView s) {
  for (WCHAR c : s) {
    switch (c) {
      case '\\': line += OLESTR("\\\\"); break;
      case '"': line += OLESTR("\\\""); break;
      case '\n': line += OLESTR("\\n"); break;
      case '\r': line += OLESTR("\\r"); break;
      default: line += c;
    }
  }
}

// The text of a REG_SZ whose bytes read back the same from "text": one
// terminating NUL and no other, no line break, well-formed.
bool PlainString(const std::vector<BYTE> &data, Text *text) {
  if (data.size() < 2 || data.size() % 2) return false;
  text->clear();
  for (size_t i = 0; i < data.size(); i += 2) text->push_back(static_cast<WCHAR>(data[i] | (data[i + 1] << 8)));
  if (text->back() != 0) return false;
  text->pop_back();
  return text->find_first_of(TextView(OLESTR("\0\r\n"), 3)) == Text::npos && WellFormed(*text);
}

}  // namespace

Writer::Writer() {
  Line(kHeader);
  Line(OLESTR(""));
}

void Writer::Line(TextView s) {
  text_ += s;
  text_ += OLESTR("\r\n");
}

void Writer::Section(TextView path) {
  if (inSection_) Line(OLESTR(""));
  inSection_ = true;
  Text line = OLESTR("[");
  line += path;
  line += ']';
  Line(line);
}

void Writer::Value(TextView name, DWORD type, const std::vector<BYTE> &data) {
  Text line;
  if (name.empty()) {
    line = OLESTR("@=");
  } else {
    line = '"';
    Escape(line, name);
    line += OLESTR("\"=");
  }
  Text text;
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
  if (type == REG_BINARY) {
    line += OLESTR("hex:");
  } else {
    line += OLESTR("hex(");
    bool any = false;
    for (int shift = 28; shift >= 0; shift -= 4) {
      unsigned d = (type >> shift) & 0xF;
      any = any || d || shift == 0;
      if (any) line += kDigits[d];
    }
    line += OLESTR("):");
  }
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
  if (inSection_) Line(OLESTR(""));
  inSection_ = false;
  std::string bytes = "\xFF\xFE";
  bytes.reserve(2 + text_.size() * 2);
  for (WCHAR c : text_) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
  }
  return bytes;
}

}  // namespace revdir::regfile
