// The directory's state after Initialize: discovery, collections and look-ups.
#include "component_fixture.h"
#include "catalog/registry_keys.h"

namespace {

const WCHAR kReleases[] = REVDIR_RELEASES_KEY OLESTR("\\English");
const WCHAR kLanguagePack[] = REVDIR_PRODUCT_KEY;

void Install(const WCHAR *subkey, const WCHAR *version, const WCHAR *bin) {
  WString key = WString(kReleases) + OLESTR("\\") + subkey;
  SetMachineString(key.c_str(), OLESTR("Product Version"), version);
  SetMachineString(key.c_str(), OLESTR("Bin"), bin);
}

// (major, minor) software version of a revision.
std::pair<int, int> Version(IRevision *revision) {
  LONG major = -1, minor = -1;
  revision->get_MajorSoftwareVersion(&major);
  revision->get_MinorSoftwareVersion(&minor);
  return {major, minor};
}

class Directory : public MachineKeysTest {};

}  // namespace

TEST_F(Directory, NothingInstalled) {
  auto directory = InitializedDirectory();
  ComPtr<IRevisions> all;
  ComPtr<IAvailableRevisions> available;
  ASSERT_EQ(directory->get_Revisions(all.Out()), S_OK);
  ASSERT_EQ(directory->get_AvailableRevisions(available.Out()), S_OK);
  LONG count = -1;
  all->get_Count(&count);
  EXPECT_EQ(count, 50);
  available->get_Count(&count);
  EXPECT_EQ(count, 0);
  ComPtr<IRevision> first, last, none;
  ASSERT_EQ(all->get_Item(1, first.Out()), S_OK);
  ASSERT_EQ(all->get_Item(50, last.Out()), S_OK);
  EXPECT_EQ(Version(first.Get()), std::make_pair(1, 0));
  EXPECT_EQ(Version(last.Get()), std::make_pair(15, 1));
  EXPECT_EQ(all->get_Item(0, none.Out()), E_INVALIDARG);
  EXPECT_EQ(all->get_Item(51, none.Out()), E_FAIL);
  EXPECT_EQ(directory->get_LatestAvailableRevision(none.Out()), RdE_RevisionNotInstalled);
  ComPtr<IProcessorTypes> supported, mrs;
  ASSERT_EQ(directory->get_SupportedProcessorTypes(supported.Out()), S_OK);
  ASSERT_EQ(directory->get_MRS_SupportedProcessorTypes(mrs.Out()), S_OK);
  supported->get_Count(&count);
  EXPECT_EQ(count, 0);
}

