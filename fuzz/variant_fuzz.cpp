// Text arriving in a VARIANT is outside input: every conversion of it must
// fail cleanly, and what succeeds must convert back to text.
#include <oleauto.h>
#include <stddef.h>
#include <stdint.h>

#include <initializer_list>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  VARIANT text;
  text.vt = VT_BSTR;
  text.bstrVal = SysAllocStringByteLen(reinterpret_cast<const char *>(data), static_cast<UINT>(size & ~size_t{1}));
  if (!text.bstrVal) return 0;
  for (VARTYPE vt : {VT_I2, VT_I4, VT_UI4, VT_I8, VT_R8, VT_R4, VT_BOOL, VT_CY, VT_UI1, VT_DATE}) {
    VARIANT out;
    VariantInit(&out);
    if (SUCCEEDED(VariantChangeType(&out, &text, 0, vt))) {
      VARIANT back;
      VariantInit(&back);
      VariantChangeType(&back, &out, VARIANT_ALPHABOOL, VT_BSTR);
      VariantClear(&back);
    }
    VariantClear(&out);
  }
  VariantClear(&text);
  return 0;
}
