// The resources of a module file that is not loaded: version.dll reads a
// file's version as data, running none of its code. Here a module is an ELF
// shared object or program whose .res image lies between the two symbols
// named in kernel32/resource_format.h; the file's own section table tells
// where they are.
#include "version/module_file.h"

#include <elf.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "kernel32/errno_map.h"
#include "kernel32/paths.h"
#include "kernel32/resource_format.h"

namespace platform {

namespace {

// The whole file, read once: every offset below is checked against its size.
DWORD ReadFile(const std::string &path, std::vector<uint8_t> *out) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Win32ErrorFromErrno(errno);
  struct stat st;
  DWORD error = ERROR_SUCCESS;
  if (fstat(fd, &st) != 0)
    error = Win32ErrorFromErrno(errno);
  else if (!S_ISREG(st.st_mode))
    error = ERROR_ACCESS_DENIED;  // a folder, a device: no module
  if (!error) {
    out->resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < out->size()) {
      ssize_t n = read(fd, out->data() + got, out->size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    out->resize(got);
  }
  close(fd);
  return error;
}

template <typename T>
bool At(const std::vector<uint8_t> &file, uint64_t offset, T *out) {
  if (offset > file.size() || file.size() - offset < sizeof(T)) return false;
  memcpy(out, file.data() + offset, sizeof(T));
  return true;
}

// The file offset of a symbol's address, through the section it lies in.
bool FileOffset(const std::vector<uint8_t> &file, const Elf64_Ehdr &eh, const Elf64_Sym &sym, uint64_t *offset) {
  Elf64_Shdr sh;
  if (sym.st_shndx == SHN_UNDEF || sym.st_shndx >= eh.e_shnum ||
      !At(file, eh.e_shoff + uint64_t{sym.st_shndx} * sizeof(Elf64_Shdr), &sh) || sh.sh_type == SHT_NOBITS ||
      sym.st_value < sh.sh_addr || sym.st_value - sh.sh_addr > sh.sh_size)
    return false;
  *offset = sh.sh_offset + (sym.st_value - sh.sh_addr);
  return *offset <= file.size();
}

// Finds the two symbols among the dynamic ones (what the module exports).
bool FindImage(const std::vector<uint8_t> &file, const Elf64_Ehdr &eh, uint64_t *begin, uint64_t *end) {
  bool haveBegin = false, haveEnd = false;
  for (uint16_t i = 0; i < eh.e_shnum; ++i) {
    Elf64_Shdr symtab, strtab;
    if (!At(file, eh.e_shoff + uint64_t{i} * sizeof(Elf64_Shdr), &symtab)) return false;
    if (symtab.sh_type != SHT_DYNSYM || symtab.sh_link >= eh.e_shnum ||
        !At(file, eh.e_shoff + uint64_t{symtab.sh_link} * sizeof(Elf64_Shdr), &strtab) ||
        strtab.sh_offset > file.size() || file.size() - strtab.sh_offset < strtab.sh_size)
      continue;
    const char *names = reinterpret_cast<const char *>(file.data() + strtab.sh_offset);
    for (uint64_t s = 0; s + sizeof(Elf64_Sym) <= symtab.sh_size; s += sizeof(Elf64_Sym)) {
      Elf64_Sym sym;
      if (!At(file, symtab.sh_offset + s, &sym)) return false;
      if (sym.st_name >= strtab.sh_size) continue;
      const char *name = names + sym.st_name;
      const size_t room = strtab.sh_size - sym.st_name;
      if (strnlen(name, room) == room) continue;  // not terminated inside the table
      if (strcmp(name, kResourceSymbol) == 0) haveBegin = FileOffset(file, eh, sym, begin);
      if (strcmp(name, kResourceEndSymbol) == 0) haveEnd = FileOffset(file, eh, sym, end);
    }
  }
  return haveBegin && haveEnd && *begin <= *end;
}

}  // namespace

DWORD ReadModuleFileResource(std::u16string_view windowsPath, uint16_t type, uint16_t name,
                             std::vector<uint8_t> *data) {
  std::optional<std::string> path = UnixPath(windowsPath);
  if (windowsPath.empty() || !path) return ERROR_FILE_NOT_FOUND;
  std::vector<uint8_t> file;
  if (DWORD e = ReadFile(*path, &file)) return e;
  Elf64_Ehdr eh;
  if (!At(file, 0, &eh) || memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64 ||
      eh.e_ident[EI_DATA] != ELFDATA2LSB || eh.e_shentsize != sizeof(Elf64_Shdr))
    return ERROR_BAD_FORMAT;
  uint64_t begin = 0, end = 0;
  if (!FindImage(file, eh, &begin, &end)) return ERROR_RESOURCE_DATA_NOT_FOUND;
  const uint8_t *image = file.data() + begin;
  const size_t size = static_cast<size_t>(end - begin);
  bool typeFound = false;
  size_t offset = 0, next = 0;
  while (offset < size) {
    auto r = ReadResourceRecord(image, size, offset, next);
    if (!r) break;
    offset = next;
    if (!r->type.name.empty() || r->type.id != type) continue;
    typeFound = true;
    if (!r->name.name.empty() || r->name.id != name) continue;
    data->assign(r->data, r->data + r->size);
    return ERROR_SUCCESS;
  }
  return typeFound ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND;
}

}  // namespace platform
