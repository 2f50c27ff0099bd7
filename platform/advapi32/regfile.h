// The registry store's key tree and its hive files, which are .reg text.
// Internal to the platform (a static library of its own, which the .reg fuzz
// target and the registry benchmark link too); the library exports Win32
// names only.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/regfile/reg_text.h"

namespace platform::reg {

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
  // Puts a detached key among the subkeys under its own name, which no
  // subkey may have yet.
  void Insert(std::shared_ptr<Key> child);
  Value *FindValue(std::u16string_view valueName);
  void SetValue(std::u16string_view valueName, DWORD type, std::vector<BYTE> data);
  bool DeleteValue(std::u16string_view valueName);
  // Marks this key and its subtree deleted.
  void MarkDeleted();
};

// Applies one entry whose path lies under the root named rootName (e.g.
// "HKEY_LOCAL_MACHINE") to the tree rooted at root. Fails (with a message)
// when the path lies elsewhere or a name exceeds the limits. Deleting the
// root itself empties it.
bool Apply(Key &root, std::u16string_view rootName, const Entry &entry, std::string *message);

// Applies a whole parsed file; on failure says which line was refused.
bool ApplyAll(Key &root, std::u16string_view rootName, const std::vector<Entry> &entries, ParseError *error);

// Writes the key and its subtree as a hive file (UTF-8, LF line ends), the
// key's section named path; its own section only when it has values, every
// key below it always.
std::string Write(const Key &key, std::u16string_view path);

}  // namespace platform::reg
