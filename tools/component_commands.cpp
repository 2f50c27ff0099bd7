// The component's commands of revdir: it activates the directory through the
// registry by ProgID and calls it through its interfaces, as any client does.
// Every argument is checked before the component is asked anything; a
// failure ends with one documented exit status per kind (see ExitFor).
#include "component_commands.h"

#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "QuillonRevisionDirectory.h"
#include "catalog/registry_keys.h"
#include "frame/handles.h"
#include "online/controller_identity.h"
#include "platform/text/wide_text.h"

namespace {

using revdir::Bstr;
using revdir::ComPtr;
using platform::Narrow;

// Exit statuses, one per kind of failure; the README lists them.
enum Exit : int {
  kOk = 0,
  kUsage = 2,
  kNotFound = 3,
  kNotInstalled = 4,
  kBadFile = 5,
  kComponent = 6,
};

const char *g_command = "";

int Usage(const std::string &message) {
  fprintf(stderr, "revdir %s: %s\nTry 'revdir %s --help'.\n", g_command, message.c_str(), g_command);
  return kUsage;
}

Bstr ToBstr(const std::string &s) {
  int chars = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), nullptr, 0);
  Bstr out;
  *out.Out() = SysAllocStringLen(nullptr, static_cast<UINT>(chars));
  if (chars > 0) MultiByteToWideChar(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), out.Get(), chars);
  return out;
}

// ---------------------------------------------------------------------------
// Arguments

// A whole decimal or 0x-hexadecimal number within a LONG's 32 bits; nothing
// else counts (no trailing text, no silent zero).
std::optional<long long> Number(const std::string &s, bool allowHex) {
  if (s.empty()) return std::nullopt;
  const char *p = s.c_str();
  int base = 10;
  if (allowHex && (s.rfind("0x", 0) == 0 || s.rfind("0X", 0) == 0)) base = 16;
  char *end = nullptr;
  errno = 0;
  long long v = base == 16 ? static_cast<long long>(strtoull(p + 2, &end, 16)) : strtoll(p, &end, 10);
  if (errno || *end || end == p || (base == 16 && s.size() == 2)) return std::nullopt;
  // A code (allowHex) may be written as its unsigned decimal too.
  if (v < INT32_MIN || v > (allowHex ? 0xFFFFFFFFLL : INT32_MAX)) return std::nullopt;
  return v;
}

struct Version {
  long major = 0, minor = 0;
  bool operator<(const Version &o) const { return major != o.major ? major < o.major : minor < o.minor; }
  bool operator==(const Version &o) const { return major == o.major && minor == o.minor; }
};

// "M.mm" or "M.m": a major and a minor software version.
std::optional<Version> ParseVersion(const std::string &s) {
  size_t dot = s.find('.');
  if (dot == std::string::npos) return std::nullopt;
  auto major = Number(s.substr(0, dot), false), minor = Number(s.substr(dot + 1), false);
  if (!major || !minor || *major < 0 || *minor < 0 || s[0] == '-' || s[0] == '+' || s[dot + 1] == '-' ||
      s[dot + 1] == '+')
    return std::nullopt;
  return Version{static_cast<long>(*major), static_cast<long>(*minor)};
}

// Interval notation: "[12.0,14.0)", "(12.0,)", "[,15.01]"; a bare version is
// the interval holding just it.
struct Range {
  std::optional<Version> low, high;
  bool lowIncluded = true, highIncluded = true;
  bool exact = false;
  bool Holds(const Version &v) const {
    if (low && (v < *low || (!lowIncluded && v == *low))) return false;
    if (high && (*high < v || (!highIncluded && v == *high))) return false;
    return true;
  }
};

std::optional<Range> ParseRange(const std::string &s) {
  Range r;
  if (s.empty()) return std::nullopt;
  if (s[0] != '[' && s[0] != '(') {
    auto v = ParseVersion(s);
    if (!v) return std::nullopt;
    r.low = r.high = v;
    r.exact = true;
    return r;
  }
  char close = s.back();
  size_t comma = s.find(',');
  if (s.size() < 3 || (close != ']' && close != ')') || comma == std::string::npos) return std::nullopt;
  r.lowIncluded = s[0] == '[';
  r.highIncluded = close == ']';
  std::string lo = s.substr(1, comma - 1), hi = s.substr(comma + 1, s.size() - comma - 2);
  if (!lo.empty() && !(r.low = ParseVersion(lo))) return std::nullopt;
  if (!hi.empty() && !(r.high = ParseVersion(hi))) return std::nullopt;
  return r;
}

