// Error codes, their names and texts in the directory's language, and the
// error information that failing calls leave.
#include <thread>

#include "component_fixture.h"

namespace {

WString Description(IRevisionDirectory_V6 *directory, HRESULT code) {
  Bstr text;
  EXPECT_EQ(directory->GetErrorDescription(code, text.Out()), S_OK);
  return text.Str();
}

WString SystemText(HRESULT code) {
  WCHAR buffer[4096];
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer, 4096,
                           nullptr);
  return WString(buffer, n);
}

const HRESULT kCodes[] = {RdE_NotInitialized,
                          RdE_RevisionNotFound,
                          RdE_InvalidRevisionDirectoryInternalState,
                          RdE_InvalidProcessorTypeInternalState,
                          RdE_InvalidRevisionInternalState,
                          RdE_RevisionNotInstalled,
                          RdE_ProcessorTypeNotSupported,
                          RdE_UnableToAccessProjectFile,
                          RdE_NotA_TesselController,
                          RdE_NoDeviceFound,
                          RdE_NotQuillon,
                          RdE_InvalidLanguageId,
                          RdE_FileNotOpenedByQuillon,
                          RdE_InvalidProjectFileContents,
                          RdE_InvalidProjectFileType};

// The type of the first parameter of method `name` as the type library describes it.
VARTYPE FirstParameterType(IDispatch *object, const WCHAR *name) {
  ComPtr<ITypeInfo> info;
  if (object->GetTypeInfo(0, 0, info.Out()) != S_OK) return VT_EMPTY;
  MEMBERID id;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  if (info->GetIDsOfNames(names, 1, &id) != S_OK) return VT_EMPTY;
  TYPEATTR *attr;
  if (info->GetTypeAttr(&attr) != S_OK) return VT_EMPTY;
  VARTYPE vt = VT_EMPTY;
  for (UINT i = 0; i < attr->cFuncs && vt == VT_EMPTY; ++i) {
    FUNCDESC *func;
    if (info->GetFuncDesc(i, &func) != S_OK) continue;
    if (func->memid == id && func->cParams > 0) vt = func->lprgelemdescParam[0].tdesc.vt;
    info->ReleaseFuncDesc(func);
  }
  info->ReleaseTypeAttr(attr);
  return vt;
}

}  // namespace

TEST(Errors, EnglishTextsAndConstants) {
  // Every code with its own text: a string id given to the wrong code shows.
  const struct {
    HRESULT code;
    const WCHAR *text;
  } kEnglish[] = {
      {RdE_NotInitialized,
       OLESTR("The Revision Directory object has not been initialized.\n\nPlease invoke the Initialize method before "
              "invoking this method.")},
      {RdE_RevisionNotFound, OLESTR("No revision could be found that matches the given search criteria.")},
      {RdE_InvalidRevisionDirectoryInternalState,
       OLESTR("The Revision Directory object is in an invalid internal state.")},
      {RdE_InvalidProcessorTypeInternalState, OLESTR("The ProcessorType object is in an invalid internal state.")},
      {RdE_InvalidRevisionInternalState, OLESTR("The Revision object is in an invalid internal state.")},
      {RdE_RevisionNotInstalled, OLESTR("Quillon english support for this revision is not installed.")},
      {RdE_ProcessorTypeNotSupported, OLESTR("The revision does not support the specified processor type.")},
      {RdE_UnableToAccessProjectFile, OLESTR("The specified project file could not be accessed.")},
      {RdE_NotA_TesselController, OLESTR("The supplied information does not identify a Tessel controller.")},
      {RdE_NoDeviceFound, OLESTR("No module was found using the supplied encoded route string.")},
      {RdE_NotQuillon,
       OLESTR("A method or function intended exclusively for the Quillon was invoked by another client.")},
      {RdE_InvalidLanguageId,
       OLESTR("The provided language identifier represents an invalid/unsupported language.")},
      {RdE_FileNotOpenedByQuillon,
       OLESTR("Could not locate a running instance of the Quillon that has the specified .ACD project file open.")},
      {RdE_InvalidProjectFileContents,
       OLESTR("The specified project file is missing the information required to identify the version of the "
              "software that generated it.")},
      {RdE_InvalidProjectFileType,
       OLESTR("The type of the specified file is not one of the Quillon project file types.  The supported file "
              "types are .ACD and .PJX.")},
  };
  static_assert(ARRAYSIZE(kEnglish) == ARRAYSIZE(kCodes));
  auto directory = InitializedDirectory(0x0409);
  for (const auto &e : kEnglish) EXPECT_EQ(Description(directory.Get(), e.code), WString(e.text)) << std::hex << e.code;

  Bstr constant, text;
  ASSERT_EQ(directory->GetErrorConstantAndDescription(static_cast<HRESULT>(0x80043D0F), constant.Out(), text.Out()),
            S_OK);
  EXPECT_EQ(constant.Str(), WString(OLESTR("RevDir_E_UNEXPECTED")));
  EXPECT_EQ(text.Str(), WString(OLESTR("Unexpected Revision Directory Error.")));
  ASSERT_EQ(directory->GetErrorConstantAndDescription(E_INVALIDARG, constant.Out(), text.Out()), S_OK);
  EXPECT_EQ(constant.Str(), WString(OLESTR("RevDir_E_UNEXPECTED")));
  EXPECT_FALSE(text.Str().empty());
  EXPECT_EQ(text.Str(), SystemText(E_INVALIDARG));
  ASSERT_EQ(directory->GetErrorConstantAndDescription(RdE_NoDeviceFound, constant.Out(), text.Out()), S_OK);
  EXPECT_EQ(constant.Str(), WString(OLESTR("RdE_NoDeviceFound")));

  // A code the system has no message for.
  EXPECT_EQ(Description(directory.Get(), 0x12345678), WString(OLESTR("Error 305419896 (0x12345678) encountered.")));
}

