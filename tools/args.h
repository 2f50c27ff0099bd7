// The options of revdir's component commands: one set of flags, each
// command accepting some of them, every value checked before the component
// is asked anything.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace revdir {

// A whole decimal or 0x-hexadecimal number within a LONG's 32 bits; nothing
// else counts (no trailing text, no silent zero).
std::optional<long long> Number(const std::string &s, bool allowHex);

struct Version {
  long major = 0, minor = 0;
  bool operator<(const Version &o) const { return major != o.major ? major < o.major : minor < o.minor; }
  bool operator==(const Version &o) const { return major == o.major && minor == o.minor; }
};

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
  // scan: its pacing and limits, the slots of each backplane, the
  // interface to broadcast on and the driver whose stations to ask.
  std::optional<long long> timeout, rate, max, backplane;
  std::optional<std::string> broadcast, driver;
  std::vector<std::string> positional, passThrough;
};

// Parses argv against `allowed` (space-separated flags); a usage error
// returns its exit status in *status.
bool ParseArgs(int argc, char **argv, const std::string &allowed, Args &a, int *status);

}  // namespace revdir
