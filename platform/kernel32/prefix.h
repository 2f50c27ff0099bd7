// The prefix: one folder holding this machine's state (the registry hives and
// drive C:), named by REVDIR_PREFIX, else $XDG_DATA_HOME/revdir, else
// ~/.local/share/revdir. Created on first use.
#pragma once

#include <string>

namespace platform {

// Absolute path of the prefix, without a trailing slash; created (with its
// drive_c folder) when missing. Re-read from the environment on every call so
// that a test can point it elsewhere.
std::string PrefixDir();

}  // namespace platform
