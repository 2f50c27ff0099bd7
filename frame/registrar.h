// The registrar: runs registry scripts, the text form in which an in-process
// server describes its registration. Written against the Win32 registry API
// alone; the component and the tests' own server each link it.
//
// Script syntax, by example:
//
//   HKCR
//   {
//     NoRemove CLSID
//     {
//       ForceRemove {9D06F1B4-0000-0000-0000-000000000000} = s 'Some Class'
//       {
//         ProgID = s 'Some.Class.1'
//         InprocServer32 = s '%MODULE%'
//         {
//           val ThreadingModel = s 'Both'
//         }
//       }
//     }
//   }
//
// - A script is a sequence of root blocks: HKCR, HKCU, HKLM, HKU or their long
//   names HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS.
// - A key is written as its name, optionally "= <value>" (its default value),
//   optionally followed by a block of subkeys and named values.
// - "val <name> = <value>" sets a named value of the enclosing key.
// - A value is a type letter and its data: s 'text' (REG_SZ), d 123 or
//   d 0x7B or d '123' (REG_DWORD), b '0A1B' (REG_BINARY, pairs of hex digits).
// - Names and data may be quoted with '...'; '' inside quotes is one quote.
//   Unquoted words end at white space, '=', a quote or '}' (a word that starts
//   with '{', such as a braced GUID, runs through its closing '}').
//   Keywords (val, NoRemove, ForceRemove, Delete, the root names) are
//   case-insensitive; quote a name that would read as a keyword.
// - Key flags: NoRemove (never removed on unregistration, but its contents are
//   processed), ForceRemove (removed with all its subkeys before it is
//   written, and removed whole on unregistration), Delete (removed whole on
//   registration, ignored on unregistration).
// - %NAME% in names and data is replaced by the value of the variable NAME
//   (names compared without regard to case); %% is a literal %.
//
// Registration creates keys and sets values. Unregistration removes the named
// values the script lists, then each key of the script that is not NoRemove
// once it has no subkeys left (a key that still holds someone else's subkey
// stays); ForceRemove keys go whole. Keys the script names that do not exist
// are skipped.
#pragma once

#include <objbase.h>
#include <windows.h>

namespace revdir {

// A replacement variable: pszName without the percent signs.
typedef struct {
  LPCOLESTR pszName;
  LPCOLESTR pszValue;
} REGISTRAR_VAR;

// Parses the whole script first; a malformed script (syntax error, unknown
// variable, bad number or hex data, blocks nested deeper than 64 levels)
// fails with HRESULT_FROM_WIN32(ERROR_BADKEY) and writes nothing. A null
// script, or a null variable array with a non-zero count, or a variable with
// a null or empty name or a null value, is E_INVALIDARG. A registry failure
// while applying is returned as HRESULT_FROM_WIN32 of the registry's error;
// registration stops at the first, unregistration carries on and returns the
// first one.
HRESULT RegistrarRun(LPCOLESTR script, BOOL doRegister, const REGISTRAR_VAR *vars, UINT count);

// Parses the script as RegistrarRun does, without touching the registry.
HRESULT RegistrarCheck(LPCOLESTR script, const REGISTRAR_VAR *vars, UINT count);

}  // namespace revdir
