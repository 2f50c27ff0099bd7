// revdir reg: the registry of the prefix read and edited with the verbs,
// output and exit codes of the Windows "reg" command; import and export
// read and write .reg files.
#include <windows.h>
#include <wtypes.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "commands.h"
#include "console.h"
#include "platform/regfile/reg_text.h"
#include "platform/text/wide_text.h"

namespace revdir {

namespace {

namespace regfile = platform::reg;

// Command-line words are ASCII.
bool EqualNoCase(const std::string &a, const char *b) {
  if (a.size() != strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (tolower(static_cast<unsigned char>(a[i])) != tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// ---------------------------------------------------------------------------
// reg

constexpr int kOk = 0, kFail = 1;
const char kDone[] = "The operation completed successfully.\n";
const char kCanceled[] = "The operation was canceled by the user.\n";
const char kNotFound[] = "ERROR: The system was unable to find the specified registry key or value.\n";

int Fail(const std::string &message) {
  WriteErr("ERROR: " + message + "\n");
  return kFail;
}

int Syntax(const char *verb) {
  Err("ERROR: Invalid syntax.\nType \"REVDIR REG %s /?\" for usage.\n", verb);
  return kFail;
}

int FailCode(LONG code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
      WriteErr(kNotFound);
      return kFail;
    case ERROR_ACCESS_DENIED:
      return Fail("Access is denied.");
    case ERROR_BADDB:
      return Fail("The configuration registry database is corrupt.");
    case ERROR_KEY_DELETED:
      return Fail("Illegal operation attempted on a registry key that has been marked for deletion.");
    case ERROR_INVALID_PARAMETER:
      return Fail("The parameter is incorrect.");
    default:
      return Fail("Error accessing the registry (error " + std::to_string(code) + ").");
  }
}

struct KeyName {
  HKEY root = nullptr;
  std::string rootLong;
  platform::WideString sub;
  std::string full;  // as printed: long root name, then the subkey
};

struct Root {
  HKEY key;
  const char *longName, *shortName;
};
const Root kRoots[] = {
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "HKLM"},
    {HKEY_CURRENT_USER, "HKEY_CURRENT_USER", "HKCU"},
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", "HKCR"},
};

const Root *FindRoot(const std::string &name) {
  for (const Root &r : kRoots)
    if (EqualNoCase(name, r.longName) || EqualNoCase(name, r.shortName)) return &r;
  return nullptr;
}

bool ParseKeyName(const std::string &text, KeyName *out) {
  size_t slash = text.find('\\');
  std::string sub = slash == std::string::npos ? "" : text.substr(slash + 1);
  while (!sub.empty() && sub.back() == '\\') sub.pop_back();
  const Root *root = FindRoot(text.substr(0, slash));
  if (!root) return false;
  out->root = root->key;
  out->rootLong = root->longName;
  out->sub = platform::Widen(sub);
  out->full = out->rootLong + (sub.empty() ? "" : "\\" + sub);
  return true;
}

bool Confirm(const std::string &question) {
  WriteOut(question + " (Yes/No)? ");
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return EqualNoCase(answer, "y") || EqualNoCase(answer, "yes");
}

// Options after the key: /v NAME, /ve, /va, /t TYPE, /d DATA, /s SEP, /f, /y
// (also with '-', any case).
struct Options {
  bool v = false, ve = false, va = false, f = false, y = false, s = false, t = false, d = false;
  std::string name, type = "REG_SZ", data, sep = "\\0";
};

bool ParseOptions(int argc, char **argv, int from, const char *allowed, Options *o) {
  for (int i = from; i < argc; ++i) {
    std::string a = argv[i];
    if (a.size() < 2 || (a[0] != '/' && a[0] != '-')) return false;
    std::string opt = a.substr(1);
    for (auto &c : opt) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    if (!strstr(allowed, (" " + opt + " ").c_str())) return false;
    auto arg = [&](std::string *into) {
      if (i + 1 >= argc) return false;
      *into = argv[++i];
      return true;
    };
    if (opt == "v") {
      if (o->v || !arg(&o->name)) return false;
      o->v = true;
    } else if (opt == "ve") {
      o->ve = true;
    } else if (opt == "va") {
      o->va = true;
    } else if (opt == "f") {
      o->f = true;
    } else if (opt == "y") {
      o->y = true;
    } else if (opt == "s" && strstr(allowed, " s: ")) {
      if (!arg(&o->sep) || o->sep.size() != 1) return false;
    } else if (opt == "s") {
      o->s = true;
    } else if (opt == "t") {
      if (o->t || !arg(&o->type)) return false;
      o->t = true;
    } else if (opt == "d") {
      if (o->d || !arg(&o->data)) return false;
      o->d = true;
    }
  }
  return (o->v + o->ve + o->va) <= 1;
}

struct TypeName {
  DWORD type;
  const char *name;
};
constexpr TypeName kTypes[] = {
    {REG_SZ, "REG_SZ"},
    {REG_EXPAND_SZ, "REG_EXPAND_SZ"},
    {REG_BINARY, "REG_BINARY"},
    {REG_DWORD, "REG_DWORD"},
    {REG_DWORD_BIG_ENDIAN, "REG_DWORD_BIG_ENDIAN"},
    {REG_LINK, "REG_LINK"},
    {REG_MULTI_SZ, "REG_MULTI_SZ"},
    {REG_QWORD, "REG_QWORD"},
    {REG_NONE, "REG_NONE"},
};

std::string TypeText(DWORD type) {
  for (const auto &t : kTypes)
    if (t.type == type) return t.name;
  char buf[32];
  snprintf(buf, sizeof buf, "REG_0x%x", static_cast<unsigned>(type));
  return buf;
}

platform::WideString Chars(const std::vector<BYTE> &data) {
  platform::WideString s(data.size() / 2, WCHAR(0));
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<WCHAR>(data[2 * i] | (data[2 * i + 1] << 8));
  return s;
}

std::string DataText(DWORD type, const std::vector<BYTE> &data) {
  char buf[32];
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      platform::WideString s = Chars(data);
      return platform::Narrow(s.substr(0, s.find(WCHAR(0))));
    }
    case REG_MULTI_SZ: {
      platform::WideString s = Chars(data);
      while (!s.empty() && s.back() == 0) s.pop_back();
      std::string out;
      for (WCHAR c : s) out += c ? platform::Narrow(platform::WideView(&c, 1)) : "\\0";
      return out;
    }
    case REG_DWORD:
      if (data.size() == 4) {
        snprintf(buf, sizeof buf, "0x%x", data[0] | (data[1] << 8) | (data[2] << 16) | (unsigned(data[3]) << 24));
        return buf;
      }
      break;
    case REG_QWORD:
      if (data.size() == 8) {
        unsigned long long q = 0;
        for (int i = 7; i >= 0; --i) q = (q << 8) | data[i];
        snprintf(buf, sizeof buf, "0x%llx", q);
        return buf;
      }
      break;
  }
  std::string hex;
  for (BYTE b : data) {
    snprintf(buf, sizeof buf, "%02X", b);
    hex += buf;
  }
  return hex;
}

void PrintValue(const platform::WideString &name, DWORD type, const std::vector<BYTE> &data) {
  WriteOut("    " + (name.empty() ? "(Default)" : platform::Narrow(name)) + "    " + TypeText(type) + "    " +
           DataText(type, data) + "\n");
}

// Reads one value by index (name and data, whatever their size).
LONG EnumValue(HKEY key, DWORD index, platform::WideString *name, DWORD *type, std::vector<BYTE> *data) {
  DWORD maxName = 0, maxData = 0;
  LONG r = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, &maxData,
                            nullptr, nullptr);
  if (r) return r;
  std::vector<WCHAR> nameBuf(maxName + 1);
  data->resize(maxData);
  DWORD cch = maxName + 1, cb = maxData;
  r = RegEnumValueW(key, index, nameBuf.data(), &cch, nullptr, type, data->data(), &cb);
  if (r) return r;
  name->assign(nameBuf.data(), cch);
  data->resize(cb);
  return ERROR_SUCCESS;
}

