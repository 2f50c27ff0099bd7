#!/usr/bin/env python3
"""Compiles an automation interface description (the MIDL subset this project
uses) into a serialized type library that the platform layer loads as the
module's TYPELIB resource (widl writes the header and the identifiers).

usage: idl2cpp.py IDL --tlb OUT.tlb

Serialized type library (all integers little-endian; str = u16 byte length,
then UTF-8):
  magic "RDTL", u16 format (1), u16 0
  library: guid[16], u32 lcid, u16 major, u16 minor, u16 libflags, u16 syskind,
           str name, str doc, u32 helpcontext, str helpfile
  u16 type count, then per type:
    u8 typekind, guid[16], str name, str doc, u32 helpcontext,
    u16 typeflags, u16 major, u16 minor,
    u16 impl count, per impl: u32 href, u16 implflags
    u16 func count, per func: i32 memid, u16 invkind, u16 funcflags,
        u16 vtable slot, str name, str doc, u32 helpcontext, tdesc result,
        u16 param count, per param: str name, u16 paramflags, tdesc
    u16 var count, per var: i32 memid, str name, str doc, u32 helpcontext,
        i32 value (enumeration constants, VT_I4)
  tdesc: u16 vt; VT_PTR is followed by the pointee's tdesc, VT_USERDEFINED
  by u32 href.
  href: index of a type of this library, or 0xFFFFFF00 + n for the standard
  interfaces IUnknown (n = 0) and IDispatch (n = 1).
"""

import argparse
import re
import struct
import sys
import uuid as uuidlib

# VARENUM values.
VT_I2, VT_I4, VT_R4, VT_R8, VT_CY, VT_DATE, VT_BSTR, VT_DISPATCH = 2, 3, 4, 5, 6, 7, 8, 9
VT_ERROR, VT_BOOL, VT_VARIANT, VT_UNKNOWN = 10, 11, 12, 13
VT_I1, VT_UI1, VT_UI2, VT_UI4, VT_I8, VT_UI8, VT_INT, VT_UINT = 16, 17, 18, 19, 20, 21, 22, 23
VT_VOID, VT_HRESULT, VT_PTR, VT_USERDEFINED = 24, 25, 26, 29

TKIND_ENUM, TKIND_INTERFACE, TKIND_DISPATCH, TKIND_COCLASS = 0, 3, 4, 5
TYPEFLAG_FCANCREATE, TYPEFLAG_FHIDDEN = 0x2, 0x10
TYPEFLAG_FDUAL, TYPEFLAG_FNONEXTENSIBLE, TYPEFLAG_FOLEAUTOMATION = 0x40, 0x80, 0x100
TYPEFLAG_FRESTRICTED, TYPEFLAG_FDISPATCHABLE = 0x200, 0x1000
INVOKE_FUNC, INVOKE_PROPERTYGET, INVOKE_PROPERTYPUT, INVOKE_PROPERTYPUTREF = 1, 2, 4, 8
FUNCFLAG_FRESTRICTED, FUNCFLAG_FHIDDEN = 0x1, 0x40
PARAMFLAG_FIN, PARAMFLAG_FOUT, PARAMFLAG_FLCID, PARAMFLAG_FRETVAL, PARAMFLAG_FOPT = 0x1, 0x2, 0x4, 0x8, 0x10
IMPLTYPEFLAG_FDEFAULT, IMPLTYPEFLAG_FSOURCE, IMPLTYPEFLAG_FRESTRICTED = 0x1, 0x2, 0x4
HREF_IUNKNOWN, HREF_IDISPATCH = 0xFFFFFF00, 0xFFFFFF01

