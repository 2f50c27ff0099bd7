#!/usr/bin/env bash
# Builds everything and runs every test.  ./test.sh --asan runs the same
# suite under AddressSanitizer + UndefinedBehaviorSanitizer, --tsan under
# ThreadSanitizer, --fuzz runs each libFuzzer target over its corpus for a while,
# --windows builds the component and its Windows tests with mingw-w64 and runs
# them under Wine with the scripting clients (tests/wine/run.sh), --package
# builds the Debian package (in build/package) and checks it
# unpacked as a user would meet it (tests/package/deb_test.sh).
set -euo pipefail
cd "$(dirname "$0")"
mode=plain
case "${1:-}" in
  --asan) mode=asan ;;
  --tsan) mode=tsan ;;
  --fuzz) mode=fuzz ;;
  --windows) mode=windows ;;
  --package) mode=package ;;
  "") ;;
  *) echo "usage: $0 [--asan|--tsan|--fuzz|--windows|--package]" >&2; exit 2 ;;
esac
bash scripts/deps.sh
build="build/$mode"
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
# The benchmarks are built (not run) by the plain build, so that they keep
# compiling and the lint sees them; the other builds leave them out.
if [ "$mode" = plain ]; then flags+=(-DREVDIR_BENCH=ON); else flags+=(-DREVDIR_BENCH=OFF); fi
[ "$mode" = asan ] && flags+=(-DREVDIR_ASAN=ON)
[ "$mode" = tsan ] && flags+=(-DREVDIR_TSAN=ON)
if [ "$mode" = windows ]; then
  bash scripts/deps.sh windows
  cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build"
  # Exactly the four entry points of an in-process server.
  exports=$(x86_64-w64-mingw32-objdump -p "$build/QuillonRevisionDirectory.dll" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -E '^\s*\[ *[0-9]+\] ' | awk '{print $3}' | sort | tr '\n' ' ')
  [ "$exports" = "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer " ] ||
    { echo "unexpected exports: $exports"; exit 1; }
  # Linked statically: it loads wherever the system's own DLLs are.
  imports=$(x86_64-w64-mingw32-objdump -p "$build/QuillonRevisionDirectory.dll" |
    sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
  [ "$imports" = "advapi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll user32.dll " ] ||
    { echo "unexpected imports: $imports"; exit 1; }
  # The tool likewise: nothing but the system's own DLLs (shell32 splits its
  # command line, version reads the component's version resource).
  for dll in $(x86_64-w64-mingw32-objdump -p "$build/revdir.exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z'); do
    case " advapi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll shell32.dll user32.dll version.dll " in
      *" $dll "*) ;;
      *) echo "revdir.exe imports $dll"; exit 1 ;;
    esac
  done
  echo "windows: QuillonRevisionDirectory.dll built; exports: $exports"
  bash tests/wine/run.sh "$build"
  # Then the ZIP as a user meets it, in a prefix of its own.
  cmake --build "$build" --target package >/dev/null
  exec bash tests/wine/package_check.sh "$build/revdir-$(sed -n 's/^project(.*VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)-win64.zip"
fi
if [ "$mode" = package ]; then
  bash scripts/deps.sh package
  # Built as Debian builds its packages: optimized with debug information,
  # which goes into the -dbgsym package (and the plain build's objects are
  # the compiler cache's already). With the prefix /usr, GNUInstallDirs
  # chooses the multiarch library folder; no test, no benchmark.
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
    -DREVDIR_TESTS=OFF -DREVDIR_BENCH=OFF >/dev/null
  cmake --build "$build" --target package
  exec bash tests/package/deb_test.sh "$build" .
fi
if [ "$mode" = fuzz ]; then
  flags+=(-DREVDIR_FUZZ=ON -DREVDIR_TESTS=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
  cmake -S . -B "$build" -G Ninja "${flags[@]}" >/dev/null
  cmake --build "$build" --target fuzz_targets
  export ASAN_OPTIONS=detect_leaks=1
  for f in "$build"/fuzz/*_fuzz; do
    [ -x "$f" ] || continue
    name=$(basename "$f" _fuzz)
    work=$(mktemp -d)
    echo "fuzzing $name for ${FUZZ_SECONDS:-30}s"
    corpus=(); [ -d "fuzz/corpus/$name" ] && corpus=("fuzz/corpus/$name")
    "$f" -max_total_time="${FUZZ_SECONDS:-30}" -print_final_stats=0 "$work" "${corpus[@]}" 2>"$work.log" ||
      { tail -50 "$work.log"; exit 1; }
    rm -rf "$work" "$work.log"
  done
  echo "fuzz: all targets ran clean"
  exit 0
fi
cmake -S . -B "$build" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$build"
# The leak checker's stop-the-world tracer walks the dynamic TLS blocks it
# recorded from __tls_get_addr; after a module with thread-locals is loaded at
# run time (the communications server's library), that record can name a
# range that is no longer mapped and the tracer itself faults. Not recording
# it only leaves those blocks unscanned for pointers.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:intercept_tls_get_addr=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