int QueryKey(HKEY key, const std::string &full, bool recurse) {
  WriteOut("\n" + full + "\n");
  platform::WideString name;
  std::vector<BYTE> data;
  DWORD type = 0;
  for (DWORD i = 0; EnumValue(key, i, &name, &type, &data) == ERROR_SUCCESS; ++i) PrintValue(name, type, data);
  std::vector<platform::WideString> subkeys;
  WCHAR buf[256];
  for (DWORD i = 0;; ++i) {
    DWORD cch = 256;
    if (RegEnumKeyExW(key, i, buf, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    subkeys.emplace_back(buf, cch);
  }
  if (!recurse) {
    if (!subkeys.empty()) WriteOut("\n");
    for (const auto &s : subkeys) WriteOut(full + "\\" + platform::Narrow(s) + "\n");
    return kOk;
  }
  for (const auto &s : subkeys) {
    HKEY sub;
    if (RegOpenKeyExW(key, s.c_str(), 0, KEY_READ, &sub) == ERROR_SUCCESS) {
      QueryKey(sub, full + "\\" + platform::Narrow(s), true);
      RegCloseKey(sub);
    }
  }
  return kOk;
}

int RegQuery(const KeyName &k, const Options &o) {
  HKEY key;
  if (LONG r = RegOpenKeyExW(k.root, k.sub.c_str(), 0, KEY_READ, &key)) return FailCode(r);
  int rc = kOk;
  if (o.v || o.ve) {
    platform::WideString name = o.v ? platform::Widen(o.name) : OLESTR("");
    DWORD type = 0, cb = 0;
    LONG r = RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &cb);
    std::vector<BYTE> data(cb);
    if (r == ERROR_SUCCESS) r = RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &cb);
    if (r == ERROR_SUCCESS) {
      data.resize(cb);
      // Show the name as stored, not as typed.
      platform::WideString stored;
      std::vector<BYTE> ignored;
      DWORD ignoredType;
      for (DWORD i = 0; EnumValue(key, i, &stored, &ignoredType, &ignored) == ERROR_SUCCESS; ++i) {
        if (lstrcmpiW(stored.c_str(), name.c_str()) == 0) {
          name = stored;
          break;
        }
      }
      WriteOut("\n" + k.full + "\n");
      PrintValue(name, type, data);
      WriteOut("\n");
    } else if (r == ERROR_FILE_NOT_FOUND && o.ve) {
      WriteOut("\n" + k.full + "\n    (Default)    REG_SZ    (value not set)\n\n");
    } else {
      rc = FailCode(r);
    }
  } else {
    rc = QueryKey(key, k.full, o.s);
  }
  RegCloseKey(key);
  return rc;
}

