// Type libraries read back through ITypeLib and ITypeInfo, as oleaut32 shows
// a library compiled from an interface description: the fixture library of
// tests/typelib_fixture and the component's own library.
#include <windows.h>

#include <oleauto.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "Fixture.h"
#include "QuillonRevisionDirectory.h"
#include "conformance.h"

#define WIDE_TEXT(s) OLESTR(s)

namespace {

std::string Text(BSTR b) { return b ? Printable(b) : "(null)"; }

// A loaded library released at the end of the test.
struct Lib {
  ITypeLib *p = nullptr;
  explicit Lib(const WCHAR *path) { hr = LoadTypeLibEx(path, REGKIND_NONE, &p); }
  ~Lib() {
    if (p) p->Release();
  }
  HRESULT hr;
};

struct Info {
  ITypeInfo *p = nullptr;
  ~Info() {
    if (p) p->Release();
  }
  ITypeInfo **Out() { return &p; }
};

struct Attr {
  ITypeInfo *info;
  TYPEATTR *a = nullptr;
  explicit Attr(ITypeInfo *i) : info(i) { EXPECT_EQ(S_OK, info->GetTypeAttr(&a)); }
  ~Attr() {
    if (a) info->ReleaseTypeAttr(a);
  }
  TYPEATTR *operator->() { return a; }
};

std::string NameOf(ITypeInfo *info, MEMBERID memid = MEMBERID_NIL) {
  BSTR name = nullptr;
  HRESULT hr = info->GetDocumentation(memid, &name, nullptr, nullptr, nullptr);
  std::string s = SUCCEEDED(hr) ? Text(name) : "(failed)";
  SysFreeString(name);
  return s;
}

// The type info that an implemented-type index leads to.
HRESULT ImplInfo(ITypeInfo *info, UINT index, ITypeInfo **out) {
  HREFTYPE href = kSentinel;
  HRESULT hr = info->GetRefTypeOfImplType(index, &href);
  if (FAILED(hr)) return hr;
  return info->GetRefTypeInfo(href, out);
}

class FixtureLib : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(S_OK, m_lib.hr) << "loading " << FIXTURE_TLB; }
  Lib m_lib{FixtureFile(WIDE_TEXT(FIXTURE_TLB)).c_str()};
};

