#include "typelib_markdown.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <utility>
#include <vector>

#include "frame/handles.h"
#include "platform/text/wide_text.h"

namespace revdir::interface_doc {

std::string ResultText(HRESULT hr) {
  char number[16];
  snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(hr));
  WCHAR buffer[512] = {};
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, static_cast<DWORD>(hr),
                           0, buffer, ARRAYSIZE(buffer), nullptr);
  // The system's texts end in a line break.
  while (n > 0 && (buffer[n - 1] == '\n' || buffer[n - 1] == '\r' || buffer[n - 1] == ' ')) --n;
  std::string out = number;
  if (n > 0) out += " (" + platform::Narrow(platform::WideView(buffer, n)) + ")";
  return out;
}

namespace {

struct DocError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

void Check(HRESULT hr, const std::string &what) {
  if (FAILED(hr)) throw DocError(what + " failed: " + ResultText(hr));
}

// A BSTR's text as UTF-8, the BSTR freed.
std::string Take(BSTR b) {
  Bstr owner;
  owner.Attach(b);
  return platform::Narrow(platform::WideView(b, SysStringLen(b)));
}

std::string GuidText(const GUID &g) {
  WCHAR text[40];
  if (StringFromGUID2(g, text, ARRAYSIZE(text)) == 0) throw DocError("StringFromGUID2 failed");
  return platform::Narrow(text);
}

std::string Hex(unsigned value, int digits) {
  char text[16];
  snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

std::string Join(const std::vector<std::string> &parts, const char *separator) {
  std::string out;
  for (const auto &p : parts) out += (out.empty() ? "" : separator) + p;
  return out;
}

// Text for one table cell: a single line with nothing Markdown reads as markup.
std::string Cell(const std::string &text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') continue;
    if (c == '\n') {
      out += "<br>";
    } else if (c == '<') {
      out += "&lt;";
    } else {
      if (c != '\0' && std::strchr("|*`\\", c)) out += '\\';
      out += c;
    }
  }
  return out;
}

// GitHub's anchor of a heading that is an identifier.
std::string Anchor(const std::string &name) {
  std::string out;
  for (unsigned char c : name)
    if (std::isalnum(c) || c == '_' || c == '-') out += static_cast<char>(std::tolower(c));
  return out;
}

template <class T>
using Held = std::unique_ptr<T, std::function<void(T *)>>;

Held<TYPEATTR> Attr(ITypeInfo *info, const std::string &owner) {
  TYPEATTR *attr = nullptr;
  Check(info->GetTypeAttr(&attr), owner + ": GetTypeAttr");
  return Held<TYPEATTR>(attr, [info](TYPEATTR *p) { info->ReleaseTypeAttr(p); });
}

Held<FUNCDESC> Func(ITypeInfo *info, UINT index, const std::string &owner) {
  FUNCDESC *desc = nullptr;
  Check(info->GetFuncDesc(index, &desc), owner + ": GetFuncDesc(" + std::to_string(index) + ")");
  return Held<FUNCDESC>(desc, [info](FUNCDESC *p) { info->ReleaseFuncDesc(p); });
}

Held<VARDESC> Var(ITypeInfo *info, UINT index, const std::string &owner) {
  VARDESC *desc = nullptr;
  Check(info->GetVarDesc(index, &desc), owner + ": GetVarDesc(" + std::to_string(index) + ")");
  return Held<VARDESC>(desc, [info](VARDESC *p) { info->ReleaseVarDesc(p); });
}

// A member's (or, with MEMBERID_NIL, the type's) name and help string.
std::pair<std::string, std::string> Documentation(ITypeInfo *info, MEMBERID id, const std::string &owner) {
  BSTR name = nullptr, help = nullptr;
  HRESULT hr = info->GetDocumentation(id, &name, &help, nullptr, nullptr);
  std::string nameText = Take(name), helpText = Take(help);
  Check(hr, owner + ": GetDocumentation(" + std::to_string(id) + ")");
  return {nameText, helpText};
}

// IDL's spelling of the automation types.
std::string VtName(VARTYPE vt) {
  static const std::pair<VARTYPE, const char *> kNames[] = {
      {VT_I2, "short"},          {VT_I4, "long"},           {VT_R4, "float"},           {VT_R8, "double"},
      {VT_CY, "CURRENCY"},       {VT_DATE, "DATE"},         {VT_BSTR, "BSTR"},          {VT_DISPATCH, "IDispatch*"},
      {VT_ERROR, "SCODE"},       {VT_BOOL, "VARIANT_BOOL"}, {VT_VARIANT, "VARIANT"},    {VT_UNKNOWN, "IUnknown*"},
      {VT_DECIMAL, "DECIMAL"},   {VT_I1, "char"},           {VT_UI1, "unsigned char"},  {VT_UI2, "unsigned short"},
      {VT_UI4, "unsigned long"}, {VT_I8, "hyper"},          {VT_UI8, "unsigned hyper"}, {VT_INT, "int"},
      {VT_UINT, "unsigned int"}, {VT_VOID, "void"},         {VT_HRESULT, "HRESULT"},    {VT_LPSTR, "LPSTR"},
      {VT_LPWSTR, "LPWSTR"}};
  for (const auto &[v, name] : kNames)
    if (v == vt) return name;
  return "VT_" + std::to_string(vt);
}

std::string RefName(ITypeInfo *info, HREFTYPE href, const std::string &owner) {
  ComPtr<ITypeInfo> ref;
  Check(info->GetRefTypeInfo(href, ref.Out()), owner + ": GetRefTypeInfo");
  return Documentation(ref.Get(), MEMBERID_NIL, owner).first;
}

std::string TypeText(ITypeInfo *info, const TYPEDESC &type, const std::string &owner, int depth = 0) {
  // Types nest a few levels in any real library; deeper is a broken one.
  if (depth > 16) throw DocError(owner + ": a type nests too deep");
  switch (type.vt) {
    case VT_PTR:
      return TypeText(info, *type.lptdesc, owner, depth + 1) + "*";
    case VT_SAFEARRAY:
      return "SAFEARRAY(" + TypeText(info, *type.lptdesc, owner, depth + 1) + ")";
    case VT_CARRAY:
      return TypeText(info, type.lpadesc->tdescElem, owner, depth + 1) + "[]";
    case VT_USERDEFINED:
      return RefName(info, type.hreftype, owner);
    default:
      return VtName(type.vt);
  }
}

std::string ValueText(const VARIANT &value, const std::string &owner) {
  VARIANT text;
  VariantInit(&text);
  HRESULT hr = VariantChangeType(&text, &value, 0, VT_BSTR);
  Check(hr, owner + ": VariantChangeType");
  std::string out = Take(V_BSTR(&text));
  return V_VT(&value) == VT_BSTR ? "\"" + out + "\"" : out;
}

std::string ParamText(ITypeInfo *info, const ELEMDESC &param, const std::string &name, const std::string &owner) {
  const USHORT flags = param.paramdesc.wParamFlags;
  std::vector<std::string> attributes;
  static const std::pair<USHORT, const char *> kFlags[] = {{PARAMFLAG_FIN, "in"},
                                                           {PARAMFLAG_FOUT, "out"},
                                                           {PARAMFLAG_FLCID, "lcid"},
                                                           {PARAMFLAG_FRETVAL, "retval"},
                                                           {PARAMFLAG_FOPT, "optional"}};
  for (const auto &[flag, word] : kFlags)
    if (flags & flag) attributes.push_back(word);
  if ((flags & PARAMFLAG_FHASDEFAULT) && param.paramdesc.pparamdescex)
    attributes.push_back("defaultvalue(" + ValueText(param.paramdesc.pparamdescex->varDefaultValue, owner) + ")");
  std::string text = attributes.empty() ? "" : "[" + Join(attributes, ", ") + "] ";
  text += TypeText(info, param.tdesc, owner);
  return name.empty() ? text : text + " " + name;
}

// What a late-bound caller gets back: the [retval] parameter's type, or the
// function's own type where that is not the HRESULT of every vtable member.
std::string ReturnText(ITypeInfo *info, const FUNCDESC &func, const std::string &owner) {
  if (func.cParams > 0) {
    const ELEMDESC &last = func.lprgelemdescParam[func.cParams - 1];
    if (last.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) {
      const TYPEDESC &t = last.tdesc;
      return TypeText(info, t.vt == VT_PTR ? *t.lptdesc : t, owner);
    }
  }
  if (func.elemdescFunc.tdesc.vt == VT_HRESULT) return "void";
  return TypeText(info, func.elemdescFunc.tdesc, owner);
}

std::string InvokeText(const FUNCDESC &func) {
  std::string text;
  switch (func.invkind) {
    case INVOKE_PROPERTYGET:
      text = "propget";
      break;
    case INVOKE_PROPERTYPUT:
      text = "propput";
      break;
    case INVOKE_PROPERTYPUTREF:
      text = "propputref";
      break;
    default:
      text = "method";
  }
  if (func.wFuncFlags & FUNCFLAG_FRESTRICTED) text += ", restricted";
  if (func.wFuncFlags & FUNCFLAG_FHIDDEN) text += ", hidden";
  return text;
}

std::string DispidText(MEMBERID id) {
  std::string text = std::to_string(id);
  if (id == DISPID_VALUE) text += " (DISPID_VALUE)";
  if (id == DISPID_NEWENUM) text += " (DISPID_NEWENUM)";
  return text;
}

std::string TypeFlagsText(WORD flags) {
  static const std::pair<WORD, const char *> kFlags[] = {{TYPEFLAG_FCANCREATE, "creatable"},
                                                         {TYPEFLAG_FAPPOBJECT, "appobject"},
                                                         {TYPEFLAG_FLICENSED, "licensed"},
                                                         {TYPEFLAG_FHIDDEN, "hidden"},
                                                         {TYPEFLAG_FCONTROL, "control"},
                                                         {TYPEFLAG_FNONEXTENSIBLE, "nonextensible"},
                                                         {TYPEFLAG_FOLEAUTOMATION, "oleautomation"},
                                                         {TYPEFLAG_FRESTRICTED, "restricted"},
                                                         {TYPEFLAG_FAGGREGATABLE, "aggregatable"}};
  std::vector<std::string> words;
  for (const auto &[flag, word] : kFlags)
    if (flags & flag) words.push_back(word);
  return Join(words, ", ");
}

struct TypeEntry {
  ComPtr<ITypeInfo> info;
  TYPEKIND kind = TKIND_MAX;
  std::string name, help, guid;
  WORD flags = 0;

