// Helpers of the project-file tests: files written through the Windows API,
// so the same tests run on both targets.
#pragma once

#include <algorithm>
#include <string>
#include <utility>

#include "component_fixture.h"
#include "scratch.h"

inline void WriteFileBytes(const WString &path, const std::string &bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << platform::Narrow(path);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
  EXPECT_EQ(written, bytes.size());
  CloseHandle(file);
}

// (major, minor) software version of a revision.
inline std::pair<int, int> SoftwareVersion(IRevision *revision) {
  LONG major = -1, minor = -1;
  revision->get_MajorSoftwareVersion(&major);
  revision->get_MinorSoftwareVersion(&minor);
  return {major, minor};
}
