// The text form of the registry: the ".reg" format in which the hives are
// stored in the prefix. Internal to the platform (a static library of its own,
// which the hive reader's fuzz target and the registry benchmark link too);
// the library exports Win32 names only.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform::reg {

constexpr size_t kMaxKeyNameChars = 255;
constexpr size_t kMaxValueNameChars = 16383;

struct Value {
  std::u16string name;  // empty: the default value
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

// A key and its subtree. Subkeys are kept sorted by CompareNoCase, values in
// the order they were created.
struct Key {
  std::u16string name;
  std::vector<Value> values;
  std::vector<std::shared_ptr<Key>> subkeys;
  Key *parent = nullptr;
  // Set when the key is deleted while handles may still point at it.
  bool deleted = false;

  std::shared_ptr<Key> Find(std::u16string_view child) const;
  // The subkey's entry in subkeys, or null: a walk down a path need not
  // touch the reference counts.
  const std::shared_ptr<Key> *Slot(std::u16string_view child) const;
  // Finds or adds a subkey; *created tells which.
  std::shared_ptr<Key> Child(std::u16string_view child, bool *created = nullptr);
  // Detaches a subkey and returns it (null when missing).
  std::shared_ptr<Key> Remove(std::u16string_view child);
  Value *FindValue(std::u16string_view valueName);
  void SetValue(std::u16string_view valueName, DWORD type, std::vector<BYTE> data);
  bool DeleteValue(std::u16string_view valueName);
  // Marks this key and its subtree deleted.
  void MarkDeleted();
};

// One statement of a .reg file.
struct Entry {
  enum Kind { kKey, kDeleteKey, kValue, kDeleteValue } kind = kKey;
  std::u16string path;  // the full key path as written, root name included
  std::u16string name;  // the value's name (kValue, kDeleteValue)
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  size_t line = 0;
};

struct ParseError {
  size_t line = 0;  // 1-based
  std::string message;
};

// Reads a .reg file (UTF-16LE with BOM, or UTF-8 with or without BOM; CRLF or
// LF line ends). On failure returns false and says where and why.
bool Parse(std::string_view bytes, std::vector<Entry> *entries, ParseError *error);

// Splits a key path at backslashes; empty components are dropped.
std::vector<std::u16string> SplitPath(std::u16string_view path);

// Applies one entry whose path lies under the root named rootName (e.g.
// "HKEY_LOCAL_MACHINE") to the tree rooted at root. Fails (with a message)
// when the path lies elsewhere or a name exceeds the limits. Deleting the
// root itself empties it.
bool Apply(Key &root, std::u16string_view rootName, const Entry &entry, std::string *message);

// Applies a whole parsed file; on failure says which line was refused.
bool ApplyAll(Key &root, std::u16string_view rootName, const std::vector<Entry> &entries, ParseError *error);

enum class Encoding { kUtf8, kUtf16 };
// Writes the key and its subtree as a .reg file, the key's section named
// path. UTF-8 uses LF line ends (the hive files); UTF-16 has a BOM and CRLF,
// as files exported on Windows do. The key's own section is written when it
// has values or writeEmptyTop is set; every key below it always is.
std::string Write(const Key &key, std::u16string_view path, Encoding encoding, bool writeEmptyTop);

}  // namespace platform::reg