# Base types: IDL spelling -> (VARTYPE, C++ spelling).
BASE_TYPES = {
    "long": (VT_I4, "LONG"), "unsigned long": (VT_UI4, "ULONG"),
    "int": (VT_INT, "INT"), "unsigned int": (VT_UINT, "UINT"),
    "short": (VT_I2, "SHORT"), "unsigned short": (VT_UI2, "USHORT"),
    "char": (VT_I1, "CHAR"), "unsigned char": (VT_UI1, "BYTE"), "byte": (VT_UI1, "BYTE"),
    "hyper": (VT_I8, "LONGLONG"), "__int64": (VT_I8, "LONGLONG"),
    "float": (VT_R4, "FLOAT"), "double": (VT_R8, "DOUBLE"),
    "LONG": (VT_I4, "LONG"), "ULONG": (VT_UI4, "ULONG"), "INT": (VT_INT, "INT"), "UINT": (VT_UINT, "UINT"),
    "SHORT": (VT_I2, "SHORT"), "USHORT": (VT_UI2, "USHORT"), "BYTE": (VT_UI1, "BYTE"),
    "DWORD": (VT_UI4, "DWORD"), "BOOL": (VT_I4, "BOOL"), "SCODE": (VT_ERROR, "SCODE"),
    "BSTR": (VT_BSTR, "BSTR"), "VARIANT_BOOL": (VT_BOOL, "VARIANT_BOOL"), "HRESULT": (VT_HRESULT, "HRESULT"),
    "VARIANT": (VT_VARIANT, "VARIANT"), "DATE": (VT_DATE, "DATE"), "CURRENCY": (VT_CY, "CY"), "CY": (VT_CY, "CY"),
    "void": (VT_VOID, "void"),
}
# Interfaces whose pointer is a VARTYPE of its own (the pointer is implied).
STD_INTERFACES = {"IUnknown": (VT_UNKNOWN, HREF_IUNKNOWN), "IDispatch": (VT_DISPATCH, HREF_IDISPATCH)}
KNOWN_IMPORTS = {"oaidl.idl": "oaidl.h", "ocidl.idl": "ocidl.h", "objidl.idl": "objidl.h",
                 "unknwn.idl": "unknwn.h", "wtypes.idl": "wtypes.h"}


class IdlError(Exception):
    pass


# ---------------------------------------------------------------- lexing

TOKEN_RE = re.compile(r"""
    (?P<ws>\s+|//[^\n]*|/\*.*?\*/)
  | (?P<string>"(?:[^"\\\n]|\\.)*")
  | (?P<guid>[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12})
  | (?P<number>0[xX][0-9A-Fa-f]+[uUlL]*|\d+(?:\.\d+)?[uUlL]*)
  | (?P<ident>[A-Za-z_][A-Za-z_0-9]*)
  | (?P<punct><<|>>|[\[\](){};,:*=|&~+\-<>.])
""", re.VERBOSE | re.DOTALL)


class Token:
    def __init__(self, kind, text, line):
        self.kind, self.text, self.line = kind, text, line

    def __repr__(self):
        return f"{self.text!r}@{self.line}"


def tokenize(text, filename):
    pos, line, out = 0, 1, []
    while pos < len(text):
        if text[pos] == "#":  # preprocessor lines (include guards, defines) carry nothing we need
            end = text.find("\n", pos)
            pos = len(text) if end < 0 else end
            continue
        m = TOKEN_RE.match(text, pos)
        if not m:
            raise IdlError(f"{filename}:{line}: unexpected character {text[pos]!r}")
        kind = m.lastgroup
        if kind != "ws":
            out.append(Token(kind, m.group(kind), line))
        line += m.group(0).count("\n")
        pos = m.end()
    out.append(Token("eof", "", line))
    return out


# ---------------------------------------------------------------- model

class TypeRef:
    """A declared type: a base name plus the number of '*'."""

    def __init__(self, name, ptrs):
        self.name, self.ptrs = name, ptrs


class Param:
    def __init__(self, attrs, type_, name):
        self.attrs, self.type, self.name = attrs, type_, name


class Method:
    def __init__(self, attrs, ret, name, params, line):
        self.attrs, self.ret, self.name, self.params, self.line = attrs, ret, name, params, line
        self.slot = None


class Interface:
    def __init__(self, name, attrs, base, methods, line):
        self.name, self.attrs, self.base, self.methods, self.line = name, attrs, base, methods, line


class Enum:
    def __init__(self, name, attrs, members):
        self.name, self.attrs, self.members = name, attrs, members


class Coclass:
    def __init__(self, name, attrs, impls):
        self.name, self.attrs, self.impls = name, attrs, impls


class Library:
    def __init__(self, name, attrs, items):
        self.name, self.attrs, self.items = name, attrs, items


# ---------------------------------------------------------------- parsing

