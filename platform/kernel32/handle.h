// Kernel handles: one process-wide table maps HANDLE values to objects, so
// that files, mappings, events, mutexes and threads share CloseHandle and
// the waits.
#pragma once

#include <windows.h>

#include <memory>

namespace platform {

class KernelObject {
 public:
  virtual ~KernelObject() = default;
};

// Registers an object and returns its new handle (null with
// ERROR_NOT_ENOUGH_MEMORY when the table is full).
HANDLE NewHandle(std::shared_ptr<KernelObject> object);

// The object behind a handle, or null with ERROR_INVALID_HANDLE for a closed,
// unknown or pseudo handle.
std::shared_ptr<KernelObject> GetHandleObject(HANDLE h);

template <typename T>
std::shared_ptr<T> GetHandleObjectAs(HANDLE h) {
  auto object = std::dynamic_pointer_cast<T>(GetHandleObject(h));
  if (!object) SetLastError(ERROR_INVALID_HANDLE);
  return object;
}

// Removes a handle; the object lives on while others still hold it.
bool CloseHandleObject(HANDLE h);

}  // namespace platform
