// Error information objects and the per-thread slot, as Windows behaves.
#include <windows.h>

#include <oleauto.h>

#include <thread>

#include "conformance.h"

namespace {

ULONG RefCount(IUnknown *p) {
  p->AddRef();
  return p->Release();
}

IErrorInfo *MakeError(const OLECHAR *description) {
  ICreateErrorInfo *create = nullptr;
  EXPECT_EQ(CreateErrorInfo(&create), S_OK);
  create->SetDescription(const_cast<LPOLESTR>(description));
  IErrorInfo *info = nullptr;
  EXPECT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void **>(&info)), S_OK);
  create->Release();
  return info;
}

}  // namespace

TEST(ErrorInfo, FieldsComeBackAsCopies) {
  ICreateErrorInfo *create = nullptr;
  ASSERT_EQ(CreateErrorInfo(&create), S_OK);
  const GUID guid = {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
  EXPECT_EQ(create->SetGUID(guid), S_OK);
  EXPECT_EQ(create->SetDescription(const_cast<LPOLESTR>(OLESTR("went wrong"))), S_OK);
  EXPECT_EQ(create->SetHelpContext(77), S_OK);
  IErrorInfo *info = nullptr;
  ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void **>(&info)), S_OK);
  IUnknown *unknown1 = nullptr, *unknown2 = nullptr;
  create->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&unknown1));
  info->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&unknown2));
  EXPECT_EQ(unknown1, unknown2) << "one identity";
  unknown1->Release();
  unknown2->Release();
  void *other = reinterpret_cast<void *>(1);
  EXPECT_EQ(info->QueryInterface(IID_IDispatch, &other), E_NOINTERFACE);

  GUID got;
  EXPECT_EQ(info->GetGUID(&got), S_OK);
  EXPECT_TRUE(IsEqualGUID(got, guid));
  BSTR a = nullptr, b = nullptr;
  EXPECT_EQ(info->GetDescription(&a), S_OK);
  EXPECT_EQ(info->GetDescription(&b), S_OK);
  EXPECT_EQ(Printable(a), "went wrong");
  EXPECT_NE(a, b) << "each call returns the caller's own copy";
  SysFreeString(a);
  SysFreeString(b);
  BSTR source = reinterpret_cast<BSTR>(1);
  EXPECT_EQ(info->GetSource(&source), S_OK);
  EXPECT_EQ(source, nullptr) << "an unset field reads as null";
  DWORD context = 0;
  EXPECT_EQ(info->GetHelpContext(&context), S_OK);
  EXPECT_EQ(context, 77u);
  info->Release();
  EXPECT_EQ(create->Release(), 0u);
}

TEST(ErrorInfo, SlotHandsOverAndClears) {
  IErrorInfo *got = reinterpret_cast<IErrorInfo *>(1);
  SetErrorInfo(0, nullptr);
  EXPECT_EQ(GetErrorInfo(0, &got), S_FALSE);
  EXPECT_EQ(got, nullptr);

  IErrorInfo *first = MakeError(OLESTR("first"));
  IErrorInfo *second = MakeError(OLESTR("second"));
  EXPECT_EQ(SetErrorInfo(0, first), S_OK);
  EXPECT_EQ(RefCount(first), 2u) << "the slot holds a reference";
  EXPECT_EQ(SetErrorInfo(0, second), S_OK);
  EXPECT_EQ(RefCount(first), 1u) << "replacing releases the previous one";

  std::thread([] {
    IErrorInfo *p;
    EXPECT_EQ(GetErrorInfo(0, &p), S_FALSE) << "another thread has its own slot";
  }).join();

  EXPECT_EQ(GetErrorInfo(0, &got), S_OK);
  EXPECT_EQ(got, second);
  EXPECT_EQ(RefCount(second), 2u) << "the slot's reference went to the caller";
  got->Release();
  EXPECT_EQ(GetErrorInfo(0, &got), S_FALSE) << "getting it cleared the slot";

  SetErrorInfo(0, first);
  EXPECT_EQ(SetErrorInfo(0, nullptr), S_OK);
  EXPECT_EQ(RefCount(first), 1u) << "null clears the slot";

  // A thread that ends releases what its slot held.
  std::thread([first] { SetErrorInfo(0, first); }).join();
  EXPECT_EQ(RefCount(first), 1u);
  EXPECT_EQ(first->Release(), 0u);
  EXPECT_EQ(second->Release(), 0u);

  EXPECT_EQ(GetErrorInfo(0, nullptr), E_INVALIDARG);
}
