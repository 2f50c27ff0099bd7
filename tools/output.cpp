#include "output.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "console.h"
#include "session.h"

namespace revdir {

namespace {

std::string JsonString(const std::string &s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\')
      out += '\\', out += static_cast<char>(c);
    else if (c < 0x20) {
      char buffer[8];
      snprintf(buffer, sizeof buffer, "\\u%04x", c);
      out += buffer;
    } else
      out += static_cast<char>(c);
  }
  return out + "\"";
}

// Each row's value of --property, one a line.
int PrintProperty(const std::string &property, const std::vector<Row> &rows) {
  for (const Row &row : rows) {
    bool found = false;
    for (const Field &f : row)
      if (f.name == property) Out("%s\n", f.value.c_str()), found = true;
    if (!found) return Usage("no property '" + property + "'");
  }
  return kOk;
}

void PrintJson(const std::vector<Row> &rows, bool single) {
  std::string out = single ? "" : "[";
  for (size_t r = 0; r < rows.size(); ++r) {
    out += r ? ",\n  {" : (single ? "{" : "\n  {");
    for (size_t i = 0; i < rows[r].size(); ++i) {
      const Field &f = rows[r][i];
      out += (i ? ", " : "") + JsonString(f.name) + ": " +
             (f.quoted          ? JsonString(f.value)
              : f.value.empty() ? "null"
                                : f.value);
    }
    out += "}";
  }
  out += single ? "\n" : (rows.empty() ? "]\n" : "\n]\n");
  WriteOut(out);
}

// The columns a UTF-8 text takes on a terminal: one per character, two for
// the East Asian wide ones (CJK, Hangul, full-width forms, emoji).
size_t DisplayWidth(const std::string &text) {
  size_t width = 0;
  for (size_t i = 0; i < text.size();) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length && i + k < text.size(); ++k) c = (c << 6) | (text[i + k] & 0x3F);
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
                      (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                      (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) || (c >= 0x20000 && c <= 0x3FFFD);
    width += wide ? 2 : 1;
    i += length;
  }
  return width;
}

// The first row's names as a header, then the values, in columns as wide as
// their widest cell.
void PrintTable(const std::vector<Row> &rows) {
  if (rows.empty()) return;
  std::vector<size_t> width(rows[0].size());
  for (size_t i = 0; i < width.size(); ++i) width[i] = DisplayWidth(rows[0][i].name);
  for (const Row &row : rows)
    for (size_t i = 0; i < row.size() && i < width.size(); ++i)
      width[i] = std::max(width[i], DisplayWidth(row[i].value));
  auto line = [&](const std::function<std::string(size_t)> &cell) {
    std::string out;
    for (size_t i = 0; i < width.size(); ++i) {
      std::string c = cell(i);
      out += i + 1 < width.size() ? c + std::string(width[i] - DisplayWidth(c) + 2, ' ') : c;
    }
    // An empty last cell leaves no padding behind it.
    out.erase(out.find_last_not_of(' ') + 1);
    WriteOut(out + "\n");
  };
  line([&](size_t i) { return rows[0][i].name; });
  for (const Row &row : rows) line([&](size_t i) { return row[i].value; });
}

}  // namespace

Field NumberField(const char *name, long v) { return {name, std::to_string(v), false}; }
Field TextField(const char *name, const std::string &v) { return {name, v, true}; }
Field NullField(const char *name) { return {name, "", false}; }

int Print(const Args &a, const std::vector<Row> &rows, bool single) {
  if (!a.property.empty()) return PrintProperty(a.property, rows);
  if (a.format == "json")
    PrintJson(rows, single);
  else
    PrintTable(rows);
  return kOk;
}

Row ReleaseRow(IRevision *r) {
  LONG major = 0, minor = 0, rev = 0, database = 0, available = 0;
  r->get_MajorSoftwareVersion(&major);
  r->get_MinorSoftwareVersion(&minor);
  r->get_MajorRev(&rev);
  r->get_ACDFileVersionNumber(&database);
  r->get_IsAvailable(&available);
  Bstr path;
  if (available) r->get_InstalledPath(path.Out());
  char version[32];
  snprintf(version, sizeof version, "%ld.%02ld", static_cast<long>(major), static_cast<long>(minor));
  return {TextField("release", version),
          NumberField("majorRev", rev),
          NumberField("database", database),
          {"installed", available ? "true" : "false", false},
          TextField("installedPath", available ? Narrow(path) : "")};
}

Version VersionOf(IRevision *r) {
  LONG major = 0, minor = 0;
  r->get_MajorSoftwareVersion(&major);
  r->get_MinorSoftwareVersion(&minor);
  return {major, minor};
}

HRESULT Releases(IRevisionDirectory_V6 *d, bool installed, std::vector<ComPtr<IRevision>> &out) {
  LONG count = 0;
  HRESULT hr;
  ComPtr<IRevisions> all;
  ComPtr<IAvailableRevisions> available;
  if (installed) {
    if (FAILED(hr = d->get_AvailableRevisions(available.Out()))) return hr;
    available->get_Count(&count);
  } else {
    if (FAILED(hr = d->get_Revisions(all.Out()))) return hr;
    all->get_Count(&count);
  }
  for (LONG i = 1; i <= count; ++i) {
    ComPtr<IRevision> r;
    hr = installed ? available->get_Item(i, r.Out()) : all->get_Item(i, r.Out());
    if (FAILED(hr)) return hr;
    out.push_back(std::move(r));
  }
  return S_OK;
}

HRESULT ReleaseOf(IRevisionDirectory_V6 *d, const Args &a, ComPtr<IRevision> &r) {
  if (a.release) return d->GetRevisionFromSoftwareVersion(a.release->major, a.release->minor, r.Out());
  return d->get_LatestAvailableRevision(r.Out());
}

}  // namespace revdir
