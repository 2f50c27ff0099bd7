// The .reg text format of "revdir reg import" and "revdir reg export": what a
// person writes by hand or exports on Windows. The reader takes UTF-16LE with
// a BOM, or UTF-8 with or without one, with CRLF or LF line ends; the writer
// writes UTF-16LE with a BOM and CRLF, as Windows exports. Only text: what a
// file means for the registry is the importer's business.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace revdir::regfile {

using Text = std::basic_string<WCHAR>;
using TextView = std::basic_string_view<WCHAR>;

// One statement of a file, in file order.
struct Entry {
  enum Kind { kKey, kDeleteKey, kValue, kDeleteValue } kind = kKey;
  Text path;  // the key as written, root name included
  Text name;  // the value's name (kValue, kDeleteValue); empty: the default value
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  size_t line = 0;  // 1-based
};

struct Error {
  size_t line = 0;  // 1-based; 0 for the file as a whole
  std::string message;
};

// Reads a whole file. On failure returns false, says where and why, and the
// entries read so far are not to be applied.
bool Parse(std::string_view bytes, std::vector<Entry> *entries, Error *error);

// The parts of a key path between backslashes; empty parts are dropped.
std::vector<Text> SplitPath(TextView path);

// No unpaired surrogate: the text has a UTF-8 form too.
bool WellFormed(TextView s);

class Writer {
 public:
  Writer();
  // Starts the section of a key; the values that follow belong to it.
  void Section(TextView path);
  // One value of the current section; the empty name is the default value.
  void Value(TextView name, DWORD type, const std::vector<BYTE> &data);
  // The file's bytes.
  std::string Finish();

 private:
  void Line(TextView s);

  Text text_;
  bool inSection_ = false;
};

}  // namespace revdir::regfile