bool HexBytes(const std::string &s, std::vector<BYTE> *out) {
  if (s.size() % 2) return false;
  for (size_t i = 0; i < s.size(); i += 2) {
    char pair[3] = {s[i], s[i + 1], 0};
    char *end;
    if (!isxdigit(static_cast<unsigned char>(s[i])) || !isxdigit(static_cast<unsigned char>(s[i + 1]))) return false;
    out->push_back(static_cast<BYTE>(strtoul(pair, &end, 16)));
  }
  return true;
}

bool Number(const std::string &s, unsigned long long max, unsigned long long *v) {
  if (s.empty() || s[0] == '-') return false;
  char *end;
  errno = 0;
  *v = strtoull(s.c_str(), &end, 0);
  return !*end && errno == 0 && *v <= max;
}

void AppendChars(std::vector<BYTE> *out, platform::WideView s) {
  for (WCHAR c : s) {
    out->push_back(static_cast<BYTE>(c & 0xFF));
    out->push_back(static_cast<BYTE>(c >> 8));
  }
}

int RegAdd(const KeyName &k, const Options &o) {
  if (o.va) return Syntax("ADD");
  DWORD type = REG_NONE;
  bool known = false;
  for (const auto &t : kTypes)
    if (EqualNoCase(o.type, t.name)) type = t.type, known = true;
  if (!known) return Fail("Invalid key name.");
  std::vector<BYTE> data;
  unsigned long long n = 0;
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      AppendChars(&data, platform::Widen(o.data));
      AppendChars(&data, platform::WideString(1, WCHAR(0)));
      break;
    case REG_MULTI_SZ: {
      platform::WideString text = platform::Widen(o.data), sep = platform::Widen(o.sep);
      for (size_t at; !text.empty() && (at = text.find(sep)) != platform::WideString::npos;)
        text.replace(at, sep.size(), 1, WCHAR(0));
      AppendChars(&data, text);
      AppendChars(&data, platform::WideString(text.empty() ? 1 : 2, WCHAR(0)));
      break;
    }
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
      if (!o.data.empty() && !Number(o.data, 0xFFFFFFFFull, &n))
        return Fail("Invalid syntax. Specify valid numeric values.");
      for (int i = 0; i < 4; ++i) data.push_back(static_cast<BYTE>(n >> (type == REG_DWORD ? 8 * i : 24 - 8 * i)));
      break;
    case REG_QWORD:
      if (!o.data.empty() && !Number(o.data, ~0ull, &n)) return Fail("Invalid syntax. Specify valid numeric values.");
      for (int i = 0; i < 8; ++i) data.push_back(static_cast<BYTE>(n >> (8 * i)));
      break;
    default:
      if (!HexBytes(o.data, &data)) return Fail("Invalid syntax. Specify valid hexadecimal values.");
  }
  HKEY key;
  if (LONG r = RegCreateKeyExW(k.root, k.sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr))
    return FailCode(r);
  int rc = kOk;
  if (o.v || o.ve) {
    platform::WideString name = o.v ? platform::Widen(o.name) : OLESTR("");
    if (!o.f && RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
        !Confirm("Value " + (o.v ? o.name : std::string("(Default)")) + " exists, overwrite")) {
      WriteOut(kCanceled);
      RegCloseKey(key);
      return kOk;
    }
    if (LONG r = RegSetValueExW(key, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())))
      rc = FailCode(r);
  }
  RegCloseKey(key);
  if (rc == kOk) WriteOut(kDone);
  return rc;
}

