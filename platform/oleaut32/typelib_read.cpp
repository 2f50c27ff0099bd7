// Reading the binary type-library format that MIDL and widl write: a header,
// a directory of segments (type infos, imports, names, strings, GUIDs,
// type descriptions, ...), and per type a block of function and variable
// records. Every offset and count is checked against its segment before it
// is followed; custom data and the hash tables are not needed and not read.
#include <string.h>

#include "kernel32/text.h"
#include "oleaut32/typelib_data.h"

namespace platform {

namespace {

constexpr uint32_t kMagic = 0x5446534D;  // "MSFT"
constexpr uint32_t kFormatVersion = 0x00010002;
constexpr size_t kHeaderSize = 0x54;
constexpr uint32_t kHelpDllFlag = 0x100;  // in the header's flags word: one more field follows
constexpr size_t kTypeInfoSize = 100;
constexpr size_t kImpInfoSize = 12;
constexpr uint32_t kImpInfoByGuid = 0x00010000;  // the import names its type by GUID
constexpr size_t kRefRecordSize = 16;
constexpr size_t kFuncFixedSize = 24;
constexpr size_t kParamSize = 12;
constexpr size_t kVarFixedSize = 20;
constexpr uint32_t kFuncHasCustomData = 0x80;
constexpr int kMaxTypeDepth = 8;

enum Segment {
  kSegTypeInfo, kSegImpInfo, kSegImpFiles, kSegRefTab, kSegGuidHash, kSegGuidTab, kSegNameHash,
  kSegNameTab, kSegStringTab, kSegTypeDesc, kSegArrayDesc, kSegCustData, kSegCustDataGuid,
  kSegCount = 15
};

// A bounded view of part of the image: every read is checked, and a failed
// read leaves the view failed for good.
struct Span {
  const BYTE *p = nullptr;
  size_t n = 0;

  bool Has(size_t off, size_t len) const { return off <= n && len <= n - off; }
  bool U32(size_t off, uint32_t *v) const {
    if (!Has(off, 4)) return false;
    memcpy(v, p + off, 4);  // little-endian, as on every target of this layer
    return true;
  }
  bool U16(size_t off, uint16_t *v) const {
    if (!Has(off, 2)) return false;
    memcpy(v, p + off, 2);
    return true;
  }
  Span Sub(size_t off, size_t len) const { return Has(off, len) ? Span{p + off, len} : Span{}; }
};

// Names and help strings are single-byte text; this layer's ANSI page is UTF-8.
std::u16string Decode(const BYTE *p, size_t n) {
  return FromUtf8Lossy(std::string_view(reinterpret_cast<const char *>(p), n));
}

class Image {
 public:
  Image(const BYTE *data, size_t size) : m_all{data, size} {}

  // Reads the header and the segment directory; false when they do not fit.
  bool Open(HRESULT *hr) {
    uint32_t magic = 0, version = 0;
    if (!m_all.U32(0, &magic) || magic != kMagic || !m_all.U32(4, &version) || version != kFormatVersion) {
      *hr = TYPE_E_UNSUPFORMAT;
      return false;
    }
    *hr = TYPE_E_INVDATAREAD;
    if (!m_all.Has(0, kHeaderSize)) return false;
    for (size_t i = 0; i < kHeaderSize / 4; ++i) m_all.U32(4 * i, &m_header[i]);
    size_t dir = kHeaderSize + (Header(5) & kHelpDllFlag ? 4 : 0);
    m_typeCount = Header(8);
    if (m_typeCount > m_all.n / kTypeInfoSize) return false;
    dir += 4 * m_typeCount;  // each type info's offset: always its index times the record size
    for (size_t s = 0; s < kSegCount; ++s) {
      uint32_t off = 0, len = 0;
      if (!m_all.U32(dir + 16 * s, &off) || !m_all.U32(dir + 16 * s + 4, &len)) return false;
      if (off == 0xFFFFFFFF) continue;  // absent
      m_seg[s] = m_all.Sub(off, len);
      if (!m_seg[s].p && len) return false;
    }
    return m_seg[kSegTypeInfo].n / kTypeInfoSize >= m_typeCount;
  }

  uint32_t Header(size_t i) const { return m_header[i]; }
  size_t TypeCount() const { return m_typeCount; }
  const Span &Seg(Segment s) const { return m_seg[s]; }
  const Span &All() const { return m_all; }