const struct {
  const char *name;
  LCID id;
} kLanguages[] = {{"en", 1033}, {"pt", 1046}, {"fr", 1036}, {"it", 1040}, {"de", 1031},
                  {"es", 1034}, {"zh", 2052}, {"ja", 1041}, {"ko", 1042}};

std::optional<LCID> ParseLanguage(const std::string &s) {
  for (const auto &l : kLanguages)
    if (s == l.name) return l.id;
  auto n = Number(s, false);
  if (n)
    for (const auto &l : kLanguages)
      if (*n == static_cast<long long>(l.id)) return l.id;
  return std::nullopt;
}

// The options of every command, parsed against the set the command accepts.
struct Args {
  std::string format = "table", property;
  std::optional<LCID> lang;
  bool help = false, installed = false, latest = false, recursive = false, services = false;
  bool supported = false, fromRev10 = false;
  std::optional<long long> majorRev, majorSoftware, database, wait;
  std::optional<Range> software;
  std::optional<Version> release;
  std::optional<LCID> language;
  std::optional<std::vector<long long>> controller;
  std::optional<std::string> route;
  bool project = false;
  std::vector<std::string> positional, passThrough;
};

const char *const kValueFlags[] = {"--format", "--property", "--lang", "--major-rev", "--software",
                                   "--major-software", "--database", "--controller", "--route", "--wait",
                                   "--release", "--language"};

bool TakesValue(const std::string &flag) {
  for (const char *f : kValueFlags)
    if (flag == f) return true;
  return false;
}

// Parses argv against `allowed` (space-separated flags); a usage error
// returns its exit status in *status.
bool Parse(int argc, char **argv, const std::string &allowed, Args &a, int *status) {
  auto fail = [&](const std::string &m) {
    *status = Usage(m);
    return false;
  };
  for (int i = 0; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--") {
      if ((" " + allowed + " ").find(" -- ") == std::string::npos) return fail("unexpected '--'");
      a.passThrough.assign(argv + i + 1, argv + argc);
      break;
    }
    if (arg.size() < 2 || arg[0] != '-' || (arg[1] != '-' && arg != "-h")) {
      if (arg[0] == '-' && !Number(arg, true)) return fail("unknown option '" + arg + "'");
      a.positional.push_back(arg);
      continue;
    }
    if (arg == "-h") arg = "--help";
    std::string value;
    size_t eq = arg.find('=');
    bool inlineValue = eq != std::string::npos;
    if (inlineValue) {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
    }
    if ((" " + allowed + " --help ").find(" " + arg + " ") == std::string::npos)
      return fail("unknown option '" + arg + "'");
    if (TakesValue(arg)) {
      if (!inlineValue) {
        if (i + 1 >= argc) return fail("option '" + arg + "' needs a value");
        value = argv[++i];
      }
    } else if (inlineValue) {
      return fail("option '" + arg + "' takes no value");
    }
    auto number = [&](std::optional<long long> &out, bool hex) {
      out = Number(value, hex);
      return out ? true : fail("'" + value + "' is not a number (" + arg + ")");
    };
    if (arg == "--help") a.help = true;
    else if (arg == "--installed") a.installed = true;
    else if (arg == "--latest") a.latest = true;
    else if (arg == "--recursive") a.recursive = true;
    else if (arg == "--services") a.services = true;
    else if (arg == "--supported") a.supported = true;
    else if (arg == "--from-rev-10") a.fromRev10 = true;
    else if (arg == "--project") a.project = true;
    else if (arg == "--format") {
      if (value != "table" && value != "json") return fail("--format is table or json, not '" + value + "'");
      a.format = value;
    } else if (arg == "--property") a.property = value;
    else if (arg == "--route") a.route = value;
    else if (arg == "--lang" || arg == "--language") {
      auto l = ParseLanguage(value);
      if (!l) return fail("unknown language '" + value + "' (en de fr it es pt zh ja ko, or an LCID)");
      (arg == "--lang" ? a.lang : a.language) = l;
    } else if (arg == "--major-rev") { if (!number(a.majorRev, false)) return false; }
    else if (arg == "--major-software") { if (!number(a.majorSoftware, false)) return false; }
    else if (arg == "--database") { if (!number(a.database, true)) return false; }
    else if (arg == "--wait") {
      if (!number(a.wait, false)) return false;
      if (*a.wait < 0) return fail("--wait needs a number of seconds, not '" + value + "'");
    } else if (arg == "--software") {
      if (!(a.software = ParseRange(value)))
        return fail("'" + value + "' is neither a version M.mm nor an interval such as [12.0,14.0)");
    } else if (arg == "--release") {
      if (!(a.release = ParseVersion(value))) return fail("'" + value + "' is not a version M.mm");
    } else if (arg == "--controller") {
      std::vector<long long> parts;
      size_t start = 0;
      for (;;) {
        size_t colon = value.find(':', start);
        auto n = Number(value.substr(start, colon - start), true);
        if (!n) return fail("--controller is TYPE:CODE:REV, three numbers, not '" + value + "'");
        parts.push_back(*n);
        if (colon == std::string::npos) break;
        start = colon + 1;
      }
      if (parts.size() != 3) return fail("--controller is TYPE:CODE:REV, three numbers, not '" + value + "'");
      a.controller = parts;
    }
  }
  return true;
}