  bool Dual() const { return kind == TKIND_DISPATCH && (flags & TYPEFLAG_FDUAL); }
};

std::string KindText(const TypeEntry &e) {
  switch (e.kind) {
    case TKIND_ENUM:
      return "enum";
    case TKIND_RECORD:
      return "struct";
    case TKIND_MODULE:
      return "module";
    case TKIND_INTERFACE:
      return "interface";
    case TKIND_DISPATCH:
      return e.Dual() ? "dual interface" : "dispinterface";
    case TKIND_COCLASS:
      return "coclass";
    case TKIND_ALIAS:
      return "typedef";
    case TKIND_UNION:
      return "union";
    default:
      return "kind " + std::to_string(e.kind);
  }
}

struct Constant {
  std::string name;
  LONG value = 0;
};

class Writer {
 public:
  explicit Writer(const ReferenceSources &sources) : m_sources(sources) {}

  std::string Write() {
    Collect();
    Library();
    Contents();
    Section("Classes", {TKIND_COCLASS}, &Writer::Class);
    Section("Interfaces", {TKIND_DISPATCH, TKIND_INTERFACE}, &Writer::Interface);
    Section("Enumerations", {TKIND_ENUM}, &Writer::Enum);
    Section("Other types", {TKIND_RECORD, TKIND_MODULE, TKIND_ALIAS, TKIND_UNION}, &Writer::Other);
    for (const auto &[clsid, ids] : *m_sources.progIds) {
      if (!m_classesSeen.count(clsid))
        throw DocError("a registry script registers " + ids.progId + " as " + clsid +
                       ", a class the type library does not describe");
    }
    std::string text = m_out.str();
    // One line break at the end, however the last section ended.
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text + "\n";
  }

