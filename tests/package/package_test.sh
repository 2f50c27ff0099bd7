#!/usr/bin/env bash
# Installs the build into a temporary folder (or takes a tree already
# installed, such as an unpacked Debian package), builds a client project
# against the CMake package and another against the pkg-config file, runs
# both, and has the installed tool register the module installed beside it.
# usage: package_test.sh BUILD_DIR SOURCE_DIR
#        package_test.sh --installed PREFIX SOURCE_DIR
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ "$1" = --installed ]; then
  usr=$2 src=$3
else
  usr=$work/usr src=$2
  cmake --install "$1" --prefix "$usr" >/dev/null
fi
# The library folder: lib/, or Debian's multiarch folder under /usr.
pc=$(find "$usr/lib" -name quillonrevisiondirectory.pc)
if [ -z "$pc" ] || [ "$(wc -l <<<"$pc")" != 1 ]; then
  echo "pkg-config file: '$pc'"
  exit 1
fi
libdir=$(dirname "$(dirname "$pc")")

cmake -S "$src/tests/package/client" -B "$work/client" -G Ninja -DCMAKE_PREFIX_PATH="$usr" >/dev/null
cmake --build "$work/client" >/dev/null
REVDIR_PREFIX="$work/prefix" "$work/client/client"

# The same client built by hand from what pkg-config says.
export PKG_CONFIG_PATH="$libdir/pkgconfig"
include=$(pkg-config --variable=includedir quillonrevisiondirectory)
module=$(pkg-config --variable=module quillonrevisiondirectory)
test -f "$include/QuillonRevisionDirectory.h" -a -f "$include/windows.h" -a -f "$module"
# shellcheck disable=SC2046  # pkg-config's flags are words
c++ -std=c++20 -o "$work/pc-client" "$src/tests/package/client/client.cpp" "$include/QuillonRevisionDirectory_i.cpp" \
  -DMODULE="\"$module\"" $(pkg-config --cflags --libs quillonrevisiondirectory) -Wl,-rpath,"$libdir"
REVDIR_PREFIX="$work/pc-prefix" "$work/pc-client"

# The installed tool finds the module installed beside it: on a fresh prefix
# it registers that one, says so, and lists the releases.
out=$(REVDIR_PREFIX="$work/tool-prefix" REVDIR_COMPONENT="" "$usr/bin/revdir" list --property release 2>"$work/err")
[ "$(wc -l <<<"$out")" = 50 ] || { echo "installed revdir list: $out"; exit 1; }
# It names the module as the system does: Z: is the root of the file system.
zlibdir="Z:${libdir//\//\\}"
grep -qF "first run: registered the component $zlibdir\\libQuillonRevisionDirectory.so" "$work/err" || {
  cat "$work/err"
  exit 1
}
