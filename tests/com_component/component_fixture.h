// A test program registers the component once (on Linux in a fresh prefix,
// on Windows in the machine's registry) and creates its objects through the
// registry, as any client does.
#pragma once

#include <gtest/gtest.h>
// windows.h first: mingw's oleauto.h relies on it.
#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include <string>

#include "QuillonRevisionDirectory.h"
#include "catalog/registry_keys.h"
#include "frame/handles.h"
#include "platform/text/wide_text.h"

using WString = std::basic_string<WCHAR>;

// Set for a test program that a test starts again as a child: the child
// uses its parent's registry and registration and leaves them as they are.
inline constexpr const char *kChildVariable = "REVDIR_TEST_CHILD";

// The component's module, loaded once.
HMODULE ComponentModule();
HRESULT CallEntry(const char *name);  // DllRegisterServer and friends
// Drops the program's own reference to the module; the next
// ComponentModule() loads it again.
void ReleaseComponentModule();

using revdir::Bstr;
using revdir::ComPtr;

// A new directory, created by ProgID through the registry.
HRESULT NewDirectory(IRevisionDirectory_V6 **out);
// A new directory initialised on this thread with `locale` as its locale;
// the thread's locale is restored afterwards.
ComPtr<IRevisionDirectory_V6> InitializedDirectory(LCID locale = 0x0409);

// The thread's error information as (source, description, guid); clears it.
struct ErrorInfo {
  bool present = false;
  WString source, description;
  GUID guid{};
};
ErrorInfo TakeErrorInfo();

// Writes a registry value under HKLM, creating the key.
void SetMachineString(const WCHAR *key, const WCHAR *name, const WCHAR *value);
void DeleteMachineTree(const WCHAR *key);
bool KeyExists(HKEY root, const WString &path);
WString GuidString(REFGUID g);  // {XXXXXXXX-...}, as registry keys name it

// The maker's key under HKLM, where releases are declared. The program
// starts without it and every test that writes below it removes it again.
inline constexpr const WCHAR *kMakerKey = REVDIR_MAKER_KEY;
class MachineKeysTest : public ::testing::Test {
 protected:
  void TearDown() override { DeleteMachineTree(kMakerKey); }
};

// Late-bound property get / method call by name; the result in *result.
HRESULT InvokeByName(IDispatch *object, const WCHAR *name, WORD flags, VARIANT *args, UINT argCount,
                     VARIANT *result, EXCEPINFO *excep = nullptr);