 private:
  void Collect() {
    ITypeLib *lib = m_sources.library;
    const UINT count = lib->GetTypeInfoCount();
    for (UINT i = 0; i < count; ++i) {
      TypeEntry e;
      const std::string where = "type " + std::to_string(i);
      Check(lib->GetTypeInfoType(i, &e.kind), where + ": GetTypeInfoType");
      Check(lib->GetTypeInfo(i, e.info.Out()), where + ": GetTypeInfo");
      std::tie(e.name, e.help) = Documentation(e.info.Get(), MEMBERID_NIL, where);
      Held<TYPEATTR> attr = Attr(e.info.Get(), e.name);
      e.guid = attr->guid == GUID_NULL ? "" : GuidText(attr->guid);
      e.flags = attr->wTypeFlags;
      m_names.insert(e.name);
      m_types.push_back(std::move(e));
    }
  }

  std::string TypeLink(const std::string &name) const {
    return m_names.count(name) ? "[`" + name + "`](#" + Anchor(name) + ")" : "`" + name + "`";
  }

  void Heading(const TypeEntry &e) {
    m_out << "### " << e.name << "\n\n";
    if (!e.help.empty()) m_out << Cell(e.help) << "\n\n";
    m_out << "| | |\n|---|---|\n";
  }

  void Library() {
    ITypeLib *lib = m_sources.library;
    TLIBATTR *raw = nullptr;
    Check(lib->GetLibAttr(&raw), "GetLibAttr");
    Held<TLIBATTR> attr(raw, [lib](TLIBATTR *p) { lib->ReleaseTLibAttr(p); });
    BSTR name = nullptr, help = nullptr;
    HRESULT hr = lib->GetDocumentation(-1, &name, &help, nullptr, nullptr);
    const std::string nameText = Take(name), helpText = Take(help);
    Check(hr, "the library's GetDocumentation");
    m_out << "# " << nameText << " interface reference\n\n" << m_sources.preamble << "\n\n";
    m_out << "## Library\n\n| | |\n|---|---|\n";
    m_out << "| Name | `" << nameText << "` |\n";
    m_out << "| LIBID | `" << GuidText(attr->guid) << "` |\n";
    m_out << "| Version | " << attr->wMajorVerNum << "." << attr->wMinorVerNum << " |\n";
    m_out << "| Locale | " << Hex(attr->lcid, 4) << " |\n";
    if (!helpText.empty()) m_out << "| Help string | " << Cell(helpText) << " |\n";
    m_out << "\n";
  }