int RegDelete(const KeyName &k, const Options &o) {
  if (o.t || o.d) return Syntax("DELETE");
  HKEY key;
  if (LONG r = RegOpenKeyExW(k.root, k.sub.c_str(), 0, KEY_ALL_ACCESS, &key)) return FailCode(r);
  LONG r = ERROR_SUCCESS;
  bool go = true;
  if (o.v || o.ve) {
    platform::WideString name = o.v ? platform::Widen(o.name) : OLESTR("");
    r = RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_SUCCESS && (o.f || (go = Confirm("Delete the registry value " + (o.v ? o.name : "(Default)")))))
      r = RegDeleteValueW(key, name.c_str());
  } else if (o.va) {
    if (o.f || (go = Confirm("Delete all values under the registry key " + k.full))) {
      platform::WideString name;
      std::vector<BYTE> data;
      DWORD type;
      while (r == ERROR_SUCCESS && EnumValue(key, 0, &name, &type, &data) == ERROR_SUCCESS)
        r = RegDeleteValueW(key, name.c_str());
    }
  } else {
    if (k.sub.empty()) {
      RegCloseKey(key);
      return Fail("Invalid key name.");
    }
    if (o.f || (go = Confirm("Permanently delete the registry key " + k.full)))
      r = RegDeleteTreeW(k.root, k.sub.c_str());
  }
  RegCloseKey(key);
  if (!go) {
    WriteOut(kCanceled);
    return kOk;
  }
  if (r) return FailCode(r);
  WriteOut(kDone);
  return kOk;
}

// A name the registry can hold and give back: no NUL (names end at one),
// no unpaired surrogate, and in a key name no line break (a section line
// cannot carry one).
bool Storable(platform::WideView name, bool keyName) {
  if (!regfile::WellFormed(name) || name.find(WCHAR(0)) != platform::WideView::npos) return false;
  return !keyName || name.find_first_of(OLESTR("\r\n")) == platform::WideView::npos;
}

// One statement of an import file with its key resolved.
struct Step {
  const regfile::Entry *entry;
  HKEY root;
  platform::WideString sub;
};

// Resolves every statement before the registry is touched, so that a file
// with a bad one changes nothing.
bool PlanImport(const std::vector<regfile::Entry> &entries, std::vector<Step> *steps, std::string *message) {
  for (const regfile::Entry &e : entries) {
    auto refuse = [&](const std::string &why) {
      *message = "line " + std::to_string(e.line) + ": " + why;
      return false;
    };
    auto parts = regfile::SplitPath(e.path);
    const Root *root = parts.empty() ? nullptr : FindRoot(platform::Narrow(parts[0]));
    if (!root) return refuse("unknown root key in " + platform::Narrow(e.path));
    Step step{&e, root->key, {}};
    for (size_t i = 1; i < parts.size(); ++i) {
      if (!Storable(parts[i], true)) return refuse("key name cannot be stored");
      if (parts[i].size() > regfile::kMaxKeyNameChars) return refuse("key name longer than 255 characters");
      step.sub += (i > 1 ? OLESTR("\\") : OLESTR("")) + parts[i];
    }
    if (!Storable(e.name, false)) return refuse("value name cannot be stored");
    if (e.name.size() > regfile::kMaxValueNameChars) return refuse("value name longer than 16383 characters");
    steps->push_back(std::move(step));
  }
  return true;
}

