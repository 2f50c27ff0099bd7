#include "component_errors.h"

#include <cstdio>

#include "platform/text/wide_text.h"

namespace revdir::interface_doc {

namespace {

std::string Text(const Bstr &b) { return platform::Narrow(platform::WideView(b.Get(), SysStringLen(b.Get()))); }

}  // namespace

ComponentErrors::~ComponentErrors() {
  m_directory.Reset();
  if (m_module) FreeLibrary(m_module);
}

bool ComponentErrors::Open(const std::string &modulePath, std::string *error) {
  m_module = LoadLibraryW(platform::Widen(modulePath).c_str());
  if (!m_module) {
    *error = "cannot load the component " + modulePath + ": " + ResultText(HRESULT_FROM_WIN32(GetLastError()));
    return false;
  }
  using GetClassObject = HRESULT(STDAPICALLTYPE *)(REFCLSID, REFIID, void **);
  // Through a plain function pointer type, which any other casts to.
  auto entry =
      reinterpret_cast<GetClassObject>(reinterpret_cast<void (*)()>(GetProcAddress(m_module, "DllGetClassObject")));
  if (!entry) {
    *error = modulePath + " exports no DllGetClassObject";
    return false;
  }
  ComPtr<IClassFactory> factory;
  HRESULT hr = entry(CLSID_RevisionDirectory, IID_IClassFactory, factory.OutVoid());
  if (SUCCEEDED(hr)) hr = factory->CreateInstance(nullptr, IID_IRevisionDirectory, m_directory.OutVoid());
  if (FAILED(hr)) {
    *error = "cannot make a directory of " + modulePath + ": " + ResultText(hr);
    return false;
  }
  return true;
}

bool ComponentErrors::Describe(HRESULT code, std::string *constant, std::string *text, std::string *error) {
  // A directory before Initialize answers in the thread's language.
  SetThreadLocale(MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT));
  Bstr name, description;
  HRESULT hr = m_directory->GetErrorConstantAndDescription(code, name.Out(), description.Out());
  if (FAILED(hr)) {
    char number[16];
    snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(code));
    *error = std::string("GetErrorConstantAndDescription(") + number + ") failed: " + ResultText(hr);
    return false;
  }
  *constant = Text(name);
  *text = Text(description);
  return true;
}

}  // namespace revdir::interface_doc