class Parser:
    def __init__(self, tokens, filename):
        self.toks, self.i, self.filename = tokens, 0, filename
        self.imports, self.items, self.library = [], [], None

    def peek(self, k=0):
        return self.toks[min(self.i + k, len(self.toks) - 1)]

    def error(self, msg, tok=None):
        tok = tok or self.peek()
        raise IdlError(f"{self.filename}:{tok.line}: {msg} (at {tok.text or 'end of file'!r})")

    def next(self):
        tok = self.peek()
        self.i += 1
        return tok

    def accept(self, text):
        if self.peek().text == text and self.peek().kind != "string":
            return self.next()
        return None

    def expect(self, text):
        tok = self.next()
        if tok.text != text or tok.kind == "string":
            self.i -= 1
            self.error(f"expected {text!r}")
        return tok

    def ident(self):
        tok = self.next()
        if tok.kind != "ident":
            self.i -= 1
            self.error("expected a name")
        return tok.text

    def string(self):
        tok = self.next()
        if tok.kind != "string":
            self.i -= 1
            self.error("expected a string")
        return re.sub(r"\\(.)", lambda m: {"n": "\n", "t": "\t"}.get(m.group(1), m.group(1)), tok.text[1:-1])

    # [a, b(x), c("y")] -> {name: [argument token lists]}; order kept.
    def attributes(self):
        attrs = {}
        if not self.accept("["):
            return attrs
        if self.accept("]"):
            return attrs
        while True:
            name = self.ident()
            args = []
            if self.accept("("):
                depth, cur = 0, []
                while True:
                    tok = self.next()
                    if tok.kind == "eof":
                        self.error("unterminated attribute")
                    if tok.text == "(" and tok.kind == "punct":
                        depth += 1
                    elif tok.text == ")" and tok.kind == "punct":
                        if depth == 0:
                            break
                        depth -= 1
                    elif tok.text == "," and tok.kind == "punct" and depth == 0:
                        args.append(cur)
                        cur = []
                        continue
                    cur.append(tok)
                args.append(cur)
            if name in attrs:
                self.error(f"attribute {name!r} given twice")
            attrs[name] = args
            if self.accept("]"):
                return attrs
            self.expect(",")

    def parse(self):
        while self.peek().kind != "eof":
            self.top_item(self.items, in_library=False)
        return self

    def top_item(self, items, in_library):
        tok = self.peek()
        if tok.text == "import":
            self.next()
            while True:
                self.imports.append(self.string())
                if not self.accept(","):
                    break
            self.expect(";")
            return
        if tok.text == "importlib":
            self.next()
            self.expect("(")
            lib = self.string()
            self.expect(")")
            self.expect(";")
            if lib.lower() != "stdole2.tlb":
                self.error(f"only stdole2.tlb can be imported, not {lib!r}", tok)
            return
        if tok.text == "cpp_quote":
            self.next()
            self.expect("(")
            self.string()
            self.expect(")")
            return
        attrs = self.attributes()
        tok = self.peek()
        if tok.text == "library":
            if in_library or self.library:
                self.error("only one library block is allowed")
            self.next()
            name = self.ident()
            self.expect("{")
            lib_items = []
            while not self.accept("}"):
                if self.peek().kind == "eof":
                    self.error("unterminated library")
                self.top_item(lib_items, in_library=True)
            self.accept(";")
            self.library = Library(name, attrs, lib_items)
            items.extend(lib_items)
        elif tok.text == "interface":
            self.next()
            name = self.ident()
            if self.accept(";"):
                return  # forward declaration
            base = None
            if self.accept(":"):
                base = self.ident()
            self.expect("{")
            methods = []
            while not self.accept("}"):
                methods.append(self.method())
            self.accept(";")
            items.append(Interface(name, attrs, base, methods, tok.line))
        elif tok.text == "typedef":
            self.next()
            tattrs = self.attributes()
            if attrs:
                self.error("attributes of a typedef follow the keyword")
            self.expect("enum")
            tag = self.ident() if self.peek().kind == "ident" else None
            self.expect("{")
            members, value = [], 0
            while not self.accept("}"):
                mattrs = self.attributes()
                mname = self.ident()
                if self.accept("="):
                    value = self.const_expr()
                if not -2**31 <= value < 2**32:
                    self.error(f"value of {mname} does not fit in 32 bits")
                value = value - 2**32 if value >= 2**31 else value
                members.append((mname, value, mattrs))
                value += 1
                if not self.accept(","):
                    self.expect("}")
                    break
            name = self.ident()
            if tag and tag != name:
                self.error(f"enumeration tag {tag!r} differs from its name {name!r}")
            self.expect(";")
            items.append(Enum(name, tattrs, members))
        elif tok.text == "coclass":
            self.next()
            name = self.ident()
            self.expect("{")
            impls = []
            while not self.accept("}"):
                iattrs = self.attributes()
                if not (self.accept("interface") or self.accept("dispinterface")):
                    self.error("expected 'interface'")
                impls.append((self.ident(), iattrs))
                self.expect(";")
            self.accept(";")
            items.append(Coclass(name, attrs, impls))
        else:
            self.error("expected library, interface, typedef enum or coclass")

    def const_expr(self):
        # Integer constants with unary minus, parentheses, | and <<: enough for flag values.
        def primary():
            if self.accept("("):
                v = expr()
                self.expect(")")
                return v
            if self.accept("-"):
                return -primary()
            if self.accept("~"):
                return ~primary()
            tok = self.next()
            if tok.kind != "number":
                self.i -= 1
                self.error("expected an integer")
            return int(tok.text.rstrip("uUlL"), 0)

        def shift():
            v = primary()
            while self.peek().text in ("<<", ">>"):
                op = self.next().text
                v = v << primary() if op == "<<" else v >> primary()
            return v

        def expr():
            v = shift()
            while self.peek().text in ("|", "+"):
                op = self.next().text
                v = v | shift() if op == "|" else v + shift()
            return v
        return expr()

    def type_(self):
        self.accept("const")
        first = self.ident()
        if first in ("unsigned", "signed"):
            nxt = self.peek().text
            if nxt in ("long", "int", "short", "char", "hyper"):
                self.next()
                name = ("unsigned " if first == "unsigned" else "") + nxt
            else:
                name = "unsigned int" if first == "unsigned" else "int"
        else:
            name = first
        self.accept("const")
        ptrs = 0
        while self.accept("*"):
            ptrs += 1
        return TypeRef(name, ptrs)

    def method(self):
        attrs = self.attributes()
        line = self.peek().line
        ret = self.type_()
        name = self.ident()
        self.expect("(")
        params = []
        if not self.accept(")"):
            if self.peek().text == "void" and self.peek(1).text == ")":
                self.next()
                self.next()
            else:
                while True:
                    pattrs = self.attributes()
                    ptype = self.type_()
                    pname = self.ident()
                    params.append(Param(pattrs, ptype, pname))
                    if self.accept(")"):
                        break
                    self.expect(",")
        self.expect(";")
        return Method(attrs, ret, name, params, line)


