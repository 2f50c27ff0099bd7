// File handles. Each open file is a kernel object holding a descriptor, the
// handle's access and share mode and its own file pointer. Share modes are
// enforced between the handles of this process through a table of open files
// keyed by device and inode.
#pragma once

#include <windows.h>

#include <sys/types.h>

#include <memory>
#include <mutex>

#include "kernel32/handle.h"

namespace platform {

class FileObject : public KernelObject {
 public:
  FileObject(int fd, dev_t dev, ino_t ino, DWORD access, DWORD share);
  // A standard handle: the descriptor the process was given, which may be a
  // pipe or a terminal, whose position the kernel keeps for every handle
  // on it, as handles duplicated from one share their file pointer.
  static std::shared_ptr<FileObject> Stream(int fd, DWORD access);
  ~FileObject() override;

  int Fd() const { return m_fd; }
  dev_t Dev() const { return m_dev; }
  ino_t Ino() const { return m_ino; }
  bool CanRead() const;
  bool CanWrite() const;
  bool AppendOnly() const;
  bool IsStream() const { return m_stream; }

  std::mutex lock;       // guards position
  int64_t position = 0;  // the handle's file pointer

 private:
  int m_fd;
  dev_t m_dev;
  ino_t m_ino;
  DWORD m_access;
  DWORD m_share;
  bool m_stream = false;
};

// Mapping objects count themselves against their file so that it is not cut
// short under a view (which would fault on Linux; Windows refuses it too).
void AddFileMapping(dev_t dev, ino_t ino);
void RemoveFileMapping(dev_t dev, ino_t ino);

}  // namespace platform
