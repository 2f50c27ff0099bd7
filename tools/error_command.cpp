// error: the constant name and the localized text of an error code.
#include <cstdio>

#include "commands.h"
#include "output.h"
#include "session.h"

namespace revdir {

int ErrorCommand(int argc, char **argv) {
  Session s;
  if (!s.Parse(argc, argv, "--format --property --lang", true)) return s.status;
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
  return Print(a, {{TextField("code", hex), TextField("constant", Narrow(constant)), TextField("text", Narrow(text))}},
               true);
}

}  // namespace revdir
