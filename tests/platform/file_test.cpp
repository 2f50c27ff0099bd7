// Conformance tests of files, folders and file mappings.
#include <windows.h>

#include <cstring>
#include <string>

#include "conformance.h"
#include "platform/text/wide_text.h"
#include "scratch.h"

namespace {

HANDLE Open(const WString &path, DWORD access, DWORD share, DWORD disposition, DWORD attributes = 0) {
  return CreateFileW(path.c_str(), access, share, nullptr, disposition, attributes, nullptr);
}

void Put(HANDLE h, const std::string &text) {
  DWORD written = kSentinel;
  ASSERT_TRUE(WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) << GetLastError();
  ASSERT_EQ(written, text.size());
}

std::string Contents(const WString &path) {
  HANDLE h = Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  if (h == INVALID_HANDLE_VALUE) return "(cannot open)";
  char buf[256];
  DWORD got = 0;
  BOOL ok = ReadFile(h, buf, sizeof buf, &got, nullptr);
  CloseHandle(h);
  return ok ? std::string(buf, got) : "(cannot read)";
}

void CloseIfOpened(HANDLE h) {
  if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
}
template <typename T>
void CloseIfOpened(T) {}

// Runs `call`, which must fail by returning `failure` with last error `error`.
#define EXPECT_FAILS_WITH(call, failure, error)                     \
  do {                                                              \
    ResetLastError();                                               \
    auto failsWithResult = (call);                                  \
    DWORD failsWithError = GetLastError();                          \
    EXPECT_EQ(failsWithResult, failure) << #call;                   \
    EXPECT_EQ(failsWithError, static_cast<DWORD>(error)) << #call;  \
    if (failsWithResult != failure) CloseIfOpened(failsWithResult); \
  } while (0)

TEST(FileTest, CreationDispositionsReportWhatHappened) {
  ScratchDir dir;
  const auto file = dir / OLESTR("a.txt");
  EXPECT_FAILS_WITH(Open(file, GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE, ERROR_FILE_NOT_FOUND);
  EXPECT_FAILS_WITH(Open(dir / OLESTR("missing\\a.txt"), GENERIC_READ, 0, OPEN_ALWAYS), INVALID_HANDLE_VALUE,
                    ERROR_PATH_NOT_FOUND);
  EXPECT_FAILS_WITH(Open(file, GENERIC_READ, 0, TRUNCATE_EXISTING + 1), INVALID_HANDLE_VALUE,
                    ERROR_INVALID_PARAMETER);
  EXPECT_FAILS_WITH(Open(file, GENERIC_READ, 0, 0), INVALID_HANDLE_VALUE, ERROR_INVALID_PARAMETER);
  EXPECT_FAILS_WITH(Open(OLESTR(""), GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE, ERROR_PATH_NOT_FOUND);
  EXPECT_FAILS_WITH(Open(dir / OLESTR("a?b"), GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE, ERROR_INVALID_NAME);
  // A folder is not opened as a file.
  EXPECT_FAILS_WITH(Open(ToWString(dir.Path()), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE,
                    ERROR_ACCESS_DENIED);

  // A new file: the last error is cleared.
  ResetLastError();
  HANDLE h = Open(file, GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  Put(h, "first");
  CloseHandle(h);
  EXPECT_FAILS_WITH(Open(file, GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE, ERROR_FILE_EXISTS);

  // OPEN_ALWAYS keeps an existing file and says it existed.
  ResetLastError();
  h = Open(file, GENERIC_READ, 0, OPEN_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(GetFileSize(h, nullptr), 5u);
  CloseHandle(h);

  // CREATE_ALWAYS replaces it, and says so too.
  ResetLastError();
  h = Open(file, GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(GetFileSize(h, nullptr), 0u);
  Put(h, "second");
  CloseHandle(h);

  ResetLastError();
  h = Open(dir / OLESTR("b.txt"), GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  CloseHandle(h);

  h = Open(file, GENERIC_WRITE, 0, TRUNCATE_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileSize(h, nullptr), 0u);
  CloseHandle(h);
  EXPECT_FAILS_WITH(Open(dir / OLESTR("c.txt"), GENERIC_WRITE, 0, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE,
                    ERROR_FILE_NOT_FOUND);
}

// A new file holding "hello world", open for reading and writing.
HANDLE NewHelloFile(const ScratchDir &dir) {
  HANDLE h = Open(dir / OLESTR("data.bin"), GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
  if (h != INVALID_HANDLE_VALUE) Put(h, "hello world");
  return h;
}

TEST(FileTest, ReadsStopAtTheEndOfTheFile) {
  ScratchDir dir;
  HANDLE h = NewHelloFile(dir);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(SetFilePointer(h, 6, nullptr, FILE_BEGIN), 6u);
  char buf[16];
  memset(buf, 'x', sizeof buf);
  DWORD got = kSentinel;
  ASSERT_TRUE(ReadFile(h, buf, 16, &got, nullptr));
  EXPECT_EQ(std::string(buf, got), "world");
  EXPECT_EQ(buf[5], 'x') << "read past the end of the file";
  // At the end of the file a read succeeds with nothing.
  got = kSentinel;
  EXPECT_TRUE(ReadFile(h, buf, 16, &got, nullptr));
  EXPECT_EQ(got, 0u);
  CloseHandle(h);
}

TEST(FileTest, FilePointerMovesBySigned32BitDistances) {
  ScratchDir dir;
  HANDLE h = NewHelloFile(dir);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(SetFilePointer(h, -5, nullptr, FILE_END), 6u);
  EXPECT_EQ(SetFilePointer(h, -1, nullptr, FILE_CURRENT), 5u);
  // Before the start: fails and leaves the pointer where it was.
  EXPECT_FAILS_WITH(SetFilePointer(h, -6, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER, ERROR_NEGATIVE_SEEK);
  EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), 5u);
  EXPECT_FAILS_WITH(SetFilePointer(h, 0, nullptr, 3), INVALID_SET_FILE_POINTER, ERROR_INVALID_PARAMETER);
  CloseHandle(h);
}

// With a high part the halves form one 64-bit distance, and the new position
// comes back in both; a valid position of 0xFFFFFFFF clears the last error so
// that it can be told from failure.
TEST(FileTest, FilePointerHighPartMakesOne64BitDistance) {
  ScratchDir dir;
  HANDLE h = NewHelloFile(dir);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  LONG high = 1;
  EXPECT_EQ(SetFilePointer(h, 16, &high, FILE_BEGIN), 16u);
  EXPECT_EQ(high, 1);
  high = -1;
  EXPECT_EQ(SetFilePointer(h, -16, &high, FILE_CURRENT), 0u);
  EXPECT_EQ(high, 1);
  high = 0;
  ResetLastError();
  EXPECT_EQ(SetFilePointer(h, -1, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(high, 0);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  high = -1;
  EXPECT_FAILS_WITH(SetFilePointer(h, 0, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER, ERROR_NEGATIVE_SEEK);

  LARGE_INTEGER pos, moved;
  pos.QuadPart = -11;
  moved.QuadPart = -1;
  ASSERT_TRUE(SetFilePointerEx(h, pos, &moved, FILE_END));
  EXPECT_EQ(moved.QuadPart, 0);
  pos.QuadPart = -1;
  ResetLastError();
  EXPECT_FALSE(SetFilePointerEx(h, pos, &moved, FILE_BEGIN));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
  CloseHandle(h);
}

TEST(FileTest, SetEndOfFileCutsOrExtendsAtThePointer) {
  ScratchDir dir;
  HANDLE h = NewHelloFile(dir);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(SetFilePointer(h, 5, nullptr, FILE_BEGIN), 5u);
  ASSERT_TRUE(SetEndOfFile(h));
  DWORD sizeHigh = kSentinel;
  EXPECT_EQ(GetFileSize(h, &sizeHigh), 5u);
  EXPECT_EQ(sizeHigh, 0u);
  LARGE_INTEGER pos;
  pos.QuadPart = 0x100000001;
  ASSERT_TRUE(SetFilePointerEx(h, pos, nullptr, FILE_BEGIN));
  ASSERT_TRUE(SetEndOfFile(h));
  EXPECT_EQ(GetFileSize(h, &sizeHigh), 1u);
  EXPECT_EQ(sizeHigh, 1u);
  LARGE_INTEGER size;
  ASSERT_TRUE(GetFileSizeEx(h, &size));
  EXPECT_EQ(size.QuadPart, 0x100000001);
  EXPECT_TRUE(FlushFileBuffers(h));
  CloseHandle(h);
}

TEST(FileTest, AccessIsThatOfTheHandle) {
  ScratchDir dir;
  CloseHandle(NewHelloFile(dir));
  HANDLE h = Open(dir / OLESTR("data.bin"), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = kSentinel;
  EXPECT_FAILS_WITH(WriteFile(h, "x", 1, &written, nullptr), FALSE, ERROR_ACCESS_DENIED);
  EXPECT_EQ(written, 0u);
  if (RunningUnderWine()) {  // Wine answers ERROR_INVALID_PARAMETER
    EXPECT_FALSE(SetEndOfFile(h));
  } else {
    EXPECT_FAILS_WITH(SetEndOfFile(h), FALSE, ERROR_ACCESS_DENIED);
  }
  EXPECT_FAILS_WITH(FlushFileBuffers(h), FALSE, ERROR_ACCESS_DENIED);
  CloseHandle(h);
  char buf[1];
  DWORD got = kSentinel;
  EXPECT_FAILS_WITH(ReadFile(h, buf, 1, &got, nullptr), FALSE, ERROR_INVALID_HANDLE);
  EXPECT_EQ(got, 0u);
  EXPECT_FAILS_WITH(GetFileSize(h, nullptr), INVALID_FILE_SIZE, ERROR_INVALID_HANDLE);
}

TEST(FileTest, ShareModesBindHandlesOfTheProcess) {
  ScratchDir dir;
  const auto file = dir / OLESTR("shared.txt");
  HANDLE writer = Open(file, GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  Put(writer, "keep me");

  // The writer lets others read, not write or delete.
  HANDLE reader = Open(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_FAILS_WITH(Open(file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING),
                    INVALID_HANDLE_VALUE, ERROR_SHARING_VIOLATION);
  // A reader must share writing, which the writer is doing.
  EXPECT_FAILS_WITH(Open(file, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE,
                    ERROR_SHARING_VIOLATION);
  // A refused CREATE_ALWAYS leaves the file as it was.
  EXPECT_FAILS_WITH(Open(file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_ALWAYS),
                    INVALID_HANDLE_VALUE, ERROR_SHARING_VIOLATION);
  EXPECT_FAILS_WITH(DeleteFileW(file.c_str()), FALSE, ERROR_SHARING_VIOLATION);
  CloseHandle(writer);
  EXPECT_EQ(Contents(file), "keep me");
  CloseHandle(reader);

  // A handle that shares deletion does not stop it.
  HANDLE h = Open(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(DeleteFileW(file.c_str())) << GetLastError();
  CloseHandle(h);
  EXPECT_EQ(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(FileTest, FoldersAttributesAndDeletion) {
  ScratchDir dir;
  const auto sub = dir / OLESTR("sub");
  const auto inner = dir / OLESTR("sub\\inner.txt");
  EXPECT_TRUE(CreateDirectoryW(sub.c_str(), nullptr));
  EXPECT_FAILS_WITH(CreateDirectoryW(sub.c_str(), nullptr), FALSE, ERROR_ALREADY_EXISTS);
  EXPECT_FAILS_WITH(CreateDirectoryW((dir / OLESTR("no\\such")).c_str(), nullptr), FALSE, ERROR_PATH_NOT_FOUND);
  EXPECT_NE(GetFileAttributesW(sub.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);

  HANDLE h = Open(inner, GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  DWORD attributes = GetFileAttributesW(inner.c_str());
  EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY), 0u);
  EXPECT_FAILS_WITH(GetFileAttributesW((dir / OLESTR("nothing")).c_str()), INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND);
  EXPECT_FAILS_WITH(GetFileAttributesW((dir / OLESTR("nothing\\x")).c_str()), INVALID_FILE_ATTRIBUTES,
                    ERROR_PATH_NOT_FOUND);

  EXPECT_FAILS_WITH(RemoveDirectoryW(sub.c_str()), FALSE, ERROR_DIR_NOT_EMPTY);
  EXPECT_FAILS_WITH(RemoveDirectoryW(inner.c_str()), FALSE, ERROR_DIRECTORY);
  EXPECT_FAILS_WITH(RemoveDirectoryW((dir / OLESTR("nothing")).c_str()), FALSE, ERROR_FILE_NOT_FOUND);
  EXPECT_FAILS_WITH(DeleteFileW(sub.c_str()), FALSE, ERROR_ACCESS_DENIED);
  EXPECT_TRUE(DeleteFileW(inner.c_str()));
  EXPECT_FAILS_WITH(DeleteFileW(inner.c_str()), FALSE, ERROR_FILE_NOT_FOUND);
  EXPECT_FAILS_WITH(DeleteFileW((dir / OLESTR("nothing\\x")).c_str()), FALSE, ERROR_PATH_NOT_FOUND);
  EXPECT_TRUE(RemoveDirectoryW(sub.c_str()));

  // A read-only file is written by the handle that created it, and by no other.
  const auto locked = dir / OLESTR("locked.txt");
  h = Open(locked, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_READONLY);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  Put(h, "fixed");
  CloseHandle(h);
  EXPECT_NE(GetFileAttributesW(locked.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  // Wine keeps the read-only mark in the Unix mode bits, which root (as the
  // test runs here) does not heed.
  if (!RunningUnderWine()) {
    EXPECT_FAILS_WITH(Open(locked, GENERIC_WRITE, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED);
    EXPECT_FAILS_WITH(DeleteFileW(locked.c_str()), FALSE, ERROR_ACCESS_DENIED);
  }
  EXPECT_EQ(Contents(locked), "fixed");
}

TEST(FileMappingTest, ViewsOfFiles) {
  ScratchDir dir;
  const auto file = dir / OLESTR("mapped.bin");
  HANDLE h = Open(file, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  // An empty file cannot be mapped with its own size.
  EXPECT_FAILS_WITH(CreateFileMappingW(h, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr, ERROR_FILE_INVALID);
  Put(h, "mapped contents");

  HANDLE ro = CreateFileMappingW(h, nullptr, PAGE_READONLY, 0, 0, nullptr);
  ASSERT_NE(ro, nullptr) << GetLastError();
  EXPECT_FAILS_WITH(MapViewOfFile(ro, FILE_MAP_WRITE, 0, 0, 0), nullptr, ERROR_ACCESS_DENIED);
  EXPECT_FAILS_WITH(MapViewOfFile(ro, FILE_MAP_READ, 0, 1, 0), nullptr, ERROR_MAPPED_ALIGNMENT);
  EXPECT_FAILS_WITH(MapViewOfFile(ro, FILE_MAP_READ, 0, 0, 16), nullptr, ERROR_ACCESS_DENIED);
  const char *view = static_cast<const char *>(MapViewOfFile(ro, FILE_MAP_READ, 0, 0, 0));
  ASSERT_NE(view, nullptr) << GetLastError();
  // The view outlives the mapping handle, and keeps the file from shrinking.
  CloseHandle(ro);
  EXPECT_EQ(std::string(view, 15), "mapped contents");
  EXPECT_EQ(SetFilePointer(h, 3, nullptr, FILE_BEGIN), 3u);
  EXPECT_FAILS_WITH(SetEndOfFile(h), FALSE, ERROR_USER_MAPPED_FILE);
  EXPECT_TRUE(UnmapViewOfFile(view));
  EXPECT_FAILS_WITH(UnmapViewOfFile(view), FALSE, ERROR_INVALID_ADDRESS);

  // A read-write mapping larger than the file grows it; writes reach the file.
  HANDLE rw = CreateFileMappingW(h, nullptr, PAGE_READWRITE, 0, 0x20000, nullptr);
  ASSERT_NE(rw, nullptr) << GetLastError();
  EXPECT_EQ(GetFileSize(h, nullptr), 0x20000u);
  char *second = static_cast<char *>(MapViewOfFile(rw, FILE_MAP_WRITE, 0, 0x10000, 0));
  ASSERT_NE(second, nullptr) << GetLastError();
  memcpy(second, "tail", 4);
  char *first = static_cast<char *>(MapViewOfFile(rw, FILE_MAP_ALL_ACCESS, 0, 0, 6));
  ASSERT_NE(first, nullptr);
  memcpy(first, "MAPPED", 6);
  EXPECT_TRUE(UnmapViewOfFile(first + 3)) << "any address inside a view unmaps it";
  EXPECT_TRUE(UnmapViewOfFile(second));
  CloseHandle(rw);
  char buf[8] = {};
  DWORD got = 0;
  EXPECT_EQ(SetFilePointer(h, 0x10000, nullptr, FILE_BEGIN), 0x10000u);
  ASSERT_TRUE(ReadFile(h, buf, 4, &got, nullptr));
  EXPECT_EQ(std::string(buf, got), "tail");
  CloseHandle(h);
  EXPECT_EQ(Contents(file).substr(0, 15), "MAPPED contents");

  // Mapping for writing needs a handle that may write.
  h = Open(file, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_FAILS_WITH(CreateFileMappingW(h, nullptr, PAGE_READWRITE, 0, 0, nullptr), nullptr, ERROR_ACCESS_DENIED);
  EXPECT_FAILS_WITH(CreateFileMappingW(h, nullptr, 0x1234, 0, 0, nullptr), nullptr, ERROR_INVALID_PARAMETER);
  CloseHandle(h);
}

TEST(FileMappingTest, NamedMemorySectionsAreShared) {
  std::random_device rd;
  WString name = OLESTR("revdir-test-section-");
  name += platform::Widen(std::to_string(rd()));
  EXPECT_FAILS_WITH(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0, name.c_str()), nullptr,
                    ERROR_INVALID_PARAMETER);
  ResetLastError();
  HANDLE a = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name.c_str());
  ASSERT_NE(a, nullptr) << GetLastError();
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  HANDLE b = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name.c_str());
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  char *va = static_cast<char *>(MapViewOfFile(a, FILE_MAP_WRITE, 0, 0, 0));
  char *vb = static_cast<char *>(MapViewOfFile(b, FILE_MAP_READ, 0, 0, 0));
  ASSERT_TRUE(va && vb);
  EXPECT_EQ(vb[100], 0) << "fresh memory is zero";
  strcpy(va + 100, "shared");
  EXPECT_STREQ(vb + 100, "shared");
  UnmapViewOfFile(va);
  UnmapViewOfFile(vb);
  CloseHandle(a);
  CloseHandle(b);
}

}  // namespace
