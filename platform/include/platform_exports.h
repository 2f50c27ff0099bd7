/* A module's exports whose names an ELF symbol cannot carry. A module lists
 * them, ending with a null name, in a table under PLATFORM_EXPORT_TABLE_SYMBOL;
 * GetProcAddress finds a name there when the dynamic linker does not. This is
 * what a .def file's EXPORTS section does for a Windows DLL. */
#pragma once

typedef struct PLATFORM_EXPORT {
  const char *name;
  void *address;
} PLATFORM_EXPORT;

#define PLATFORM_EXPORT_TABLE_SYMBOL "PlatformExportTable"
