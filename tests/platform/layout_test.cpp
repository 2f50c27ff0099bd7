// The layouts a binary client relies on, and the per-thread last error.
#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include <cstddef>
#include <thread>

#include "conformance.h"

namespace {

// The Windows x64 layouts, checked where they are compiled.
static_assert(sizeof(WCHAR) == 2);
static_assert(sizeof(VARIANT) == 24);
static_assert(offsetof(VARIANT, lVal) == 8);
static_assert(sizeof(GUID) == 16);
static_assert(sizeof(DISPPARAMS) == 24);
static_assert(offsetof(EXCEPINFO, scode) == 56);
static_assert(sizeof(TYPEATTR) == 96);
static_assert(sizeof(FUNCDESC) == 88);
static_assert(offsetof(FUNCDESC, cParams) == 36);
static_assert(offsetof(FUNCDESC, oVft) == 40);
static_assert(sizeof(ELEMDESC) == 32);
static_assert(sizeof(TLIBATTR) == 32);

TEST(Layout, PredefinedKeys) {
  // A pointer value, which no constant expression may cast.
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(HKEY_LOCAL_MACHINE), 0xFFFFFFFF80000002ull);
}

TEST(Layout, HresultValues) {
  EXPECT_EQ(static_cast<ULONG>(E_INVALIDARG), 0x80070057u);
  EXPECT_EQ(static_cast<ULONG>(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)), 0x80070002u);
  EXPECT_EQ(HRESULT_FROM_WIN32(0), S_OK);
  EXPECT_EQ(static_cast<ULONG>(MAKE_HRESULT(1, FACILITY_ITF, 0x3D00)), 0x80043D00u);
  EXPECT_TRUE(FAILED(E_FAIL));
  EXPECT_TRUE(SUCCEEDED(S_FALSE));
}

TEST(LastError, IsPerThread) {
  SetLastError(42);
  // A thread of the system's own: the C++ runtime's threads make calls of
  // their own before the function runs.
  HANDLE t = CreateThread(
      nullptr, 0,
      [](LPVOID) -> DWORD {
        DWORD first = GetLastError();
        SetLastError(7);
        return first;
      },
      nullptr, 0, nullptr);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(WaitForSingleObject(t, 10000), WAIT_OBJECT_0);
  DWORD first = kSentinel;
  GetExitCodeThread(t, &first);
  CloseHandle(t);
  EXPECT_EQ(first, 0u);
  EXPECT_EQ(GetLastError(), 42u);
}

}  // namespace
