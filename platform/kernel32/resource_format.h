// The resources a module carries: the standard .res file the resource
// compiler writes, embedded in the image between two exported symbols.
//
// A .res file is a run of records, each DWORD-aligned:
//   DWORD DataSize, DWORD HeaderSize,
//   TYPE, NAME: either 0xFFFF followed by a WORD ordinal, or a
//               zero-terminated UTF-16 string; NAME starts WORD-aligned,
//               the fields after it DWORD-aligned,
//   DWORD DataVersion, WORD MemoryFlags, WORD LanguageId,
//   DWORD Version, DWORD Characteristics,
//   then DataSize bytes of data at HeaderSize from the record's start.
// The first record is an empty one (DataSize 0) that marks the format.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <optional>
#include <string_view>

namespace platform {

constexpr const char *kResourceSymbol = "revdir_resources";
constexpr const char *kResourceEndSymbol = "revdir_resources_end";

// A type or a name: a number, or a string.
struct ResourceId {
  std::u16string_view name;  // empty for a number
  uint16_t id = 0;
};

struct ResourceRecord {
  const uint8_t *start = nullptr;  // the record header, which an HRSRC points at
  ResourceId type;
  ResourceId name;
  uint16_t language = 0;
  uint32_t size = 0;
  const uint8_t *data = nullptr;
};

// The record at `offset` of the image [begin, end), and the offset of the
// next one through `next`; nullopt when the record is malformed or runs past
// the end.
std::optional<ResourceRecord> ReadResourceRecord(const uint8_t *begin, size_t size, size_t offset, size_t &next);

}  // namespace platform
