#!/usr/bin/env bash
# Builds everything and runs every test.  ./test.sh --asan runs the same
# suite under AddressSanitizer + UndefinedBehaviorSanitizer, --tsan under
# ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
mode=plain
case "${1:-}" in
  --asan) mode=asan ;;
  --tsan) mode=tsan ;;
  "") ;;
  *) echo "usage: $0 [--asan|--tsan]" >&2; exit 2 ;;
esac
bash scripts/deps.sh
build="build/$mode"
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DREVDIR_BENCH=OFF)
[ "$mode" = asan ] && flags+=(-DREVDIR_ASAN=ON)
[ "$mode" = tsan ] && flags+=(-DREVDIR_TSAN=ON)
cmake -S . -B "$build" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$build"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