// ---------------------------------------------------------------------------
// The component

struct Com {
  Com() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
  ~Com() { CoUninitialize(); }
};

// The module: REVDIR_COMPONENT names it; else the one installed beside the
// tool (the library folder under its own prefix); else the one built with it.
std::string ModulePath() {
  const char *env = getenv("REVDIR_COMPONENT");
  if (env && *env) return env;
  // The tool's own Linux path (the platform answers with a Windows one).
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    std::filesystem::path beside = self.parent_path().parent_path() / REVDIR_INSTALLED_COMPONENT;
    if (std::filesystem::exists(beside, ec)) return beside.string();
  }
  return REVDIR_DEFAULT_COMPONENT;
}

HRESULT CallEntry(const char *entry) {
  std::string module = ModulePath();
  HMODULE m = LoadLibraryA(module.c_str());
  if (!m) {
    fprintf(stderr, "revdir: cannot load %s (error %u)\n", module.c_str(), GetLastError());
    return HRESULT_FROM_WIN32(GetLastError());
  }
  auto fn = reinterpret_cast<HRESULT(STDAPICALLTYPE *)()>(GetProcAddress(m, entry));
  return fn ? fn() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}

IRevisionDirectory_V6 *g_directory = nullptr;  // for the texts of failures

int ExitFor(HRESULT hr) {
  switch (hr) {
    case RdE_RevisionNotFound:
    case RdE_ProcessorTypeNotSupported:
      return kNotFound;
    case RdE_RevisionNotInstalled:
      return kNotInstalled;
    case RdE_UnableToAccessProjectFile:
    case RdE_InvalidProjectFileContents:
    case RdE_InvalidProjectFileType:
      return kBadFile;
    default:
      return kComponent;
  }
}

// The component's constant name and localized text on stderr.
int Report(const std::string &what, HRESULT hr) {
  Bstr constant, text;
  if (!g_directory || FAILED(g_directory->GetErrorConstantAndDescription(hr, constant.Out(), text.Out()))) {
    WCHAR buffer[1024] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, hr, 0, buffer, 1024, nullptr);
    fprintf(stderr, "revdir: %s: 0x%08X %s\n", what.c_str(), static_cast<unsigned>(hr), Narrow(buffer).c_str());
  } else {
    fprintf(stderr, "revdir: %s: %s (0x%08X): %s\n", what.c_str(), Narrow(constant.Get()).c_str(),
            static_cast<unsigned>(hr), Narrow(text.Get()).c_str());
  }
  return ExitFor(hr);
}

HRESULT Create(IRevisionDirectory_V6 **out) {
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(OLESTR("QuillonRevisionDirectory.RevisionDirectory"), &clsid);
  if (FAILED(hr)) return hr;
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IRevisionDirectory_V6,
                          reinterpret_cast<void **>(out));
}

// The directory, initialized in the chosen language. On a prefix where the
// component is not registered, the module beside the tool is registered first.
HRESULT OpenDirectory(const Args &a, ComPtr<IRevisionDirectory_V6> &directory, bool initialize = true) {
  if (a.lang) SetThreadLocale(MAKELCID(*a.lang, SORT_DEFAULT));
  HRESULT hr = Create(directory.Out());
  if (hr == CO_E_CLASSSTRING || hr == REGDB_E_CLASSNOTREG) {
    HRESULT registered = CallEntry("DllRegisterServer");
    if (FAILED(registered)) return registered;
    fprintf(stderr, "revdir: first run: registered the component %s\n", ModulePath().c_str());
    hr = Create(directory.Out());
  }
  if (FAILED(hr)) return hr;
  g_directory = directory.Get();
  return initialize ? directory->Initialize() : S_OK;
}

