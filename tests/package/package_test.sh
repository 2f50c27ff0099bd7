#!/usr/bin/env bash
# Installs the build into a temporary folder, builds a client project against
# the CMake package and checks the pkg-config file, then runs the client.
# usage: package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1 src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/usr" >/dev/null
cmake -S "$src/tests/package/client" -B "$work/client" -G Ninja -DCMAKE_PREFIX_PATH="$work/usr" >/dev/null
cmake --build "$work/client" >/dev/null
include=$(PKG_CONFIG_PATH="$work/usr/lib/pkgconfig" pkg-config --cflags-only-I quillonrevisiondirectory | xargs)
test -f "${include#-I}/QuillonRevisionDirectory.h" -a -f "${include#-I}/windows.h"
REVDIR_PREFIX="$work/prefix" "$work/client/client"

# The installed tool finds the module installed beside it: on a fresh prefix
# it registers that one, says so, and lists the releases.
out=$(REVDIR_PREFIX="$work/tool-prefix" REVDIR_COMPONENT= "$work/usr/bin/revdir" list --property release 2>"$work/err")
[ "$(wc -l <<<"$out")" = 50 ] || { echo "installed revdir list: $out"; exit 1; }
# It names the module as the system does: Z: is the root of the file system.
grep -qF "first run: registered the component Z:${work//\//\\}\\usr\\lib\\" "$work/err" || { cat "$work/err"; exit 1; }