TEST(Errors, ConstantNamesMatchTheTypeLibrary) {
  auto directory = InitializedDirectory();
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(directory->GetTypeInfo(0, 0, info.Out()), S_OK);
  ComPtr<ITypeLib> library;
  UINT index;
  ASSERT_EQ(info->GetContainingTypeLib(library.Out(), &index), S_OK);
  ComPtr<ITypeInfo> errors;
  ITypeInfo *found[1];
  MEMBERID ids[1];
  USHORT count = 1;
  WCHAR name[] = OLESTR("RdErrors");
  ASSERT_EQ(library->FindName(name, 0, found, ids, &count), S_OK);
  ASSERT_EQ(count, 1);
  *errors.Out() = found[0];
  TYPEATTR *attr;
  ASSERT_EQ(errors->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->cVars, 15);
  for (UINT i = 0; i < attr->cVars; ++i) {
    VARDESC *var;
    ASSERT_EQ(errors->GetVarDesc(i, &var), S_OK);
    Bstr member;
    UINT names;
    errors->GetNames(var->memid, member.Out(), 1, &names);
    Bstr constant, text;
    directory->GetErrorConstantAndDescription(var->lpvarValue->lVal, constant.Out(), text.Out());
    EXPECT_EQ(constant.Str(), member.Str());
    errors->ReleaseVarDesc(var);
  }
  errors->ReleaseTypeAttr(attr);
}

TEST(Errors, TextsComeInTheDirectorysLanguage) {
  const LCID languages[] = {1031, 1033, 1034, 1036, 1040, 1041, 1042, 1046, 2052};
  auto english = InitializedDirectory(1033);
  for (LCID language : languages) {
    auto directory = InitializedDirectory(language);
    for (HRESULT code : kCodes) {
      WString text = Description(directory.Get(), code);
      EXPECT_FALSE(text.empty());
      EXPECT_EQ(text.find(OLESTR("Error ")), WString::npos) << "fallback text for " << std::hex << code << " in " << language;
      if (language != 1033) {
        EXPECT_NE(text, Description(english.Get(), code)) << "untranslated in " << language;
      }
    }
  }
  // German directory, English asker; a UK locale answers English.
  auto german = InitializedDirectory(1031);
  std::thread([&] {
    SetThreadLocale(1033);
    WString text = Description(german.Get(), RdE_NotInitialized);
    EXPECT_EQ(text.substr(0, 55), WString(OLESTR("Das Revision Directory-Objekt wurde nicht initialisiert.")).substr(0, 55));
    EXPECT_EQ(GetThreadLocale(), 1033u) << "the locale is restored";
  }).join();
  auto uk = InitializedDirectory(2057);
  EXPECT_EQ(Description(uk.Get(), RdE_RevisionNotFound),
            WString(OLESTR("No revision could be found that matches the given search criteria.")));
}

