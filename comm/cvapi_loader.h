// The component's road to the communications server: its client library is
// loaded by name on the first call of any entry point, and every entry point
// named in cvapi32.h is resolved by name. The calls below have the library's
// own signatures; an entry point the library lacks returns DTL_E_NO_FUNCTION
// (68) without calling anything, and a failure to create or wait for the
// loader's mutex or to load the library returns the Windows error number plus
// 0x50000.
#pragma once

#include <objbase.h>
#include <windows.h>

#include <atomic>
#include <type_traits>
#include <utility>

#include "cvapi32.h"

namespace comm::cvapi {

inline constexpr long kLoadErrorBase = 0x50000;
inline constexpr const char kModuleName[] = "cvapi32.dll";
// The folder, beside the module that holds this code, of the copy of the
// client library we ship. A workstation's own library comes first: ours is
// loaded only when the system's search finds none, so it never shadows it.
inline constexpr const WCHAR kFallbackFolder[] = OLESTR("commserver");

// Loads `name` by the system's search, else from kFallbackFolder beside this
// module; a name with a path is loaded only as it stands.
HMODULE LoadClientLibrary(const char *name);

// One client library, loaded once. The process uses Library(); tests make
// their own with another module name.
class Loader {
 public:
  explicit Loader(const char *module) : m_moduleName(module) {}
  ~Loader();
  Loader(const Loader &) = delete;
  Loader &operator=(const Loader &) = delete;

  // 0 once the module is loaded and its names resolved, else the Windows
  // error plus 0x50000. However many threads ask at once, the module is
  // loaded once; a failed load is tried again by the next call.
  long Ensure();
  // How many times this loader has loaded its module (0 or 1).
  int Loads() const { return m_loads.load(); }

  enum Entry {
#define CVAPI_ENUM(name) k_##name,
    DTL_ENTRY_POINTS(CVAPI_ENUM)
#undef CVAPI_ENUM
        kEntryCount
  };
  // The resolved address, or null when the library lacks the name.
  void *Address(Entry e) const { return m_entries[e]; }

 private:
  long Load();

  const char *m_moduleName;
  std::atomic<HANDLE> m_mutex{nullptr};
  std::atomic<bool> m_loaded{false};
  std::atomic<int> m_loads{0};
  HMODULE m_module = nullptr;
  void *m_entries[kEntryCount] = {};
};

// The process's loader of "cvapi32.dll", kept for the life of the process.
Loader &Library();

namespace detail {
template <typename R>
R Failure(long code) {
  if constexpr (std::is_pointer_v<R>)
    return nullptr;
  else
    return static_cast<R>(code);
}

// DTL_CreateTargetFromPathString reports its error through its second
// argument; an absent entry point or a failed load is reported there too.
template <typename Fn, typename... A>
void ReportError(long code, A &&...args) {
  if constexpr (std::is_same_v<Fn, decltype(&::DTL_CreateTargetFromPathString)>) {
    auto set = [code](const char *, long *error, uint32_t) {
      if (error) *error = code;
    };
    set(args...);
  }
}
}  // namespace detail

// Calls entry e, whose type is Fn, through a loader.
template <typename Fn, typename... A>
auto Call(Loader &loader, Loader::Entry e, A &&...args) {
  using R = std::invoke_result_t<Fn, A...>;
  long r = loader.Ensure();
  auto fn = r ? nullptr : reinterpret_cast<Fn>(loader.Address(e));
  if (!fn) {
    if (!r) r = DTL_E_NO_FUNCTION;
    detail::ReportError<Fn>(r, args...);
    return detail::Failure<R>(r);
  }
  return fn(std::forward<A>(args)...);
}

// The entry points under their own names, through the process's loader:
// cvapi::DTL_INIT_BSW_EX(1, nullptr) and so on.
#define CVAPI_WRAP(name)                                                                  \
  template <typename... A>                                                                \
  auto name(A &&...args) {                                                                \
    return Call<decltype(&::name)>(Library(), Loader::k_##name, std::forward<A>(args)...); \
  }
DTL_ENTRY_POINTS(CVAPI_WRAP)
#undef CVAPI_WRAP

}  // namespace comm::cvapi
