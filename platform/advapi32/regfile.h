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

// Writes the key's section (even without values) and every key below it.
void WriteTree(const Key &key, std::u16string_view path, Writer &out);

// A hive file as the store writes it: Write's text with a comment line that
// names the generation of the file, which binds its journal to it.
std::string WriteHive(const Key &root, std::u16string_view rootName, uint64_t generation);
// The generation a hive file names; 0 for a file without one (written by
// hand or by an older store).
uint64_t HiveGeneration(std::string_view bytes);

// ---------------------------------------------------------------------------
// The journal beside a hive file: a header naming the hive's generation,
// then one record per change, each a .reg text framed by its length and a
// CRC-32 so that a record cut short by a killed writer is recognised.

constexpr size_t kJournalHeaderSize = 16;
constexpr size_t kJournalFrameSize = 8;

// CRC-32 (IEEE); a running one continues from crc.
uint32_t Crc32(std::string_view bytes, uint32_t crc = 0);
std::string JournalHeader(uint64_t generation);
// False when bytes do not start with a whole, intact header.
bool ReadJournalHeader(std::string_view bytes, uint64_t *generation);
std::string JournalRecord(std::string_view text);
// The records at the start of bytes, up to the first that is cut short or
// fails its checksum; returns how many bytes they take.
size_t ReadJournalRecords(std::string_view bytes, std::vector<std::string_view> *records);

}  // namespace platform::reg