TEST_F(Directory, DiscoveryAndLookups) {
  Install(OLESTR("121"), OLESTR("12.01.0001"), OLESTR("C:\\Q12a"));
  Install(OLESTR("123"), OLESTR("12.03.0001"), OLESTR("C:\\Q12c"));
  Install(OLESTR("9"), OLESTR("9.00.0001"), OLESTR("C:\\Q9"));
  Install(OLESTR("15a"), OLESTR("15.01.0001"), OLESTR("C:\\Ignored"));
  auto directory = InitializedDirectory();
  ComPtr<IAvailableRevisions> available;
  ASSERT_EQ(directory->get_AvailableRevisions(available.Out()), S_OK);
  LONG count = 0;
  available->get_Count(&count);
  EXPECT_EQ(count, 3);
  ComPtr<IUnknown> unknown;
  ASSERT_EQ(available->get__NewEnum(unknown.Out()), S_OK);
  ComPtr<IEnumVARIANT> e;
  ASSERT_EQ(unknown->QueryInterface(IID_IEnumVARIANT, e.OutVoid()), S_OK);
  VARIANT v[10];
  ULONG fetched = 0;
  EXPECT_EQ(e->Next(10, v, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 3u);
  for (ULONG i = 0; i < fetched; ++i) VariantClear(&v[i]);

  ComPtr<IRevision> revision;
  ASSERT_EQ(directory->GetRevisionFromMajorRev(12, revision.Out()), S_OK);
  EXPECT_EQ(Version(revision.Get()), std::make_pair(12, 3));
  EXPECT_EQ(directory->GetRevisionFromMajorRev(11, revision.Out()), S_OK);
  EXPECT_EQ(Version(revision.Get()), std::make_pair(11, 16)) << "highest of an uninstalled major revision";
  EXPECT_EQ(directory->GetRevisionFromMajorRev(16, revision.Out()), RdE_RevisionNotFound);
  EXPECT_EQ(directory->GetRevisionFromMajorRev(0, revision.Out()), RdE_RevisionNotFound);
  ASSERT_EQ(directory->get_LatestAvailableRevision(revision.Out()), S_OK);
  EXPECT_EQ(Version(revision.Get()), std::make_pair(12, 3));
  ASSERT_EQ(directory->GetRevisionFromMajorSoftwareVersion(12, revision.Out()), S_OK);
  EXPECT_EQ(Version(revision.Get()), std::make_pair(12, 3));
  ASSERT_EQ(directory->RESERVED(11, 0, revision.Out()), S_OK);
  EXPECT_EQ(Version(revision.Get()), std::make_pair(11, 16));
  EXPECT_EQ(directory->GetRevisionFromSoftwareVersion(11, 2, revision.Out()), RdE_RevisionNotFound);

  // Controller identity: Arvane01 (14, 3) is in 12.03's table, Arvane05 (14, 56) too.
  EXPECT_EQ(directory->GetRevisionFromControllerId(14, 3, 12, revision.Out()), S_OK);
  EXPECT_EQ(directory->GetRevisionFromControllerId(14, 999, 12, revision.Out()), RdE_NotA_TesselController);
  EXPECT_EQ(directory->GetRevisionFromControllerId(14, 3, 15, revision.Out()), RdE_ProcessorTypeNotSupported);
  EXPECT_FALSE(revision);

  // Major revision 9 adds to the supported types only, 12 to both.
  ComPtr<IProcessorTypes> supported, mrs;
  ASSERT_EQ(directory->get_SupportedProcessorTypes(supported.Out()), S_OK);
  ASSERT_EQ(directory->get_MRS_SupportedProcessorTypes(mrs.Out()), S_OK);
  LONG all = 0, fromTen = 0;
  supported->get_Count(&all);
  mrs->get_Count(&fromTen);
  EXPECT_EQ(fromTen, 13);
  EXPECT_EQ(all, 14) << "9.00 adds AR-03, which 12's table lacks";
  ComPtr<IProcessorType> arvane01;
  ASSERT_EQ(supported->get_Item(1, arvane01.Out()), S_OK);
  LONG minor = 0;
  arvane01->get_MinorRev(&minor);
  EXPECT_EQ(minor, 13) << "the first installed release in table order wins";
}

TEST_F(Directory, MrsTypesBeginAtMajorRevisionTen) {
  auto counts = [] {
    auto directory = InitializedDirectory();
    ComPtr<IProcessorTypes> supported, mrs;
    EXPECT_EQ(directory->get_SupportedProcessorTypes(supported.Out()), S_OK);
    EXPECT_EQ(directory->get_MRS_SupportedProcessorTypes(mrs.Out()), S_OK);
    LONG all = -1, fromTen = -1;
    if (supported) supported->get_Count(&all);
    if (mrs) mrs->get_Count(&fromTen);
    return std::make_pair(all, fromTen);
  };
  Install(OLESTR("9"), OLESTR("9.00.0001"), OLESTR("C:\\Q9"));
  auto [all9, mrs9] = counts();
  EXPECT_GT(all9, 0);
  EXPECT_EQ(mrs9, 0) << "major revision 9 is below the MRS range";
  Install(OLESTR("10"), OLESTR("10.00.0001"), OLESTR("C:\\Q10"));
  EXPECT_EQ(counts().second, 11) << "10.00's eleven types, from the first major revision of the range";
}

TEST_F(Directory, LanguagePackScanAndUnknownReleases) {
  SetMachineString(kLanguagePack, OLESTR("group1Component2SourceDirTemplate1"), OLESTR("D:\\Old"));
  SetMachineString((WString(kLanguagePack) + OLESTR("\\10.02.00.00")).c_str(), OLESTR("x"), OLESTR("y"));
  Install(OLESTR("1"), OLESTR("13.00.0001"), OLESTR("C:\\Q13"));
  Install(OLESTR("2"), OLESTR("16.00.0001"), OLESTR("C:\\Q16"));
  Install(OLESTR("3"), OLESTR("14.01.0001"), OLESTR("C:\\Q14"));
  auto directory = InitializedDirectory(2057);
  ComPtr<IRevision> revision;
  ASSERT_EQ(directory->GetRevisionFromSoftwareVersion(10, 2, revision.Out()), S_OK);
  Bstr path;
  EXPECT_EQ(revision->get_InstalledPath(path.Out()), S_OK);
  EXPECT_EQ(path.Str(), WString(OLESTR("D:\\Old\\Quillon.Exe")));
  ASSERT_EQ(directory->GetRevisionFromSoftwareVersion(13, 0, revision.Out()), S_OK);
  EXPECT_EQ(revision->get_InstalledPath(path.Out()), S_OK);
  ASSERT_EQ(directory->GetRevisionFromSoftwareVersion(14, 1, revision.Out()), S_OK);
  EXPECT_EQ(revision->get_InstalledPath(path.Out()), RdE_RevisionNotInstalled) << "the scan stops at the unknown 16.00";
  ErrorInfo info;
  SetErrorInfo(0, nullptr);
  directory->Initialize();
  info = TakeErrorInfo();
  EXPECT_TRUE(info.present);
  EXPECT_EQ(platform::Narrow(info.description), "The Revision Directory object is in an invalid internal state.");
}

TEST_F(Directory, TestModeSeesNothingInstalled) {
  Install(OLESTR("15"), OLESTR("15.01.0123"), OLESTR("C:\\Q\\Bin"));
  auto directory = InitializedDirectory();
  ASSERT_EQ(directory->TestModeInitialize(VARIANT_TRUE), S_OK);
  auto other = InitializedDirectory();
  ComPtr<IAvailableRevisions> available;
  ASSERT_EQ(other->get_AvailableRevisions(available.Out()), S_OK);
  LONG count = -1;
  available->get_Count(&count);
  EXPECT_EQ(count, 0);
  ASSERT_EQ(directory->TestModeInitialize(VARIANT_FALSE), S_OK);
  ASSERT_EQ(directory->get_AvailableRevisions(available.Out()), S_OK);
  available->get_Count(&count);
  EXPECT_EQ(count, 1);
}

TEST_F(Directory, InterfaceVersions) {
  ComPtr<IRevisionDirectory_V6> directory;
  ASSERT_EQ(NewDirectory(directory.Out()), S_OK);
  // Every version up to the current one; nothing between or beyond them.
  const LONG versions[] = {RdRevisionDirectoryInterfaceVersion_01_00, RdRevisionDirectoryInterfaceVersion_02_00,
                 RdRevisionDirectoryInterfaceVersion_03_00, RdRevisionDirectoryInterfaceVersion_04_00,
                 RdRevisionDirectoryInterfaceVersion_05_00, RdRevisionDirectoryInterfaceVersion_06_00,
                 RdRevisionDirectoryInterfaceCurrentVersion, 0, 255, 257, 1024 + 1, 1792, -256};
  for (LONG v : versions) {
    const bool expected = v >= 256 && v <= 1536 && v % 256 == 0;
    VARIANT_BOOL supported = 5;
    EXPECT_EQ(directory->IsInterfaceVersionSupported(static_cast<RdRevisionDirectoryInterfaceVersions>(v), &supported),
              S_OK);
    EXPECT_EQ(supported, expected ? VARIANT_TRUE : VARIANT_FALSE) << v;
  }
  EXPECT_NE(directory->IsInterfaceVersionSupported(RdRevisionDirectoryInterfaceVersion_01_00, nullptr), S_OK);
}

TEST_F(Directory, EnumeratorAskedForAsAMethod) {
  auto directory = InitializedDirectory();
  ComPtr<IRevisions> all;
  ASSERT_EQ(directory->get_Revisions(all.Out()), S_OK);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(all->Invoke(DISPID_NEWENUM, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr), S_OK);
  ASSERT_TRUE(result.vt == VT_UNKNOWN || result.vt == VT_DISPATCH);
  ComPtr<IEnumVARIANT> e;
  EXPECT_EQ(result.punkVal->QueryInterface(IID_IEnumVARIANT, e.OutVoid()), S_OK);
  VariantClear(&result);
}
