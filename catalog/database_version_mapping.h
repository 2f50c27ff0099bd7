// A database-version alias: a database version that no release carries
// (the alias) handled by the release whose database version is the target.
#pragma once

#include "frame/port.h"
#include <windows.h>

#include <set>

namespace revdir {

// 8 bytes, target first: the layout of one record of the stored alias value.
struct CDatabaseVersionNumberMapping {
  DWORD TargetDatabaseVersionNumber = 0xFFFFFFFF;
  DWORD AliasDatabaseVersionNumber = 0xFFFFFFFF;

  CDatabaseVersionNumberMapping() = default;
  CDatabaseVersionNumberMapping(DWORD target, DWORD alias)
      : TargetDatabaseVersionNumber(target), AliasDatabaseVersionNumber(alias) {}

  // Ordered by alias only, so a set holds one mapping per alias.
  bool operator<(const CDatabaseVersionNumberMapping &other) const {
    return AliasDatabaseVersionNumber < other.AliasDatabaseVersionNumber;
  }
  bool operator==(const CDatabaseVersionNumberMapping &other) const = default;
};
static_assert(sizeof(CDatabaseVersionNumberMapping) == 8);

// A directory's aliases.
using DatabaseVersionAliasSet = std::set<CDatabaseVersionNumberMapping>;

}  // namespace revdir