// Applies the statements in file order; each value goes to the key of the
// section it follows, which that section's line has created. The sections'
// keys are closed at the end: closing a key that was written flushes the
// registry to disk, and once for the whole file is enough.
LONG ApplyImport(const std::vector<Step> &steps) {
  HKEY section = nullptr;
  std::vector<HKEY> opened;
  LONG r = ERROR_SUCCESS;
  for (const Step &s : steps) {
    const regfile::Entry &e = *s.entry;
    switch (e.kind) {
      case regfile::Entry::kKey:
        section = nullptr;
        r = RegCreateKeyExW(s.root, s.sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &section, nullptr);
        if (section) opened.push_back(section);
        break;
      case regfile::Entry::kDeleteKey:
        // The root itself cannot go: deleting it empties it.
        r = RegDeleteTreeW(s.root, s.sub.empty() ? nullptr : s.sub.c_str());
        if (r == ERROR_FILE_NOT_FOUND) r = ERROR_SUCCESS;
        break;
      case regfile::Entry::kValue:
        r = RegSetValueExW(section, e.name.c_str(), 0, e.type, e.data.data(), static_cast<DWORD>(e.data.size()));
        break;
      case regfile::Entry::kDeleteValue:
        r = RegDeleteValueW(section, e.name.c_str());
        if (r == ERROR_FILE_NOT_FOUND) r = ERROR_SUCCESS;
        break;
    }
    if (r) break;
  }
  for (HKEY key : opened) RegCloseKey(key);
  return r;
}

