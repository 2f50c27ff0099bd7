// Interface methods are noexcept in spirit: a C++ allocation failure must not
// unwind into a COM caller. Each method that allocates through the standard
// library runs its body through this guard.
#pragma once

#include "frame/port.h"
#include <objbase.h>

#include <new>
#include <utility>

namespace revdir {

template <class Body>
HRESULT OutOfMemoryGuard(Body &&body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (const std::bad_alloc &) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace revdir
