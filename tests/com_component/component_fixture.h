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

using WString = std::basic_string<WCHAR>;

// The component's module, loaded once.
HMODULE ComponentModule();
HRESULT CallEntry(const char *name);  // DllRegisterServer and friends
// Drops the program's own reference to the module; the next
// ComponentModule() loads it again.
void ReleaseComponentModule();

// Reference-holding pointer for tests.
template <class T>
class Ptr {
 public:
  Ptr() = default;
  explicit Ptr(T *p) : m_p(p) {}
  ~Ptr() { reset(); }
  Ptr(const Ptr &) = delete;
  Ptr &operator=(const Ptr &) = delete;
  T *operator->() const { return m_p; }
  T *get() const { return m_p; }
  T **out() {
    reset();
    return &m_p;
  }
  void **outv() { return reinterpret_cast<void **>(out()); }
  void reset() {
    if (m_p) m_p->Release();
    m_p = nullptr;
  }
  explicit operator bool() const { return m_p != nullptr; }

 private:
  T *m_p = nullptr;
};

class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const WCHAR *s) : m_b(SysAllocString(s)) {}
  ~Bstr() { SysFreeString(m_b); }
  Bstr(const Bstr &) = delete;
  Bstr &operator=(const Bstr &) = delete;
  BSTR *out() {
    SysFreeString(m_b);
    m_b = nullptr;
    return &m_b;
  }
  BSTR get() const { return m_b; }
  WString str() const { return m_b ? WString(m_b, SysStringLen(m_b)) : WString(); }
  bool null() const { return m_b == nullptr; }

 private:
  BSTR m_b = nullptr;
};

std::string Utf8(const WString &s);
inline std::string Utf8(BSTR b) { return b ? Utf8(WString(b, SysStringLen(b))) : "(null)"; }

// A new directory, created by ProgID through the registry.
HRESULT NewDirectory(IRevisionDirectory_V6 **out);
// A new directory initialised on this thread with `locale` as its locale;
// the thread's locale is restored afterwards.
Ptr<IRevisionDirectory_V6> InitializedDirectory(LCID locale = 0x0409);

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