  // An entry of the name table: hash-chain words, then a length byte, then the text.
  bool Name(uint32_t off, std::u16string *out) const {
    const Span &t = m_seg[kSegNameTab];
    uint32_t len = 0;
    if (!t.U32(size_t{off} + 8, &len) || !t.Has(size_t{off} + 12, len & 0xFF)) return false;
    *out = Decode(t.p + off + 12, len & 0xFF);
    return true;
  }
  // A name that may be absent (0xFFFFFFFF).
  bool OptName(uint32_t off, std::u16string *out) const { return off == 0xFFFFFFFF || Name(off, out); }

  // An entry of the string table: a 16-bit length, then the text.
  bool String(uint32_t off, std::u16string *out) const {
    if (off == 0xFFFFFFFF) return true;
    const Span &t = m_seg[kSegStringTab];
    uint16_t len = 0;
    if (!t.U16(off, &len) || !t.Has(size_t{off} + 2, len)) return false;
    *out = Decode(t.p + off + 2, len);
    return true;
  }

  bool Guid(uint32_t off, GUID *out) const {
    *out = GUID{};
    if (off == 0xFFFFFFFF) return true;
    const Span &t = m_seg[kSegGuidTab];
    if (!t.Has(off, sizeof(GUID))) return false;
    memcpy(out, t.p + off, sizeof(GUID));
    return true;
  }

 private:
  Span m_all;
  uint32_t m_header[kHeaderSize / 4] = {};
  size_t m_typeCount = 0;
  Span m_seg[kSegCount];
};

class LibReader {
 public:
  LibReader(const Image &img, LibData &lib) : m_img(img), m_lib(lib), m_budget(img.All().n) {}

  // A type reference as stored: the offset of a type info of this library,
  // or (low bit set) of an import record. Only the two standard interfaces
  // are known outside this library.
  bool Href(uint32_t raw, HREFTYPE *out) {
    if (raw & 1) {
      const Span &imp = m_img.Seg(kSegImpInfo);
      uint32_t off = raw - 1, flags = 0, guidOff = 0;
      if (off % kImpInfoSize || !imp.U32(off, &flags) || !imp.U32(off + 8, &guidOff)) return Fail(TYPE_E_INVDATAREAD);
      GUID guid;
      if (!(flags & kImpInfoByGuid) || !m_img.Guid(guidOff, &guid)) return Fail(TYPE_E_INVDATAREAD);
      const LibData &std = StdOleLib();
      for (size_t i = 0; i < std.types.size(); ++i) {
        if (std.types[i].kind == TKIND_INTERFACE && std.types[i].guid == guid) {
          *out = kHrefIUnknown + static_cast<HREFTYPE>(i);
          return true;
        }
      }
      return Fail(TYPE_E_CANTLOADLIBRARY);
    }
    if (raw % kTypeInfoSize || raw / kTypeInfoSize >= m_img.TypeCount()) return Fail(TYPE_E_INVDATAREAD);
    *out = HrefOf(raw / kTypeInfoSize);
    return true;
  }

  // A stored type: negative, a base type inline in the low word; otherwise
  // the offset of an entry of the type-description table, two words: the
  // VARTYPE, then the pointed-to type (stored as here) or the referenced type.
  bool Type(uint32_t raw, TYPEDESC *out, int depth) {
    *out = TYPEDESC{};
    if (depth > kMaxTypeDepth) return Fail(TYPE_E_INVDATAREAD);
    if (raw & 0x80000000) {
      out->vt = static_cast<VARTYPE>(raw & 0xFFFF);
      return IsScalarVt(out->vt) || Fail(TYPE_E_UNSUPFORMAT);
    }
    const Span &t = m_img.Seg(kSegTypeDesc);
    uint32_t w0 = 0, w1 = 0;
    if (!t.U32(raw, &w0) || !t.U32(size_t{raw} + 4, &w1)) return Fail(TYPE_E_INVDATAREAD);
    out->vt = static_cast<VARTYPE>(w0 & 0xFFFF);
    if (out->vt == VT_PTR) {
      TYPEDESC inner;
      if (!Type(w1, &inner, depth + 1)) return false;
      m_lib.nodes.push_back(inner);
      out->lptdesc = &m_lib.nodes.back();
      return true;
    }
    if (out->vt == VT_USERDEFINED) return Href(w1, &out->hreftype);
    return IsScalarVt(out->vt) || Fail(TYPE_E_UNSUPFORMAT);
  }

