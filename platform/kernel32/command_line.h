// A process's arguments as one Windows command line: quoted so that
// CommandLineToArgvW (and the C runtime) give back exactly those arguments;
// and the program name at its start, which both read by the same rule.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

inline bool IsCommandLineBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// The program name: quoted, it ends at the next quote whatever precedes it (no
// escapes); bare, at the first blank (so a line that starts with a blank has
// an empty program name). *rest is left after it.
inline std::u16string ProgramNameOf(std::u16string_view line, size_t *rest) {
  size_t i = 0;
  std::u16string name;
  if (!line.empty() && line[0] == u'"') {
    for (i = 1; i < line.size() && line[i] != u'"'; ++i) name += line[i];
    if (i < line.size()) ++i;
  } else {
    for (; i < line.size() && !IsCommandLineBlank(line[i]); ++i) name += line[i];
  }
  *rest = i;
  return name;
}

// The program name cannot escape anything: it is quoted when it is empty or
// holds a blank, and ends at the next quote, so a quote in it cannot be kept.
inline std::u16string QuoteProgramName(std::u16string_view name) {
  if (!name.empty() && name.find_first_of(u" \t") == std::u16string_view::npos) return std::u16string(name);
  return u"\"" + std::u16string(name) + u"\"";
}

// Any other argument: bare when it has no blank and no quote; else quoted,
// with each quote escaped and the backslashes before a quote (or before the
// closing one) doubled.
inline std::u16string QuoteArgument(std::u16string_view arg) {
  if (!arg.empty() && arg.find_first_of(u" \t\"") == std::u16string_view::npos) return std::u16string(arg);
  std::u16string out = u"\"";
  size_t slashes = 0;
  for (char16_t c : arg) {
    if (c == u'\\') {
      ++slashes;
      continue;
    }
    out.append(c == u'"' ? slashes * 2 + 1 : slashes, u'\\');
    out += c;
    slashes = 0;
  }
  out.append(slashes * 2, u'\\');
  return out + u"\"";
}

inline std::u16string CommandLineOf(const std::vector<std::u16string> &args) {
  std::u16string line;
  for (size_t i = 0; i < args.size(); ++i) {
    if (i) line += u' ';
    line += i ? QuoteArgument(args[i]) : QuoteProgramName(args[i]);
  }
  return line;
}

}  // namespace platform
