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
