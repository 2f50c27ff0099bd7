// Windows paths on the Linux file system. Drive Z: is the root "/", drive C:
// is the folder drive_c of the prefix; "\" and "/" both separate; a path that
// starts with "/" is already a Linux path; relative paths are relative to the
// current directory. Windows names are case-insensitive, so a component whose
// exact name is missing is looked up ignoring case.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The Linux path for a Windows (or Linux) path: absolute, "." and ".."
// resolved, trailing dots and spaces of components dropped as Windows does,
// and each existing component spelt as it is on disk. Components that do not
// exist keep the caller's spelling. On failure returns nullopt and sets the
// last error: ERROR_PATH_NOT_FOUND for an empty path, an unknown drive or a
// network path, ERROR_INVALID_NAME for characters Windows forbids in names.
std::optional<std::string> UnixPath(std::u16string_view windowsPath);
// The same for UTF-8 text (the "A" entry points pass their strings here).
std::optional<std::string> UnixPathUtf8(std::string_view windowsPath);

// The Windows path of a Linux path: "C:\..." inside the prefix's drive_c,
// "Z:\..." everywhere else. Relative paths are made absolute first.
std::u16string WindowsPath(std::string_view unixPath);

// The error Windows gives for a path that is missing: ERROR_FILE_NOT_FOUND when
// its folder exists, ERROR_PATH_NOT_FOUND when the folder is missing too.
DWORD NotFoundError(const std::string &unixPath);

// Text of the "A" entry points: this layer's ANSI code page is UTF-8.
std::optional<std::u16string> WideFromAnsi(const char *s);

}  // namespace platform
