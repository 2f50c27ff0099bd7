// Registers the installed module, creates a directory by ProgID and counts
// the releases it knows: 50.
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <cstdio>

#include "QuillonRevisionDirectory.h"

int main() {
  HMODULE module = LoadLibraryA(MODULE);
  auto reg = reinterpret_cast<HRESULT(STDAPICALLTYPE *)()>(GetProcAddress(module, "DllRegisterServer"));
  if (!reg || FAILED(reg())) return 1;
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  CLSID clsid;
  IRevisionDirectory_V6 *directory = nullptr;
  IRevisions *revisions = nullptr;
  LONG count = 0;
  if (FAILED(CLSIDFromProgID(OLESTR("QuillonRevisionDirectory.RevisionDirectory"), &clsid)) ||
      FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IRevisionDirectory_V6,
                              reinterpret_cast<void **>(&directory))) ||
      FAILED(directory->Initialize()) || FAILED(directory->get_Revisions(&revisions)) ||
      FAILED(revisions->get_Count(&count)))
    return 2;
  printf("%d releases\n", count);
  revisions->Release();
  directory->Release();
  CoUninitialize();
  return count == 50 ? 0 : 3;
}