// What every command starts with: its options parsed (with no argument
// beyond them unless `arguments`), then COM and the initialized directory.
// `status` is the exit status when either fails.
struct Session {
  Com com;
  ComPtr<IRevisionDirectory_V6> d;
  Args a;
  int status = kOk;
  bool Parse(int argc, char **argv, const std::string &allowed, bool arguments = false) {
    if (!::Parse(argc, argv, allowed, a, &status)) return false;
    if (arguments || a.positional.empty()) return true;
    status = Usage("unexpected argument '" + a.positional[0] + "'");
    return false;
  }
  bool Open() {
    HRESULT hr = OpenDirectory(a, d);
    if (SUCCEEDED(hr)) return true;
    status = Report("the directory", hr);
    return false;
  }
};

// ---------------------------------------------------------------------------
// Output

std::string JsonString(const std::string &s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') out += '\\', out += static_cast<char>(c);
    else if (c < 0x20) {
      char buffer[8];
      snprintf(buffer, sizeof buffer, "\\u%04x", c);
      out += buffer;
    } else out += static_cast<char>(c);
  }
  return out + "\"";
}

// A row: named fields, in order; numbers and booleans are written bare in JSON.
struct Field {
  std::string name, value;
  bool quoted;
};
using Row = std::vector<Field>;

int Print(const Args &a, const std::vector<Row> &rows, bool single) {
  if (!a.property.empty()) {
    for (const Row &row : rows) {
      bool found = false;
      for (const Field &f : row)
        if (f.name == a.property) printf("%s\n", f.value.c_str()), found = true;
      if (!found) return Usage("no property '" + a.property + "'");
    }
    return kOk;
  }
  if (a.format == "json") {
    std::string out = single ? "" : "[";
    for (size_t r = 0; r < rows.size(); ++r) {
      out += r ? ",\n  {" : (single ? "{" : "\n  {");
      for (size_t i = 0; i < rows[r].size(); ++i) {
        const Field &f = rows[r][i];
        out += (i ? ", " : "") + JsonString(f.name) + ": " + (f.quoted ? JsonString(f.value) : f.value);
      }
      out += "}";
    }
    out += single ? "\n" : (rows.empty() ? "]\n" : "\n]\n");
    fputs(out.c_str(), stdout);
    return kOk;
  }
  if (rows.empty()) return kOk;
  std::vector<size_t> width(rows[0].size());
  for (size_t i = 0; i < width.size(); ++i) width[i] = rows[0][i].name.size();
  for (const Row &row : rows)
    for (size_t i = 0; i < row.size() && i < width.size(); ++i) width[i] = std::max(width[i], row[i].value.size());
  auto line = [&](const std::function<std::string(size_t)> &cell) {
    std::string out;
    for (size_t i = 0; i < width.size(); ++i) {
      std::string c = cell(i);
      out += i + 1 < width.size() ? c + std::string(width[i] - c.size() + 2, ' ') : c;
    }
    printf("%s\n", out.c_str());
  };
  line([&](size_t i) { return rows[0][i].name; });
  for (const Row &row : rows) line([&](size_t i) { return row[i].value; });
  return kOk;
}

Field Num(const char *name, long v) { return {name, std::to_string(v), false}; }
Field Text(const char *name, const std::string &v) { return {name, v, true}; }

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
  return {Text("release", version),
          Num("majorRev", rev),
          Num("database", database),
          {"installed", available ? "true" : "false", false},
          Text("installedPath", available ? Narrow(path.Get()) : "")};
}

Version VersionOf(IRevision *r) {
  LONG major = 0, minor = 0;
  r->get_MajorSoftwareVersion(&major);
  r->get_MinorSoftwareVersion(&minor);
  return {major, minor};
}

// Every release, or every installed one, in the component's order.
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

// ---------------------------------------------------------------------------
// Commands

const char kCommon[] = "--format --property --lang";

int ListCommand(int argc, char **argv) {
  Session s;
  if (!s.Parse(argc, argv, std::string(kCommon) + " --installed --software --latest") || !s.Open()) return s.status;
  const Args &a = s.a;
  IRevisionDirectory_V6 *d = s.d.Get();
  HRESULT hr;
  std::vector<ComPtr<IRevision>> releases;
  if (FAILED(hr = Releases(d, a.installed, releases))) return Report("the releases", hr);
  std::vector<Row> rows;
  for (auto &r : releases)
    if (!a.software || a.software->Holds(VersionOf(r.Get()))) rows.push_back(ReleaseRow(r.Get()));
  if (a.latest && rows.size() > 1) rows.erase(rows.begin(), rows.end() - 1);
  return Print(a, rows, false);
}

