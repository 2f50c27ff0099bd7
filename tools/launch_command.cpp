// launch: starts a release, the latest installed one unless --release names
// another, with the arguments after "--".
#include "commands.h"
#include "output.h"
#include "session.h"

namespace revdir {

namespace {

// One argument as the C runtime reads it back: quoted when it has blanks or
// quotes, backslashes doubled before a quote.
std::string Quote(const std::string &s) {
  if (!s.empty() && s.find_first_of(" \t\"") == std::string::npos) return s;
  std::string out = "\"";
  size_t slashes = 0;
  for (char c : s) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    out.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
    out += c;
    slashes = 0;
  }
  out.append(slashes * 2, '\\');
  return out + '"';
}

}  // namespace

int LaunchCommand(int argc, char **argv) {
  Session s;
  if (!s.Parse(argc, argv, "--lang --release --wait --") || !s.Open()) return s.status;
  const Args &a = s.a;
  HRESULT hr;
  ComPtr<IRevision> r;
  if (FAILED(hr = ReleaseOf(s.d.Get(), a, r))) return Report("release", hr);
  std::string line;
  for (const std::string &arg : a.passThrough) {
    if (!line.empty()) line += ' ';
    line += Quote(arg);
  }
  Bstr arguments = ToBstr(line);
  hr =
      a.wait ? r->LaunchAndWaitForMainWindow(arguments.Get(), static_cast<ULONG>(*a.wait)) : r->Launch(arguments.Get());
  return FAILED(hr) ? Report("launch", hr) : kOk;
}

}  // namespace revdir
