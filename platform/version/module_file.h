// A resource of a module file read as data, without loading the module.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <string_view>
#include <vector>

namespace platform {

// The data of resource `name` of type `type` (both numbers) in the module
// file at `windowsPath`, in the first language the file holds it in; a
// Win32 error when the file is missing, not a module, or has no such resource.
DWORD ReadModuleFileResource(std::u16string_view windowsPath, uint16_t type, uint16_t name, std::vector<uint8_t> *data);

}  // namespace platform
