// Basic Win32 types, with the widths and layouts of 64-bit Windows.
// On Linux the platform layer provides these; on Windows the SDK does.
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
// C11 names the 16-bit character type char16_t here (uint_least16_t).
#include <uchar.h>
#endif

#ifdef __cplusplus
#define EXTERN_C extern "C"
#else
#define EXTERN_C extern
// The layout checks below hold for C clients too.
#if !defined(static_assert) && __STDC_VERSION__ < 202311L
#define static_assert _Static_assert
#endif
#endif

// x64 Windows has one calling convention; on Linux the platform's C
// convention stands in for it, so every convention keyword is empty.
#define WINAPI
#define CALLBACK
#define APIENTRY
#define STDMETHODCALLTYPE
#define STDMETHODVCALLTYPE
#define STDAPICALLTYPE
#define STDAPIVCALLTYPE
#define __RPC_FAR
#define __RPC_STUB

// Exported from the platform layer's shared library with C linkage.
#define DECLSPEC_IMPORT __attribute__((visibility("default")))
#define DECLSPEC_EXPORT __attribute__((visibility("default")))
#define DECLSPEC_NOTHROW
#define DECLSPEC_NORETURN __attribute__((noreturn))

#define WINBASEAPI EXTERN_C DECLSPEC_IMPORT
#define WINADVAPI EXTERN_C DECLSPEC_IMPORT
#define WINUSERAPI EXTERN_C DECLSPEC_IMPORT
#define WINOLEAPI EXTERN_C DECLSPEC_IMPORT HRESULT STDAPICALLTYPE
#define WINOLEAPI_(type) EXTERN_C DECLSPEC_IMPORT type STDAPICALLTYPE
#define WINOLEAUTAPI EXTERN_C DECLSPEC_IMPORT HRESULT STDAPICALLTYPE
#define WINOLEAUTAPI_(type) EXTERN_C DECLSPEC_IMPORT type STDAPICALLTYPE
#define STDAPI EXTERN_C HRESULT STDAPICALLTYPE
#define STDAPI_(type) EXTERN_C type STDAPICALLTYPE

#define CONST const
#define VOID void
#ifndef NULL
#define NULL 0
#endif
#ifndef FALSE
#define FALSE 0
#endif
#ifndef TRUE
#define TRUE 1
#endif
#define IN
#define OUT
#define OPTIONAL
#define UNREFERENCED_PARAMETER(P) ((void)(P))

// 16-bit wide characters: u"x" here is L"x" on Windows.
typedef char16_t WCHAR;
#define __TEXTW(s) u##s
#define TEXTW(s) u##s

typedef void *PVOID, *LPVOID;
typedef const void *LPCVOID;
typedef char CHAR, *PCHAR, *LPSTR, *PSTR;
typedef const char *LPCSTR, *PCSTR;
typedef WCHAR *PWCHAR, *LPWSTR, *PWSTR;
typedef const WCHAR *LPCWSTR, *PCWSTR;
typedef uint8_t BYTE, UCHAR, *PBYTE, *LPBYTE, BOOLEAN;
typedef int16_t SHORT;
typedef uint16_t WORD, USHORT, *PWORD, *LPWORD, ATOM;
typedef int32_t INT, LONG, BOOL, *PLONG, *LPLONG, *PBOOL, *LPBOOL, *PINT, *LPINT;
typedef uint32_t UINT, ULONG, DWORD, *PULONG, *PDWORD, *LPDWORD, *PUINT;
typedef int64_t LONGLONG, LONG64, INT64;
typedef uint64_t ULONGLONG, ULONG64, DWORD64, UINT64, DWORDLONG;
typedef intptr_t INT_PTR, LONG_PTR, SSIZE_T;
typedef uintptr_t UINT_PTR, ULONG_PTR, DWORD_PTR, SIZE_T, *PSIZE_T;
typedef float FLOAT;
typedef double DOUBLE;
typedef LONG HRESULT;
typedef LONG SCODE;
typedef WORD LANGID;
typedef DWORD LCID;
typedef DWORD LCTYPE;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;

typedef void *HANDLE, **PHANDLE, **LPHANDLE;
#define DECLARE_HANDLE(name) \
  struct name##__ {          \
    int unused;              \
  };                         \
  typedef struct name##__ *name
DECLARE_HANDLE(HINSTANCE);
typedef HINSTANCE HMODULE;
DECLARE_HANDLE(HWND);
DECLARE_HANDLE(HKEY);
typedef HKEY *PHKEY;
DECLARE_HANDLE(HRSRC);
typedef HANDLE HGLOBAL;
typedef HANDLE HLOCAL;
typedef int(WINAPI *FARPROC)(void);

typedef union _LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  };
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;

typedef union _ULARGE_INTEGER {
  struct {
    DWORD LowPart;
    DWORD HighPart;
  };
  struct {
    DWORD LowPart;
    DWORD HighPart;
  } u;
  ULONGLONG QuadPart;
} ULARGE_INTEGER, *PULARGE_INTEGER;

typedef struct _FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME, *PFILETIME, *LPFILETIME;

typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *PSECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

typedef struct tagRECT {
  LONG left, top, right, bottom;
} RECT, *LPRECT;

#define MAX_PATH 260
#define LOWORD(l) ((WORD)(((DWORD_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((DWORD_PTR)(l)) >> 16) & 0xffff))
#define LOBYTE(w) ((BYTE)(((DWORD_PTR)(w)) & 0xff))
#define HIBYTE(w) ((BYTE)((((DWORD_PTR)(w)) >> 8) & 0xff))
#define MAKEWORD(a, b) ((WORD)(((BYTE)(((DWORD_PTR)(a)) & 0xff)) | ((WORD)((BYTE)(((DWORD_PTR)(b)) & 0xff))) << 8))
#define MAKELONG(a, b) ((LONG)(((WORD)(((DWORD_PTR)(a)) & 0xffff)) | ((DWORD)((WORD)(((DWORD_PTR)(b)) & 0xffff))) << 16))
#define MAKEINTRESOURCEW(i) ((LPWSTR)((ULONG_PTR)((WORD)(i))))
#define MAKEINTRESOURCEA(i) ((LPSTR)((ULONG_PTR)((WORD)(i))))
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)
#define ARRAYSIZE(a) (sizeof(a) / sizeof((a)[0]))
#define _countof(a) (sizeof(a) / sizeof((a)[0]))

static_assert(sizeof(WCHAR) == 2, "WCHAR is 16-bit");
static_assert(sizeof(LONG) == 4 && sizeof(ULONG) == 4 && sizeof(DWORD) == 4 && sizeof(HRESULT) == 4,
              "LONG, ULONG, DWORD and HRESULT are 32-bit");
static_assert(sizeof(HKEY) == sizeof(void *), "HKEY is pointer-sized");
static_assert(sizeof(LARGE_INTEGER) == 8 && sizeof(FILETIME) == 8, "64-bit structures");
static_assert(sizeof(SECURITY_ATTRIBUTES) == 24, "SECURITY_ATTRIBUTES x64 layout");
