// A growable array whose size is its capacity: it grows to exactly the count
// asked for and never shrinks. Elements are relocated byte-wise, so T must be
// a plain value type.
#pragma once

#include "frame/port.h"
#include <objbase.h>
#include <stdlib.h>
#include <string.h>

#include <new>
#include <type_traits>

namespace revdir {

template <class T>
class QxBuffer {
  static_assert(std::is_trivially_copyable_v<T>, "QxBuffer relocates its elements byte-wise");

 public:
  explicit QxBuffer(DWORD count = 0) { Resize(count); }
  virtual ~QxBuffer() { FreeBuffer(); }
  QxBuffer(const QxBuffer &) = delete;
  QxBuffer &operator=(const QxBuffer &) = delete;

  // S_OK and nothing changed when `count` is not larger than Count;
  // E_OUTOFMEMORY with the buffer as it was when the heap refuses.
  virtual HRESULT Resize(DWORD count) {
    if (count <= Count) return S_OK;
    if (count > SIZE_MAX / sizeof(T)) return E_OUTOFMEMORY;
    auto *block = static_cast<T *>(malloc(sizeof(T) * count));
    if (!block) return E_OUTOFMEMORY;
    for (DWORD i = Count; i < count; ++i) new (&block[i]) T;
    if (Data) {
      memmove(static_cast<void *>(block), Data, sizeof(T) * Count);
      free(Data);
    }
    Data = block;
    Count = count;
    return S_OK;
  }

  virtual void FreeBuffer() {
    if (!Data) return;
    free(Data);
    Data = nullptr;
    Count = 0;
  }

  T *Data = nullptr;
  DWORD Count = 0;
};

}  // namespace revdir