TEST_F(FixtureLib, LibraryAttributesDocumentationAndTypes) {
  TLIBATTR *attr = nullptr;
  ASSERT_EQ(S_OK, m_lib.p->GetLibAttr(&attr));
  EXPECT_TRUE(IsEqualGUID(attr->guid, LIBID_FixtureLib));
  EXPECT_EQ(0u, attr->lcid);
  EXPECT_EQ(SYS_WIN64, attr->syskind);
  EXPECT_EQ(1, attr->wMajorVerNum);
  EXPECT_EQ(2, attr->wMinorVerNum);
  m_lib.p->ReleaseTLibAttr(attr);

  BSTR name = nullptr, doc = nullptr;
  ASSERT_EQ(S_OK, m_lib.p->GetDocumentation(-1, &name, &doc, nullptr, nullptr));
  EXPECT_EQ("FixtureLib", Text(name));
  EXPECT_EQ("Fixture 1.2 Type Library", Text(doc));
  SysFreeString(name);
  SysFreeString(doc);

  // In declaration order; dual interfaces are handed out as their dispatch view.
  const std::vector<std::pair<std::string, TYPEKIND>> expected = {
      {"FixColor", TKIND_ENUM}, {"IFixItem", TKIND_DISPATCH}, {"IFixture", TKIND_DISPATCH},
      {"IFixture2", TKIND_DISPATCH}, {"Fixture", TKIND_COCLASS}};
  ASSERT_EQ(expected.size(), m_lib.p->GetTypeInfoCount());
  for (UINT i = 0; i < expected.size(); ++i) {
    TYPEKIND kind = static_cast<TYPEKIND>(kSentinel);
    EXPECT_EQ(S_OK, m_lib.p->GetTypeInfoType(i, &kind));
    EXPECT_EQ(expected[i].second, kind) << expected[i].first;
    Info info;
    ASSERT_EQ(S_OK, m_lib.p->GetTypeInfo(i, info.Out()));
    EXPECT_EQ(expected[i].first, NameOf(info.p));
    Attr a(info.p);
    EXPECT_EQ(expected[i].second, a->typekind);
  }
  Info none;
  EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, m_lib.p->GetTypeInfo(5, none.Out()));

  Info byGuid;
  ASSERT_EQ(S_OK, m_lib.p->GetTypeInfoOfGuid(IID_IFixture2, byGuid.Out()));
  EXPECT_EQ("IFixture2", NameOf(byGuid.p));
  Info missing;
  missing.p = reinterpret_cast<ITypeInfo *>(static_cast<uintptr_t>(kSentinel));
  EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, m_lib.p->GetTypeInfoOfGuid(IID_IDispatch, missing.Out()));
  // Wine leaves the out pointer as it was when the GUID is not found.
  if (RunningUnderWine() && missing.p == reinterpret_cast<ITypeInfo *>(static_cast<uintptr_t>(kSentinel)))
    missing.p = nullptr;
  EXPECT_EQ(nullptr, missing.p);

  UINT index = kSentinel;
  ITypeLib *container = nullptr;
  ASSERT_EQ(S_OK, byGuid.p->GetContainingTypeLib(&container, &index));
  EXPECT_EQ(m_lib.p, container);
  EXPECT_EQ(3u, index);
  container->Release();
}

TEST_F(FixtureLib, DualInterfaceHasDispatchAndVtableViews) {
  Info disp;
  ASSERT_EQ(S_OK, m_lib.p->GetTypeInfoOfGuid(IID_IFixture2, disp.Out()));
  {
    Attr a(disp.p);
    EXPECT_EQ(TKIND_DISPATCH, a->typekind);
    EXPECT_TRUE(IsEqualGUID(a->guid, IID_IFixture2));
    EXPECT_EQ(TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE,
              a->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE));
    // Every member of the chain, IUnknown's and IDispatch's included.
    EXPECT_EQ(7 + 8 + 2, a->cFuncs);
    EXPECT_EQ(7 * sizeof(void *), a->cbSizeVft);
    EXPECT_EQ(1, a->cImplTypes);
  }
  Info idispatch;
  ASSERT_EQ(S_OK, ImplInfo(disp.p, 0, idispatch.Out()));
  EXPECT_EQ("IDispatch", NameOf(idispatch.p));

  Info vtbl;
  ASSERT_EQ(S_OK, ImplInfo(disp.p, static_cast<UINT>(-1), vtbl.Out()));
  {
    Attr a(vtbl.p);
    EXPECT_EQ(TKIND_INTERFACE, a->typekind);
    EXPECT_TRUE(a->wTypeFlags & TYPEFLAG_FDUAL);
    EXPECT_EQ(2, a->cFuncs);
    EXPECT_EQ((7 + 8 + 2) * sizeof(void *), a->cbSizeVft);
  }
  Info base;
  ASSERT_EQ(S_OK, ImplInfo(vtbl.p, 0, base.Out()));
  EXPECT_EQ("IFixture", NameOf(base.p));
  {
    Attr a(base.p);
    EXPECT_EQ(TKIND_INTERFACE, a->typekind);
    EXPECT_EQ(8, a->cFuncs);
  }
  Info root;
  ASSERT_EQ(S_OK, ImplInfo(base.p, 0, root.Out()));
  EXPECT_EQ("IDispatch", NameOf(root.p));
  HREFTYPE href;
  EXPECT_EQ_OR_WINE(TYPE_E_ELEMENTNOTFOUND, S_OK, vtbl.p->GetRefTypeOfImplType(static_cast<UINT>(-1), &href), "Wine answers -1 on the interface half of a dual interface as well");
  EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, vtbl.p->GetRefTypeOfImplType(1, &href));
}

