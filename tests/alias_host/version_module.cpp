// Stands in for one of the application's two modules that report its
// versions: one export under the application's own (decorated) name, which
// returns whatever the calling thread of the test host last set. Built twice, as QxDbSrvs.DLL and
// as SysUtils.DLL, with VERSION_EXPORT_NAME naming the export.
#include <windows.h>

#ifdef _WIN32
#define MODULE_EXPORT extern "C" __declspec(dllexport)
#else
#define MODULE_EXPORT extern "C" __attribute__((visibility("default")))
#include "platform_exports.h"
#endif

namespace {
// Per thread, so that threads of the test host can report different versions.
thread_local DWORD g_value = 0;
}

// Exported under VERSION_EXPORT_NAME: by the .def file on Windows, by the
// export table below elsewhere.
extern "C" DWORD ReportedVersion() { return g_value; }

MODULE_EXPORT void SetReportedVersion(DWORD value) { g_value = value; }

#ifndef _WIN32
// The name the platform's loader looks up (PLATFORM_EXPORT_TABLE_SYMBOL).
// NOLINTNEXTLINE(readability-identifier-naming)
MODULE_EXPORT const PLATFORM_EXPORT PlatformExportTable[] = {
    {VERSION_EXPORT_NAME, reinterpret_cast<void *>(&ReportedVersion)},
    {nullptr, nullptr},
};
#endif
