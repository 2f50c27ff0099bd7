// Fuzzes the registrar's script parser (parse only, the registry is never
// touched). Input bytes are read as UTF-16 code units; two variables exist so
// that replacements are exercised as well.
#include "frame/registrar.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

using namespace revdir;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<WCHAR> script(size / sizeof(WCHAR) + 1, 0);
  std::memcpy(script.data(), data, size / sizeof(WCHAR) * sizeof(WCHAR));
  static const REGISTRAR_VAR kVars[] = {{OLESTR("MODULE"), OLESTR("C:\\x\\server.dll")},
                                        {OLESTR("CLSID"), OLESTR("{00000000-0000-0000-0000-000000000000}")}};
  RegistrarCheck(script.data(), kVars, 2);
  return 0;
}