# ---------------------------------------------------------------- semantics

def attr_guid(attrs, what):
    args = attrs.get("uuid")
    if not args or len(args) != 1 or len(args[0]) != 1:
        raise IdlError(f"{what} needs uuid(...)")
    tok = args[0][0]
    text = tok.text.strip('"')
    try:
        return uuidlib.UUID(text)
    except ValueError:
        raise IdlError(f"{what}: bad uuid {text!r}")


def attr_string(attrs, name):
    args = attrs.get(name)
    if not args:
        return ""
    if len(args) != 1 or len(args[0]) != 1 or args[0][0].kind != "string":
        raise IdlError(f"attribute {name} takes one string")
    return Parser([args[0][0], Token("eof", "", 0)], "").string()


def attr_int(attrs, name, default=None):
    args = attrs.get(name)
    if not args:
        return default
    p = Parser(args[0] + [Token("eof", "", 0)], "")
    v = p.const_expr()
    if p.peek().kind != "eof":
        raise IdlError(f"attribute {name}: expected one integer")
    return v


def attr_version(attrs):
    args = attrs.get("version")
    if not args:
        return (0, 0)
    text = "".join(t.text for t in args[0])
    m = re.fullmatch(r"(\d+)(?:\.(\d+))?", text)
    if not m:
        raise IdlError(f"bad version {text!r}")
    return (int(m.group(1)), int(m.group(2) or 0))