  bool Read() {
    // Two locale words: the one the library declares is the second.
    m_lib.lcid = m_img.Header(4);
    uint32_t sys = m_img.Header(5) & 0xF;
    if (sys > SYS_WIN64) return Fail(TYPE_E_UNSUPFORMAT);
    m_lib.syskind = static_cast<SYSKIND>(sys);
    m_ptrSize = sys == SYS_WIN64 ? 8 : 4;
    m_lib.major = static_cast<WORD>(m_img.Header(6));
    m_lib.minor = static_cast<WORD>(m_img.Header(6) >> 16);
    // Read from an image, as from a file on disk.
    m_lib.libFlags = static_cast<WORD>(m_img.Header(7)) | LIBFLAG_FHASDISKIMAGE;
    m_lib.helpContext = m_img.Header(11);
    if (!m_img.Guid(m_img.Header(2), &m_lib.guid) || !m_img.Name(m_img.Header(14), &m_lib.name) ||
        !m_img.String(m_img.Header(9), &m_lib.doc) || !m_img.String(m_img.Header(15), &m_lib.helpFile))
      return Fail(TYPE_E_INVDATAREAD);
    m_lib.types.resize(m_img.TypeCount());
    for (size_t i = 0; i < m_img.TypeCount(); ++i)
      if (!ReadType(m_img.Seg(kSegTypeInfo).Sub(i * kTypeInfoSize, kTypeInfoSize), m_lib.types[i])) return false;
    return true;
  }

  HRESULT Hr() const { return m_hr; }

 private:
  bool Fail(HRESULT hr) {
    m_hr = hr;
    return false;
  }

  bool ReadType(const Span &rec, TypeData &t) {
    // kind (low nibble; alignment in bits 11..15), members' block, 4 unknown, member counts, 4 unknown, GUID,
    // flags, name, version, help string, help string context, help context,
    // custom data, implemented-type count and vtable size, instance size,
    // base or first implemented type, 3 unknown.
    uint32_t w[kTypeInfoSize / 4];
    for (size_t i = 0; i < kTypeInfoSize / 4; ++i) rec.U32(4 * i, &w[i]);
    uint32_t kind = w[0] & 0xF, memOffset = w[1], counts = w[6];
    size_t funcCount = counts & 0xFFFF, varCount = counts >> 16;
    t.flags = static_cast<WORD>(w[12]);
    t.major = static_cast<WORD>(w[14]);
    t.minor = static_cast<WORD>(w[14] >> 16);
    t.helpContext = w[17];
    t.instanceSize = w[20];
    t.alignment = static_cast<WORD>((w[0] >> 11) & 0x1F);
    size_t implCount = w[19] & 0xFFFF;
    if (!m_img.Guid(w[11], &t.guid) || !m_img.Name(w[13], &t.name) || !m_img.String(w[15], &t.doc))
      return Fail(TYPE_E_INVDATAREAD);
    switch (kind) {
      case TKIND_ENUM:
        t.kind = TKIND_ENUM;
        if (funcCount || implCount) return Fail(TYPE_E_INVDATAREAD);
        break;
      case TKIND_DISPATCH:
        // A dual interface is stored as its dispatch view; it is modelled
        // as the interface, which presents both views.
        if (!(t.flags & TYPEFLAG_FDUAL)) return Fail(TYPE_E_UNSUPFORMAT);
        [[fallthrough]];
      case TKIND_INTERFACE: {
        t.kind = TKIND_INTERFACE;
        ImplData base;
        if (implCount != 1 || varCount || !Href(w[21], &base.href)) return Fail(m_hr ? m_hr : TYPE_E_INVDATAREAD);
        t.impls.push_back(base);
        break;
      }
      case TKIND_COCLASS:
        t.kind = TKIND_COCLASS;
        if (funcCount || varCount || !ReadImpls(w[21], implCount, t)) return Fail(m_hr ? m_hr : TYPE_E_INVDATAREAD);
        break;
      default:
        return Fail(TYPE_E_UNSUPFORMAT);
    }
    return (!funcCount && !varCount) || ReadMembers(memOffset, funcCount, varCount, t);
  }