  void Contents() {
    m_out << "## Contents\n\n| Name | Kind | GUID | Help string |\n|---|---|---|---|\n";
    for (const auto &e : m_types) {
      m_out << "| " << TypeLink(e.name) << " | " << KindText(e) << " | " << (e.guid.empty() ? "" : "`" + e.guid + "`")
            << " | " << Cell(e.help) << " |\n";
    }
    m_out << "\n";
  }

  void Section(const char *title, std::initializer_list<TYPEKIND> kinds, void (Writer::*write)(const TypeEntry &)) {
    bool first = true;
    for (const auto &e : m_types) {
      if (std::find(kinds.begin(), kinds.end(), e.kind) == kinds.end()) continue;
      if (first) m_out << "## " << title << "\n\n";
      first = false;
      (this->*write)(e);
    }
  }

  void Class(const TypeEntry &e) {
    Held<TYPEATTR> attr = Attr(e.info.Get(), e.name);
    Heading(e);
    m_out << "| CLSID | `" << e.guid << "` |\n";
    auto found = m_sources.progIds->find(e.guid);
    if (found == m_sources.progIds->end()) {
      m_out << "| ProgID | none registered |\n";
    } else {
      m_classesSeen.insert(e.guid);
      auto code = [](const std::string &s) { return s.empty() ? std::string("none") : "`" + s + "`"; };
      m_out << "| ProgID | " << code(found->second.progId) << " |\n";
      m_out << "| Version-independent ProgID | " << code(found->second.versionIndependent) << " |\n";
    }
    std::vector<std::string> interfaces;
    for (UINT i = 0; i < attr->cImplTypes; ++i) {
      HREFTYPE href = 0;
      INT flags = 0;
      Check(e.info->GetRefTypeOfImplType(i, &href), e.name + ": GetRefTypeOfImplType");
      Check(e.info->GetImplTypeFlags(i, &flags), e.name + ": GetImplTypeFlags");
      std::string text = TypeLink(RefName(e.info.Get(), href, e.name));
      if (flags & IMPLTYPEFLAG_FDEFAULT) text += " (default)";
      if (flags & IMPLTYPEFLAG_FSOURCE) text += " (source)";
      if (flags & IMPLTYPEFLAG_FRESTRICTED) text += " (restricted)";
      interfaces.push_back(text);
    }
    m_out << "| Interfaces | " << Join(interfaces, "<br>") << " |\n";
    const std::string flags = TypeFlagsText(e.flags);
    if (!flags.empty()) m_out << "| Flags | " << flags << " |\n";
    m_out << "\n";
  }