class Model:
    """Resolves names, numbers slots and decides what the type library holds."""

    def __init__(self, parser):
        self.p = parser
        self.lib = parser.library
        if not self.lib:
            raise IdlError("no library block")
        self.by_name = {}
        for item in parser.items:
            if item.name in self.by_name or item.name in BASE_TYPES or item.name in STD_INTERFACES:
                raise IdlError(f"{item.name} is defined twice")
            self.by_name[item.name] = item
        # The type library holds what the library block declares, plus what
        # that references (as MIDL does), in order of first appearance.
        order = [i for i in parser.items if i in self.lib.items]
        seen = set(id(i) for i in order)
        k = 0
        while k < len(order):
            for ref in self.references(order[k]):
                if id(ref) not in seen:
                    seen.add(id(ref))
                    order.append(ref)
            k += 1
        self.types = order
        self.index = {t.name: n for n, t in enumerate(self.types)}
        for item in parser.items:
            if isinstance(item, Interface):
                self.check_interface(item)
        self.number_slots()

    def lookup(self, name, what):
        item = self.by_name.get(name)
        if item is None:
            raise IdlError(f"{what}: unknown type {name!r}")
        return item

    def references(self, item):
        out = []
        if isinstance(item, Interface):
            if item.base and item.base not in STD_INTERFACES:
                out.append(self.lookup(item.base, item.name))
            for m in item.methods:
                for t in [m.ret] + [p.type for p in m.params]:
                    if t.name not in BASE_TYPES and t.name not in STD_INTERFACES:
                        out.append(self.lookup(t.name, f"{item.name}::{m.name}"))
        elif isinstance(item, Coclass):
            for name, _ in item.impls:
                if name not in STD_INTERFACES:
                    out.append(self.lookup(name, item.name))
        return out

    def check_interface(self, itf):
        if not itf.base:
            raise IdlError(f"{itf.name} needs a base interface")
        if itf.base not in STD_INTERFACES and not isinstance(self.lookup(itf.base, itf.name), Interface):
            raise IdlError(f"{itf.name}: base {itf.base} is not an interface")
        seen, cur = {itf.name}, itf
        while cur.base not in STD_INTERFACES:
            cur = self.by_name[cur.base]
            if cur.name in seen:
                raise IdlError(f"{itf.name}: circular inheritance")
            seen.add(cur.name)
        ids = {}
        for m in itf.methods:
            if m.ret.name != "HRESULT" and "dual" in itf.attrs:
                raise IdlError(f"{itf.name}::{m.name}: members of a dual interface return HRESULT")
            kinds = [k for k in ("propget", "propput", "propputref") if k in m.attrs]
            if len(kinds) > 1:
                raise IdlError(f"{itf.name}::{m.name}: more than one property kind")
            kind = kinds[0] if kinds else "method"
            if "id" in m.attrs:
                key = (attr_int(m.attrs, "id"), kind)
                if key in ids:
                    raise IdlError(f"{itf.name}::{m.name}: id({key[0]}) used twice")
                ids[key] = m
            for n, prm in enumerate(m.params):
                if "retval" in prm.attrs and ("out" not in prm.attrs or n != len(m.params) - 1):
                    raise IdlError(f"{itf.name}::{m.name}: retval must be the last parameter and [out]")
                if "out" in prm.attrs and prm.type.ptrs < 1:
                    raise IdlError(f"{itf.name}::{m.name}: [out] parameter {prm.name} is not a pointer")

    def base_slots(self, name):
        if name == "IUnknown":
            return 3
        if name == "IDispatch":
            return 7
        itf = self.by_name[name]
        return self.base_slots(itf.base) + len(itf.methods)

    def number_slots(self):
        for item in self.p.items:
            if isinstance(item, Interface):
                first = self.base_slots(item.base)
                for n, m in enumerate(item.methods):
                    m.slot = first + n

    def is_dispatch_based(self, name):
        while name not in STD_INTERFACES:
            name = self.by_name[name].base
        return name == "IDispatch"

    # tdesc of a declared type as a nested tuple: (vt, inner) or (VT_USERDEFINED, href).
    def tdesc(self, t, what):
        if t.name in BASE_TYPES:
            vt = BASE_TYPES[t.name][0]
            desc = (vt,)
            ptrs = t.ptrs
        elif t.name in STD_INTERFACES:
            if t.ptrs < 1:
                raise IdlError(f"{what}: {t.name} used without a pointer")
            desc = (STD_INTERFACES[t.name][0],)
            ptrs = t.ptrs - 1
        else:
            item = self.lookup(t.name, what)
            if t.name not in self.index:
                raise IdlError(f"{what}: {t.name} is not in the type library")
            if isinstance(item, Interface) and t.ptrs < 1:
                raise IdlError(f"{what}: interface {t.name} used without a pointer")
            if isinstance(item, Coclass):
                raise IdlError(f"{what}: a coclass is not a parameter type")
            desc = (VT_USERDEFINED, self.index[t.name])
            ptrs = t.ptrs
        for _ in range(ptrs):
            desc = (VT_PTR, desc)
        return desc


