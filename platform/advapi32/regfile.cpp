#include "advapi32/regfile.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "kernel32/text.h"

namespace platform::reg {

namespace {

// CompareNoCase with its ASCII case inline: lookups compare many names.
inline char16_t Upper(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  return UpperCase(c);
}

int CompareNames(std::u16string_view a, std::u16string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char16_t x = Upper(a[i]), y = Upper(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && CompareNames(a, b) == 0;
}

// Position of the first subkey not less than name.
std::vector<std::shared_ptr<Key>>::const_iterator LowerBound(const std::vector<std::shared_ptr<Key>> &v,
                                                             std::u16string_view name) {
  return std::lower_bound(v.begin(), v.end(), name, [](const std::shared_ptr<Key> &k, std::u16string_view n) {
    return CompareNames(k->name, n) < 0;
  });
}

}  // namespace

const std::shared_ptr<Key> *Key::Slot(std::u16string_view child) const {
  auto it = LowerBound(subkeys, child);
  if (it != subkeys.end() && SameName((*it)->name, child)) return &*it;
  return nullptr;
}

std::shared_ptr<Key> Key::Find(std::u16string_view child) const {
  auto slot = Slot(child);
  return slot ? *slot : nullptr;
}

std::shared_ptr<Key> Key::Child(std::u16string_view child, bool *created) {
  // Files written by the store are sorted, so loading mostly appends, and
  // the keys above each section are the last ones added.
  int last = subkeys.empty() ? -1 : CompareNames(subkeys.back()->name, child);
  if (last == 0) {
    if (created) *created = false;
    return subkeys.back();
  }
  auto it = last < 0 ? subkeys.end() : LowerBound(subkeys, child);
  if (it != subkeys.end() && SameName((*it)->name, child)) {
    if (created) *created = false;
    return *it;
  }
  auto key = std::make_shared<Key>();
  key->name = child;
  key->parent = this;
  subkeys.insert(it, key);
  if (created) *created = true;
  return key;
}

std::shared_ptr<Key> Key::Remove(std::u16string_view child) {
  auto it = LowerBound(subkeys, child);
  if (it == subkeys.end() || !SameName((*it)->name, child)) return nullptr;
  auto key = *it;
  subkeys.erase(it);
  key->parent = nullptr;
  return key;
}

void Key::Insert(std::shared_ptr<Key> child) {
  child->parent = this;
  auto it = LowerBound(subkeys, child->name);
  subkeys.insert(it, std::move(child));
}

Value *Key::FindValue(std::u16string_view valueName) {
  for (auto &v : values)
    if (SameName(v.name, valueName)) return &v;
  return nullptr;
}

void Key::SetValue(std::u16string_view valueName, DWORD type, std::vector<BYTE> data) {
  if (Value *v = FindValue(valueName)) {
    v->type = type;
    v->data = std::move(data);
    return;
  }
  values.push_back(Value{std::u16string(valueName), type, std::move(data)});
}

bool Key::DeleteValue(std::u16string_view valueName) {
  for (auto it = values.begin(); it != values.end(); ++it) {
    if (SameName(it->name, valueName)) {
      values.erase(it);
      return true;
    }
  }
  return false;
}

void Key::MarkDeleted() {
  deleted = true;
  for (auto &k : subkeys) k->MarkDeleted();
}

namespace {

// The keys down the last section's path, each with where its name ends in
// that path. In a sorted file a section's parent (or an ancestor of it) was
// the section just before, so the walk down starts part-way.
struct Chain {
  std::u16string_view path;
  std::vector<std::pair<size_t, std::shared_ptr<Key>>> keys;