  // A coclass's interfaces: a chain of records in the reference table.
  bool ReadImpls(uint32_t first, size_t count, TypeData &t) {
    const Span &refs = m_img.Seg(kSegRefTab);
    if (count > refs.n / kRefRecordSize) return false;
    uint32_t off = first;
    for (size_t i = 0; i < count; ++i) {
      uint32_t raw = 0, flags = 0;
      if (off % kRefRecordSize || !refs.U32(off, &raw) || !refs.U32(size_t{off} + 4, &flags)) return false;
      ImplData impl;
      impl.flags = static_cast<INT>(flags);
      if (!Href(raw, &impl.href)) return false;
      t.impls.push_back(impl);
      if (!refs.U32(size_t{off} + 12, &off)) return false;
    }
    return true;
  }

  // The members' block: its length, the records, then per member its id,
  // its name and the offset of its record.
  bool ReadMembers(uint32_t offset, size_t funcCount, size_t varCount, TypeData &t) {
    const Span &all = m_img.All();
    uint32_t length = 0;
    size_t n = funcCount + varCount;
    if (!all.U32(offset, &length)) return Fail(TYPE_E_INVDATAREAD);
    Span records = all.Sub(size_t{offset} + 4, length);
    Span index = all.Sub(size_t{offset} + 4 + length, 12 * n);
    if (!records.p || !index.p) return Fail(TYPE_E_INVDATAREAD);
    for (size_t k = 0; k < n; ++k) {
      uint32_t memid = 0, name = 0, at = 0, info = 0;
      index.U32(4 * k, &memid);
      index.U32(4 * (n + k), &name);
      index.U32(4 * (2 * n + k), &at);
      if (!records.U32(at, &info)) return Fail(TYPE_E_INVDATAREAD);
      Span rec = records.Sub(at, info & 0xFFFF);
      // All the records read, shared ones counted each time, fit in the
      // image: members or types that share records cannot multiply what
      // is built from it.
      if (!rec.p || rec.n > m_budget) return Fail(TYPE_E_INVDATAREAD);
      m_budget -= rec.n;
      bool ok;
      if (k < funcCount) {
        t.funcs.emplace_back();
        t.funcs.back().memid = static_cast<MEMBERID>(memid);
        ok = m_img.Name(name, &t.funcs.back().name) && ReadFunc(rec, t.funcs.back());
      } else {
        t.vars.emplace_back();
        t.vars.back().memid = static_cast<MEMBERID>(memid);
        ok = m_img.Name(name, &t.vars.back().name) && ReadVar(rec, t.vars.back());
      }
      if (!ok) return Fail(m_hr ? m_hr : TYPE_E_INVDATAREAD);
    }
    return true;
  }