  // The members a dual interface declares itself are those of its vtable
  // view; its dispatch view repeats every base's.
  ComPtr<ITypeInfo> MemberView(const TypeEntry &e) {
    ComPtr<ITypeInfo> view;
    if (!e.Dual()) {
      e.info->AddRef();
      view.Attach(e.info.Get());
      return view;
    }
    HREFTYPE href = 0;
    Check(e.info->GetRefTypeOfImplType(static_cast<UINT>(-1), &href), e.name + ": the vtable view");
    Check(e.info->GetRefTypeInfo(href, view.Out()), e.name + ": the vtable view");
    return view;
  }

  void Interface(const TypeEntry &e) {
    ComPtr<ITypeInfo> view = MemberView(e);
    Held<TYPEATTR> attr = Attr(view.Get(), e.name);
    Heading(e);
    m_out << "| IID | `" << e.guid << "` |\n";
    m_out << "| Kind | " << KindText(e) << " |\n";
    if (attr->cImplTypes > 0) {
      HREFTYPE href = 0;
      Check(view->GetRefTypeOfImplType(0, &href), e.name + ": GetRefTypeOfImplType");
      m_out << "| Extends | " << TypeLink(RefName(view.Get(), href, e.name)) << " |\n";
    }
    const std::string flags = TypeFlagsText(e.flags);
    if (!flags.empty()) m_out << "| Flags | " << flags << " |\n";
    m_out << "\n";
    if (attr->cFuncs + attr->cVars == 0) {
      m_out << "No members of its own.\n\n";
      return;
    }
    m_out << "| DISPID | Member | Kind | Parameters | Returns | Help string |\n|---:|---|---|---|---|---|\n";
    for (UINT i = 0; i < attr->cFuncs; ++i) FuncRow(view.Get(), i, e.name);
    for (UINT i = 0; i < attr->cVars; ++i) VarRow(view.Get(), i, e.name);
    m_out << "\n";
  }

  void FuncRow(ITypeInfo *info, UINT index, const std::string &owner) {
    Held<FUNCDESC> func = Func(info, index, owner);
    const UINT wanted = static_cast<UINT>(func->cParams) + 1;
    std::vector<BSTR> raw(wanted, nullptr);
    UINT count = 0;
    HRESULT hr = info->GetNames(func->memid, raw.data(), wanted, &count);
    std::vector<std::string> names;
    for (UINT i = 0; i < count && i < wanted; ++i) names.push_back(Take(raw[i]));
    Check(hr, owner + ": GetNames(" + std::to_string(func->memid) + ")");
    if (names.empty()) throw DocError(owner + ": member " + std::to_string(func->memid) + " has no name");
    const std::string member = owner + "." + names[0];
    std::vector<std::string> params;
    for (SHORT p = 0; p < func->cParams; ++p) {
      // A library may leave a parameter unnamed (a property's value often is).
      const size_t n = static_cast<size_t>(p) + 1;
      const std::string name = n < names.size() ? names[n] : "";
      params.push_back("`" + ParamText(info, func->lprgelemdescParam[p], name, member) + "`");
    }
    m_out << "| " << DispidText(func->memid) << " | `" << names[0] << "` | " << InvokeText(*func) << " | "
          << Join(params, "<br>") << " | `" << ReturnText(info, *func, member) << "` | "
          << Cell(Documentation(info, func->memid, member).second) << " |\n";
  }