int LatestCommand(int argc, char **argv) {
  Session s;
  if (!s.Parse(argc, argv, kCommon) || !s.Open()) return s.status;
  const Args &a = s.a;
  IRevisionDirectory_V6 *d = s.d.Get();
  HRESULT hr;
  ComPtr<IRevision> r;
  if (FAILED(hr = d->get_LatestAvailableRevision(r.Out()))) return Report("the latest installed release", hr);
  return Print(a, {ReleaseRow(r.Get())}, true);
}

// find: one selector; --installed asks the found release to be installed.
int FindCommand(int argc, char **argv) {
  Session s;
  if (!s.Parse(argc, argv,
               std::string(kCommon) +
                   " --major-rev --software --major-software --database --project --recursive --controller --route"
                   " --installed --latest",
               true))
    return s.status;
  const Args &a = s.a;
  int selectors =
      !!a.majorRev + !!a.software + !!a.majorSoftware + !!a.database + a.project + !!a.controller + !!a.route;
  if (selectors != 1)
    return Usage(selectors ? "give one of --major-rev --software --major-software --database --project --controller"
                             " --route"
                           : "what to find: --major-rev N, --software M.mm|RANGE, --major-software M, "
                             "--database D, --project FILE..., --controller TYPE:CODE:REV, --route ROUTE");
  if (!a.project && !a.positional.empty()) return Usage("unexpected argument '" + a.positional[0] + "'");
  if (a.project && a.positional.empty()) return Usage("--project needs one or more files or folders");
  if (a.recursive && !a.project) return Usage("--recursive goes with --project");
  if (!s.Open()) return s.status;
  IRevisionDirectory_V6 *d = s.d.Get();
  HRESULT hr;

  auto installedOrReport = [&](IRevision *r, const std::string &what) {
    LONG available = 0;
    r->get_IsAvailable(&available);
    return !a.installed || available ? kOk : Report(what, RdE_RevisionNotInstalled);
  };

  if (a.software && !a.software->exact) {
    std::vector<ComPtr<IRevision>> releases;
    if (FAILED(hr = Releases(d, a.installed, releases))) return Report("the releases", hr);
    std::vector<Row> rows;
    for (auto &r : releases)
      if (a.software->Holds(VersionOf(r.Get()))) rows.push_back(ReleaseRow(r.Get()));
    if (rows.empty()) return Report("no release in that range", RdE_RevisionNotFound);
    if (a.latest) return Print(a, {rows.back()}, true);
    return Print(a, rows, false);
  }

  if (a.project) {
    std::vector<std::string> files;
    for (const std::string &p : a.positional) {
      std::error_code ec;
      if (std::filesystem::is_directory(p, ec)) {
        if (!a.recursive) return Usage("'" + p + "' is a folder: add --recursive");
        std::vector<std::string> found;
        for (auto it = std::filesystem::recursive_directory_iterator(p, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
          std::string ext = it->path().extension().string();
          for (char &c : ext) c = static_cast<char>(tolower(c));
          if (it->is_regular_file() && (ext == ".acd" || ext == ".pjx")) found.push_back(it->path().string());
        }
        std::sort(found.begin(), found.end());
        files.insert(files.end(), found.begin(), found.end());
      } else {
        files.push_back(p);
      }
    }
    std::vector<Row> rows;
    int worst = kOk;
    for (const std::string &f : files) {
      ComPtr<IRevision> r;
      hr = d->GetRevisionFromProjectFile(ToBstr(f).Get(), r.Out());
      int rc = FAILED(hr) ? Report(f, hr) : installedOrReport(r.Get(), f);
      if (rc != kOk) {
        worst = worst == kOk ? rc : worst;
        continue;
      }
      Row row{Text("file", f)};
      for (Field &field : ReleaseRow(r.Get())) row.push_back(field);
      rows.push_back(row);
    }
    Print(a, rows, false);
    return worst;
  }

  if (a.route) {
    ComPtr<IRevision> r;
    const std::string what = "the controller at " + *a.route;
    Bstr route = ToBstr(*a.route);
    if (FAILED(hr = d->GetRevisionFromController(route.Get(), r.Out()))) return Report(what, hr);
    if (int rc = installedOrReport(r.Get(), what)) return rc;
    // The identity the component read is not on its interface: the tool asks
    // the controller again through the same communications library.
    revdir::CControllerIdentity identity;
    if (FAILED(identity.Read(route.Get()))) return Report(what, RdE_NoDeviceFound);
    char revision[16];
    snprintf(revision, sizeof revision, "%u.%u", identity.MajorRevision(), identity.MinorRevision());
    Row row{Num("vendor", identity.VendorId()), Num("deviceType", identity.DeviceType()),
            Num("productCode", identity.ProductCode()), Text("revision", revision),
            Num("serialNumber", static_cast<long>(identity.SerialNumber())),
            Text("productName", Narrow(identity.ProductName()))};
    for (Field &field : ReleaseRow(r.Get())) row.push_back(field);
    return Print(a, {row}, true);
  }

  ComPtr<IRevision> r;
  std::string what;
  if (a.majorRev) hr = d->GetRevisionFromMajorRev(static_cast<LONG>(*a.majorRev), r.Out()), what = "major revision";
  else if (a.software)
    hr = d->GetRevisionFromSoftwareVersion(a.software->low->major, a.software->low->minor, r.Out()),
    what = "software version";
  else if (a.majorSoftware)
    hr = d->GetRevisionFromMajorSoftwareVersion(static_cast<LONG>(*a.majorSoftware), r.Out()),
    what = "major software version";
  else if (a.database)
    hr = d->GetRevisionFromDatabaseVersion(static_cast<LONG>(*a.database), r.Out()), what = "database version";
  else
    hr = d->GetRevisionFromControllerId(static_cast<LONG>((*a.controller)[0]), static_cast<LONG>((*a.controller)[1]),
                                        static_cast<LONG>((*a.controller)[2]), r.Out()),
    what = "controller";
  if (FAILED(hr)) return Report(what, hr);
  if (int rc = installedOrReport(r.Get(), what)) return rc;
  return Print(a, {ReleaseRow(r.Get())}, true);
}

// A release named by --release, found through the component.
HRESULT ReleaseOf(IRevisionDirectory_V6 *d, const Args &a, ComPtr<IRevision> &r) {
  if (a.release) return d->GetRevisionFromSoftwareVersion(a.release->major, a.release->minor, r.Out());
  return d->get_LatestAvailableRevision(r.Out());
}

// types: the catalogue; --release M.mm its supported types with firmware
// revisions; --supported or --from-rev-10 the installation's sets.
int TypesCommand(int argc, char **argv) {
  Session s;
  if (!s.Parse(argc, argv, std::string(kCommon) + " --release --supported --from-rev-10")) return s.status;
  const Args &a = s.a;
  if (!!a.release + a.supported + a.fromRev10 > 1) return Usage("give one of --release --supported --from-rev-10");
  if (!s.Open()) return s.status;
  IRevisionDirectory_V6 *d = s.d.Get();
  HRESULT hr;
  ComPtr<IProcessorTypes> types;
  ComPtr<IRevision> release;
  if (a.release) {
    if (FAILED(hr = ReleaseOf(d, a, release))) return Report("release", hr);
    hr = release->get_SupportedProcessorTypes(types.Out());
  } else if (a.supported) hr = d->get_SupportedProcessorTypes(types.Out());
  else if (a.fromRev10) hr = d->get_MRS_SupportedProcessorTypes(types.Out());
  else hr = d->get_ProcessorTypes(types.Out());
  if (FAILED(hr)) return Report("the controller types", hr);
  LONG count = 0;
  types->get_Count(&count);
  std::vector<Row> rows;
  for (LONG i = 1; i <= count; ++i) {
    ComPtr<IProcessorType> t;
    if (FAILED(hr = types->get_Item(i, t.Out()))) return Report("a controller type", hr);
    RdProcessorTypes id{};
    LONG major = 0, minor = 0, productType = 0, productCode = 0;
    Bstr name, description;
    t->get_Id(&id);
    t->get_MajorRev(&major);
    t->get_MinorRev(&minor);
    t->get_Name(name.Out());
    t->get_Description(description.Out());
    ComPtr<IProcessorType_V2> v2;
    if (SUCCEEDED(t->QueryInterface(IID_IProcessorType_V2, reinterpret_cast<void **>(v2.Out())))) {
      v2->get_ProductType(&productType);
      v2->get_ProductCode(&productCode);
    }
    rows.push_back({Num("id", id), Text("name", Narrow(name.Get())), Num("productType", productType),
                    Num("productCode", productCode), Num("majorRev", major), Num("minorRev", minor),
                    Text("description", Narrow(description.Get()))});
  }
  return Print(a, rows, false);
}

int ProgIdCommand(int argc, char **argv) {
  Session s;
  if (!s.Parse(argc, argv, "--property --format --lang --services --language --release") || !s.Open()) return s.status;
  const Args &a = s.a;
  IRevisionDirectory_V6 *d = s.d.Get();
  HRESULT hr;
  Bstr progId;
  // The directory and a release answer through members of the same names.
  auto language = static_cast<RdSupportedLanguages>(a.language.value_or(0));
  auto ask = [&](auto *o) {
    return a.services ? (a.language ? o->GetQuillonServicesProgIdForLanguage(language, progId.Out())
                                    : o->get_QuillonServicesProgId(progId.Out()))
                      : (a.language ? o->GetQuillonApplicationProgIdForLanguage(language, progId.Out())
                                    : o->get_QuillonApplicationProgId(progId.Out()));
  };
  if (a.release) {
    ComPtr<IRevision> r;
    if (FAILED(hr = ReleaseOf(d, a, r))) return Report("release", hr);
    ComPtr<IRevision_V2> r2;
    if (FAILED(hr = r->QueryInterface(IID_IRevision_V2, reinterpret_cast<void **>(r2.Out()))))
      return Report("release", hr);
    hr = ask(r2.Get());
  } else {
    hr = ask(d);
  }
  if (FAILED(hr)) return Report("ProgID", hr);
  return Print(a, {{Text("progId", Narrow(progId.Get()))}}, true);
}

// One argument as the C runtime reads it back: quoted when it has blanks or
// quotes, backslashes doubled before a quote.
std::string Quote(const std::string &s) {
  if (!s.empty() && s.find_first_of(" \t\"") == std::string::npos) return s;
  std::string out = "\"";
  size_t slashes = 0;
  for (char c : s) {
    if (c == '\\') { ++slashes; continue; }
    out += std::string(c == '"' ? slashes * 2 + 1 : slashes, '\\') + c;
    slashes = 0;
  }
  return out + std::string(slashes * 2, '\\') + "\"";
}

int LaunchCommand(int argc, char **argv) {
  Session s;
  if (!s.Parse(argc, argv, "--lang --release --wait --") || !s.Open()) return s.status;
  const Args &a = s.a;
  IRevisionDirectory_V6 *d = s.d.Get();
  HRESULT hr;
  ComPtr<IRevision> r;
  if (FAILED(hr = ReleaseOf(d, a, r))) return Report("release", hr);
  std::string line;
  for (const std::string &arg : a.passThrough) line += (line.empty() ? "" : " ") + Quote(arg);
  Bstr arguments = ToBstr(line);
  hr = a.wait ? r->LaunchAndWaitForMainWindow(arguments.Get(), static_cast<ULONG>(*a.wait))
              : r->Launch(arguments.Get());
  return FAILED(hr) ? Report("launch", hr) : kOk;
}

int ErrorCommand(int argc, char **argv) {
  Session s;
  if (!s.Parse(argc, argv, kCommon, true)) return s.status;
  const Args &a = s.a;
  if (a.positional.size() != 1) return Usage("give one error code, such as 0x80043D01");
  auto code = Number(a.positional[0], true);
  if (!code) return Usage("'" + a.positional[0] + "' is not an error code (a number such as 0x80043D01)");
  if (!s.Open()) return s.status;
  Bstr constant, text;
  HRESULT hr = s.d->GetErrorConstantAndDescription(static_cast<LONG>(*code), constant.Out(), text.Out());
  if (FAILED(hr)) return Report("GetErrorConstantAndDescription", hr);
  char hex[16];
  snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(*code));
  return Print(a, {{Text("code", hex), Text("constant", Narrow(constant.Get())), Text("text", Narrow(text.Get()))}},
               true);
}