  // A function record: size, return type, flags, vtable offset, kinds and
  // calling convention, argument count; then optional words (help context,
  // help string, ...); then one record per parameter at the end.
  bool ReadFunc(const Span &rec, FuncData &f) {
    uint32_t ret = 0, flags = 0, vft = 0, kinds = 0, args = 0;
    if (rec.n < kFuncFixedSize) return false;
    rec.U32(4, &ret);
    rec.U32(8, &flags);
    rec.U32(12, &vft);
    rec.U32(16, &kinds);
    rec.U32(20, &args);
    size_t argCount = args & 0xFFFF;
    if (argCount > (rec.n - kFuncFixedSize) / kParamSize) return false;
    size_t optional = (rec.n - kFuncFixedSize - argCount * kParamSize) / 4;
    if (kinds & kFuncHasCustomData) optional = optional >= argCount ? optional - argCount : 0;
    uint32_t invkind = (kinds >> 3) & 0xF;
    if (invkind != INVOKE_FUNC && invkind != INVOKE_PROPERTYGET && invkind != INVOKE_PROPERTYPUT &&
        invkind != INVOKE_PROPERTYPUTREF)
      return false;
    if ((kinds & 7) != FUNC_PUREVIRTUAL || (vft & 0xFFFF) % m_ptrSize) return Fail(TYPE_E_UNSUPFORMAT);
    f.invkind = static_cast<INVOKEKIND>(invkind);
    f.flags = static_cast<WORD>(flags);
    f.slot = static_cast<USHORT>((vft & 0xFFFF) / m_ptrSize);
    uint32_t doc = 0xFFFFFFFF;
    if (optional > 0) rec.U32(kFuncFixedSize, &f.helpContext);
    if (optional > 1) rec.U32(kFuncFixedSize + 4, &doc);
    if (!m_img.String(doc, &f.doc) || !Type(ret, &f.ret, 0)) return false;
    size_t params = rec.n - argCount * kParamSize;
    for (size_t p = 0; p < argCount; ++p) {
      uint32_t type = 0, name = 0, pflags = 0;
      rec.U32(params + p * kParamSize, &type);
      rec.U32(params + p * kParamSize + 4, &name);
      rec.U32(params + p * kParamSize + 8, &pflags);
      ParamData pd;
      pd.flags = static_cast<USHORT>(pflags);
      if (!m_img.OptName(name, &pd.name) || !Type(type, &pd.tdesc, 0)) return false;
      // Default values are not modelled; a retval is the last parameter, an [out] pointer.
      if (pd.flags & PARAMFLAG_FHASDEFAULT) return Fail(TYPE_E_UNSUPFORMAT);
      if ((pd.flags & PARAMFLAG_FRETVAL) &&
          (p + 1 != argCount || !(pd.flags & PARAMFLAG_FOUT) || pd.tdesc.vt != VT_PTR))
        return false;
      f.params.push_back(std::move(pd));
    }
    return true;
  }

  // A variable record: size, type, flags, kind, then the constant's value:
  // negative, a small value inline (its VARTYPE in bits 26..30); otherwise
  // the offset of a VARTYPE and value in the custom-data segment.
  bool ReadVar(const Span &rec, VarData &v) {
    uint32_t type = 0, kind = 0, value = 0, doc = 0xFFFFFFFF;
    if (rec.n < kVarFixedSize) return false;
    rec.U32(4, &type);
    rec.U32(12, &kind);
    rec.U32(16, &value);
    size_t optional = (rec.n - kVarFixedSize) / 4;
    if (optional > 0) rec.U32(kVarFixedSize, &v.helpContext);
    if (optional > 1) rec.U32(kVarFixedSize + 4, &doc);
    TYPEDESC td;
    if ((kind & 0xFFFF) != VAR_CONST) return Fail(TYPE_E_UNSUPFORMAT);
    if (!m_img.String(doc, &v.doc) || !Type(type, &td, 0)) return false;
    v.type = td.vt;
    if (value & 0x80000000) {
      v.valueVt = static_cast<VARTYPE>((value >> 26) & 0x1F);
      v.value = static_cast<LONG>(value & 0x03FFFFFF);
    } else {
      const Span &cd = m_img.Seg(kSegCustData);
      uint16_t vt = 0;
      uint32_t raw = 0;
      if (!cd.U16(value, &vt) || !cd.U32(size_t{value} + 2, &raw)) return false;
      v.valueVt = vt;
      v.value = static_cast<LONG>(raw);
    }
    // Enumeration constants: 32-bit integers.
    if (v.valueVt != VT_I4 && v.valueVt != VT_INT && v.valueVt != VT_UI4) return Fail(TYPE_E_UNSUPFORMAT);
    return true;
  }

  const Image &m_img;
  LibData &m_lib;
  size_t m_ptrSize = 8;
  size_t m_budget;  // bytes of member records left to read
  HRESULT m_hr = S_OK;
};

}  // namespace

std::unique_ptr<LibData> ParseTypeLib(const BYTE *data, size_t size, HRESULT *hr) {
  *hr = TYPE_E_UNSUPFORMAT;
  if (!data) return nullptr;
  Image img(data, size);
  if (!img.Open(hr)) return nullptr;
  auto lib = std::make_unique<LibData>();
  LibReader reader(img, *lib);
  if (!reader.Read()) {
    *hr = reader.Hr() ? reader.Hr() : TYPE_E_INVDATAREAD;
    return nullptr;
  }
  // Real libraries spend far more than a byte of image per vtable slot.
  if (!LinkLib(*lib, size)) {
    *hr = TYPE_E_INVDATAREAD;
    return nullptr;
  }
  *hr = S_OK;
  return lib;
}

}  // namespace platform