  // A dispinterface's property.
  void VarRow(ITypeInfo *info, UINT index, const std::string &owner) {
    Held<VARDESC> var = Var(info, index, owner);
    auto [name, help] = Documentation(info, var->memid, owner);
    m_out << "| " << DispidText(var->memid) << " | `" << name << "` | property | | `"
          << TypeText(info, var->elemdescVar.tdesc, owner + "." + name) << "` | " << Cell(help) << " |\n";
  }

  Constant ConstantAt(ITypeInfo *info, UINT index, const std::string &owner) {
    Held<VARDESC> var = Var(info, index, owner);
    Constant c;
    c.name = Documentation(info, var->memid, owner).first;
    if (var->varkind != VAR_CONST || !var->lpvarValue) throw DocError(owner + "." + c.name + " has no value");
    VARIANT value;
    VariantInit(&value);
    Check(VariantChangeType(&value, var->lpvarValue, 0, VT_I4), owner + "." + c.name + ": its value");
    c.value = V_I4(&value);
    return c;
  }

  void Enum(const TypeEntry &e) {
    Held<TYPEATTR> attr = Attr(e.info.Get(), e.name);
    std::vector<Constant> constants;
    for (UINT i = 0; i < attr->cVars; ++i) constants.push_back(ConstantAt(e.info.Get(), i, e.name));
    m_out << "### " << e.name << "\n\n";
    if (!e.help.empty()) m_out << Cell(e.help) << "\n\n";
    const bool errors = !constants.empty() && std::all_of(constants.begin(), constants.end(),
                                                          [](const Constant &c) { return FAILED(c.value); });
    if (errors) {
      ErrorTable(e.name, constants);
    } else {
      m_out << "| Constant | Value |\n|---|---:|\n";
      for (const auto &c : constants) m_out << "| `" << c.name << "` | " << c.value << " |\n";
    }
    m_out << "\n";
  }

  // Failure codes, each with the component's own name and English text for it.
  void ErrorTable(const std::string &owner, const std::vector<Constant> &constants) {
    m_out << "Failure HRESULTs, with the component's English text of each.\n\n";
    m_out << "| Constant | HRESULT | Decimal | Text |\n|---|---|---:|---|\n";
    for (const auto &c : constants) {
      const std::string hex = Hex(static_cast<unsigned>(c.value), 8);
      std::string constant, text, error;
      if (!m_sources.describeError(c.value, &constant, &text, &error)) throw DocError(error);
      if (constant != c.name)
        throw DocError(owner + "." + c.name + " (" + hex + "): the component names this code " + constant);
      m_out << "| `" << c.name << "` | `" << hex << "` | " << c.value << " | " << Cell(text) << " |\n";
    }
  }

  void Other(const TypeEntry &e) {
    Heading(e);
    m_out << "| Kind | " << KindText(e) << " |\n\n";
  }

  const ReferenceSources &m_sources;
  std::vector<TypeEntry> m_types;
  std::set<std::string> m_names;
  std::set<std::string> m_classesSeen;
  std::ostringstream m_out;
};

}  // namespace

bool WriteReference(const ReferenceSources &sources, std::string *markdown, std::string *error) {
  try {
    *markdown = Writer(sources).Write();
    return true;
  } catch (const DocError &e) {
    *error = e.what();
    return false;
  }
}

}  // namespace revdir::interface_doc