int RegisterCommand(int argc, char **argv) {
  Session s;
  if (!s.Parse(argc, argv, "")) return s.status;
  HRESULT hr = CallEntry(strcmp(g_command, "register") == 0 ? "DllRegisterServer" : "DllUnregisterServer");
  return FAILED(hr) ? Report(g_command, hr) : kOk;
}

// The aliases as the directory stores them: records of two 32-bit numbers,
// the target database version first, then the alias. The directory reads
// the value's bytes whatever its type, and so does this.
int ListAliases(const Args &a) {
  revdir::RegKey key;
  const WCHAR *name = OLESTR("RevisionDirectoryDatabaseVersionAliases");
  LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, REVDIR_RELEASES_KEY, 0, KEY_QUERY_VALUE, key.Out());
  DWORD size = 0;
  std::vector<BYTE> data;
  if (rc == ERROR_SUCCESS) rc = RegQueryValueExW(key.Get(), name, nullptr, nullptr, nullptr, &size);
  if (rc == ERROR_SUCCESS && size) {
    data.resize(size);
    rc = RegQueryValueExW(key.Get(), name, nullptr, nullptr, data.data(), &size);
  }
  if (rc == ERROR_FILE_NOT_FOUND) size = 0;  // no key or no aliases registered
  else if (rc != ERROR_SUCCESS) return Report("reading the aliases", HRESULT_FROM_WIN32(rc));
  if (size % 8) {
    fprintf(stderr, "revdir alias: the stored aliases are not whole records (%lu bytes); the directory drops them\n",
            static_cast<unsigned long>(size));
    return kComponent;
  }
  std::vector<Row> rows;
  for (DWORD i = 0; i < size; i += 8) {
    DWORD target, alias;
    memcpy(&target, &data[i], 4);
    memcpy(&alias, &data[i + 4], 4);
    rows.push_back({Num("alias", static_cast<long>(alias)), Num("target", static_cast<long>(target))});
  }
  return Print(a, rows, false);
}

