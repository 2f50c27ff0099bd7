"""What C++ tests cannot show: the platform library's exports are callable
from another language. Plain C exports by their Win32 names, and a COM
interface through its vtable, `this` first, from Python's ctypes. What the
functions do is tested in C++ (tests/platform)."""
import ctypes
import sys
from ctypes import (POINTER, Structure, c_int32, c_uint16, c_uint32, c_void_p,
                    byref, cast, CFUNCTYPE)

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


lib.SysAllocString.restype = c_void_p
lib.SysAllocString.argtypes = [c_void_p]
lib.SysStringByteLen.restype = c_uint32
lib.SysStringByteLen.argtypes = [c_void_p]
lib.SysFreeString.argtypes = [c_void_p]
lib.CreateErrorInfo.argtypes = [POINTER(c_void_p)]
lib.CreateErrorInfo.restype = c_int32

# A BSTR made and read through the C exports.
b = lib.SysAllocString(wide("caf\u00e9"))
check(read_bstr(b) == "caf\u00e9", "the text reads back")
lib.SysFreeString(b)

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
pei = c_void_p()
iid = GUID.in_dll(lib, "IID_IErrorInfo")
check(method(pcei, 0, POINTER(GUID), POINTER(c_void_p))(pcei, byref(iid), byref(pei)) == 0,
      "QueryInterface for IErrorInfo")
# IErrorInfo: ..., GetGUID, GetSource, GetDescription, GetHelpFile, GetHelpContext.
desc = c_void_p()
check(method(pei, 5, POINTER(c_void_p))(pei, byref(desc)) == 0, "GetDescription")
check(read_bstr(desc.value) == "disk on fire", "the description comes back")
lib.SysFreeString(desc)
check(method(pei, 2, restype=c_uint32)(pei) == 1, "Release through IErrorInfo")
check(method(pcei, 2, restype=c_uint32)(pcei) == 0, "the last Release")

if failures:
    sys.exit(1)
print("ctypes client: all checks passed")
