// Every detail a client can read from a type library, as text: the library's
// attributes, each type info (and the vtable view of a dual interface) with
// its TYPEATTR, implemented types, FUNCDESCs, VARDESCs, names, help strings
// and DISPIDs. Under Wine the system's own type-library reader prints it;
// here the platform's; both must print the checked-in expected text.
// `typelib_dump_test --dump FILE.tlb` prints the text of any library.
#include <windows.h>

#include <oleauto.h>
#include <stdio.h>

#include <fstream>
#include <sstream>
#include <string>

#include "conformance.h"
#include "platform/text/wide_text.h"

#define WIDE_TEXT(s) OLESTR(s)

namespace {

// 32 bits in hexadecimal, whatever the width of long.
std::string Hex(long long v) {
  char buf[16];
  snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(v));
  return buf;
}

std::string Hr(HRESULT hr) { return hr == S_OK ? "S_OK" : Hex(hr); }

std::string GuidText(const GUID &g) {
  char buf[40];
  snprintf(buf, sizeof buf, "%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
           static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
           g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return buf;
}

// A BSTR's text, consumed.
std::string Take(BSTR b) {
  std::string s = "null";
  if (b) {
    s = "\"";
    s += Printable(b);
    s += '"';
  }
  SysFreeString(b);
  return s;
}

class Dumper {
 public:
  std::string Library(ITypeLib *lib) {
    TLIBATTR *la = nullptr;
    if (SUCCEEDED(lib->GetLibAttr(&la))) {
      m_out << "library " << GuidText(la->guid) << " lcid " << Hex(la->lcid) << " syskind " << la->syskind
            << " version " << la->wMajorVerNum << "." << la->wMinorVerNum << " flags " << Hex(la->wLibFlags) << "\n";
      lib->ReleaseTLibAttr(la);
    }
    Doc(lib, -1, "  ");
    UINT n = lib->GetTypeInfoCount();
    m_out << "  types " << n << "\n";
    for (UINT i = 0; i < n; ++i) {
      TYPEKIND kind;
      HRESULT hr = lib->GetTypeInfoType(i, &kind);
      m_out << "type " << i << " kind " << (SUCCEEDED(hr) ? static_cast<int>(kind) : -1) << "\n";
      Doc(lib, static_cast<INT>(i), "  ");
      ITypeInfo *info = nullptr;
      if (FAILED(lib->GetTypeInfo(i, &info))) continue;
      Info(info, "  ");
      // The vtable view of a dual interface.
      HREFTYPE href;
      ITypeInfo *vtbl = nullptr;
      hr = info->GetRefTypeOfImplType(static_cast<UINT>(-1), &href);
      m_out << "  impl -1: " << Hr(hr) << "\n";
      if (SUCCEEDED(hr) && SUCCEEDED(info->GetRefTypeInfo(href, &vtbl))) {
        m_out << "  vtable view\n";
        Info(vtbl, "    ");
        vtbl->Release();
      }
      info->Release();
    }
    return m_out.str();
  }

 private:
  // GetDocumentation of a library (by type index) or of a type (by member).
  template <typename Owner, typename Id>
  void Doc(Owner *owner, Id id, const std::string &indent) {
    BSTR name = nullptr, doc = nullptr, file = nullptr;
    DWORD context = kSentinel;
    HRESULT hr = owner->GetDocumentation(id, &name, &doc, &context, &file);
    m_out << indent << "doc " << Hr(hr) << " " << Take(name) << " " << Take(doc) << " " << Hex(context) << " "
          << Take(file) << "\n";
  }

  void Names(ITypeInfo *info, MEMBERID memid, const std::string &indent) {
    BSTR names[32] = {};
    UINT count = 0;
    HRESULT hr = info->GetNames(memid, names, 32, &count);
    m_out << indent << "names " << Hr(hr);
    for (UINT i = 0; i < count; ++i) m_out << " " << Take(names[i]);
    m_out << "\n";
  }

  // A referenced type: its name, kind and GUID, not the handle's value.
  std::string Ref(ITypeInfo *info, HREFTYPE href) {
    ITypeInfo *ref = nullptr;
    HRESULT hr = info->GetRefTypeInfo(href, &ref);
    if (FAILED(hr)) return "(GetRefTypeInfo " + Hr(hr) + ")";
    BSTR name = nullptr;
    ref->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
    std::string s = Take(name);
    TYPEATTR *a = nullptr;
    if (SUCCEEDED(ref->GetTypeAttr(&a))) {
      s += " kind " + std::to_string(a->typekind) + " " + GuidText(a->guid);
      ref->ReleaseTypeAttr(a);
    }
    ref->Release();
    return s;
  }

  std::string Type(ITypeInfo *info, const TYPEDESC &t) {
    switch (t.vt) {
      case VT_PTR:
        return "ptr(" + Type(info, *t.lptdesc) + ")";
      case VT_SAFEARRAY:
        return "safearray(" + Type(info, *t.lptdesc) + ")";
      case VT_USERDEFINED:
        return "user(" + Ref(info, t.hreftype) + ")";
      default:
        return "vt" + std::to_string(t.vt);
    }
  }

  std::string Elem(ITypeInfo *info, const ELEMDESC &e) {
    return Type(info, e.tdesc) + " flags " + Hex(e.paramdesc.wParamFlags);
  }

  void Info(ITypeInfo *info, const std::string &indent) {
    TYPEATTR *a = nullptr;
    HRESULT hr = info->GetTypeAttr(&a);
    if (FAILED(hr)) {
      m_out << indent << "attr " << Hr(hr) << "\n";
      return;
    }
    m_out << indent << "attr " << GuidText(a->guid) << " lcid " << Hex(a->lcid) << " ctor " << a->memidConstructor
          << " dtor " << a->memidDestructor << " size " << a->cbSizeInstance << " kind " << a->typekind << " funcs "
          << a->cFuncs << " vars " << a->cVars << " impls " << a->cImplTypes << " vft " << a->cbSizeVft << " align "
          << a->cbAlignment << " flags " << Hex(a->wTypeFlags) << " version " << a->wMajorVerNum << "."
          << a->wMinorVerNum << " idl " << Hex(a->idldescType.wIDLFlags) << "\n";
    Doc(info, MEMBERID_NIL, indent);
    for (UINT i = 0; i < a->cImplTypes; ++i) {
      HREFTYPE href;
      INT flags = -1;
      hr = info->GetRefTypeOfImplType(i, &href);
      HRESULT fhr = info->GetImplTypeFlags(i, &flags);
      m_out << indent << "impl " << i << ": " << (SUCCEEDED(hr) ? Ref(info, href) : Hr(hr)) << " flags "
            << (SUCCEEDED(fhr) ? Hex(flags) : Hr(fhr)) << "\n";
    }
    for (UINT i = 0; i < a->cFuncs; ++i) Func(info, i, indent);
    for (UINT i = 0; i < a->cVars; ++i) Var(info, i, indent);
    info->ReleaseTypeAttr(a);
  }

  void Func(ITypeInfo *info, UINT index, const std::string &indent) {
    FUNCDESC *f = nullptr;
    HRESULT hr = info->GetFuncDesc(index, &f);
    if (FAILED(hr)) {
      m_out << indent << "func " << index << " " << Hr(hr) << "\n";
      return;
    }
    m_out << indent << "func " << index << " memid " << Hex(f->memid) << " funckind " << f->funckind << " invkind "
          << f->invkind << " callconv " << f->callconv << " params " << f->cParams << " opt " << f->cParamsOpt
          << " vft " << f->oVft << " scodes " << f->cScodes << " flags " << Hex(f->wFuncFlags) << "\n";
    std::string in = indent + "  ";
    m_out << in << "returns " << Elem(info, f->elemdescFunc) << "\n";
    for (SHORT p = 0; p < f->cParams; ++p)
      m_out << in << "param " << p << " " << Elem(info, f->lprgelemdescParam[p]) << "\n";
    Names(info, f->memid, in);
    Doc(info, f->memid, in);
    // Late binding finds the member by its name.
    BSTR name = nullptr;
    if (SUCCEEDED(info->GetDocumentation(f->memid, &name, nullptr, nullptr, nullptr)) && name) {
      MEMBERID id = 0;
      LPOLESTR names[] = {name};
      hr = info->GetIDsOfNames(names, 1, &id);
      m_out << in << "dispid " << Hr(hr) << " " << Hex(id) << "\n";
    }
    SysFreeString(name);
    info->ReleaseFuncDesc(f);
  }

  void Var(ITypeInfo *info, UINT index, const std::string &indent) {
    VARDESC *v = nullptr;
    HRESULT hr = info->GetVarDesc(index, &v);
    if (FAILED(hr)) {
      m_out << indent << "var " << index << " " << Hr(hr) << "\n";
      return;
    }
    m_out << indent << "var " << index << " memid " << Hex(v->memid) << " varkind " << v->varkind << " flags "
          << Hex(v->wVarFlags) << " type " << Elem(info, v->elemdescVar);
    if (v->varkind == VAR_CONST && v->lpvarValue) {
      VARIANT text;
      VariantInit(&text);
      HRESULT chr = VariantChangeType(&text, v->lpvarValue, 0, VT_BSTR);
      m_out << " value vt" << V_VT(v->lpvarValue) << " " << (SUCCEEDED(chr) ? Printable(V_BSTR(&text)) : Hr(chr));
      VariantClear(&text);
    }
    m_out << "\n";
    std::string in = indent + "  ";
    Names(info, v->memid, in);
    Doc(info, v->memid, in);
    info->ReleaseVarDesc(v);
  }

  std::ostringstream m_out;
};

std::string DumpFile(const std::basic_string<WCHAR> &path, HRESULT *hr) {
  ITypeLib *lib = nullptr;
  *hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib);
  if (FAILED(*hr)) return {};
  std::string text = Dumper().Library(lib);
  lib->Release();
  return text;
}