int AliasCommand(int argc, char **argv) {
  Session s;
  if (!s.Parse(argc, argv, kCommon, true)) return s.status;
  const std::string verb = s.a.positional.size() == 1 ? s.a.positional[0] : "";
  if (verb == "list") return ListAliases(s.a);
  if (verb != "clear") return Usage("the alias verbs are: list, clear");
  if (!s.Open()) return s.status;
  HRESULT hr = s.d->UnregisterAllDatabaseVersionAliases();
  return FAILED(hr) ? Report("alias clear", hr) : kOk;
}

struct Command {
  const char *name;
  int (*run)(int, char **);
  const char *summary;
  const char *usage;
};

const Command kCommands[] = {
    {"list", ListCommand, "every release, or the installed ones, and where they are",
     "revdir list [--installed] [--software RANGE] [--latest] [--format table|json] [--property NAME] [--lang L]"},
    {"latest", LatestCommand, "the latest installed release",
     "revdir latest [--format table|json] [--property NAME] [--lang L]"},
    {"find", FindCommand, "the release of a revision, version, database, project file or controller",
     "revdir find (--major-rev N | --software M.mm|RANGE | --major-software M | --database D\n"
     "             | --controller TYPE:CODE:REV | --route ROUTE | --project FILE... [--recursive])\n"
     "            [--installed] [--latest] [--format table|json] [--property NAME] [--lang L]\n"
     "  RANGE is an interval such as [12.0,14.0) or (15.0,); --latest keeps its newest release\n"
     "  ROUTE is \"cvpath:\" and a communications server path, or DRIVER%CIP-PATH-HEX"},
    {"types", TypesCommand, "controller types: the catalogue, a release's, the installation's",
     "revdir types [--release M.mm | --supported | --from-rev-10] [--format table|json] [--property NAME]"},
    {"progid", ProgIdCommand, "the ProgID of the application or its services",
     "revdir progid [--services] [--language L] [--release M.mm] [--format table|json]"},
    {"launch", LaunchCommand, "start a release (the latest installed by default)",
     "revdir launch [--release M.mm] [--wait SECONDS] [-- ARGUMENTS...]"},
    {"error", ErrorCommand, "the constant name and text of an error code",
     "revdir error CODE [--lang L] [--format table|json]"},
    {"register", RegisterCommand, "register the component in the prefix", "revdir register"},
    {"unregister", RegisterCommand, "remove the component's registration", "revdir unregister"},
    {"alias", AliasCommand, "database-version aliases: list them, or clear them all",
     "revdir alias (list [--format table|json] | clear)"},
};

}  // namespace

