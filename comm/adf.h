// Object-definition files ("ADF"): which attributes a CIP class has, in which
// order, and of which data type, so that a reply to Get_Attribute_List can be
// sized and laid out like a reply to Get_Attributes_All.
//
// The format is line-based text (ASCII, at most 64 KiB, lines of at most 255
// characters, CR LF or LF):
//
//   ; a comment runs from ';' or '#' to the end of the line
//   CLASS 1 Identity REVISION 1
//     ATTRIBUTE 1 VendorId UINT
//     ATTRIBUTE 7 ProductName SHORT_STRING
//   END
//
// Keywords and type names are case-insensitive; numbers are decimal or "0x"
// hexadecimal, classes and attributes 1 to 65535, revisions 0 to 65535. Names
// are a letter or '_' followed by letters, digits or '_', at most 32 in all.
// A class appears once, with 1 to 64 attributes in strictly increasing order;
// a file holds at most 256 classes. Types and their encoded sizes: BOOL, SINT,
// USINT, BYTE 1; INT, UINT, WORD, REVISION (major, minor) 2; DINT, UDINT,
// DWORD, REAL 4; LINT, ULINT, LWORD, LREAL 8; SHORT_STRING a length byte and
// that many characters (at most 256 bytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace comm::adf {

struct Attribute {
  uint16_t id = 0;
  std::string name;
  uint16_t fixedSize = 0;  // bytes; 0 for SHORT_STRING
  bool shortString = false;
  // The largest encoded size.
  size_t MaxSize() const { return shortString ? 256 : fixedSize; }
};

struct ClassDef {
  uint16_t cls = 0;
  std::string name;
  uint16_t revision = 0;
  std::vector<Attribute> attributes;
};

struct Catalog {
  std::vector<ClassDef> classes;
  const ClassDef *Find(uint16_t cls) const;
};

struct Error {
  int line = 0;  // 1-based; 0 for the file as a whole
  std::string message;
};

inline constexpr size_t kMaxFileSize = 64 * 1024;
inline constexpr size_t kMaxLine = 255;
inline constexpr size_t kMaxClasses = 256;
inline constexpr size_t kMaxAttributes = 64;

std::optional<Catalog> Parse(std::string_view text, Error *error);

// The encoded size of the value at data (at most avail bytes), or 0 when it
// does not fit.
size_t ValueSize(const Attribute &a, const uint8_t *data, size_t avail);

// "CIP001R01V01.ADF": the file the library looks for in its "comm" folder.
inline constexpr char kFileName[] = "CIP001R01V01.ADF";

}  // namespace comm::adf