TEST_F(FixtureLib, FunctionDescriptionsInBothViews) {
  Info disp, vtbl;
  ASSERT_EQ(S_OK, m_lib.p->GetTypeInfoOfGuid(IID_IFixture, disp.Out()));
  ASSERT_EQ(S_OK, ImplInfo(disp.p, static_cast<UINT>(-1), vtbl.Out()));

  // Vtable view: Describe is the fourth own member, slot 10.
  FUNCDESC *fd = nullptr;
  ASSERT_EQ(S_OK, vtbl.p->GetFuncDesc(3, &fd));
  EXPECT_EQ(2, fd->memid);
  EXPECT_EQ(INVOKE_FUNC, fd->invkind);
  EXPECT_EQ(FUNC_PUREVIRTUAL, fd->funckind);
  EXPECT_EQ(CC_STDCALL, fd->callconv);
  EXPECT_EQ(10 * 8, fd->oVft);
  EXPECT_EQ(VT_HRESULT, fd->elemdescFunc.tdesc.vt);
  ASSERT_EQ(6, fd->cParams);
  const VARTYPE types[] = {VT_I4, VT_UI4, VT_BSTR, VT_BOOL, VT_USERDEFINED, VT_PTR};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(types[i], fd->lprgelemdescParam[i].tdesc.vt) << "parameter " << i;
    EXPECT_EQ(i < 5 ? PARAMFLAG_FIN : PARAMFLAG_FOUT | PARAMFLAG_FRETVAL,
              fd->lprgelemdescParam[i].paramdesc.wParamFlags)
        << "parameter " << i;
  }
  EXPECT_EQ(VT_BSTR, fd->lprgelemdescParam[5].tdesc.lptdesc->vt);
  Info color;
  ASSERT_EQ(S_OK, vtbl.p->GetRefTypeInfo(fd->lprgelemdescParam[4].tdesc.hreftype, color.Out()));
  EXPECT_EQ("FixColor", NameOf(color.p));
  vtbl.p->ReleaseFuncDesc(fd);

  // Dispatch view: the same member after the 7 of IDispatch, its retval as the result.
  ASSERT_EQ(S_OK, disp.p->GetFuncDesc(7 + 3, &fd));
  EXPECT_EQ(2, fd->memid);
  EXPECT_EQ(FUNC_DISPATCH, fd->funckind);
  EXPECT_EQ(5, fd->cParams);
  EXPECT_EQ(VT_BSTR, fd->elemdescFunc.tdesc.vt);
  disp.p->ReleaseFuncDesc(fd);
  ASSERT_EQ(S_OK, disp.p->GetFuncDesc(7, &fd));  // Item, the default member
  EXPECT_EQ(DISPID_VALUE, fd->memid);
  EXPECT_EQ(INVOKE_PROPERTYGET, fd->invkind);
  EXPECT_EQ(1, fd->cParams);
  ASSERT_EQ(VT_PTR, fd->elemdescFunc.tdesc.vt);
  EXPECT_EQ(VT_USERDEFINED, fd->elemdescFunc.tdesc.lptdesc->vt);
  disp.p->ReleaseFuncDesc(fd);
  ASSERT_EQ(S_OK, disp.p->GetFuncDesc(8, &fd));  // _NewEnum
  EXPECT_EQ(DISPID_NEWENUM, fd->memid);
  EXPECT_EQ(VT_UNKNOWN, fd->elemdescFunc.tdesc.vt);
  disp.p->ReleaseFuncDesc(fd);

  EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, disp.p->GetFuncDesc(7 + 8, &fd));
}