  // How many keys of the chain also lie on the path of a section.
  size_t Shared(std::u16string_view next) const {
    auto shares = [&](size_t end) {
      return next.size() >= end && (next.size() == end || next[end] == u'\\') &&
             std::memcmp(next.data(), path.data(), end * sizeof(char16_t)) == 0;
    };
    // A key on the path means every key above it is too.
    size_t lo = 0, hi = keys.size();
    while (lo < hi) {
      size_t mid = (lo + hi + 1) / 2;
      if (shares(keys[mid - 1].first)) lo = mid;
      else hi = mid - 1;
    }
    return lo;
  }
};

// Apply; given a chain, a kKey entry starts its walk from it and leaves its
// own path there.
bool ApplyEntry(Key &root, std::u16string_view rootName, const Entry &entry, std::string *message,
                Chain *chain) {
  std::u16string_view path = entry.path;
  if (entry.kind != Entry::kKey) chain = nullptr;
  size_t keep = chain ? chain->Shared(path) : 0;
  // Below the keys kept, or from the root name on.
  auto parts = SplitPathView(path.substr(keep ? chain->keys[keep - 1].first : 0));
  size_t first = keep ? 0 : 1;
  if (!keep && (parts.empty() || !EqualNoCase(parts[0], rootName))) {
    *message = "key " + ToUtf8Lossy(entry.path) + " is not under " + ToUtf8Lossy(rootName);
    return false;
  }
  for (size_t i = first; i < parts.size(); ++i) {
    if (parts[i].size() > kMaxKeyNameChars) {
      *message = "key name longer than 255 characters";
      return false;
    }
  }
  if (entry.name.size() > kMaxValueNameChars) {
    *message = "value name longer than 16383 characters";
    return false;
  }
  std::shared_ptr<Key> hold = keep ? chain->keys[keep - 1].second : nullptr;
  Key *key = keep ? hold.get() : &root;
  if (chain) {
    chain->path = path;
    chain->keys.resize(keep);
  }
  size_t last = parts.size() - (entry.kind == Entry::kDeleteKey ? 1 : 0);
  for (size_t i = first; i < last; ++i) {
    hold = entry.kind == Entry::kKey || entry.kind == Entry::kValue ? key->Child(parts[i]) : key->Find(parts[i]);
    if (!hold) return true;  // deleting something already absent
    key = hold.get();
    if (chain) chain->keys.emplace_back(static_cast<size_t>(parts[i].data() + parts[i].size() - path.data()), hold);
  }
  switch (entry.kind) {
    case Entry::kKey: break;
    case Entry::kDeleteKey:
      if (parts.size() == 1) {
        root.values.clear();
        root.subkeys.clear();
      } else if (auto gone = key->Remove(parts.back())) {
        gone->MarkDeleted();
      }
      break;
    case Entry::kValue: key->SetValue(entry.name, entry.type, entry.data); break;
    case Entry::kDeleteValue: key->DeleteValue(entry.name); break;
  }
  return true;
}

}  // namespace

bool Apply(Key &root, std::u16string_view rootName, const Entry &entry, std::string *message) {
  return ApplyEntry(root, rootName, entry, message, nullptr);
}

bool ApplyAll(Key &root, std::u16string_view rootName, const std::vector<Entry> &entries, ParseError *error) {
  // Values follow their key's section: find each section's key once.
  const std::u16string *sectionPath = nullptr;
  std::shared_ptr<Key> section;
  Chain chain;
  for (const Entry &e : entries) {
    std::string why;
    if (e.kind == Entry::kValue && sectionPath && section && !section->deleted && e.path == *sectionPath) {
      if (e.name.size() > kMaxValueNameChars) {
        *error = {e.line, "value name longer than 16383 characters"};
        return false;
      }
      section->SetValue(e.name, e.type, e.data);
      continue;
    }
    // Keys on the chain may be gone.
    if (e.kind == Entry::kDeleteKey) chain.keys.clear();
    if (!ApplyEntry(root, rootName, e, &why, &chain)) {
      *error = {e.line, why};
      return false;
    }
    sectionPath = nullptr;
    if (e.kind == Entry::kKey) {
      // The root itself is not shared-owned; values of it go through Apply.
      section = chain.keys.empty() ? nullptr : chain.keys.back().second;
      sectionPath = &e.path;
    }
  }
  return true;
}

// ---------------------------------------------------------------------------
// Writer

namespace {

void WriteSections(const Key &key, std::u16string &path, bool writeThis, Writer &out) {
  if (writeThis) {
    out.Section(path);
    for (const auto &v : key.values) out.Value(v.name, v.type, v.data);
  }
  for (const auto &sub : key.subkeys) {
    size_t len = path.size();
    path += u'\\';
    path += sub->name;
    WriteSections(*sub, path, true, out);
    path.resize(len);
  }
}

}  // namespace

std::string Write(const Key &key, std::u16string_view path) {
  Writer out(Encoding::kUtf8);
  std::u16string p(path);
  WriteSections(key, p, !key.values.empty(), out);
  return out.Finish();
}

void WriteTree(const Key &key, std::u16string_view path, Writer &out) {
  std::u16string p(path);
  WriteSections(key, p, true, out);
}

namespace {

// The header line and the blank line Writer puts after it.
constexpr std::string_view kHeaderLine = "Windows Registry Editor Version 5.00\n\n";
constexpr std::string_view kGenerationLine = ";generation ";

void PutLe(std::string &out, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

uint64_t GetLe(std::string_view in, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(in[static_cast<size_t>(i)]);
  return v;
}

constexpr std::string_view kJournalMagic = "RDJ1";

}  // namespace

std::string WriteHive(const Key &root, std::u16string_view rootName, uint64_t generation) {
  std::string text = Write(root, rootName);
  // Right below the header, where HiveGeneration looks for it.
  text.insert(kHeaderLine.size(), std::string(kGenerationLine) + std::to_string(generation) + "\n\n");
  return text;
}

uint64_t HiveGeneration(std::string_view bytes) {
  if (bytes.substr(0, kHeaderLine.size()) != kHeaderLine) return 0;
  bytes.remove_prefix(kHeaderLine.size());
  if (bytes.substr(0, kGenerationLine.size()) != kGenerationLine) return 0;
  bytes.remove_prefix(kGenerationLine.size());
  uint64_t g = 0;
  size_t n = 0;
  for (; n < bytes.size() && n < 19 && bytes[n] >= '0' && bytes[n] <= '9'; ++n) g = g * 10 + (bytes[n] - '0');
  return n < bytes.size() && bytes[n] == '\n' ? g : 0;
}

uint32_t Crc32(std::string_view bytes, uint32_t crc) {
  static const auto kTable = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  uint32_t c = crc ^ 0xFFFFFFFFu;
  for (char b : bytes) c = kTable[(c ^ static_cast<unsigned char>(b)) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

std::string JournalHeader(uint64_t generation) {
  std::string h(kJournalMagic);
  PutLe(h, generation, 8);
  PutLe(h, Crc32(h), 4);
  return h;
}

bool ReadJournalHeader(std::string_view bytes, uint64_t *generation) {
  if (bytes.size() < kJournalHeaderSize || bytes.substr(0, kJournalMagic.size()) != kJournalMagic) return false;
  if (GetLe(bytes.substr(12), 4) != Crc32(bytes.substr(0, 12))) return false;
  *generation = GetLe(bytes.substr(4), 8);
  return true;
}

// The length, then the CRC of the length and the text: a length garbled
// by a torn write is caught too.
std::string JournalRecord(std::string_view text) {
  std::string r;
  r.reserve(kJournalFrameSize + text.size());
  PutLe(r, text.size(), 4);
  PutLe(r, Crc32(text, Crc32(r)), 4);
  r += text;
  return r;
}

size_t ReadJournalRecords(std::string_view bytes, std::vector<std::string_view> *records) {
  size_t at = 0;
  while (bytes.size() - at >= kJournalFrameSize) {
    const size_t length = GetLe(bytes.substr(at), 4);
    if (length > bytes.size() - at - kJournalFrameSize) break;
    std::string_view text = bytes.substr(at + kJournalFrameSize, length);
    if (GetLe(bytes.substr(at + 4), 4) != Crc32(text, Crc32(bytes.substr(at, 4)))) break;
    records->push_back(text);
    at += kJournalFrameSize + length;
  }
  return at;
}

}  // namespace platform::reg
