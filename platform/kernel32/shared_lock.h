// The cross-process half of a named mutex: a lock file in the prefix, which
// every process that opens the same name shares. The kernel drops a lock
// whose process ends, and the file's first byte tells whether its last owner
// released it or died holding it (an abandoned mutex).
#pragma once

#include <string>

namespace platform {

class SharedLockFile {
 public:
  // Opens (creating) the file for `name`; invalid when it cannot be opened.
  explicit SharedLockFile(const std::u16string &name);
  ~SharedLockFile();
  SharedLockFile(const SharedLockFile &) = delete;
  SharedLockFile &operator=(const SharedLockFile &) = delete;

  bool Valid() const { return m_fd >= 0; }
  bool Held() const { return m_held; }
  // Takes the lock without waiting; true when this process now holds it.
  // `*abandoned` tells whether its last owner ended without releasing it.
  bool TryTake(bool *abandoned);
  // Marks the held lock as owned, so that a death from here on abandons it.
  void MarkOwned();
  // Lets go of the lock: `released` clears the owned mark (a release),
  // otherwise it stays (an owner that ended, or a lock taken but not owned).
  void Drop(bool released);

 private:
  int m_fd = -1;
  bool m_held = false;
};

}  // namespace platform