TEST_F(FixtureLib, EnumerationConstantsByIndexAndName) {
  Info info;
  ASSERT_EQ(S_OK, m_lib.p->GetTypeInfo(0, info.Out()));
  {
    Attr a(info.p);
    EXPECT_EQ(3, a->cVars);
    EXPECT_EQ(0, a->cFuncs);
  }
  const std::pair<const char *, LONG> expected[] = {{"FixRed", 1}, {"FixGreen", 2}, {"FixBlue", -5}};
  std::vector<MEMBERID> memids;
  for (UINT i = 0; i < 3; ++i) {
    VARDESC *vd = nullptr;
    ASSERT_EQ(S_OK, info.p->GetVarDesc(i, &vd));
    EXPECT_EQ(VAR_CONST, vd->varkind);
    ASSERT_NE(nullptr, vd->lpvarValue);
    EXPECT_EQ(VT_I4, V_VT(vd->lpvarValue));
    EXPECT_EQ(expected[i].second, V_I4(vd->lpvarValue)) << expected[i].first;
    EXPECT_EQ(expected[i].first, NameOf(info.p, vd->memid));
    memids.push_back(vd->memid);
    info.p->ReleaseVarDesc(vd);
  }
  VARDESC *vd;
  EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, info.p->GetVarDesc(3, &vd));
  LPOLESTR name = const_cast<LPOLESTR>(OLESTR("fixBLUE"));
  MEMBERID id = kSentinel;
  EXPECT_EQ(S_OK, info.p->GetIDsOfNames(&name, 1, &id));
  EXPECT_EQ(memids[2], id);
  BSTR names[2] = {};
  UINT count = kSentinel;
  ASSERT_EQ(S_OK, info.p->GetNames(memids[0], names, 2, &count));
  ASSERT_EQ(1u, count);
  EXPECT_EQ("FixRed", Text(names[0]));
  SysFreeString(names[0]);
}

TEST_F(FixtureLib, NamesMemberIdsAndDocumentation) {
  Info disp;
  ASSERT_EQ(S_OK, m_lib.p->GetTypeInfoOfGuid(IID_IFixture2, disp.Out()));
  // Case is ignored; parameters are numbered by position; base members are found.
  LPOLESTR names[] = {const_cast<LPOLESTR>(OLESTR("describe")), const_cast<LPOLESTR>(OLESTR("TEXT")),
                      const_cast<LPOLESTR>(OLESTR("color"))};
  MEMBERID ids[3] = {0x1111, 0x1111, 0x1111};
  ASSERT_EQ(S_OK, disp.p->GetIDsOfNames(names, 3, ids));
  EXPECT_EQ(2, ids[0]);
  EXPECT_EQ(2, ids[1]);
  EXPECT_EQ(4, ids[2]);
  LPOLESTR twice = const_cast<LPOLESTR>(OLESTR("Twice")), count = const_cast<LPOLESTR>(OLESTR("COUNT"));
  EXPECT_EQ(S_OK, disp.p->GetIDsOfNames(&twice, 1, ids));
  EXPECT_EQ(7, ids[0]);
  EXPECT_EQ(S_OK, disp.p->GetIDsOfNames(&count, 1, ids));
  EXPECT_EQ(1, ids[0]);

  LPOLESTR unknown[] = {const_cast<LPOLESTR>(OLESTR("Describe")), const_cast<LPOLESTR>(OLESTR("Nope"))};
  ids[0] = ids[1] = 0x1111;
  EXPECT_EQ(DISP_E_UNKNOWNNAME, disp.p->GetIDsOfNames(unknown, 2, ids));
  EXPECT_EQ(2, ids[0]);
  EXPECT_EQ(DISPID_UNKNOWN, ids[1]);

  // The dispatch view names the parameters that a client passes.
  BSTR got[8] = {};
  UINT n = kSentinel;
  ASSERT_EQ(S_OK, disp.p->GetNames(2, got, 8, &n));
  ASSERT_EQ(6u, n);
  const char *expected[] = {"Describe", "Number", "Flags", "Text", "Flag", "Color"};
  for (UINT i = 0; i < n; ++i) {
    EXPECT_EQ(expected[i], Text(got[i]));
    SysFreeString(got[i]);
  }
  EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, disp.p->GetNames(99, got, 8, &n));

  BSTR name = nullptr, doc = nullptr, file = reinterpret_cast<BSTR>(1);
  DWORD context = kSentinel;
  ASSERT_EQ(S_OK, disp.p->GetDocumentation(2, &name, &doc, &context, &file));
  EXPECT_EQ("Describe", Text(name));
  EXPECT_EQ("method Describe", Text(doc));
  EXPECT_EQ(0u, context);
  EXPECT_EQ(nullptr, file);
  SysFreeString(name);
  SysFreeString(doc);
  EXPECT_EQ("IFixture2", NameOf(disp.p));
  EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, disp.p->GetDocumentation(99, &name, nullptr, nullptr, nullptr));
}