TEST(Errors, UninitialisedDirectoryAnswersInTheCallersLanguage) {
  ComPtr<IRevisionDirectory_V6> directory;
  ASSERT_EQ(NewDirectory(directory.Out()), S_OK);
  LCID saved = GetThreadLocale();
  SetThreadLocale(1036);
  WString french = Description(directory.Get(), RdE_RevisionNotFound);
  SetThreadLocale(saved);
  EXPECT_EQ(french, WString(OLESTR("Aucune révision correspondant aux critères de recherche indiqués n'a été trouvée.")));
}

TEST(Errors, NullOutPointersAndErrorInformation) {
  ComPtr<IRevisionDirectory_V6> directory;
  ASSERT_EQ(NewDirectory(directory.Out()), S_OK);
  BSTR text = reinterpret_cast<BSTR>(0xdeadbeef);
  EXPECT_EQ(directory->GetErrorConstantAndDescription(E_FAIL, nullptr, &text), E_INVALIDARG);
  EXPECT_EQ(text, nullptr) << "the other out-pointer is set to null first";
  ErrorInfo info = TakeErrorInfo();
  ASSERT_TRUE(info.present);
  EXPECT_EQ(info.description, SystemText(E_INVALIDARG));
  EXPECT_EQ(directory->GetErrorDescription(E_FAIL, nullptr), E_INVALIDARG);

  ComPtr<IRevisions> revisions;
  EXPECT_EQ(directory->get_Revisions(revisions.Out()), RdE_NotInitialized);
  EXPECT_FALSE(revisions);
  info = TakeErrorInfo();
  ASSERT_TRUE(info.present);
  EXPECT_EQ(info.source, WString(OLESTR("QuillonRevisionDirectory.RevisionDirectory")));
  EXPECT_TRUE(IsEqualGUID(info.guid, IID_IRevisionDirectory_V6));
  EXPECT_EQ(info.description.substr(0, 23), WString(OLESTR("The Revision Directory ")));
}

TEST(Errors, ReachableByName) {
  auto directory = InitializedDirectory();
  VARIANT arg, result;
  VariantInit(&result);
  arg.vt = VT_I4;
  arg.lVal = RdE_RevisionNotFound;
  HRESULT hr = InvokeByName(directory.Get(), OLESTR("geterrordescription"), DISPATCH_METHOD, &arg, 1, &result);
  // oleaut32 converts no VT_I4 argument to a parameter typed VT_HRESULT, so
  // the codes are described as long: scripts can pass them.
  EXPECT_EQ(FirstParameterType(directory.Get(), OLESTR("GetErrorDescription")), VT_I4);
  EXPECT_EQ(FirstParameterType(directory.Get(), OLESTR("GetErrorConstantAndDescription")), VT_I4);
  ASSERT_EQ(hr, S_OK);
  ASSERT_EQ(result.vt, VT_BSTR);
  EXPECT_EQ(platform::Narrow(result.bstrVal), "No revision could be found that matches the given search criteria.");
  VariantClear(&result);
  EXCEPINFO excep{};
  EXPECT_EQ(InvokeByName(directory.Get(), OLESTR("Revisions"), DISPATCH_PROPERTYGET, nullptr, 0, &result, &excep),
            S_OK);
  VariantClear(&result);
  ComPtr<IRevisionDirectory_V6> fresh;
  ASSERT_EQ(NewDirectory(fresh.Out()), S_OK);
  EXPECT_EQ(InvokeByName(fresh.Get(), OLESTR("Revisions"), DISPATCH_PROPERTYGET, nullptr, 0, &result, &excep),
            DISP_E_EXCEPTION);
  EXPECT_EQ(excep.scode, RdE_NotInitialized);
  EXPECT_EQ(platform::Narrow(excep.bstrSource), "QuillonRevisionDirectory.RevisionDirectory");
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
}
