// How a system error code becomes the HRESULT a failing call returns.
#include <gtest/gtest.h>

#include "frame/errors.h"
#include "frame/module.h"

// The frame's errors look strings up in the module; this program is the module.
HINSTANCE revdir::ModuleInstance() { return GetModuleHandleW(nullptr); }

TEST(MapSystemError, StorageCodesForFileErrorsAndHresultsUnchanged) {
  const struct {
    LONG code;
    HRESULT expected;
  } cases[] = {
      {ERROR_FILE_NOT_FOUND, STG_E_FILENOTFOUND},
      {ERROR_PATH_NOT_FOUND, STG_E_PATHNOTFOUND},
      {ERROR_TOO_MANY_OPEN_FILES, STG_E_TOOMANYOPENFILES},
      {ERROR_ACCESS_DENIED, STG_E_ACCESSDENIED},
      {ERROR_INVALID_HANDLE, STG_E_INVALIDHANDLE},
      {ERROR_NOT_ENOUGH_MEMORY, STG_E_INSUFFICIENTMEMORY},
      {ERROR_INVALID_BLOCK, STG_E_INVALIDPOINTER},
      {ERROR_OUTOFMEMORY, STG_E_INSUFFICIENTMEMORY},
      // Any other Windows error is a plain failure.
      {ERROR_SUCCESS, E_FAIL},
      {ERROR_INVALID_FUNCTION, E_FAIL},
      {ERROR_BAD_ENVIRONMENT, E_FAIL},  // 10, between the mapped ones
      {ERROR_INVALID_PARAMETER, E_FAIL},
      // An HRESULT is returned as it is.
      {E_INVALIDARG, E_INVALIDARG},
      {STG_E_FILENOTFOUND, STG_E_FILENOTFOUND},
  };
  for (const auto &c : cases) EXPECT_EQ(revdir::MapSystemError(c.code), c.expected) << c.code;
}