TEST_F(FixtureLib, CoclassAndLibraryNameSearch) {
  Info cls;
  ASSERT_EQ(S_OK, m_lib.p->GetTypeInfoOfGuid(CLSID_Fixture, cls.Out()));
  {
    Attr a(cls.p);
    EXPECT_EQ(TKIND_COCLASS, a->typekind);
    EXPECT_TRUE(a->wTypeFlags & TYPEFLAG_FCANCREATE);
    EXPECT_EQ(2, a->cImplTypes);
  }
  INT flags = kSentinel;
  EXPECT_EQ(S_OK, cls.p->GetImplTypeFlags(0, &flags));
  EXPECT_EQ(IMPLTYPEFLAG_FDEFAULT, flags);
  EXPECT_EQ(S_OK, cls.p->GetImplTypeFlags(1, &flags));
  EXPECT_EQ(0, flags);
  EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, cls.p->GetImplTypeFlags(2, &flags));
  Info def;
  ASSERT_EQ(S_OK, ImplInfo(cls.p, 0, def.Out()));
  EXPECT_EQ("IFixture2", NameOf(def.p));
  EXPECT_EQ(TKIND_DISPATCH, Attr(def.p)->typekind);

  WCHAR buf[32] = OLESTR("ifixture2");
  BOOL found = kSentinel;
  ASSERT_EQ(S_OK, m_lib.p->IsName(buf, 0, &found));
  // Wine's IsName and FindName do not match a name written in another case.
  const bool wineMissesCase = RunningUnderWine() && !found;
  if (!wineMissesCase) {
    EXPECT_TRUE(found);
    EXPECT_EQ("IFixture2", Printable(buf));  // the library's spelling comes back
  }
  WCHAR none[] = OLESTR("Missing");
  ASSERT_EQ(S_OK, m_lib.p->IsName(none, 0, &found));
  EXPECT_FALSE(found);

  WCHAR count[] = OLESTR("count");
  ITypeInfo *infos[4] = {};
  MEMBERID ids[4] = {};
  USHORT n = 4;
  ASSERT_EQ(S_OK, m_lib.p->FindName(count, 0, infos, ids, &n));
  if (!(wineMissesCase && n == 0)) {
    ASSERT_EQ(1, n);
    EXPECT_EQ("IFixture", NameOf(infos[0]));
    EXPECT_EQ(1, ids[0]);
    infos[0]->Release();
  }
  n = 4;
  ASSERT_EQ(S_OK, m_lib.p->FindName(none, 0, infos, ids, &n));
  EXPECT_EQ(0, n);
}

