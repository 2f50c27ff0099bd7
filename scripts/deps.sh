#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail
PACKAGES=(
  cmake ninja-build g++ pkg-config           # build
  python3                                    # tests: a ctypes client, the README's commands, the completion
  libgtest-dev libgmock-dev                  # tests
  libbenchmark-dev                           # benchmarks
  libicu-dev                                 # locales, case folding, code pages
  libffi-dev                                 # late-bound calls into vtable slots
  libasio-dev                                # TCP of the communications server stand-in (standalone Asio)
  libxcb1-dev                                # top-level windows of the X11 display
  xvfb xauth                                 # an X server without a screen for the window tests
  mingw-w64-tools                            # widl: the interface descriptions, header and type library
  binutils-mingw-w64-x86-64                  # windres: the resource scripts
  clang libclang-rt-dev                      # libFuzzer targets
  clang-format clang-tidy                    # the house format and naming on the files a change touches
)
# The Windows build needs the cross toolchain, and Wine to run it.
if [ "${1:-}" = windows ]; then
  PACKAGES+=(libasio-dev g++-mingw-w64-x86-64 mingw-w64-tools binutils-mingw-w64-x86-64 wine wine64)
fi
# The Debian package: its dependencies computed (dpkg-shlibdeps, file), its
# check (dpkg-architecture, groff for the manual pages).
if [ "${1:-}" = package ]; then
  PACKAGES+=(dpkg-dev file groff-base)
fi
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
