// A sweep's target text, as a caller hands it to DTL_ScanIdentities.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "address_list.h"

using namespace commserver;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string_view text(reinterpret_cast<const char *>(data), size);
  AddressList list;
  if (ParseAddressList(text, 4096, list) != AddressListError::kNone) return 0;
  uint64_t count = 0;
  for (size_t i = 0; i < list.ranges.size(); ++i) {
    const auto &r = list.ranges[i];
    // Ascending, apart and not touching: every address once.
    if (r.first > r.last || (i && uint64_t{list.ranges[i - 1].last} + 1 >= r.first)) __builtin_trap();
    count += uint64_t{r.last} - r.first + 1;
  }
  if (count != list.count || count > 4096) __builtin_trap();
  uint64_t walked = 0;
  for (AddressCursor c(list); !c.Done(); c.Next(), ++walked)
    if (!list.Contains(c.Current())) __builtin_trap();
  if (walked != count) __builtin_trap();
  return 0;
}