TEST(TypeLibLoad, FromTheTypeLibResourceOfAModule) {
  Lib lib(FixtureFile(WIDE_TEXT(FIXTURE_MODULE)).c_str());
  ASSERT_EQ(S_OK, lib.hr) << FIXTURE_MODULE;
  BSTR name = nullptr;
  ASSERT_EQ(S_OK, lib.p->GetDocumentation(-1, &name, nullptr, nullptr, nullptr));
  EXPECT_EQ("FixtureLib", Text(name));
  SysFreeString(name);
  EXPECT_EQ(5u, lib.p->GetTypeInfoCount());

  // A program without such a resource holds no library.
  WCHAR self[MAX_PATH];
  ASSERT_NE(0u, GetModuleFileNameW(nullptr, self, MAX_PATH));
  Lib none(self);
  EXPECT_EQ(TYPE_E_CANTLOADLIBRARY, none.hr);
  EXPECT_EQ(nullptr, none.p);
}

TEST(TypeLibLoad, MissingOrUnreadableFilesFail) {
  ITypeLib *lib = reinterpret_cast<ITypeLib *>(static_cast<uintptr_t>(kSentinel));
  EXPECT_EQ(TYPE_E_CANTLOADLIBRARY, LoadTypeLib(OLESTR("/nonexistent/dir/none.tlb"), &lib));
  EXPECT_EQ(nullptr, lib);
}

// Vtable view of a dual interface: its own members follow the base's last
// slot without a gap, each documented as what it is. The base's name goes
// into `bases`.
void CheckVtableView(ITypeInfo *info, const std::string &name, std::set<std::string> &bases) {
  Info vtbl, base;
  ASSERT_EQ(S_OK, ImplInfo(info, static_cast<UINT>(-1), vtbl.Out()));
  ASSERT_EQ(S_OK, ImplInfo(vtbl.p, 0, base.Out()));
  std::string baseName = NameOf(base.p);
  bases.insert(baseName);
  WORD baseVft = Attr(base.p)->cbSizeVft;
  if (baseName == "IDispatch") {
    EXPECT_EQ(7 * 8, baseVft);
  }
  Attr va(vtbl.p);
  EXPECT_EQ(baseVft + va->cFuncs * 8, va->cbSizeVft) << name;
  for (UINT f = 0; f < va->cFuncs; ++f) {
    FUNCDESC *fd = nullptr;
    ASSERT_EQ(S_OK, vtbl.p->GetFuncDesc(f, &fd));
    EXPECT_EQ(baseVft + 8 * static_cast<int>(f), fd->oVft) << name << " member " << f;
    EXPECT_EQ(VT_HRESULT, fd->elemdescFunc.tdesc.vt);
    std::string member = NameOf(vtbl.p, fd->memid);
    BSTR mdoc = nullptr;
    vtbl.p->GetDocumentation(fd->memid, nullptr, &mdoc, nullptr, nullptr);
    EXPECT_EQ((fd->invkind == INVOKE_PROPERTYGET ? "property " : "method ") + member, Text(mdoc));
    SysFreeString(mdoc);
    vtbl.p->ReleaseFuncDesc(fd);
  }
}

// Dispatch view: every member of the chain, dispids unique apart from
// IDispatch's own.
void CheckDispatchView(ITypeInfo *info, WORD funcs, const std::string &name) {
  std::set<MEMBERID> ids;
  for (UINT f = 7; f < funcs; ++f) {
    FUNCDESC *fd = nullptr;
    ASSERT_EQ(S_OK, info->GetFuncDesc(f, &fd));
    EXPECT_TRUE(ids.insert(fd->memid).second) << name << ": dispid " << fd->memid << " twice";
    EXPECT_EQ(FUNC_DISPATCH, fd->funckind);
    info->ReleaseFuncDesc(fd);
  }
  EXPECT_EQ(static_cast<size_t>(funcs - 7), ids.size());
}