# ---------------------------------------------------------------- outputs

class Writer:
    def __init__(self):
        self.buf = bytearray()

    def u8(self, v):
        self.buf += struct.pack("<B", v)

    def u16(self, v):
        self.buf += struct.pack("<H", v)

    def u32(self, v):
        self.buf += struct.pack("<I", v & 0xFFFFFFFF)

    def i32(self, v):
        self.buf += struct.pack("<i", v)

    def guid(self, g):
        self.buf += g.bytes_le

    def str(self, s):
        b = s.encode("utf-8")
        if len(b) > 0xFFFF:
            raise IdlError("string too long for the type library")
        self.u16(len(b))
        self.buf += b

    def tdesc(self, d):
        self.u16(d[0])
        if d[0] == VT_PTR:
            self.tdesc(d[1])
        elif d[0] == VT_USERDEFINED:
            self.u32(d[1])


def href_of(model, name):
    if name in STD_INTERFACES:
        return STD_INTERFACES[name][1]
    return model.index[name]


def emit_typelib(model):
    w = Writer()
    w.buf += b"RDTL"
    w.u16(1)
    w.u16(0)
    lib = model.lib
    w.guid(attr_guid(lib.attrs, lib.name))
    w.u32(attr_int(lib.attrs, "lcid", 0))
    major, minor = attr_version(lib.attrs)
    w.u16(major)
    w.u16(minor)
    libflags = (0x1 if "restricted" in lib.attrs else 0) | (0x2 if "control" in lib.attrs else 0) | \
               (0x4 if "hidden" in lib.attrs else 0)
    w.u16(libflags)
    w.u16(3)  # SYS_WIN64
    w.str(lib.name)
    w.str(attr_string(lib.attrs, "helpstring"))
    w.u32(attr_int(lib.attrs, "helpcontext", 0))
    w.str(attr_string(lib.attrs, "helpfile"))
    if len(model.types) > 0xFFFF:
        raise IdlError("too many types")
    w.u16(len(model.types))
    for t in model.types:
        flags = 0
        if "hidden" in t.attrs:
            flags |= TYPEFLAG_FHIDDEN
        if "restricted" in t.attrs:
            flags |= TYPEFLAG_FRESTRICTED
        if isinstance(t, Enum):
            kind, guid = TKIND_ENUM, (attr_guid(t.attrs, t.name) if "uuid" in t.attrs else uuidlib.UUID(int=0))
        elif isinstance(t, Interface):
            kind, guid = TKIND_INTERFACE, attr_guid(t.attrs, t.name)
            if "dual" in t.attrs:
                if not model.is_dispatch_based(t.name):
                    raise IdlError(f"{t.name}: a dual interface derives from IDispatch")
                flags |= TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION
            if "oleautomation" in t.attrs:
                flags |= TYPEFLAG_FOLEAUTOMATION
            if "nonextensible" in t.attrs:
                flags |= TYPEFLAG_FNONEXTENSIBLE
            if model.is_dispatch_based(t.name):
                flags |= TYPEFLAG_FDISPATCHABLE
        else:
            kind, guid = TKIND_COCLASS, attr_guid(t.attrs, t.name)
            if "noncreatable" not in t.attrs:
                flags |= TYPEFLAG_FCANCREATE
        w.u8(kind)
        w.guid(guid)
        w.str(t.name)
        w.str(attr_string(t.attrs, "helpstring"))
        w.u32(attr_int(t.attrs, "helpcontext", 0))
        w.u16(flags)
        major, minor = attr_version(t.attrs)
        w.u16(major)
        w.u16(minor)
        if isinstance(t, Interface):
            w.u16(1)
            w.u32(href_of(model, t.base))
            w.u16(0)
        elif isinstance(t, Coclass):
            w.u16(len(t.impls))
            for name, iattrs in t.impls:
                w.u32(href_of(model, name))
                w.u16((IMPLTYPEFLAG_FDEFAULT if "default" in iattrs else 0) |
                      (IMPLTYPEFLAG_FSOURCE if "source" in iattrs else 0) |
                      (IMPLTYPEFLAG_FRESTRICTED if "restricted" in iattrs else 0))
        else:
            w.u16(0)
        if isinstance(t, Interface):
            w.u16(len(t.methods))
            # Members without id() are numbered as MIDL numbers them: 0x60000000 + index
            # within the interface's own members (plus the base's count for derived ones).
            for n, m in enumerate(t.methods):
                what = f"{t.name}::{m.name}"
                memid = attr_int(m.attrs, "id", 0x60000000 + (m.slot - 7 if model.is_dispatch_based(t.name) else m.slot))
                invkind = INVOKE_PROPERTYGET if "propget" in m.attrs else INVOKE_PROPERTYPUT if "propput" in m.attrs \
                    else INVOKE_PROPERTYPUTREF if "propputref" in m.attrs else INVOKE_FUNC
                fflags = (FUNCFLAG_FRESTRICTED if "restricted" in m.attrs else 0) | \
                         (FUNCFLAG_FHIDDEN if "hidden" in m.attrs else 0)
                w.i32(memid if memid < 2**31 else memid - 2**32)
                w.u16(invkind)
                w.u16(fflags)
                w.u16(m.slot)
                w.str(m.name)
                w.str(attr_string(m.attrs, "helpstring"))
                w.u32(attr_int(m.attrs, "helpcontext", 0))
                w.tdesc(model.tdesc(m.ret, what))
                w.u16(len(m.params))
                for prm in m.params:
                    pflags = (PARAMFLAG_FIN if "in" in prm.attrs else 0) | \
                             (PARAMFLAG_FOUT if "out" in prm.attrs else 0) | \
                             (PARAMFLAG_FRETVAL if "retval" in prm.attrs else 0) | \
                             (PARAMFLAG_FLCID if "lcid" in prm.attrs else 0) | \
                             (PARAMFLAG_FOPT if "optional" in prm.attrs else 0)
                    w.str(prm.name)
                    w.u16(pflags)
                    w.tdesc(model.tdesc(prm.type, f"{what}({prm.name})"))
        else:
            w.u16(0)
        if isinstance(t, Enum):
            w.u16(len(t.members))
            for n, (name, value, mattrs) in enumerate(t.members):
                w.i32(0x40000000 + n)  # memids of enumeration constants, as MIDL gives them
                w.str(name)
                w.str(attr_string(mattrs, "helpstring"))
                w.u32(attr_int(mattrs, "helpcontext", 0))
                w.i32(value)
        else:
            w.u16(0)
    return bytes(w.buf)


def write_if_changed(path, data):
    mode = "wb" if isinstance(data, bytes) else "w"
    try:
        with open(path, "rb") as f:
            old = f.read()
        if old == (data if isinstance(data, bytes) else data.encode("utf-8")):
            return
    except OSError:
        pass
    tmp = path + ".tmp"
    with open(tmp, mode) as f:
        f.write(data)
    import os
    os.replace(tmp, path)


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("idl")
    ap.add_argument("--tlb", required=True)
    args = ap.parse_args(argv)
    try:
        with open(args.idl, encoding="utf-8") as f:
            text = f.read()
        parser = Parser(tokenize(text, args.idl), args.idl).parse()
        model = Model(parser)
        outputs = [(args.tlb, emit_typelib(model))]
    except (IdlError, OSError, UnicodeDecodeError) as e:
        print(f"idl2cpp: {e}", file=sys.stderr)
        return 1
    for path, data in outputs:
        write_if_changed(path, data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
