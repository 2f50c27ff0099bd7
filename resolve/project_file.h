// What a project file names its release by: the database version at the end
// of a project database (".acd") or the major revision in the controller
// module entry of a text export (".pjx").
#pragma once

#include "frame/port.h"

#include "frame/errors.h"

namespace revdir {

struct ProjectFileKey {
  enum class Kind { kMajorRev, kDatabaseVersion };
  Kind kind = Kind::kMajorRev;
  LONG value = 0;
};

// The key of the project file at `path` (not null), by the last "." of the
// whole path, ignoring case. A failure (with what its error information
// needs) when the path has neither extension, or the file cannot be read or
// holds no key. A text export is read in blocks through one fixed buffer, so
// memory stays flat and a file that shrinks or grows meanwhile is read as far
// as it goes.
Outcome<ProjectFileKey> ReadProjectFileKey(const WCHAR *path);

}  // namespace revdir