// Files by their wide names, so that any name the command line carries opens.
bool ReadWholeFile(const std::string &file, std::string *bytes) {
  HANDLE h = CreateFileW(platform::Widen(file).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  char buffer[65536];
  DWORD n = 0;
  BOOL ok;
  while ((ok = ReadFile(h, buffer, sizeof buffer, &n, nullptr)) && n) bytes->append(buffer, n);
  CloseHandle(h);
  return ok;
}

bool WriteWholeFile(const std::string &file, const std::string &bytes) {
  HANDLE h = CreateFileW(platform::Widen(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD n = 0;
  bool ok = true;
  for (size_t at = 0; ok && at < bytes.size(); at += n)
    ok = WriteFile(h, bytes.data() + at, static_cast<DWORD>(bytes.size() - at), &n, nullptr) && n;
  ok = CloseHandle(h) && ok;
  // No half-written export is left behind.
  if (!ok) DeleteFileW(platform::Widen(file).c_str());
  return ok;
}

bool FileExists(const std::string &file) {
  return GetFileAttributesW(platform::Widen(file).c_str()) != INVALID_FILE_ATTRIBUTES;
}

int RegImport(const std::string &file) {
  std::string text;
  if (!ReadWholeFile(file, &text)) return Fail("Error opening the file. There may be a disk or file system error.");
  std::vector<regfile::Entry> entries;
  regfile::ParseError error;
  if (!regfile::Parse(text, &entries, &error))
    return Fail(file + ":" + std::to_string(error.line) + ": " + error.message);
  std::vector<Step> steps;
  std::string message;
  if (!PlanImport(entries, &steps, &message)) return Fail(file + ": " + message);
  if (LONG r = ApplyImport(steps)) {
    if (r == ERROR_BADDB || r == ERROR_ACCESS_DENIED) return FailCode(r);
    return Fail(file + ": cannot write the registry (error " + std::to_string(r) + ")");
  }
  WriteOut(kDone);
  return kOk;
}

// Writes key's section, then each subkey's, depth first in the order the
// registry lists them.
LONG ExportKey(HKEY key, platform::WideString &path, regfile::Writer *out) {
  out->Section(path);
  platform::WideString name;
  std::vector<BYTE> data;
  DWORD type = 0;
  LONG r;
  for (DWORD i = 0; (r = EnumValue(key, i, &name, &type, &data)) == ERROR_SUCCESS; ++i) out->Value(name, type, data);
  if (r != ERROR_NO_MORE_ITEMS) return r;
  std::vector<platform::WideString> subkeys;
  WCHAR buf[regfile::kMaxKeyNameChars + 1];
  for (DWORD i = 0;; ++i) {
    DWORD cch = regfile::kMaxKeyNameChars + 1;
    r = RegEnumKeyExW(key, i, buf, &cch, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r) return r;
    subkeys.emplace_back(buf, cch);
  }
  for (const auto &s : subkeys) {
    HKEY sub;
    r = RegOpenKeyExW(key, s.c_str(), 0, KEY_READ, &sub);
    if (r == ERROR_FILE_NOT_FOUND) continue;  // deleted meanwhile
    if (r) return r;
    size_t len = path.size();
    path += WCHAR('\\');
    path += s;
    r = ExportKey(sub, path, out);
    path.resize(len);
    RegCloseKey(sub);
    if (r) return r;
  }
  return ERROR_SUCCESS;
}

int RegExport(const KeyName &k, const std::string &file, const Options &o) {
  HKEY key;
  if (LONG r = RegOpenKeyExW(k.root, k.sub.c_str(), 0, KEY_READ, &key)) return FailCode(r);
  // Sections are named from the long root name and the key as typed.
  platform::WideString path = platform::Widen(k.rootLong);
  for (const auto &part : regfile::SplitPath(k.sub)) path += OLESTR("\\") + part;
  regfile::Writer writer(regfile::Encoding::kUtf16);
  LONG r = ExportKey(key, path, &writer);
  RegCloseKey(key);
  if (r) return FailCode(r);
  std::string text = writer.Finish();
  if (!o.y && FileExists(file) && !Confirm("File " + file + " already exists. Overwrite")) {
    WriteOut(kCanceled);
    return kOk;
  }
  if (!WriteWholeFile(file, text)) return Fail("Error writing the file. There may be a disk or file system error.");
  WriteOut(kDone);
  return kOk;
}

void RegUsage() {
  WriteOut(
      "REVDIR REG operation [parameters]\n\n"
      "  revdir reg query  KEY [/v NAME | /ve] [/s]\n"
      "  revdir reg add    KEY [/v NAME | /ve] [/t TYPE] [/s SEP] [/d DATA] [/f]\n"
      "  revdir reg delete KEY [/v NAME | /ve | /va] [/f]\n"
      "  revdir reg import FILE\n"
      "  revdir reg export KEY FILE [/y]\n\n"
      "KEY is ROOT\\SUBKEY, ROOT one of HKLM, HKCU, HKCR (or HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER,\n"
      "HKEY_CLASSES_ROOT). TYPE: REG_SZ (default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD,\n"
      "REG_BINARY, REG_NONE. Exit code 0 on success, 1 on failure.\n");
}

}  // namespace

int RegCommand(int argc, char **argv) {
  if (argc < 1 || EqualNoCase(argv[0], "/?") || EqualNoCase(argv[0], "-h") || EqualNoCase(argv[0], "--help")) {
    RegUsage();
    return argc < 1 ? kFail : kOk;
  }
  std::string verb = argv[0];
  Options o;
  KeyName k;
  if (argc >= 2 && EqualNoCase(argv[1], "/?")) {
    RegUsage();
    return kOk;
  }
  if (EqualNoCase(verb, "import")) {
    if (argc != 2) return Syntax("IMPORT");
    return RegImport(argv[1]);
  }
  bool known = false;
  for (const char *v : {"query", "add", "delete", "export"}) known = known || EqualNoCase(verb, v);
  if (!known) {
    RegUsage();
    return kFail;
  }
  if (argc < 2) return Syntax(verb.c_str());
  if (!ParseKeyName(argv[1], &k)) return Fail("Invalid key name.");
  if (EqualNoCase(verb, "query")) {
    if (!ParseOptions(argc, argv, 2, " v ve s ", &o) || o.va) return Syntax("QUERY");
    return RegQuery(k, o);
  }
  if (EqualNoCase(verb, "add")) {
    if (!ParseOptions(argc, argv, 2, " v ve t d f s s: ", &o)) return Syntax("ADD");
    return RegAdd(k, o);
  }
  if (EqualNoCase(verb, "delete")) {
    if (!ParseOptions(argc, argv, 2, " v ve va f ", &o)) return Syntax("DELETE");
    return RegDelete(k, o);
  }
  if (EqualNoCase(verb, "export")) {
    if (argc < 3 || !ParseOptions(argc, argv, 3, " y ", &o)) return Syntax("EXPORT");
    return RegExport(k, argv[2], o);
  }
  return Syntax(verb.c_str());
}

}  // namespace revdir
