#include "args.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "session.h"

namespace revdir {

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

namespace {

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

// "TYPE:CODE:REV": three numbers.
std::optional<std::vector<long long>> ParseController(const std::string &value) {
  std::vector<long long> parts;
  size_t start = 0;
  for (;;) {
    size_t colon = value.find(':', start);
    auto n = Number(value.substr(start, colon - start), true);
    if (!n) return std::nullopt;
    parts.push_back(*n);
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  if (parts.size() != 3) return std::nullopt;
  return parts;
}

const char *const kValueFlags[] = {"--format",         "--property", "--lang",       "--major-rev", "--software",
                                   "--major-software", "--database", "--controller", "--route",     "--wait",
                                   "--release",        "--language", "--timeout",    "--rate",      "--max",
                                   "--broadcast",      "--driver"};

// The highest slot --backplane reads when it names none: the largest common
// chassis has 17 slots.
constexpr long long kDefaultHighestSlot = 16;

bool TakesValue(const std::string &flag) {
  for (const char *f : kValueFlags)
    if (flag == f) return true;
  return false;
}

// A flag without a value.
void SetSwitch(const std::string &flag, Args &a) {
  bool Args::*const member = flag == "--help"          ? &Args::help
                             : flag == "--installed"   ? &Args::installed
                             : flag == "--latest"      ? &Args::latest
                             : flag == "--recursive"   ? &Args::recursive
                             : flag == "--services"    ? &Args::services
                             : flag == "--supported"   ? &Args::supported
                             : flag == "--from-rev-10" ? &Args::fromRev10
                             : flag == "--project"     ? &Args::project
                                                       : nullptr;
  if (member) a.*member = true;
}

// The bounds of a flag's number, and what it counts, for the hint.
struct Bounds {
  long long low, high;
  const char *what;
};
std::optional<Bounds> BoundsOf(const std::string &flag) {
  if (flag == "--wait") return Bounds{0, INT32_MAX, "a number of seconds"};
  if (flag == "--timeout") return Bounds{1, 600000, "milliseconds from 1 to 600000"};
  if (flag == "--rate") return Bounds{1, 1000000, "requests per second from 1 to 1000000"};
  if (flag == "--max") return Bounds{1, INT32_MAX, "a number of addresses from 1"};
  if (flag == "--backplane") return Bounds{0, 255, "the highest slot, 0 to 255"};
  return std::nullopt;
}

// A flag with a number; *status is set on a usage error.
bool SetNumber(const std::string &flag, const std::string &value, Args &a, int *status) {
  std::optional<long long> Args::*const member = flag == "--major-rev"        ? &Args::majorRev
                                                 : flag == "--major-software" ? &Args::majorSoftware
                                                 : flag == "--database"       ? &Args::database
                                                 : flag == "--timeout"        ? &Args::timeout
                                                 : flag == "--rate"           ? &Args::rate
                                                 : flag == "--max"            ? &Args::max
                                                 : flag == "--backplane"      ? &Args::backplane
                                                                              : &Args::wait;
  a.*member = Number(value, flag == "--database");
  if (!(a.*member)) {
    *status = Usage("'" + value + "' is not a number (" + flag + ")");
    return false;
  }
  if (auto b = BoundsOf(flag); b && (*(a.*member) < b->low || *(a.*member) > b->high)) {
    *status = Usage(flag + " needs " + b->what + ", not '" + value + "'");
    return false;
  }
  return true;
}

// A flag with a value of its own form; *status is set on a usage error.
bool SetValue(const std::string &flag, const std::string &value, Args &a, int *status) {
  std::string wrong;
  if (flag == "--format") {
    if (value == "table" || value == "json")
      a.format = value;
    else
      wrong = "--format is table or json, not '" + value + "'";
  } else if (flag == "--property") {
    a.property = value;
  } else if (flag == "--route") {
    a.route = value;
  } else if (flag == "--broadcast" || flag == "--driver") {
    if (value.empty()) wrong = flag + " needs a name";
    (flag == "--broadcast" ? a.broadcast : a.driver) = value;
  } else if (flag == "--lang" || flag == "--language") {
    auto l = ParseLanguage(value);
    if (!l) wrong = "unknown language '" + value + "' (en de fr it es pt zh ja ko, or an LCID)";
    (flag == "--lang" ? a.lang : a.language) = l;
  } else if (flag == "--software") {
    if (!(a.software = ParseRange(value)))
      wrong = "'" + value + "' is neither a version M.mm nor an interval such as [12.0,14.0)";
  } else if (flag == "--release") {
    if (!(a.release = ParseVersion(value))) wrong = "'" + value + "' is not a version M.mm";
  } else if (flag == "--controller") {
    if (!(a.controller = ParseController(value)))
      wrong = "--controller is TYPE:CODE:REV, three numbers, not '" + value + "'";
  } else {
    return SetNumber(flag, value, a, status);
  }
  if (!wrong.empty()) *status = Usage(wrong);
  return wrong.empty();
}

// One "--flag", "--flag=value" or "--flag value" (then *i moves past the
// value).
bool ParseFlag(int argc, char **argv, int *i, const std::string &allowed, Args &a, int *status) {
  std::string flag = argv[*i], value;
  if (flag == "-h") flag = "--help";
  size_t eq = flag.find('=');
  const bool inlineValue = eq != std::string::npos;
  if (inlineValue) {
    value = flag.substr(eq + 1);
    flag = flag.substr(0, eq);
  }
  std::string wrong;
  if ((" " + allowed + " --help ").find(" " + flag + " ") == std::string::npos)
    wrong = "unknown option '" + flag + "'";
  else if (TakesValue(flag) && !inlineValue && *i + 1 >= argc)
    wrong = "option '" + flag + "' needs a value";
  else if (!TakesValue(flag) && inlineValue && flag != "--backplane")
    wrong = "option '" + flag + "' takes no value";
  if (!wrong.empty()) {
    *status = Usage(wrong);
    return false;
  }
  if (flag == "--backplane") {
    // Its number is optional: a bare --backplane reads the common chassis.
    if (!inlineValue && *i + 1 < argc && Number(argv[*i + 1], false)) value = argv[++*i];
    return SetNumber(flag, inlineValue || !value.empty() ? value : std::to_string(kDefaultHighestSlot), a, status);
  }
  if (!TakesValue(flag)) {
    SetSwitch(flag, a);
    return true;
  }
  if (!inlineValue) value = argv[++*i];
  return SetValue(flag, value, a, status);
}

}  // namespace

bool ParseArgs(int argc, char **argv, const std::string &allowed, Args &a, int *status) {
  for (int i = 0; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--") {
      if ((" " + allowed + " ").find(" -- ") == std::string::npos) {
        *status = Usage("unexpected '--'");
        return false;
      }
      a.passThrough.assign(argv + i + 1, argv + argc);
      break;
    }
    if (arg.size() < 2 || arg[0] != '-' || (arg[1] != '-' && arg != "-h")) {
      if (arg[0] == '-' && !Number(arg, true)) {
        *status = Usage("unknown option '" + arg + "'");
        return false;
      }
      a.positional.push_back(arg);
      continue;
    }
    if (!ParseFlag(argc, argv, &i, allowed, a, status)) return false;
  }
  return true;
}

}  // namespace revdir
