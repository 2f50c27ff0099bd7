#include "advapi32/regfile.h"

#include <algorithm>
#include <cstring>

#include "kernel32/text.h"

namespace platform::reg {

namespace {

constexpr std::u16string_view kHeader = u"Windows Registry Editor Version 5.00";

// CompareNoCase with its ASCII case inline: lookups compare many names.
inline char16_t Upper(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  return UpperCase(c);
}

int CompareNames(std::u16string_view a, std::u16string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char16_t x = Upper(a[i]), y = Upper(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && CompareNames(a, b) == 0;
}

// Position of the first subkey not less than name.
std::vector<std::shared_ptr<Key>>::const_iterator LowerBound(const std::vector<std::shared_ptr<Key>> &v,
                                                             std::u16string_view name) {
  return std::lower_bound(v.begin(), v.end(), name, [](const std::shared_ptr<Key> &k, std::u16string_view n) {
    return CompareNames(k->name, n) < 0;
  });
}

}  // namespace

const std::shared_ptr<Key> *Key::Slot(std::u16string_view child) const {
  auto it = LowerBound(subkeys, child);
  if (it != subkeys.end() && SameName((*it)->name, child)) return &*it;
  return nullptr;
}

std::shared_ptr<Key> Key::Find(std::u16string_view child) const {
  auto slot = Slot(child);
  return slot ? *slot : nullptr;
}

std::shared_ptr<Key> Key::Child(std::u16string_view child, bool *created) {
  // Files written by the store are sorted, so loading mostly appends, and
  // the keys above each section are the last ones added.
  int last = subkeys.empty() ? -1 : CompareNames(subkeys.back()->name, child);
  if (last == 0) {
    if (created) *created = false;
    return subkeys.back();
  }
  auto it = last < 0 ? subkeys.end() : LowerBound(subkeys, child);
  if (it != subkeys.end() && SameName((*it)->name, child)) {
    if (created) *created = false;
    return *it;
  }
  auto key = std::make_shared<Key>();
  key->name = child;
  key->parent = this;
  subkeys.insert(it, key);
  if (created) *created = true;
  return key;
}

std::shared_ptr<Key> Key::Remove(std::u16string_view child) {
  auto it = LowerBound(subkeys, child);
  if (it == subkeys.end() || !SameName((*it)->name, child)) return nullptr;
  auto key = *it;
  subkeys.erase(it);
  key->parent = nullptr;
  return key;
}

Value *Key::FindValue(std::u16string_view valueName) {
  for (auto &v : values)
    if (SameName(v.name, valueName)) return &v;
  return nullptr;
}

void Key::SetValue(std::u16string_view valueName, DWORD type, std::vector<BYTE> data) {
  if (Value *v = FindValue(valueName)) {
    v->type = type;
    v->data = std::move(data);
    return;
  }
  values.push_back(Value{std::u16string(valueName), type, std::move(data)});
}

bool Key::DeleteValue(std::u16string_view valueName) {
  for (auto it = values.begin(); it != values.end(); ++it) {
    if (SameName(it->name, valueName)) {
      values.erase(it);
      return true;
    }
  }
  return false;
}

void Key::MarkDeleted() {
  deleted = true;
  for (auto &k : subkeys) k->MarkDeleted();
}

// ---------------------------------------------------------------------------
// Reader

namespace {

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view TrimLeft(std::u16string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  return s;
}

std::u16string_view TrimRight(std::u16string_view s) {
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

bool StartsWithNoCase(std::u16string_view s, std::u16string_view prefix) {
  return s.size() >= prefix.size() && EqualNoCase(s.substr(0, prefix.size()), prefix);
}

// The file's text as UTF-16 lines, without their line ends.
bool DecodeLines(std::string_view bytes, std::u16string *storage, std::vector<std::u16string_view> *lines,
                 ParseError *error) {
  std::u16string text;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    if (bytes.size() % 2) {
      *error = {0, "UTF-16 file with an odd number of bytes"};
      return false;
    }
    text.resize((bytes.size() - 2) / 2);
    for (size_t i = 0; i < text.size(); ++i)
      text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                      (static_cast<unsigned char>(bytes[3 + 2 * i]) << 8));
  } else {
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    auto decoded = FromUtf8(bytes);
    if (!decoded) {
      // Name the first line that is not UTF-8.
      size_t line = 1, start = 0;
      for (size_t i = 0; i <= bytes.size(); ++i) {
        if (i == bytes.size() || bytes[i] == '\n') {
          if (!FromUtf8(bytes.substr(start, i - start))) break;
          ++line;
          start = i + 1;
        }
      }
      *error = {line, "text is not valid UTF-8"};
      return false;
    }
    text = std::move(*decoded);
  }
  *storage = std::move(text);
  std::u16string_view all(*storage);
  size_t start = 0;
  for (size_t i = 0; i <= all.size(); ++i) {
    if (i == all.size() || all[i] == u'\n') {
      size_t end = i;
      if (end > start && all[end - 1] == u'\r') --end;
      lines->push_back(all.substr(start, end - start));
      start = i + 1;
    }
  }
  return true;
}

// Reads a quoted string starting after its opening quote; s is left after
// the closing quote.
bool ReadQuoted(std::u16string_view &s, std::u16string *out, std::string *why) {
  out->clear();
  while (!s.empty()) {
    char16_t c = s.front();
    s.remove_prefix(1);
    if (c == u'"') return true;
    if (c == u'\\') {
      if (s.empty()) break;
      char16_t e = s.front();
      s.remove_prefix(1);
      switch (e) {
        case u'\\': out->push_back(u'\\'); break;
        case u'"': out->push_back(u'"'); break;
        case u'n': out->push_back(u'\n'); break;
        case u'r': out->push_back(u'\r'); break;
        default: *why = "unknown escape in a quoted string"; return false;
      }
      continue;
    }
    out->push_back(c);
  }
  *why = "quoted string without its closing quote";
  return false;
}

bool OnlyCommentLeft(std::u16string_view s) {
  s = TrimLeft(s);
  return s.empty() || s.front() == u';';
}

bool ReadHexBytes(std::u16string_view s, std::vector<BYTE> *out, std::string *why) {
  s = TrimRight(TrimLeft(s));
  if (!s.empty() && s.front() == u';') return true;
  while (!s.empty()) {
    s = TrimLeft(s);
    if (s.empty() || s.front() == u';') break;
    int hi = HexDigit(s.front());
    int lo = s.size() > 1 ? HexDigit(s[1]) : -1;
    size_t used = 2;
    if (hi < 0) {
      *why = "bad hex byte";
      return false;
    }
    if (lo < 0) {  // a single digit
      lo = hi;
      hi = 0;
      used = 1;
    }
    out->push_back(static_cast<BYTE>(hi * 16 + lo));
    s.remove_prefix(used);
    s = TrimLeft(s);
    if (s.empty() || s.front() == u';') break;
    if (s.front() != u',') {
      *why = "hex bytes must be separated by commas";
      return false;
    }
    s.remove_prefix(1);
  }
  return true;
}

void AppendUtf16(std::vector<BYTE> *out, std::u16string_view s) {
  for (char16_t c : s) {
    out->push_back(static_cast<BYTE>(c & 0xFF));
    out->push_back(static_cast<BYTE>(c >> 8));
  }
}

}  // namespace

bool Parse(std::string_view bytes, std::vector<Entry> *entries, ParseError *error) {
  std::u16string text;
  std::vector<std::u16string_view> lines;
  if (!DecodeLines(bytes, &text, &lines, error)) return false;
  auto fail = [&](size_t line, std::string message) {
    *error = {line, std::move(message)};
    return false;
  };
  size_t i = 0;
  while (i < lines.size() && TrimRight(TrimLeft(lines[i])).empty()) ++i;
  if (i == lines.size() || TrimRight(TrimLeft(lines[i])) != kHeader)
    return fail(i + 1, "missing the header \"Windows Registry Editor Version 5.00\"");
  bool inSection = false;
  std::u16string section;
  std::string why;
  for (++i; i < lines.size(); ++i) {
    size_t lineNo = i + 1;
    std::u16string_view s = TrimLeft(lines[i]);
    if (TrimRight(s).empty() || s.front() == u';') continue;
    if (s.front() == u'[') {
      size_t close = s.rfind(u']');
      if (close == std::u16string_view::npos || !OnlyCommentLeft(s.substr(close + 1)))
        return fail(lineNo, "key line without its closing ']'");
      std::u16string_view path = s.substr(1, close - 1);
      Entry e;
      e.line = lineNo;
      if (!path.empty() && path.front() == u'-') {
        e.kind = Entry::kDeleteKey;
        path.remove_prefix(1);
      }
      if (path.empty() || path.front() == u'\\') return fail(lineNo, "empty or malformed key path");
      e.path = path;
      // Values that follow a deleted key belong to no key and are ignored.
      inSection = e.kind == Entry::kKey;
      section = e.path;
      entries->push_back(std::move(e));
      continue;
    }
    if (s.front() != u'"' && s.front() != u'@') return fail(lineNo, "line is neither a key nor a value");
    Entry e;
    e.line = lineNo;
    e.path = section;
    if (s.front() == u'@') {
      s.remove_prefix(1);
    } else {
      s.remove_prefix(1);
      if (!ReadQuoted(s, &e.name, &why)) return fail(lineNo, why);
      if (e.name.empty()) return fail(lineNo, "empty value name (the default value is written @)");
    }
    s = TrimLeft(s);
    if (s.empty() || s.front() != u'=') return fail(lineNo, "value name not followed by '='");
    s = TrimLeft(s.substr(1));
    if (!s.empty() && s.front() == u'-' && OnlyCommentLeft(s.substr(1))) {
      e.kind = Entry::kDeleteValue;
    } else if (!s.empty() && s.front() == u'"') {
      s.remove_prefix(1);
      std::u16string text;
      if (!ReadQuoted(s, &text, &why)) return fail(lineNo, why);
      if (!OnlyCommentLeft(s)) return fail(lineNo, "text after the closing quote");
      e.kind = Entry::kValue;
      e.type = REG_SZ;
      AppendUtf16(&e.data, text);
      AppendUtf16(&e.data, std::u16string_view(u"\0", 1));
    } else if (StartsWithNoCase(s, u"dword:")) {
      s = TrimRight(s.substr(6));
      size_t n = 0;
      uint32_t v = 0;
      for (; n < s.size() && HexDigit(s[n]) >= 0; ++n) v = (v << 4) | static_cast<uint32_t>(HexDigit(s[n]));
      if (n == 0 || n > 8 || !OnlyCommentLeft(s.substr(n))) return fail(lineNo, "dword needs 1 to 8 hex digits");
      e.kind = Entry::kValue;
      e.type = REG_DWORD;
      for (int b = 0; b < 4; ++b) e.data.push_back(static_cast<BYTE>(v >> (8 * b)));
    } else if (StartsWithNoCase(s, u"hex")) {
      s.remove_prefix(3);
      e.type = REG_BINARY;
      if (!s.empty() && s.front() == u'(') {
        size_t n = 1;
        uint64_t t = 0;
        for (; n < s.size() && HexDigit(s[n]) >= 0 && n <= 8; ++n) t = t * 16 + static_cast<uint64_t>(HexDigit(s[n]));
        if (n == 1 || n >= s.size() || s[n] != u')') return fail(lineNo, "hex(N) needs a hex type number");
        e.type = static_cast<DWORD>(t);
        s.remove_prefix(n + 1);
      }
      if (s.empty() || s.front() != u':') return fail(lineNo, "hex data must follow ':'");
      s.remove_prefix(1);
      e.kind = Entry::kValue;
      // A line ending in '\' continues on the next.
      for (;;) {
        std::u16string_view part = TrimRight(s);
        bool more = !part.empty() && part.back() == u'\\';
        if (more) part.remove_suffix(1);
        if (!ReadHexBytes(part, &e.data, &why)) return fail(i + 1, why);
        if (!more) break;
        if (++i == lines.size()) return fail(i, "hex data continued past the end of the file");
        s = lines[i];
      }
    } else {
      return fail(lineNo, "unknown value data");
    }
    if (!inSection) {
      if (section.empty()) return fail(lineNo, "value before any key");
      continue;
    }
    entries->push_back(std::move(e));
  }
  return true;
}

namespace {

// The components of a key path, as views into it: one allocation, however
// deep the path.
std::vector<std::u16string_view> SplitView(std::u16string_view path) {
  std::vector<std::u16string_view> parts;
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == u'\\') {
      if (i > start) parts.push_back(path.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

}  // namespace

std::vector<std::u16string> SplitPath(std::u16string_view path) {
  auto views = SplitView(path);
  return std::vector<std::u16string>(views.begin(), views.end());
}

namespace {

// The keys down the last section's path, each with where its name ends in
// that path. In a sorted file a section's parent (or an ancestor of it) was
// the section just before, so the walk down starts part-way.
struct Chain {
  std::u16string_view path;
  std::vector<std::pair<size_t, std::shared_ptr<Key>>> keys;

  // How many keys of the chain also lie on the path of a section.
  size_t Shared(std::u16string_view next) const {
    auto shares = [&](size_t end) {
      return next.size() >= end && (next.size() == end || next[end] == u'\\') &&
             std::memcmp(next.data(), path.data(), end * sizeof(char16_t)) == 0;
    };
    // A key on the path means every key above it is too.
    size_t lo = 0, hi = keys.size();
    while (lo < hi) {
      size_t mid = (lo + hi + 1) / 2;
      if (shares(keys[mid - 1].first)) lo = mid;
      else hi = mid - 1;
    }
    return lo;
  }
};

// Apply; given a chain, a kKey entry starts its walk from it and leaves its
// own path there.
bool ApplyEntry(Key &root, std::u16string_view rootName, const Entry &entry, std::string *message,
                Chain *chain) {
  std::u16string_view path = entry.path;
  if (entry.kind != Entry::kKey) chain = nullptr;
  size_t keep = chain ? chain->Shared(path) : 0;
  // Below the keys kept, or from the root name on.
  auto parts = SplitView(path.substr(keep ? chain->keys[keep - 1].first : 0));
  size_t first = keep ? 0 : 1;
  if (!keep && (parts.empty() || !EqualNoCase(parts[0], rootName))) {
    *message = "key " + ToUtf8Lossy(entry.path) + " is not under " + ToUtf8Lossy(rootName);
    return false;
  }
  for (size_t i = first; i < parts.size(); ++i) {
    if (parts[i].size() > kMaxKeyNameChars) {
      *message = "key name longer than 255 characters";
      return false;
    }
  }
  if (entry.name.size() > kMaxValueNameChars) {
    *message = "value name longer than 16383 characters";
    return false;
  }
  std::shared_ptr<Key> hold = keep ? chain->keys[keep - 1].second : nullptr;
  Key *key = keep ? hold.get() : &root;
  if (chain) {
    chain->path = path;
    chain->keys.resize(keep);
  }
  size_t last = parts.size() - (entry.kind == Entry::kDeleteKey ? 1 : 0);
  for (size_t i = first; i < last; ++i) {
    hold = entry.kind == Entry::kKey || entry.kind == Entry::kValue ? key->Child(parts[i]) : key->Find(parts[i]);
    if (!hold) return true;  // deleting something already absent
    key = hold.get();
    if (chain) chain->keys.emplace_back(static_cast<size_t>(parts[i].data() + parts[i].size() - path.data()), hold);
  }
  switch (entry.kind) {
    case Entry::kKey: break;
    case Entry::kDeleteKey:
      if (parts.size() == 1) {
        root.values.clear();
        root.subkeys.clear();
      } else if (auto gone = key->Remove(parts.back())) {
        gone->MarkDeleted();
      }
      break;
    case Entry::kValue: key->SetValue(entry.name, entry.type, entry.data); break;
    case Entry::kDeleteValue: key->DeleteValue(entry.name); break;
  }
  return true;
}

}  // namespace

bool Apply(Key &root, std::u16string_view rootName, const Entry &entry, std::string *message) {
  return ApplyEntry(root, rootName, entry, message, nullptr);
}

bool ApplyAll(Key &root, std::u16string_view rootName, const std::vector<Entry> &entries, ParseError *error) {
  // Values follow their key's section: find each section's key once.
  const std::u16string *sectionPath = nullptr;
  std::shared_ptr<Key> section;
  Chain chain;
  for (const Entry &e : entries) {
    std::string why;
    if (e.kind == Entry::kValue && sectionPath && section && !section->deleted && e.path == *sectionPath) {
      if (e.name.size() > kMaxValueNameChars) {
        *error = {e.line, "value name longer than 16383 characters"};
        return false;
      }
      section->SetValue(e.name, e.type, e.data);
      continue;
    }
    // Keys on the chain may be gone.
    if (e.kind == Entry::kDeleteKey) chain.keys.clear();
    if (!ApplyEntry(root, rootName, e, &why, &chain)) {
      *error = {e.line, why};
      return false;
    }
    sectionPath = nullptr;
    if (e.kind == Entry::kKey) {
      // The root itself is not shared-owned; values of it go through Apply.
      section = chain.keys.empty() ? nullptr : chain.keys.back().second;
      sectionPath = &e.path;
    }
  }
  return true;
}

// ---------------------------------------------------------------------------
// Writer

namespace {

class Writer {
 public:
  explicit Writer(Encoding encoding) : encoding_(encoding) {}

  void Line(std::u16string_view s) {
    out_.append(s);
    out_.append(encoding_ == Encoding::kUtf16 ? u"\r\n" : u"\n");
  }

  void Section(const Key &key, std::u16string &path, bool writeThis) {
    if (writeThis) {
      std::u16string line = u"[";
      line += path;
      line += u"]";
      Line(line);
      for (const auto &v : key.values) WriteValue(v);
      Line(u"");
    }
    for (const auto &sub : key.subkeys) {
      size_t len = path.size();
      path += u'\\';
      path += sub->name;
      Section(*sub, path, true);
      path.resize(len);
    }
  }

  std::string Finish() {
    if (encoding_ == Encoding::kUtf16) {
      std::string bytes = "\xFF\xFE";
      bytes.reserve(2 + out_.size() * 2);
      for (char16_t c : out_) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
      }
      return bytes;
    }
    return ToUtf8Lossy(out_);  // every name was checked to be valid UTF-16
  }

 private:
  static void Escape(std::u16string &line, std::u16string_view s) {
    for (char16_t c : s) {
      switch (c) {
        case u'\\': line += u"\\\\"; break;
        case u'"': line += u"\\\""; break;
        case u'\n': line += u"\\n"; break;
        case u'\r': line += u"\\r"; break;
        default: line += c;
      }
    }
  }

  // The text of a REG_SZ that reads back as the same bytes from "text".
  static bool CleanString(const std::vector<BYTE> &data, std::u16string *text) {
    if (data.size() < 2 || data.size() % 2) return false;
    size_t n = data.size() / 2 - 1;
    text->resize(n);
    for (size_t i = 0; i <= n; ++i) {
      char16_t c = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
      if (i == n) return c == 0 && ToUtf8(*text).has_value();
      if (c == 0 || c == u'\n' || c == u'\r') return false;
      (*text)[i] = c;
    }
    return false;
  }

  void WriteValue(const Value &v) {
    std::u16string line;
    if (v.name.empty()) {
      line = u"@=";
    } else {
      line = u"\"";
      Escape(line, v.name);
      line += u"\"=";
    }
    std::u16string text;
    if (v.type == REG_SZ && CleanString(v.data, &text)) {
      line += u'"';
      Escape(line, text);
      line += u'"';
      Line(line);
      return;
    }
    static const char16_t kDigits[] = u"0123456789abcdef";
    if (v.type == REG_DWORD && v.data.size() == 4) {
      uint32_t d = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) | (static_cast<uint32_t>(v.data[3]) << 24);
      line += u"dword:";
      for (int shift = 28; shift >= 0; shift -= 4) line += kDigits[(d >> shift) & 0xF];
      Line(line);
      return;
    }
    if (v.type == REG_BINARY) {
      line += u"hex:";
    } else {
      line += u"hex(";
      bool any = false;
      for (int shift = 28; shift >= 0; shift -= 4) {
        unsigned d = (v.type >> shift) & 0xF;
        if (d || any || shift == 0) {
          line += kDigits[d];
          any = true;
        }
      }
      line += u"):";
    }
    // Wrapped as regedit does: lines of at most 80 characters.
    for (size_t i = 0; i < v.data.size(); ++i) {
      line += kDigits[v.data[i] >> 4];
      line += kDigits[v.data[i] & 0xF];
      if (i + 1 < v.data.size()) {
        line += u',';
        if (line.size() > 76) {
          line += u'\\';
          Line(line);
          line = u"  ";
        }
      }
    }
    Line(line);
  }

  Encoding encoding_;
  std::u16string out_;
};

}  // namespace

std::string Write(const Key &key, std::u16string_view path, Encoding encoding, bool writeEmptyTop) {
  Writer w(encoding);
  w.Line(kHeader);
  w.Line(u"");
  std::u16string p(path);
  w.Section(key, p, writeEmptyTop || !key.values.empty());
  return w.Finish();
}

}  // namespace platform::reg