int PrintCommandList(FILE *out) {
  fprintf(out,
          "usage: revdir COMMAND [options]      revdir COMMAND --help\n\n"
          "commands:\n");
  for (const auto &c : kCommands) fprintf(out, "  %-11s %s\n", c.name, c.summary);
  fprintf(out, "  %-11s %s\n", "reg", "read and edit the registry of the prefix (query add delete import export)");
  fprintf(out,
          "\nexit status: 0 done, 2 usage, 3 not found, 4 not installed, 5 bad project file,\n"
          "6 other component failure; languages: en de fr it es pt zh ja ko or an LCID\n");
  return 0;
}

// Runs a component command; -1 when `name` is none of them.
int RunComponentCommand(const char *name, int argc, char **argv) {
  for (const auto &c : kCommands) {
    if (strcmp(name, c.name) != 0) continue;
    g_command = c.name;
    for (int i = 0; i < argc && strcmp(argv[i], "--") != 0; ++i)
      if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
        printf("usage: %s\n  %s\n", c.usage, c.summary);
        return kOk;
      }
    return c.run(argc, argv);
  }
  if (strcmp(name, "project") == 0) {  // the older spelling of find --project
    std::vector<char *> args{const_cast<char *>("--project")};
    args.insert(args.end(), argv, argv + argc);
    g_command = "find";
    return FindCommand(static_cast<int>(args.size()), args.data());
  }
  return -1;
}
