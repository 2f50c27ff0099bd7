#include "adf.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace comm::adf {

namespace {

struct TypeInfo {
  const char *name;
  uint16_t size;  // 0: SHORT_STRING
};
constexpr TypeInfo kTypes[] = {
    {"BOOL", 1},  {"SINT", 1},  {"USINT", 1}, {"BYTE", 1},  {"INT", 2},   {"UINT", 2},
    {"WORD", 2},  {"REVISION", 2}, {"DINT", 4}, {"UDINT", 4}, {"DWORD", 4}, {"REAL", 4},
    {"LINT", 8},  {"ULINT", 8}, {"LWORD", 8}, {"LREAL", 8}, {"SHORT_STRING", 0},
};

bool SameWord(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

std::optional<uint32_t> Number(std::string_view w, uint32_t min, uint32_t max) {
  int base = 10;
  if (w.size() > 2 && w[0] == '0' && (w[1] == 'x' || w[1] == 'X')) {
    base = 16;
    w.remove_prefix(2);
  }
  if (w.empty() || w.size() > 8) return std::nullopt;
  uint32_t v = 0;
  for (char c : w) {
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c)))
      d = std::toupper(static_cast<unsigned char>(c)) - 'A' + 10;
    else
      return std::nullopt;
    v = v * static_cast<uint32_t>(base) + static_cast<uint32_t>(d);
  }
  if (v < min || v > max) return std::nullopt;
  return v;
}

bool IsName(std::string_view w) {
  if (w.empty() || w.size() > 32) return false;
  if (!std::isalpha(static_cast<unsigned char>(w[0])) && w[0] != '_') return false;
  return std::all_of(w.begin(), w.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

}  // namespace

const ClassDef *Catalog::Find(uint16_t cls) const {
  for (const ClassDef &c : classes)
    if (c.cls == cls) return &c;
  return nullptr;
}

std::optional<Catalog> Parse(std::string_view text, Error *error) {
  Error dummy;
  Error &e = error ? *error : dummy;
  auto fail = [&e](int line, std::string message) -> std::optional<Catalog> {
    e.line = line;
    e.message = std::move(message);
    return std::nullopt;
  };
  if (text.size() > kMaxFileSize) return fail(0, "file larger than 64 KiB");
  Catalog catalog;
  ClassDef *open = nullptr;
  int number = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    ++number;
    size_t end = text.find('\n', pos);
    std::string_view line = text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
    pos = end == std::string_view::npos ? text.size() : end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > kMaxLine) return fail(number, "line longer than 255 characters");
    if (std::any_of(line.begin(), line.end(), [](char c) {
          return static_cast<unsigned char>(c) > 126 || (static_cast<unsigned char>(c) < 32 && c != '\t');
        }))
      return fail(number, "character outside printable ASCII");
    size_t comment = line.find_first_of(";#");
    if (comment != std::string_view::npos) line = line.substr(0, comment);
    auto w = Words(line);
    if (w.empty()) continue;
    if (SameWord(w[0], "CLASS")) {
      if (open) return fail(number, "CLASS inside a class (END missing)");
      if (w.size() != 5 || !SameWord(w[3], "REVISION")) return fail(number, "expected CLASS <number> <name> REVISION <number>");
      auto cls = Number(w[1], 1, 0xFFFF);
      auto rev = Number(w[4], 0, 0xFFFF);
      if (!cls) return fail(number, "class number out of range");
      if (!rev) return fail(number, "revision out of range");
      if (!IsName(w[2])) return fail(number, "bad class name");
      if (catalog.Find(static_cast<uint16_t>(*cls))) return fail(number, "class defined twice");
      if (catalog.classes.size() >= kMaxClasses) return fail(number, "more than 256 classes");
      catalog.classes.push_back({static_cast<uint16_t>(*cls), std::string(w[2]), static_cast<uint16_t>(*rev), {}});
      open = &catalog.classes.back();
    } else if (SameWord(w[0], "ATTRIBUTE")) {
      if (!open) return fail(number, "ATTRIBUTE outside a class");
      if (w.size() != 4) return fail(number, "expected ATTRIBUTE <number> <name> <type>");
      auto id = Number(w[1], 1, 0xFFFF);
      if (!id) return fail(number, "attribute number out of range");
      if (!open->attributes.empty() && *id <= open->attributes.back().id)
        return fail(number, "attribute numbers must increase");
      if (open->attributes.size() >= kMaxAttributes) return fail(number, "more than 64 attributes");
      if (!IsName(w[2])) return fail(number, "bad attribute name");
      const TypeInfo *type = nullptr;
      for (const TypeInfo &t : kTypes)
        if (SameWord(w[3], t.name)) type = &t;
      if (!type) return fail(number, "unknown type");
      Attribute a;
      a.id = static_cast<uint16_t>(*id);
      a.name = std::string(w[2]);
      a.fixedSize = type->size;
      a.shortString = type->size == 0;
      open->attributes.push_back(std::move(a));
    } else if (SameWord(w[0], "END")) {
      if (!open) return fail(number, "END without CLASS");
      if (w.size() != 1) return fail(number, "text after END");
      if (open->attributes.empty()) return fail(number, "class without attributes");
      open = nullptr;
    } else {
      return fail(number, "unknown keyword");
    }
  }
  if (open) return fail(number, "END missing at end of file");
  return catalog;
}

size_t ValueSize(const Attribute &a, const uint8_t *data, size_t avail) {
  if (!a.shortString) return a.fixedSize <= avail ? a.fixedSize : 0;
  if (avail < 1) return 0;
  size_t n = 1 + static_cast<size_t>(data[0]);
  return n <= avail ? n : 0;
}

}  // namespace comm::adf
