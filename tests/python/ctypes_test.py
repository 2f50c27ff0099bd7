"""Drives the platform library from plain Python through ctypes, the way a
foreign automation client would: BSTRs, VARIANTs and an IErrorInfo vtable."""
import ctypes
import sys
from ctypes import (POINTER, Structure, Union, c_int32, c_uint16, c_uint32,
                    c_int64, c_void_p, byref, cast, CFUNCTYPE)

lib = ctypes.CDLL(sys.argv[1])
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what)


def wide(s):
    data = (s + "\0").encode("utf-16-le")
    return ctypes.create_string_buffer(data, len(data))


def read_bstr(p):
    if not p:
        return None
    n = lib.SysStringByteLen(p)
    return ctypes.string_at(p, n).decode("utf-16-le")


class GUID(Structure):
    _fields_ = [("Data1", c_uint32), ("Data2", c_uint16), ("Data3", c_uint16),
                ("Data4", ctypes.c_uint8 * 8)]


class _Value(Union):
    _fields_ = [("lVal", c_int32), ("llVal", c_int64), ("bstrVal", c_void_p)]


class VARIANT(Structure):
    _fields_ = [("vt", c_uint16), ("r1", c_uint16), ("r2", c_uint16), ("r3", c_uint16),
                ("v", _Value), ("pad", c_void_p)]


assert ctypes.sizeof(VARIANT) == 24

lib.SysAllocString.restype = c_void_p
lib.SysAllocString.argtypes = [c_void_p]
lib.SysStringByteLen.restype = c_uint32
lib.SysStringByteLen.argtypes = [c_void_p]
lib.SysFreeString.argtypes = [c_void_p]
lib.VariantInit.argtypes = [POINTER(VARIANT)]
lib.VariantClear.argtypes = [POINTER(VARIANT)]
lib.VariantClear.restype = c_int32
lib.VariantChangeType.argtypes = [POINTER(VARIANT), POINTER(VARIANT), c_uint16, c_uint16]
lib.VariantChangeType.restype = c_int32
lib.CreateErrorInfo.argtypes = [POINTER(c_void_p)]
lib.CreateErrorInfo.restype = c_int32

# BSTR: the byte length sits before the text.
b = lib.SysAllocString(wide("caf\u00e9"))
check(lib.SysStringByteLen(b) == 8 == c_uint32.from_address(b - 4).value, "the byte length precedes the text")
check(read_bstr(b) == "caf\u00e9", "the text reads back")
lib.SysFreeString(b)

# VARIANT: VT_I4 -> VT_BSTR.
VT_I4, VT_BSTR = 3, 8
src, dst = VARIANT(), VARIANT()
lib.VariantInit(byref(src))
lib.VariantInit(byref(dst))
src.vt = VT_I4
src.v.lVal = -2024
hr = lib.VariantChangeType(byref(dst), byref(src), 0, VT_BSTR)
check(hr == 0, "VariantChangeType I4 -> BSTR succeeds (hr=%#x)" % (hr & 0xffffffff))
check(dst.vt == VT_BSTR and read_bstr(dst.v.bstrVal) == "-2024", "the number as text")
check(lib.VariantClear(byref(dst)) == 0 and dst.vt == 0, "VariantClear frees and empties")

# Error information through the vtables, `this` first in every call.
HRESULT = c_int32
pcei = c_void_p()
check(lib.CreateErrorInfo(byref(pcei)) == 0 and pcei.value, "CreateErrorInfo")


def method(obj, slot, *argtypes, restype=HRESULT):
    vtbl = cast(obj, POINTER(POINTER(c_void_p)))[0]
    return CFUNCTYPE(restype, c_void_p, *argtypes)(vtbl[slot])


# ICreateErrorInfo: QueryInterface, AddRef, Release, SetGUID, SetSource,
# SetDescription, SetHelpFile, SetHelpContext.
text = wide("disk on fire")
check(method(pcei, 5, c_void_p)(pcei, cast(text, c_void_p)) == 0, "SetDescription")
check(method(pcei, 7, c_uint32)(pcei, 99) == 0, "SetHelpContext")
pei = c_void_p()
iid = GUID.in_dll(lib, "IID_IErrorInfo")
check(method(pcei, 0, POINTER(GUID), POINTER(c_void_p))(pcei, byref(iid), byref(pei)) == 0,
      "QueryInterface for IErrorInfo")
# IErrorInfo: ..., GetGUID, GetSource, GetDescription, GetHelpFile, GetHelpContext.
desc = c_void_p()
check(method(pei, 5, POINTER(c_void_p))(pei, byref(desc)) == 0, "GetDescription")
check(read_bstr(desc.value) == "disk on fire", "the description comes back")
lib.SysFreeString(desc)
ctx = c_uint32()
check(method(pei, 7, POINTER(c_uint32))(pei, byref(ctx)) == 0 and ctx.value == 99, "GetHelpContext")
check(method(pei, 2, restype=c_uint32)(pei) == 1, "Release through IErrorInfo")
check(method(pcei, 2, restype=c_uint32)(pcei) == 0, "the last Release")

if failures:
    sys.exit(1)
print("ctypes client: all checks passed")
