// The .reg text format: what a person writes by hand or exports on Windows,
// and the form of the hive files in the prefix. Only text: what a file means
// for a registry is its reader's business. Plain C++ on the Win32 text
// conversions, so the same reader and writer build for Windows; a static
// library of its own, never exported from the platform's shared library.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/text/wide_text.h"

namespace platform::reg {

constexpr size_t kMaxKeyNameChars = 255;
constexpr size_t kMaxValueNameChars = 16383;

// One statement of a file, in file order.
struct Entry {
  enum Kind { kKey, kDeleteKey, kValue, kDeleteValue } kind = kKey;
  WideString path;  // the key as written, root name included
  WideString name;  // the value's name (kValue, kDeleteValue); empty: the default value
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  size_t line = 0;  // 1-based
};

struct ParseError {
  size_t line = 0;  // 1-based; 0 for the file as a whole
  std::string message;
};

// Reads a whole file: UTF-16LE with a BOM, or UTF-8 with or without one, with
// CRLF or LF line ends. On failure returns false, says where and why, and the
// entries read so far are not to be applied.
bool Parse(std::string_view bytes, std::vector<Entry> *entries, ParseError *error);

// The parts of a key path between backslashes; empty parts are dropped.
std::vector<WideString> SplitPath(WideView path);
// The same as views into path: one allocation, however deep the path.
std::vector<WideView> SplitPathView(WideView path);

// No unpaired surrogate: the text has a UTF-8 form too.
bool WellFormed(WideView s);

// UTF-8 with LF line ends (the hive files), or UTF-16LE with a BOM and CRLF,
// as files exported on Windows are.
enum class Encoding { kUtf8, kUtf16 };

class Writer {
 public:
  explicit Writer(Encoding encoding);
  // Starts the section of a key; the values that follow belong to it.
  void Section(WideView path);
  // One value of the current section; the empty name is the default value.
  void Value(WideView name, DWORD type, const std::vector<BYTE> &data);
  // "[-path]": the key and its subtree deleted.
  void DeleteSection(WideView path);
  // "NAME"=-: a value of the current section deleted.
  void DeleteValue(WideView name);
  // A comment line.
  void Comment(WideView text);
  // The file's bytes.
  std::string Finish();

 private:
  void Line(WideView s);

  Encoding m_encoding;
  WideString m_text;
  bool m_inSection = false;
};

}  // namespace platform::reg