std::string ReadText(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  std::string t = s.str();
  // A checkout may have turned line ends into CR LF.
  std::string out;
  for (char c : t)
    if (c != '\r') out += c;
  return out;
}

// Both libraries the build makes, against the text Wine's reader printed.
TEST(TypeLibDump, MatchesTheSystemReader) {
  std::string text;
  for (const WCHAR *tlb : {WIDE_TEXT(DUMP_FIXTURE_TLB), WIDE_TEXT(DUMP_COMPONENT_TLB)}) {
    HRESULT hr;
    std::string one = DumpFile(FixtureFile(tlb), &hr);
    ASSERT_EQ(S_OK, hr) << Printable(tlb);
    text += one;
  }
  std::string expected = ReadText(FixtureFileA(DUMP_EXPECTED));
  ASSERT_FALSE(expected.empty()) << DUMP_EXPECTED;
  if (text != expected) {
    // What this run printed, to compare with the expected text line by line.
    std::string actual = FixtureFileA("typelib_dump.actual.txt");
    std::ofstream(actual, std::ios::binary) << text;
    FAIL() << "the dump differs from " << DUMP_EXPECTED << "; this run's text is in " << actual;
  }
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 3 && std::string(argv[1]) == "--dump") {
    const std::basic_string<WCHAR> path = platform::Widen(argv[2], CP_ACP);
    HRESULT hr;
    std::string text = DumpFile(path, &hr);
    if (FAILED(hr)) {
      fprintf(stderr, "cannot load %s: %s\n", argv[2], Hr(hr).c_str());
      return 1;
    }
    fputs(text.c_str(), stdout);
    return 0;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
