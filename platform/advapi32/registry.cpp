// The registry: two hives (HKEY_LOCAL_MACHINE in system.reg, HKEY_CURRENT_USER
// in user.reg) kept as .reg text files in the prefix. Each process holds the
// parsed trees in memory and re-reads a hive when its file changed; writers
// serialise on a lock file and re-read under the lock. A change is appended
// to a journal beside the hive ("system.reg.journal"), one checksummed record
// per call, so a write costs the same however large the hive; when the
// journal outgrows the hive it is folded in by replacing the hive file
// atomically. Several processes can share a prefix, and a crash never leaves
// a half-written hive nor half a change.
#include "advapi32/regfile.h"

#include "advapi32/predefined.h"
#include "advapi32/value_store.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>

#include "kernel32/errno_map.h"
#include "kernel32/handle.h"
#include "kernel32/memory_probe.h"
#include "kernel32/prefix.h"
#include "kernel32/text.h"

namespace platform {

namespace {

using reg::Key;

constexpr std::u16string_view kLocalMachine = u"HKEY_LOCAL_MACHINE";
constexpr std::u16string_view kCurrentUser = u"HKEY_CURRENT_USER";
const std::vector<std::u16string> kClassesPath = {u"SOFTWARE", u"Classes"};

struct FileId {
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  int64_t mtimeNs = 0;
  mode_t mode = 0;
  bool operator==(const FileId &o) const {
    return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size && mtimeNs == o.mtimeNs;
  }
};

FileId IdOf(const struct stat &st) {
  return FileId{true, st.st_dev, st.st_ino, st.st_size,
                static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, st.st_mode};
}

FileId StatPath(const std::string &path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return FileId{};
  return IdOf(st);
}

struct Hive {
  std::string path;
  std::u16string rootName;
  std::shared_ptr<Key> root = std::make_shared<Key>();
  bool loaded = false;
  FileId id;                // the file the tree was read from or last written as
  uint64_t generation = 0;  // bumped whenever the tree is replaced by a reload
  bool bad = false;         // the file on disk cannot be parsed
  bool locked = false;      // this process holds the hive's write lock
  // Writers count their saves in the lock file, which every process maps:
  // an unchanged count spares a stat of the hive on each call. Edits made
  // by hand are still found by a stat at least every kRestat.
  uint64_t *saves = nullptr;
  bool mapped = false;
  bool savesWritable = false;
  uint64_t savesSeen = 0;
  std::chrono::steady_clock::time_point lastStat;
  // The generation the hive file names; only a journal naming the same one
  // belongs to it.
  uint64_t fileGen = 0;
  // The journal as read: which file, and where the records applied end (0:
  // none, its header not read yet or naming another generation).
  dev_t journalDev = 0;
  ino_t journalIno = 0;
  off_t journalEnd = 0;
  int64_t journalMtimeNs = 0;
  bool journalBad = false;  // a whole record in it cannot be applied
  // This process's descriptor for appending, and whether what it appended
  // still waits for fdatasync.
  int appendFd = -1;
  dev_t appendDev = 0;
  ino_t appendIno = 0;
  bool unsynced = false;
};

constexpr std::chrono::milliseconds kRestat(200);

void MapSaveCounter(Hive &h) {
  h.mapped = true;
  std::string path = h.path + ".lock";
  bool writable = true;
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    writable = false;
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  }
  if (fd < 0) return;
  struct stat st;
  if (fstat(fd, &st) == 0 && (st.st_size >= 8 || (writable && ftruncate(fd, 8) == 0))) {
    void *p = mmap(nullptr, 8, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, fd, 0);
    if (p != MAP_FAILED) {
      h.saves = static_cast<uint64_t *>(p);
      h.savesWritable = writable;
    }
  }
  close(fd);
}

uint64_t SavesNow(const Hive &h) {
  return h.saves ? std::atomic_ref<uint64_t>(*h.saves).load(std::memory_order_acquire) : 0;
}

struct KeyHandle {
  Hive *hive = nullptr;
  std::vector<std::u16string> path;  // from the hive's root; for a class key, below Classes
  std::shared_ptr<Key> key;
  uint64_t generation = 0;
  REGSAM access = 0;
  bool classes = false;  // a key of the merged HKEY_CLASSES_ROOT, found again on each call
  // A class key that found the user's key: it stays with that key, and
  // answers ERROR_KEY_DELETED once it is gone, as any other handle does.
  bool user = false;
};

std::mutex g_mutex;
std::map<std::string, std::unique_ptr<Hive>> g_hives;  // by file path: a new prefix gets new hives
std::unordered_map<uintptr_t, KeyHandle> g_handles;
// Predefined keys the process mapped to a key of its own, by their canonical
// value. Each mapping holds its own copy of the handle, so the caller may
// close the one it passed.
std::map<uintptr_t, KeyHandle> g_overrides;
// Above zero while this thread reaches the keys behind the predefined ones
// for the layer's own bookkeeping, where no mapping applies.
thread_local int g_defaultMapping = 0;
uintptr_t g_nextHandle = 0;
std::set<std::string> g_reported;  // problems already written to stderr

// Registry handles live above the kernel handle range so neither is taken
// for the other.
constexpr uintptr_t kFirstHandle = 0x40000000, kLastHandle = 0x7ffffffc;

// Predefined keys are known by their low 32 bits, zero- or sign-extended, as
// Windows takes the values 32-bit code hands over.
HKEY Canonical(HKEY h) {
  const uint64_t v = reinterpret_cast<uintptr_t>(h);
  const uint32_t low = static_cast<uint32_t>(v);
  const uint64_t high = v >> 32;
  if (low >= 0x80000000u && low <= 0x80000006u && (high == 0 || high == 0xFFFFFFFFu))
    return reinterpret_cast<HKEY>(static_cast<intptr_t>(static_cast<int32_t>(low)));
  return h;
}

bool IsPredefined(HKEY h) {
  h = Canonical(h);
  return h == HKEY_LOCAL_MACHINE || h == HKEY_CURRENT_USER || h == HKEY_CLASSES_ROOT || h == HKEY_USERS;
}

// The keys RegOverridePredefKey maps: the four above, HKEY_PERFORMANCE_DATA
// and HKEY_CURRENT_CONFIG.
bool IsMappable(HKEY h) {
  const intptr_t v = reinterpret_cast<intptr_t>(Canonical(h));
  return v >= static_cast<int32_t>(0x80000000u) && v <= static_cast<int32_t>(0x80000005u);
}

// The prefix folder, re-derived only when the variables naming it change
// (PrefixDir creates folders, too slow for every call).
const std::string &CachedPrefix() {
  static std::string g_env, g_dir;
  // REVDIR_PREFIX, when set, alone decides: one lookup in the common case.
  const char *prefix = getenv("REVDIR_PREFIX");
  if (prefix && *prefix && !g_dir.empty() && g_env.size() > 1 && g_env[0] == 'P' &&
      g_env.compare(1, std::string::npos, prefix) == 0)
    return g_dir;
  std::string now;
  if (prefix && *prefix) {
    now = std::string("P") + prefix;
  } else {
    for (const char *name : {"XDG_DATA_HOME", "HOME"}) {
      const char *v = getenv(name);
      now += v ? v : "";
      now += '\0';
    }
  }
  if (g_dir.empty() || now != g_env) {
    g_env = std::move(now);
    g_dir = PrefixDir();
  }
  return g_dir;
}

void Report(const std::string &problem) {
  if (g_reported.insert(problem).second) fprintf(stderr, "registry: %s\n", problem.c_str());
}

bool WriteAll(int fd, const std::string &data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void CheckWatches(Hive &h);

std::string JournalPath(const Hive &h) { return h.path + ".journal"; }

int64_t NowNs() {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Tells every process that a hive or its journal changed.
void CountSave(Hive &h) {
  if (h.saves && h.savesWritable) {
    h.savesSeen = std::atomic_ref<uint64_t>(*h.saves).fetch_add(1, std::memory_order_acq_rel) + 1;
  }
}

// Replaces path durably: a new file beside it, flushed, renamed over it, then
// the folder flushed so the rename itself survives a crash. With keep, the
// new file stays open there.
LONG ReplaceFile(const std::string &path, const std::string &bytes, mode_t mode, struct stat *st, int *keep) {
  std::string tmp = path + ".new";  // writers hold the lock, so one name does
  int fd = open(tmp.c_str(), (keep ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) return static_cast<LONG>(Win32ErrorFromErrno(errno));
  if (!WriteAll(fd, bytes) || fsync(fd) != 0 || fstat(fd, st) != 0) {
    int err = errno;
    close(fd);
    unlink(tmp.c_str());
    return static_cast<LONG>(err == ENOSPC ? ERROR_DISK_FULL : ERROR_WRITE_FAULT);
  }
  if (rename(tmp.c_str(), path.c_str()) != 0) {
    LONG err = static_cast<LONG>(Win32ErrorFromErrno(errno));
    close(fd);
    unlink(tmp.c_str());
    return err;
  }
  if (keep)
    *keep = fd;
  else
    close(fd);
  std::string dir = path.substr(0, path.rfind('/'));
  if (int dfd = open(dir.empty() ? "/" : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dfd >= 0) {
    fsync(dfd);
    close(dfd);
  }
  return ERROR_SUCCESS;
}

// The hive whose journal holds appends not yet flushed to disk, and the key
// handles that wrote them: the flush waits until one of them is closed.
struct Pending {
  Hive *hive = nullptr;
  std::set<uintptr_t> handles;
};
Pending g_pending;

void SyncJournal(Hive &h) {
  if (h.unsynced && h.appendFd >= 0) fdatasync(h.appendFd);
  h.unsynced = false;
  if (g_pending.hive == &h) g_pending = Pending{};
}

void SyncPending() {
  if (g_pending.hive) SyncJournal(*g_pending.hive);
}

void SetAppendFd(Hive &h, int fd, const struct stat &st) {
  if (h.appendFd >= 0) {
    SyncJournal(h);
    close(h.appendFd);
  }
  h.appendFd = fd;
  h.appendDev = st.st_dev;
  h.appendIno = st.st_ino;
}

// A new generation: above the last, and never one an older journal names.
uint64_t NextGeneration(const Hive &h) { return std::max<uint64_t>(h.fileGen + 1, static_cast<uint64_t>(NowNs())); }

// Writes the whole tree as a hive file of a new generation; the journal,
// naming the old one, is then ignored until a new one starts.
LONG Save(Hive &h) {
  const uint64_t generation = NextGeneration(h);
  mode_t mode = h.id.exists ? (h.id.mode & 07777) : 0644;
  struct stat st;
  if (LONG e = ReplaceFile(h.path, reg::WriteHive(*h.root, h.rootName, generation), mode, &st, nullptr)) return e;
  h.id = IdOf(st);
  h.fileGen = generation;
  h.journalEnd = 0;
  h.journalDev = 0;
  h.journalIno = 0;
  h.unsynced = false;  // all of it is in the hive now
  if (g_pending.hive == &h) g_pending = Pending{};
  CountSave(h);
  CheckWatches(h);
  return ERROR_SUCCESS;
}

// An empty journal of the hive file's generation.
LONG StartJournal(Hive &h) {
  mode_t mode = h.id.exists ? (h.id.mode & 07777) : 0644;
  const std::string header = reg::JournalHeader(h.fileGen);
  struct stat st;
  int fd = -1;
  if (LONG e = ReplaceFile(JournalPath(h), header, mode, &st, &fd)) return e;
  SetAppendFd(h, fd, st);
  h.journalDev = st.st_dev;
  h.journalIno = st.st_ino;
  h.journalEnd = static_cast<off_t>(header.size());
  h.journalMtimeNs = IdOf(st).mtimeNs;
  return ERROR_SUCCESS;
}

// Folds the journal into the hive file. Should the new journal fail to
// start, the change is safe in the hive all the same.
LONG Fold(Hive &h) {
  if (LONG e = Save(h)) return e;
  StartJournal(h);
  return ERROR_SUCCESS;
}

// The journal is folded once it is larger than this and than the hive.
constexpr off_t kFoldAt = 256 * 1024;

// Appends one change (.reg text) to the hive's journal with one write. The
// caller holds the lock and has brought the tree and journal up to date.
LONG Append(Hive &h, const std::string &text) {
  // A hive written by hand names no generation: it is first rewritten in the
  // store's own form, to which a journal can then belong.
  if (h.fileGen == 0) return Fold(h);
  if (h.journalEnd == 0) {
    if (LONG e = StartJournal(h)) return e;
  } else if (h.appendFd < 0 || h.appendIno != h.journalIno || h.appendDev != h.journalDev) {
    int fd = open(JournalPath(h).c_str(), O_RDWR | O_CLOEXEC);
    struct stat st;
    if (fd < 0) return static_cast<LONG>(Win32ErrorFromErrno(errno));
    if (fstat(fd, &st) != 0 || st.st_ino != h.journalIno || st.st_dev != h.journalDev) {
      close(fd);
      return ERROR_WRITE_FAULT;
    }
    SetAppendFd(h, fd, st);
  }
  const std::string record = reg::JournalRecord(text);
  // A record a killed writer left cut short goes first.
  struct stat st;
  if (fstat(h.appendFd, &st) != 0) return ERROR_WRITE_FAULT;
  if (st.st_size != h.journalEnd && ftruncate(h.appendFd, h.journalEnd) != 0)
    return static_cast<LONG>(Win32ErrorFromErrno(errno));
  const ssize_t n = pwrite(h.appendFd, record.data(), record.size(), h.journalEnd);
  if (n != static_cast<ssize_t>(record.size())) {
    const int err = n < 0 ? errno : ENOSPC;
    if (ftruncate(h.appendFd, h.journalEnd) != 0) { /* readers stop at the torn record anyway */
    }
    return static_cast<LONG>(err == ENOSPC ? ERROR_DISK_FULL : ERROR_WRITE_FAULT);
  }
  h.journalEnd += n;
  h.journalMtimeNs = NowNs();
  h.unsynced = true;
  if (h.journalEnd > std::max<off_t>(kFoldAt, h.id.size)) return Fold(h);
  CountSave(h);
  CheckWatches(h);
  return ERROR_SUCCESS;
}

// Process exit flushes what is still waiting.
void SyncAtExit() {
  std::lock_guard<std::mutex> guard(g_mutex);
  SyncPending();
}

// Appends a change made through a key handle. Each is in the file, and seen
// by every process, as soon as its call returns; the flush to disk waits
// until a handle that wrote is closed or flushed, or a write goes to another
// hive, so that a series of writes (an import) costs one flush, not one each.
LONG Commit(Hive &h, HKEY through, const std::string &text) {
  static bool g_atExit = false;
  if (!g_atExit) {
    g_atExit = true;
    atexit(SyncAtExit);
  }
  const uintptr_t handle = reinterpret_cast<uintptr_t>(through);
  if (g_pending.hive && g_pending.hive != &h) SyncPending();
  LONG e = Append(h, text);
  if (!e && h.unsynced) {
    g_pending.hive = &h;
    g_pending.handles.insert(handle);
  }
  return e;
}

// Holds the hive's lock file for the duration of a write.
class WriteLock {
 public:
  explicit WriteLock(Hive &h) : m_hive(h) {
    if (h.locked) return;  // already held further up this call
    m_fd = open((h.path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_fd < 0) {
      m_error = static_cast<LONG>(Win32ErrorFromErrno(errno));
      return;
    }
    while (flock(m_fd, LOCK_EX) != 0) {
      if (errno != EINTR) {
        m_error = static_cast<LONG>(Win32ErrorFromErrno(errno));
        return;
      }
    }
    h.locked = true;
  }
  ~WriteLock() {
    if (m_fd < 0) return;
    if (m_error == ERROR_SUCCESS) m_hive.locked = false;
    close(m_fd);  // closing releases the lock
  }
  LONG Error() const { return m_error; }

 private:
  Hive &m_hive;
  int m_fd = -1;
  LONG m_error = ERROR_SUCCESS;
};

// Reads from offset to the end of an open file.
bool ReadFrom(int fd, off_t offset, off_t end, std::string *bytes) {
  bytes->assign(static_cast<size_t>(end > offset ? end - offset : 0), '\0');
  size_t got = 0;
  while (got < bytes->size()) {
    ssize_t n = pread(fd, bytes->data() + got, bytes->size() - got, offset + static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  bytes->resize(got);
  return true;
}

// Marks the hive unusable until its files change: ERROR_BADDB, never written.
LONG JournalFailed(Hive &h, const std::string &problem) {
  Report(problem);
  h.bad = h.journalBad = true;
  return ERROR_BADDB;
}

constexpr LONG kReload = -1;

// Applies the records appended to the journal since this process last
// looked. A record cut short (a writer killed while appending) ends them:
// it is not there. kReload when the journal is no longer the one read.
LONG CatchUp(Hive &h) {
  const std::string path = JournalPath(h);
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return h.journalEnd == 0 ? ERROR_SUCCESS : kReload;
    return JournalFailed(h, "cannot read " + path + ": " + std::to_string(errno));
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || (h.journalEnd > 0 && (st.st_ino != h.journalIno || st.st_dev != h.journalDev)) ||
      st.st_size < h.journalEnd) {
    close(fd);
    return kReload;
  }
  h.journalDev = st.st_dev;
  h.journalIno = st.st_ino;
  h.journalMtimeNs = IdOf(st).mtimeNs;
  std::string bytes;
  ReadFrom(fd, h.journalEnd, st.st_size, &bytes);
  close(fd);
  std::string_view rest = bytes;
  off_t at = h.journalEnd;
  if (at == 0) {
    uint64_t generation = 0;
    // Another generation's journal was folded already, or its hive replaced.
    if (!reg::ReadJournalHeader(rest, &generation) || generation != h.fileGen || h.fileGen == 0) return ERROR_SUCCESS;
    rest.remove_prefix(reg::kJournalHeaderSize);
    at = reg::kJournalHeaderSize;
  }
  std::vector<std::string_view> records;
  at += static_cast<off_t>(reg::ReadJournalRecords(rest, &records));
  for (std::string_view record : records) {
    std::vector<reg::Entry> entries;
    reg::ParseError perr;
    if (!reg::Parse(record, &entries, &perr) || !reg::ApplyAll(*h.root, h.rootName, entries, &perr))
      return JournalFailed(h, path + ": a record cannot be applied: " + perr.message);
  }
  h.journalEnd = at;
  if (!records.empty()) CheckWatches(h);
  return ERROR_SUCCESS;
}

// First use: an empty hive. When the prefix cannot be written the registry
// still works, read-only and empty.
LONG Refresh(Hive &h, bool thorough);

LONG CreateHive(Hive &h, const FileId &now) {
  h.root = std::make_shared<Key>();
  h.bad = h.journalBad = false;
  h.loaded = true;
  h.id = now;
  h.fileGen = 0;
  h.journalEnd = 0;
  ++h.generation;
  WriteLock lock(h);
  if (lock.Error() == ERROR_SUCCESS && !StatPath(h.path).exists) {
    unlink(JournalPath(h).c_str());  // a journal left without its hive belongs to nothing
    if (Save(h) == ERROR_SUCCESS) return ERROR_SUCCESS;
  }
  if (StatPath(h.path).exists) {  // another process created it first
    h.loaded = false;
    return Refresh(h, true);
  }
  return ERROR_SUCCESS;
}

// Reads the hive file and then its journal afresh.
LONG Load(Hive &h) {
  int fd = open(h.path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) {
    if (fd >= 0) close(fd);
    Report("cannot read " + h.path + ": " + std::to_string(errno));
    return ERROR_BADDB;
  }
  std::string bytes;
  ReadFrom(fd, 0, st.st_size, &bytes);
  close(fd);
  std::vector<reg::Entry> entries;
  reg::ParseError perr;
  auto root = std::make_shared<Key>();
  bool ok = reg::Parse(bytes, &entries, &perr) && reg::ApplyAll(*root, h.rootName, entries, &perr);
  h.loaded = true;
  h.id = IdOf(st);
  if (!ok) {
    h.bad = true;
    Report(h.path + ":" + std::to_string(perr.line) + ": " + perr.message);
    return ERROR_BADDB;
  }
  h.bad = h.journalBad = false;
  h.root = std::move(root);
  h.fileGen = reg::HiveGeneration(bytes);
  h.journalEnd = 0;
  h.journalDev = 0;
  h.journalIno = 0;
  ++h.generation;
  LONG e = CatchUp(h);
  CheckWatches(h);  // what another process changed
  return e == kReload ? ERROR_BADDB : e;
}

// Brings the tree up to date with the files. Returns ERROR_BADDB while the
// hive file or a whole record of its journal cannot be parsed; the hive is
// then never written.
LONG Refresh(Hive &h, bool thorough = false) {
  if (!h.mapped) MapSaveCounter(h);
  uint64_t saves = SavesNow(h);
  auto clock = std::chrono::steady_clock::now();
  if (!thorough && h.loaded && !h.bad && h.saves && saves == h.savesSeen && clock - h.lastStat < kRestat)
    return ERROR_SUCCESS;
  h.savesSeen = saves;
  h.lastStat = clock;
  FileId now = StatPath(h.path);
  if (h.loaded && now == h.id && !h.journalBad) {
    if (h.bad) return ERROR_BADDB;
    LONG e = CatchUp(h);
    if (e != kReload) return e;
  }
  if (!now.exists) return CreateHive(h, now);
  // A fold while the files were read pairs the old hive with the new
  // journal, which is then ignored: read them again.
  for (int attempt = 0;; ++attempt) {
    LONG e = Load(h);
    if (e || attempt == 2 || StatPath(h.path) == h.id) return e;
  }
}

Hive &GetHive(const std::string &path, std::u16string_view rootName) {
  auto &slot = g_hives[path];
  if (!slot) {
    slot = std::make_unique<Hive>();
    slot->path = path;
    slot->rootName = rootName;
  }
  return *slot;
}

// A hive whose file nobody may write is read-only, for root as well (as a
// read-only file is on Windows even for an administrator).
bool ReadOnly(const Hive &h) {
  FileId id = StatPath(h.path);
  if (id.exists && ((id.mode & 0222) == 0 || access(h.path.c_str(), W_OK) != 0)) return true;
  std::string dir = h.path.substr(0, h.path.rfind('/'));
  return access(dir.c_str(), W_OK) != 0;
}

std::shared_ptr<Key> Walk(const std::shared_ptr<Key> &key, const std::vector<std::u16string> &path) {
  const std::shared_ptr<Key> *at = &key;
  for (const auto &part : path)
    if (!(at = (*at)->Slot(part))) return nullptr;
  return *at;
}

// ---------------------------------------------------------------------------
// Change notifications (RegNotifyChangeKeyValue)

// A pending notification: what the watched key looked like when it was asked
// for. After every change this process saves or sees another process make,
// the key is looked at again; when it differs the event is set and the
// notification ends, as each call asks for one on Windows.
struct Watch {
  uintptr_t handle = 0;  // the key handle it belongs to
  Hive *hive = nullptr;
  std::vector<std::u16string> path;
  bool subtree = false;
  DWORD filter = 0;
  uint64_t digest = 0;
  HANDLE event = nullptr;
  std::shared_ptr<KernelObject> eventObject;  // what the event handle named when asked
};

std::vector<Watch> g_watches;

class Digest {
 public:
  void Add(const void *p, size_t n) {
    auto b = static_cast<const BYTE *>(p);
    for (size_t i = 0; i < n; ++i) m_hash = (m_hash ^ b[i]) * 0x100000001b3ull;
  }
  void Add(uint64_t n) { Add(&n, sizeof n); }
  void Add(std::u16string_view s) {
    Add(s.size());
    Add(s.data(), s.size() * sizeof(char16_t));
  }
  uint64_t Value() const { return m_hash; }

 private:
  uint64_t m_hash = 0xcbf29ce484222325ull;
};

// What a filter watches of a key: its subkeys' names (REG_NOTIFY_CHANGE_NAME),
// its values (REG_NOTIFY_CHANGE_LAST_SET), and with subtree the same of every
// key below. Attributes and security never change here.
void AddKey(const Key &key, bool subtree, DWORD filter, Digest &d) {
  if (filter & REG_NOTIFY_CHANGE_NAME)
    for (const auto &sub : key.subkeys) d.Add(sub->name);
  if (filter & REG_NOTIFY_CHANGE_LAST_SET) {
    d.Add(key.values.size());
    for (const auto &v : key.values) {
      d.Add(v.name);
      d.Add(v.type);
      d.Add(v.data.size());
      d.Add(v.data.data(), v.data.size());
    }
  }
  if (!subtree) return;
  for (const auto &sub : key.subkeys) {
    d.Add(sub->name);
    AddKey(*sub, true, filter, d);
  }
}

uint64_t DigestOf(const Watch &w) {
  std::shared_ptr<Key> key = Walk(w.hive->root, w.path);
  if (!key) return 0;  // the key is gone, which ends the wait too
  Digest d;
  AddKey(*key, w.subtree, w.filter, d);
  return d.Value();
}

// The event the caller named, unless its handle was closed and now names
// another object.
std::shared_ptr<KernelObject> HandleObject(HANDLE h) {
  DWORD error = GetLastError();
  std::shared_ptr<KernelObject> object = GetHandleObject(h);
  SetLastError(error);
  return object;
}

void Signal(const Watch &w) {
  DWORD error = GetLastError();
  if (HandleObject(w.event) == w.eventObject) SetEvent(w.event);
  SetLastError(error);
}

void CheckWatches(Hive &h) {
  for (size_t i = 0; i < g_watches.size();) {
    if (g_watches[i].hive != &h || DigestOf(g_watches[i]) == g_watches[i].digest) {
      ++i;
      continue;
    }
    Signal(g_watches[i]);
    g_watches.erase(g_watches.begin() + static_cast<ptrdiff_t>(i));
  }
}

// Closing a key ends its notifications; each waiter is woken, as Windows
// completes a pending notification when its handle goes.
void EndWatches(uintptr_t handle) {
  for (size_t i = 0; i < g_watches.size();) {
    if (g_watches[i].handle != handle) {
      ++i;
      continue;
    }
    Signal(g_watches[i]);
    g_watches.erase(g_watches.begin() + static_cast<ptrdiff_t>(i));
  }
}

// Another process's changes reach this one through the hive files: a thread
// waits for a prefix folder to say that a hive file was replaced and reads it
// again, which sets the events of the watches it changed. Every 100 ms it
// looks at the watched hives all the same, for a folder inotify cannot watch.
// It ends when no watch is left.
struct Watcher {
  int fd = -1;
  std::map<int, std::string> folders;  // by inotify watch descriptor
  std::thread *thread = nullptr;
  bool running = false;
  bool stop = false;
};

Watcher g_watcher;

void ReadReplacedHives(std::set<Hive *> *replaced) {
  alignas(inotify_event) char buf[4096];
  ssize_t n;
  while ((n = read(g_watcher.fd, buf, sizeof buf)) > 0) {
    for (char *p = buf; p < buf + n;) {
      auto *e = reinterpret_cast<inotify_event *>(p);
      p += sizeof(inotify_event) + e->len;
      auto folder = g_watcher.folders.find(e->wd);
      if (folder == g_watcher.folders.end() || !e->len) continue;
      auto hive = g_hives.find(folder->second + "/" + e->name);
      if (hive != g_hives.end()) replaced->insert(hive->second.get());
    }
  }
}

void WatchLoop() {
  for (;;) {
    pollfd p{g_watcher.fd, POLLIN, 0};
    const int ready = g_watcher.fd >= 0 ? poll(&p, 1, 100) : (usleep(100000), 0);
    std::lock_guard<std::mutex> guard(g_mutex);
    if (g_watcher.stop || g_watches.empty()) {
      g_watcher.running = false;
      return;
    }
    std::set<Hive *> replaced, watched;
    if (ready > 0) ReadReplacedHives(&replaced);
    for (const Watch &w : g_watches) watched.insert(w.hive);
    for (Hive *h : watched) Refresh(*h, replaced.count(h) != 0);
  }
}

void StopWatcher() {
  std::thread *thread;
  {
    std::lock_guard<std::mutex> guard(g_mutex);
    g_watcher.stop = true;
    thread = g_watcher.thread;
  }
  if (thread && thread->joinable()) thread->join();
}

// A child of fork has no watcher thread, whatever its parent had: it starts
// one of its own, on an inotify instance of its own, at its first watch. The
// lock is held across the fork so that the child never inherits it taken.
void BeforeFork() { g_mutex.lock(); }
void AfterForkInParent() { g_mutex.unlock(); }
void AfterForkInChild() {
  g_watcher.thread = nullptr;  // the parent's thread: not to be joined here
  g_watcher.running = false;
  if (g_watcher.fd >= 0) close(g_watcher.fd);
  g_watcher.fd = -1;
  g_watcher.folders.clear();
  g_mutex.unlock();
}

// Watches the hive's folder and starts the thread if it is not running.
void WatchFolderOf(const Hive &h) {
  if (g_watcher.fd < 0) g_watcher.fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (g_watcher.fd >= 0) {
    std::string folder = h.path.substr(0, h.path.rfind('/'));
    int wd = inotify_add_watch(g_watcher.fd, folder.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
    if (wd >= 0) g_watcher.folders[wd] = folder;
  }
  if (g_watcher.running || g_watcher.stop) return;
  if (g_watcher.thread) {
    g_watcher.thread->join();  // it ended and no longer needs the lock
    delete g_watcher.thread;
  } else {
    atexit(StopWatcher);  // before the tables it reads are destroyed
    static bool g_forkHandled = false;
    if (!g_forkHandled) pthread_atfork(BeforeFork, AfterForkInParent, AfterForkInChild);
    g_forkHandled = true;
  }
  g_watcher.running = true;
  g_watcher.thread = new std::thread(WatchLoop);
}

// What a handle stands for at this moment.
struct Resolved {
  Hive *hive = nullptr;
  std::shared_ptr<Key> key;
  std::vector<std::u16string> path;  // from the hive's root
  REGSAM access = 0;
  // A key of HKEY_CLASSES_ROOT: its path below Classes, and the machine's
  // key of that path when key is the user's (their subkeys merge).
  bool classes = false;
  std::vector<std::u16string> classPath;
  std::shared_ptr<Key> machine;
};

const std::vector<std::u16string> kNoPath;

// The two hives of the current prefix, looked up again when it changes.
void CurrentHives(Hive **system, Hive **user) {
  static const std::string *g_cachedFor = nullptr;
  static std::string g_cachedDir;
  static Hive *g_systemHive = nullptr, *g_userHive = nullptr;
  const std::string &dir = CachedPrefix();
  if (g_cachedFor != &dir || g_cachedDir != dir) {
    g_cachedFor = &dir;
    g_cachedDir = dir;
    g_systemHive = &GetHive(dir + "/system.reg", kLocalMachine);
    g_userHive = &GetHive(dir + "/user.reg", kCurrentUser);
  }
  *system = g_systemHive;
  *user = g_userHive;
}

std::vector<std::u16string> Joined(const std::vector<std::u16string> &a, const std::vector<std::u16string> &b) {
  std::vector<std::u16string> out = a;
  out.insert(out.end(), b.begin(), b.end());
  return out;
}

// HKEY_CLASSES_ROOT merges HKEY_CURRENT_USER\SOFTWARE\Classes over
// HKEY_LOCAL_MACHINE\SOFTWARE\Classes: a key is the user's when it exists
// there, else the machine's. The machine's Classes key always exists (in
// memory until the next write saves it). ERROR_KEY_DELETED when neither has it.
LONG ResolveClasses(const std::vector<std::u16string> &rel, REGSAM access, Resolved *out, bool thorough) {
  Hive *system, *user;
  CurrentHives(&system, &user);
  if (LONG e = Refresh(*system, thorough)) return e;
  if (LONG e = Refresh(*user, thorough)) return e;
  std::vector<std::u16string> path = Joined(kClassesPath, rel);
  std::shared_ptr<Key> mine = Walk(user->root, path), machine;
  if (rel.empty()) {
    machine = system->root;
    for (const auto &part : kClassesPath) machine = machine->Child(part);
  } else {
    machine = Walk(system->root, path);
  }
  if (!mine && !machine) return ERROR_KEY_DELETED;
  out->hive = mine ? user : system;
  out->key = mine ? mine : machine;
  out->machine = mine ? machine : nullptr;
  out->path = std::move(path);
  out->access = access;
  out->classes = true;
  out->classPath = rel;
  return ERROR_SUCCESS;
}

LONG ResolveHandle(KeyHandle &kh, Resolved *out, bool thorough);

LONG Resolve(HKEY h, Resolved *out, bool thorough = false) {
  h = Canonical(h);
  if (!g_overrides.empty() && !g_defaultMapping) {
    auto mapped = g_overrides.find(reinterpret_cast<uintptr_t>(h));
    if (mapped != g_overrides.end()) return ResolveHandle(mapped->second, out, thorough);
  }
  if (h == HKEY_CLASSES_ROOT) return ResolveClasses(kNoPath, KEY_ALL_ACCESS, out, thorough);
  if (IsPredefined(h)) {
    if (h == HKEY_USERS) return ERROR_INVALID_HANDLE;
    Hive *system, *user;
    CurrentHives(&system, &user);
    Hive &hive = h == HKEY_CURRENT_USER ? *user : *system;
    if (LONG e = Refresh(hive, thorough)) return e;
    out->hive = &hive;
    out->access = KEY_ALL_ACCESS;
    out->key = hive.root;
    out->path.clear();
    return ERROR_SUCCESS;
  }
  auto it = g_handles.find(reinterpret_cast<uintptr_t>(h));
  if (it == g_handles.end()) return ERROR_INVALID_HANDLE;
  return ResolveHandle(it->second, out, thorough);
}

bool IsUserHive(const Hive *h) { return h && h->rootName == kCurrentUser; }

LONG ResolveHandle(KeyHandle &kh, Resolved *out, bool thorough) {
  if (kh.classes) {
    LONG e = ResolveClasses(kh.path, kh.access, out, thorough);
    // A handle on the machine's key moves to the user's once there is one;
    // a handle on the user's key dies with it.
    if (e == ERROR_SUCCESS && IsUserHive(out->hive)) {
      kh.user = true;
    } else if (kh.user && (e == ERROR_SUCCESS || e == ERROR_KEY_DELETED)) {
      return ERROR_KEY_DELETED;
    }
    return e;
  }
  if (LONG e = Refresh(*kh.hive, thorough)) return e;
  if (kh.key->deleted) return ERROR_KEY_DELETED;
  if (kh.generation != kh.hive->generation) {
    // The tree was re-read: find the key again; gone means another process
    // deleted it.
    auto key = Walk(kh.hive->root, kh.path);
    if (!key) {
      kh.key->MarkDeleted();
      return ERROR_KEY_DELETED;
    }
    kh.key = key;
    kh.generation = kh.hive->generation;
  }
  out->hive = kh.hive;
  out->key = kh.key;
  out->path = kh.path;
  out->access = kh.access;
  return ERROR_SUCCESS;
}

// Rights asked for, with the generic ones mapped to the key rights.
REGSAM MapAccess(REGSAM sam) {
  REGSAM r = sam & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY | GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE |
                     GENERIC_ALL | MAXIMUM_ALLOWED);
  if (sam & GENERIC_READ) r |= KEY_READ;
  if (sam & GENERIC_WRITE) r |= KEY_WRITE;
  if (sam & GENERIC_EXECUTE) r |= KEY_EXECUTE;
  if (sam & (GENERIC_ALL | MAXIMUM_ALLOWED)) r |= KEY_ALL_ACCESS;
  return r;
}

HKEY NewHandle(KeyHandle kh) {
  for (;;) {
    g_nextHandle = (g_nextHandle < kFirstHandle || g_nextHandle >= kLastHandle) ? kFirstHandle : g_nextHandle + 4;
    if (!g_handles.count(g_nextHandle)) break;
  }
  g_handles[g_nextHandle] = std::move(kh);
  return reinterpret_cast<HKEY>(g_nextHandle);
}

HKEY NewHandle(Hive *hive, std::vector<std::u16string> path, std::shared_ptr<Key> key, REGSAM access) {
  return NewHandle(KeyHandle{hive, std::move(path), std::move(key), hive->generation, access, false});
}

HKEY NewClassesHandle(std::vector<std::u16string> rel, REGSAM access, bool user) {
  return NewHandle(KeyHandle{nullptr, std::move(rel), nullptr, 0, access, true, user});
}

// The path below HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE of a class key.
std::u16string ClassesPathText(const std::vector<std::u16string> &rel) {
  std::u16string text = u"SOFTWARE\\Classes";
  for (const auto &part : rel) text += u"\\" + part;
  return text;
}

// Subkeys in enumeration order; a class key present for both the user and
// the machine lists both sets, the user's name where both have one.
std::vector<const Key *> Subkeys(const Resolved &r) {
  std::vector<const Key *> out;
  const auto &a = r.key->subkeys;
  if (!r.machine) {
    for (const auto &k : a) out.push_back(k.get());
    return out;
  }
  const auto &b = r.machine->subkeys;
  size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    int c = i == a.size() ? 1 : j == b.size() ? -1 : CompareNoCase(a[i]->name, b[j]->name);
    if (c <= 0) out.push_back(a[i++].get());
    else out.push_back(b[j++].get());
    if (c == 0) ++j;
  }
  return out;
}

// Values in enumeration order; a class key present for both the user and
// the machine lists the user's values, then those of the machine's that the
// user's key lacks.
std::vector<const reg::Value *> Values(const Resolved &r) {
  std::vector<const reg::Value *> out;
  for (const auto &v : r.key->values) out.push_back(&v);
  if (r.machine)
    for (const auto &v : r.machine->values)
      if (!r.key->FindValue(v.name)) out.push_back(&v);
  return out;
}

const reg::Value *FindMergedValue(const Resolved &r, std::u16string_view name) {
  if (const reg::Value *v = r.key->FindValue(name)) return v;
  return r.machine ? r.machine->FindValue(name) : nullptr;
}

// A name stored in a hive must survive the trip through the UTF-8 file and
// be reachable through the API (no NUL); a key name also cannot hold a line
// break (the section line has no escapes).
bool Storable(std::u16string_view name, bool keyName) {
  if (!ToUtf8(name) || name.find(u'\0') != std::u16string_view::npos) return false;
  return !keyName || name.find_first_of(u"\r\n") == std::u16string_view::npos;
}

// Splits a relative key path; a leading backslash is refused as Windows does,
// except right below HKEY_CLASSES_ROOT.
LONG SplitSubKey(HKEY parent, const WCHAR *subKey, std::vector<std::u16string> *parts) {
  std::u16string_view s = View(subKey);
  if (!s.empty() && s.front() == u'\\' && Canonical(parent) != HKEY_CLASSES_ROOT) return ERROR_BAD_PATHNAME;
  *parts = reg::SplitPath(s);
  return ERROR_SUCCESS;
}

// The text of a key's path in a hive, root name first, as .reg files name it.
std::u16string PathText(const Hive &h, const std::vector<std::u16string> &path) {
  std::u16string text = h.rootName;
  for (const auto &part : path) {
    text += u'\\';
    text += part;
  }
  return text;
}

// Runs a change under the hive's lock on a tree brought up to date from
// disk, then appends it to the journal. change() checks everything first and
// changes nothing when it fails; otherwise it writes the change as .reg text
// to its record. A failed append re-reads the files so memory matches disk
// again.
template <typename F>
LONG WriteChange(HKEY hKey, F &&change) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    Resolved r;
    if (LONG e = Resolve(hKey, &r)) return e;
    Hive *hive = r.hive;
    if (ReadOnly(*hive)) return ERROR_ACCESS_DENIED;
    WriteLock lock(*hive);
    if (lock.Error()) return lock.Error() == ERROR_FILE_NOT_FOUND ? ERROR_ACCESS_DENIED : lock.Error();
    if (LONG e = Resolve(hKey, &r, true)) return e;  // re-read under the lock
    // A class key can move from the machine's hive to the user's between
    // the look and the lock: then lock the other one.
    if (r.hive != hive) continue;
    bool changed = false;
    reg::Writer record(reg::Encoding::kUtf8);
    if (LONG e = change(r, &changed, record)) return e;
    if (!changed) return ERROR_SUCCESS;
    LONG e = Commit(*hive, Canonical(hKey), record.Finish());
    if (e) {
      hive->loaded = false;
      Refresh(*hive, true);
    }
    return e;
  }
  return ERROR_ACCESS_DENIED;
}

// Opens or creates hKey\subKey. The parent's rights are not asked for:
// Windows checks only the rights of what it touches.
LONG OpenOrCreate(HKEY hKey, const WCHAR *subKey, REGSAM sam, bool create, HKEY *result, DWORD *disposition) {
  std::vector<std::u16string> parts;
  if (LONG e = SplitSubKey(hKey, subKey, &parts)) return e;
  std::lock_guard<std::mutex> guard(g_mutex);
  Resolved r;
  if (LONG e = Resolve(hKey, &r)) return e;
  if (r.classes) {
    std::vector<std::u16string> rel = Joined(r.classPath, parts);
    Resolved found;
    LONG e = ResolveClasses(rel, 0, &found, false);
    if (e != ERROR_SUCCESS && e != ERROR_KEY_DELETED) return e;
    const bool created = e == ERROR_KEY_DELETED;
    if (created) {
      if (!create) return ERROR_FILE_NOT_FOUND;
      for (const auto &p : parts)
        if (p.size() > reg::kMaxKeyNameChars || !Storable(p, true)) return ERROR_INVALID_PARAMETER;
      // New class keys go to the machine's Classes, as Windows puts them.
      const std::vector<std::u16string> path = Joined(kClassesPath, rel);
      DefaultKeyMapping real;
      e = WriteChange(HKEY_LOCAL_MACHINE, [&](Resolved &w, bool *changed, reg::Writer &record) {
        auto key = w.key;
        for (const auto &p : path) key = key->Child(p, changed);
        *changed = true;
        record.Section(PathText(*w.hive, path));
        return ERROR_SUCCESS;
      });
      if (e) return e;
    }
    *result = NewClassesHandle(std::move(rel), MapAccess(sam), !created && IsUserHive(found.hive));
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
  }
  auto key = Walk(r.key, parts);
  if (key) {
    *result = NewHandle(r.hive, Joined(r.path, parts), key, MapAccess(sam));
    if (disposition) *disposition = REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
  }
  if (!create) return ERROR_FILE_NOT_FOUND;
  for (const auto &p : parts)
    if (p.size() > reg::kMaxKeyNameChars || !Storable(p, true)) return ERROR_INVALID_PARAMETER;
  bool createdLast = false;
  LONG e = WriteChange(hKey, [&](Resolved &w, bool *changed, reg::Writer &record) {
    key = w.key;
    for (const auto &p : parts) key = key->Child(p, &createdLast);
    *changed = createdLast;
    record.Section(PathText(*w.hive, Joined(w.path, parts)));
    r = w;
    return ERROR_SUCCESS;
  });
  if (e) return e;
  *result = NewHandle(r.hive, Joined(r.path, parts), key, MapAccess(sam));
  if (disposition) *disposition = createdLast ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

// When the hive last changed: its file, or its journal since.
FILETIME FileTimeOf(const Hive &h) {
  const int64_t ns = std::max(h.id.mtimeNs, h.journalEnd ? h.journalMtimeNs : 0);
  uint64_t t = h.id.exists ? static_cast<uint64_t>(ns / 100) + 116444736000000000ull : 0;
  return FILETIME{static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
}

// Copies a name into a caller's buffer of *cch characters (terminator
// included); too small gives ERROR_MORE_DATA and leaves the buffer alone.
LONG CopyName(std::u16string_view name, WCHAR *buf, DWORD *cch) {
  if (name.size() + 1 > *cch) return ERROR_MORE_DATA;
  name.copy(buf, name.size());
  buf[name.size()] = 0;
  *cch = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

LONG CopyData(const reg::Value &v, DWORD *type, BYTE *data, DWORD *cbData) {
  if (type) *type = v.type;
  if (!cbData) return ERROR_SUCCESS;
  DWORD need = static_cast<DWORD>(v.data.size());
  if (data) {
    if (*cbData < need) {
      *cbData = need;
      return ERROR_MORE_DATA;
    }
    std::copy(v.data.begin(), v.data.end(), data);
  }
  *cbData = need;
  return ERROR_SUCCESS;
}

}  // namespace

}  // namespace platform

// ---------------------------------------------------------------------------
// The Win32 API

using namespace platform;

LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  // No key at all leaves the result as it was; any later failure nulls it.
  if (!hKey) return ERROR_INVALID_HANDLE;
  *phkResult = nullptr;
  if (IsPredefined(hKey) && (!lpSubKey || !*lpSubKey)) {
    // A predefined key opens as itself.
    std::lock_guard<std::mutex> guard(g_mutex);
    Resolved r;
    if (LONG e = Resolve(hKey, &r)) return e;
    *phkResult = Canonical(hKey);
    return ERROR_SUCCESS;
  }
  return OpenOrCreate(hKey, lpSubKey, samDesired, false, phkResult, nullptr);
}

LSTATUS WINAPI RegOpenKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  // No subkey hands back the key given, unchecked, as Windows does.
  if (!lpSubKey || !*lpSubKey) {
    *phkResult = hKey;
    return ERROR_SUCCESS;
  }
  return RegOpenKeyExW(hKey, lpSubKey, 0, MAXIMUM_ALLOWED, phkResult);
}

LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR, DWORD, REGSAM samDesired,
                               LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
  if (!phkResult) return ERROR_BADKEY;
  if (Reserved) return ERROR_INVALID_PARAMETER;
  if (!hKey) return ERROR_INVALID_HANDLE;
  *phkResult = nullptr;
  return OpenOrCreate(hKey, lpSubKey, samDesired, true, phkResult, lpdwDisposition);
}

LSTATUS WINAPI RegCreateKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;  // not ERROR_BADKEY as for RegCreateKeyExW
  return RegCreateKeyExW(hKey, lpSubKey, 0, nullptr, 0, MAXIMUM_ALLOWED, nullptr, phkResult, nullptr);
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
  if (IsPredefined(hKey)) return ERROR_SUCCESS;
  std::lock_guard<std::mutex> guard(g_mutex);
  if (!g_handles.erase(reinterpret_cast<uintptr_t>(hKey))) return ERROR_INVALID_HANDLE;
  EndWatches(reinterpret_cast<uintptr_t>(hKey));
  if (g_pending.handles.count(reinterpret_cast<uintptr_t>(hKey))) SyncPending();
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  if (!lpName || !lpcchName || lpReserved) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> guard(g_mutex);
  Resolved r;
  if (LONG e = Resolve(hKey, &r)) return e;
  if (!(r.access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
  const std::u16string *name;
  if (!r.machine) {
    if (dwIndex >= r.key->subkeys.size()) return ERROR_NO_MORE_ITEMS;
    name = &r.key->subkeys[dwIndex]->name;
  } else {
    std::vector<const Key *> all = Subkeys(r);
    if (dwIndex >= all.size()) return ERROR_NO_MORE_ITEMS;
    name = &all[dwIndex]->name;
  }
  if (LONG e = CopyName(*name, lpName, lpcchName)) return e;
  if (lpClass && lpcchClass) {  // keys carry no class
    if (*lpcchClass) lpClass[0] = 0;
    *lpcchClass = 0;
  }
  if (lpftLastWriteTime) *lpftLastWriteTime = FileTimeOf(*r.hive);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                             LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> guard(g_mutex);
  Resolved r;
  if (LONG e = Resolve(hKey, &r)) return e;
  if (!(r.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  const std::vector<const reg::Value *> all = Values(r);
  if (dwIndex >= all.size()) return ERROR_NO_MORE_ITEMS;
  const reg::Value &v = *all[dwIndex];
  if (LONG e = CopyName(v.name, lpValueName, lpcchValueName)) {
    // The name does not fit: the type and the data's size are told all the same.
    if (lpType) *lpType = v.type;
    if (lpcbData) *lpcbData = static_cast<DWORD>(v.data.size());
    return e;
  }
  return CopyData(v, lpType, lpData, lpcbData);
}

LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData) {
  if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> guard(g_mutex);
  Resolved r;
  if (LONG e = Resolve(hKey, &r)) return e;
  if (!(r.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  const reg::Value *v = FindMergedValue(r, View(lpValueName));
  if (!v) {
    if (lpcbData && !lpData) *lpcbData = 0;
    return ERROR_FILE_NOT_FOUND;
  }
  return CopyData(*v, lpType, lpData, lpcbData);
}

namespace platform {

LONG SetValueAsGiven(HKEY hKey, const WCHAR *valueName, DWORD type, std::vector<BYTE> data) {
  std::u16string_view name = View(valueName);
  if (name.size() > reg::kMaxValueNameChars || !Storable(name, false)) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> guard(g_mutex);
  return WriteChange(hKey, [&](Resolved &r, bool *changed, reg::Writer &record) {
    if (!(r.access & KEY_SET_VALUE)) return static_cast<LONG>(ERROR_ACCESS_DENIED);
    record.Section(PathText(*r.hive, r.path));
    record.Value(name, type, data);
    r.key->SetValue(name, type, std::move(data));
    *changed = true;
    return static_cast<LONG>(ERROR_SUCCESS);
  });
}

}  // namespace platform

LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE *lpData, DWORD cbData) {
  std::vector<BYTE> data(cbData);
  if (!CopyFromCaller(data.data(), lpData, cbData)) return ERROR_NOACCESS;
  // A string whose count leaves out its terminator is stored with one.
  if ((dwType == REG_SZ || dwType == REG_EXPAND_SZ || dwType == REG_MULTI_SZ) && cbData >= 2 && cbData % 2 == 0 &&
      (data[cbData - 1] || data[cbData - 2]))
    data.insert(data.end(), {0, 0});
  return SetValueAsGiven(hKey, lpValueName, dwType, std::move(data));
}

LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  std::lock_guard<std::mutex> guard(g_mutex);
  return WriteChange(hKey, [&](Resolved &r, bool *changed, reg::Writer &record) {
    if (!(r.access & KEY_SET_VALUE)) return static_cast<LONG>(ERROR_ACCESS_DENIED);
    if (!r.key->DeleteValue(View(lpValueName))) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
    record.Section(PathText(*r.hive, r.path));
    record.DeleteValue(View(lpValueName));
    *changed = true;
    return static_cast<LONG>(ERROR_SUCCESS);
  });
}

namespace {

// Where a key below a class key really lies: the user's copy when there is
// one, else the machine's. Deleting through HKEY_CLASSES_ROOT removes that
// copy; the other, if any, shows through afterwards as on Windows.
struct ClassesTarget {
  bool classes = false;  // the key lies below HKEY_CLASSES_ROOT
  HKEY root = nullptr;   // then: the hive holding it, its path there, and the handle's rights
  std::u16string path;
  REGSAM access = 0;
};

LONG FindClassesTarget(HKEY hKey, const std::vector<std::u16string> &parts, ClassesTarget *t) {
  std::lock_guard<std::mutex> guard(g_mutex);
  Resolved r;
  if (LONG e = Resolve(hKey, &r)) return e;
  t->classes = r.classes;
  if (!r.classes) return ERROR_SUCCESS;
  std::vector<std::u16string> rel = Joined(r.classPath, parts);
  Resolved target;
  if (LONG e = ResolveClasses(rel, 0, &target, false)) return e == ERROR_KEY_DELETED ? ERROR_FILE_NOT_FOUND : e;
  t->root = target.hive->rootName == kCurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
  t->path = ClassesPathText(rel);
  t->access = r.access;
  return ERROR_SUCCESS;
}

}  // namespace

LSTATUS WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  std::vector<std::u16string> parts;
  if (LONG e = SplitSubKey(hKey, lpSubKey, &parts)) return e;
  ClassesTarget t;
  if (LONG e = FindClassesTarget(hKey, parts, &t)) return e;
  if (t.classes) {
    if (t.path == ClassesPathText(kNoPath)) return ERROR_ACCESS_DENIED;  // HKEY_CLASSES_ROOT itself stays
    DefaultKeyMapping real;
    return RegDeleteKeyW(t.root, t.path.c_str());
  }
  std::lock_guard<std::mutex> guard(g_mutex);
  std::shared_ptr<Key> gone;
  LONG e = WriteChange(hKey, [&](Resolved &r, bool *changed, reg::Writer &record) {
    auto key = Walk(r.key, parts);
    if (!key) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
    // A root or predefined key is not deleted; nor is a key with subkeys.
    if (!key->parent || (parts.empty() && IsPredefined(hKey)) || !key->subkeys.empty())
      return static_cast<LONG>(ERROR_ACCESS_DENIED);
    record.DeleteSection(PathText(*r.hive, Joined(r.path, parts)));
    gone = key->parent->Remove(key->name);
    *changed = true;
    return static_cast<LONG>(ERROR_SUCCESS);
  });
  if (!e && gone) gone->MarkDeleted();
  return e;
}

namespace platform {
namespace {

// Emptying a key that stays: its subkeys deleted and its values, so that
// other processes' handles on the key itself stay valid.
void EmptyingRecord(const Key &key, const std::u16string &path, reg::Writer &record) {
  for (const auto &sub : key.subkeys) record.DeleteSection(path + u"\\" + sub->name);
  if (key.values.empty()) return;
  record.Section(path);
  for (const auto &v : key.values) record.DeleteValue(v.name);
}

}  // namespace
}  // namespace platform

LSTATUS WINAPI RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
  std::vector<std::u16string> parts;
  if (LONG e = SplitSubKey(hKey, lpSubKey, &parts)) return e;
  ClassesTarget t;
  if (LONG e = FindClassesTarget(hKey, parts, &t)) return e;
  if (t.classes) {
    DefaultKeyMapping defaults;
    if (!parts.empty()) return RegDeleteTreeW(t.root, t.path.c_str());
    HKEY real;
    if (LONG e = RegOpenKeyExW(t.root, t.path.c_str(), 0, t.access, &real)) return e;
    LONG e = RegDeleteTreeW(real, nullptr);
    RegCloseKey(real);
    return e;
  }
  std::lock_guard<std::mutex> guard(g_mutex);
  std::vector<std::shared_ptr<Key>> gone;
  LONG e = WriteChange(hKey, [&](Resolved &r, bool *changed, reg::Writer &record) {
    auto key = Walk(r.key, parts);
    if (!key) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
    const std::u16string path = PathText(*r.hive, Joined(r.path, parts));
    if (parts.empty()) {
      // The key itself stays; the handle needs the rights to empty it.
      REGSAM need = DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | (key->values.empty() ? 0 : KEY_SET_VALUE);
      if ((r.access & need) != need) return static_cast<LONG>(ERROR_ACCESS_DENIED);
      EmptyingRecord(*key, path, record);
      gone = std::move(key->subkeys);
      key->subkeys.clear();
      *changed = !gone.empty() || !key->values.empty();
      key->values.clear();
    } else {
      if (!key->parent) return static_cast<LONG>(ERROR_ACCESS_DENIED);
      record.DeleteSection(path);
      gone.push_back(key->parent->Remove(key->name));
      *changed = true;
    }
    return static_cast<LONG>(ERROR_SUCCESS);
  });
  if (!e)
    for (auto &k : gone) k->MarkDeleted();
  return e;
}

LSTATUS WINAPI RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                                LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                                LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
  if (lpReserved || (lpClass && !lpcchClass)) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> guard(g_mutex);
  Resolved r;
  if (LONG e = Resolve(hKey, &r)) return e;
  if (!(r.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (lpcchClass) {
    if (lpClass && *lpcchClass) lpClass[0] = 0;
    *lpcchClass = 0;
  }
  const std::vector<const Key *> subkeys = Subkeys(r);
  DWORD maxSub = 0, maxName = 0, maxData = 0;
  for (const Key *s : subkeys) maxSub = std::max(maxSub, static_cast<DWORD>(s->name.size()));
  const std::vector<const reg::Value *> values = Values(r);
  for (const reg::Value *v : values) {
    maxName = std::max(maxName, static_cast<DWORD>(v->name.size()));
    maxData = std::max(maxData, static_cast<DWORD>(v->data.size()));
  }
  if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(subkeys.size());
  if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = maxSub;
  if (lpcbMaxClassLen) *lpcbMaxClassLen = 0;
  if (lpcValues) *lpcValues = static_cast<DWORD>(values.size());
  if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = maxName;
  if (lpcbMaxValueLen) *lpcbMaxValueLen = maxData;
  if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
  if (lpftLastWriteTime) *lpftLastWriteTime = FileTimeOf(*r.hive);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegFlushKey(HKEY hKey) {
  // Every change is in the files when its call returns; this flushes to disk
  // those still waiting.
  std::lock_guard<std::mutex> guard(g_mutex);
  Resolved r;
  if (LONG e = Resolve(hKey, &r)) return e;
  SyncPending();
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegOverridePredefKey(HKEY hKey, HKEY hNewHKey) {
  if (!IsMappable(hKey)) return ERROR_INVALID_HANDLE;
  const uintptr_t which = reinterpret_cast<uintptr_t>(Canonical(hKey));
  std::lock_guard<std::mutex> guard(g_mutex);
  if (!hNewHKey) {
    g_overrides.erase(which);
    return ERROR_SUCCESS;
  }
  // Only a key the caller opened: never a predefined one.
  auto it = IsMappable(hNewHKey) ? g_handles.end() : g_handles.find(reinterpret_cast<uintptr_t>(hNewHKey));
  if (it == g_handles.end()) return ERROR_INVALID_HANDLE;
  g_overrides[which] = it->second;
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegOpenCurrentUser(REGSAM samDesired, PHKEY phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  DefaultKeyMapping real;  // the user's own key, whatever HKEY_CURRENT_USER is mapped to
  return OpenOrCreate(HKEY_CURRENT_USER, u"", samDesired, false, phkResult, nullptr);
}

namespace {

// Handles and watches below a renamed key find it by its new name when the
// tree is next read again.
void Renamed(const Hive *hive, const std::vector<std::u16string> &old, std::u16string_view name) {
  auto below = [&](const std::vector<std::u16string> &path) {
    if (path.size() < old.size()) return false;
    for (size_t i = 0; i < old.size(); ++i)
      if (!EqualNoCase(path[i], old[i])) return false;
    return true;
  };
  auto follow = [&](KeyHandle &kh) {
    if (!kh.classes && kh.hive == hive && below(kh.path)) kh.path[old.size() - 1] = name;
  };
  for (auto &entry : g_handles) follow(entry.second);
  for (auto &entry : g_overrides) follow(entry.second);
  for (Watch &w : g_watches)
    if (w.hive == hive && below(w.path)) w.path[old.size() - 1] = name;
}

}  // namespace

LSTATUS WINAPI RegRenameKey(HKEY hKey, LPCWSTR lpSubKeyName, LPCWSTR lpNewKeyName) {
  const std::u16string_view name = View(lpNewKeyName);
  if (name.empty() || name.size() > reg::kMaxKeyNameChars || name.find(u'\\') != name.npos || !Storable(name, true))
    return ERROR_INVALID_PARAMETER;
  std::vector<std::u16string> parts;
  if (LONG e = SplitSubKey(hKey, lpSubKeyName, &parts)) return e;
  std::lock_guard<std::mutex> guard(g_mutex);
  const Hive *hive = nullptr;
  std::vector<std::u16string> old;
  LONG e = WriteChange(hKey, [&](Resolved &r, bool *changed, reg::Writer &record) {
    // The key renamed through its own handle needs the rights to write it.
    if (parts.empty() && (r.access & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY)) != (KEY_SET_VALUE | KEY_CREATE_SUB_KEY))
      return static_cast<LONG>(ERROR_ACCESS_DENIED);
    auto key = Walk(r.key, parts);
    if (!key) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
    if (!key->parent || (parts.empty() && IsPredefined(hKey))) return static_cast<LONG>(ERROR_ACCESS_DENIED);
    Key *parent = key->parent;
    auto taken = parent->Find(name);
    if (taken && taken != key) return static_cast<LONG>(ERROR_ACCESS_DENIED);  // the name is another key's
    hive = r.hive;
    old = Joined(r.path, parts);
    parent->Remove(key->name);
    key->name = name;
    parent->Insert(key);
    // Other processes see the key go and come back under its new name.
    std::vector<std::u16string> renamed = old;
    renamed.back() = name;
    record.DeleteSection(PathText(*r.hive, old));
    reg::WriteTree(*key, PathText(*r.hive, renamed), record);
    *changed = true;
    return static_cast<LONG>(ERROR_SUCCESS);
  });
  if (!e) Renamed(hive, old, name);
  return e;
}

namespace {

// The synchronous form: waits on an event of its own until the key changes
// or its handle is closed.
LONG WaitForChange(HKEY hKey, BOOL subtree, DWORD filter) {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!event) return ERROR_NOT_ENOUGH_MEMORY;
  LONG e = RegNotifyChangeKeyValue(hKey, subtree, filter, event, TRUE);
  if (!e) WaitForSingleObject(event, INFINITE);
  CloseHandle(event);
  return e;
}

}  // namespace

LSTATUS WINAPI RegNotifyChangeKeyValue(HKEY hKey, BOOL bWatchSubtree, DWORD dwNotifyFilter, HANDLE hEvent,
                                       BOOL fAsynchronous) {
  if (!(dwNotifyFilter & ~REG_NOTIFY_THREAD_AGNOSTIC) || (dwNotifyFilter & ~REG_LEGAL_CHANGE_FILTER))
    return ERROR_INVALID_PARAMETER;
  if (!fAsynchronous) return WaitForChange(hKey, bWatchSubtree, dwNotifyFilter);
  std::shared_ptr<KernelObject> event = HandleObject(hEvent);
  if (!event) return ERROR_INVALID_HANDLE;
  std::lock_guard<std::mutex> guard(g_mutex);
  Resolved r;
  if (LONG e = Resolve(hKey, &r)) return e;
  if (!(r.access & KEY_NOTIFY)) return ERROR_ACCESS_DENIED;
  Watch w;
  w.handle = reinterpret_cast<uintptr_t>(Canonical(hKey));
  w.hive = r.hive;
  w.path = r.path;
  w.subtree = bWatchSubtree != FALSE;
  w.filter = dwNotifyFilter;
  w.event = hEvent;
  w.eventObject = std::move(event);
  w.digest = DigestOf(w);
  ResetEvent(hEvent);  // it tells of changes from now on
  g_watches.push_back(std::move(w));
  WatchFolderOf(*r.hive);
  return ERROR_SUCCESS;
}

namespace platform {

DefaultKeyMapping::DefaultKeyMapping() { ++g_defaultMapping; }
DefaultKeyMapping::~DefaultKeyMapping() { --g_defaultMapping; }

bool PredefinedKeyMapped(HKEY key) {
  std::lock_guard<std::mutex> guard(g_mutex);
  return g_overrides.count(reinterpret_cast<uintptr_t>(Canonical(key))) != 0;
}

}  // namespace platform
