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
  ~FileObject() override;

  int fd() const { return fd_; }
  dev_t dev() const { return dev_; }
  ino_t ino() const { return ino_; }
  bool CanRead() const;
  bool CanWrite() const;
  bool AppendOnly() const;

  std::mutex lock;       // guards position
  int64_t position = 0;  // the handle's file pointer

 private:
  int fd_;
  dev_t dev_;
  ino_t ino_;
  DWORD access_;
  DWORD share_;
};

// Mapping objects count themselves against their file so that it is not cut
// short under a view (which would fault on Linux; Windows refuses it too).
void AddFileMapping(dev_t dev, ino_t ino);
void RemoveFileMapping(dev_t dev, ino_t ino);

}  // namespace platform