// The component's library: 23 types whose slots and dispids keep the rules
// that vtable and late-bound clients rely on.
TEST(ComponentTypeLib, DescribesTheAutomationInterface) {
  Lib lib(FixtureFile(WIDE_TEXT(COMPONENT_TLB)).c_str());
  ASSERT_EQ(S_OK, lib.hr) << COMPONENT_TLB;
  TLIBATTR *attr = nullptr;
  ASSERT_EQ(S_OK, lib.p->GetLibAttr(&attr));
  EXPECT_TRUE(IsEqualGUID(attr->guid, LIBID_QuillonRevisionDirectoryLib));
  EXPECT_EQ(0x409u, attr->lcid);
  EXPECT_EQ(7, attr->wMajorVerNum);
  EXPECT_EQ(0, attr->wMinorVerNum);
  lib.p->ReleaseTLibAttr(attr);

  std::map<TYPEKIND, int> kinds;
  std::set<std::string> bases;  // interfaces that another one derives from
  std::vector<std::string> defaults;
  UINT count = lib.p->GetTypeInfoCount();
  EXPECT_EQ(23u, count);
  for (UINT i = 0; i < count; ++i) {
    Info info;
    ASSERT_EQ(S_OK, lib.p->GetTypeInfo(i, info.Out()));
    Attr a(info.p);
    kinds[a->typekind]++;
    std::string name = NameOf(info.p);
    BSTR doc = nullptr;
    info.p->GetDocumentation(MEMBERID_NIL, nullptr, &doc, nullptr, nullptr);
    if (a->typekind == TKIND_COCLASS) {
      EXPECT_EQ(name + " Class", Text(doc));
      INT flags = 0;
      Info def;
      ASSERT_EQ(S_OK, info.p->GetImplTypeFlags(0, &flags));
      EXPECT_EQ(IMPLTYPEFLAG_FDEFAULT, flags) << name;
      ASSERT_EQ(S_OK, ImplInfo(info.p, 0, def.Out()));
      defaults.push_back(NameOf(def.p));
    } else if (a->typekind == TKIND_ENUM) {
      EXPECT_GT(a->cVars, 0) << name;
    }
    SysFreeString(doc);
    if (a->typekind != TKIND_DISPATCH) continue;

    EXPECT_EQ(TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE, a->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE))
        << name;
    std::string itfDoc = name == "IProcessorType_V2" ? "IProcessorType Interface" : name + " Interface";
    info.p->GetDocumentation(MEMBERID_NIL, nullptr, &doc, nullptr, nullptr);
    EXPECT_EQ(itfDoc, Text(doc));
    SysFreeString(doc);
    CheckVtableView(info.p, name, bases);
    CheckDispatchView(info.p, a->cFuncs, name);
  }
  EXPECT_EQ(13, kinds[TKIND_DISPATCH]);
  EXPECT_EQ(6, kinds[TKIND_COCLASS]);
  EXPECT_EQ(4, kinds[TKIND_ENUM]);
  // Each class defaults to the newest version of its interface: one that nothing extends.
  ASSERT_EQ(6u, defaults.size());
  for (const std::string &d : defaults) EXPECT_EQ(0u, bases.count(d)) << d;
}

// RdErrors: the component's codes in order from 0x80043D00.
TEST(ComponentTypeLib, ListsTheErrorCodesInOrder) {
  Lib lib(FixtureFile(WIDE_TEXT(COMPONENT_TLB)).c_str());
  ASSERT_EQ(S_OK, lib.hr) << COMPONENT_TLB;
  Info errors;
  ASSERT_EQ(S_OK, lib.p->GetTypeInfo(0, errors.Out()));
  ASSERT_EQ("RdErrors", NameOf(errors.p));
  Attr ea(errors.p);
  EXPECT_EQ(15, ea->cVars);
  for (UINT v = 0; v < ea->cVars; ++v) {
    VARDESC *vd = nullptr;
    ASSERT_EQ(S_OK, errors.p->GetVarDesc(v, &vd));
    EXPECT_EQ(static_cast<LONG>(0x80043D00 + v), V_I4(vd->lpvarValue));
    errors.p->ReleaseVarDesc(vd);
  }
}

}  // namespace
