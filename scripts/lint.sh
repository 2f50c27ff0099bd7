#!/usr/bin/env bash
# Checks the C++ files a change touches against .clang-format (the lines it
# changed) and .clang-tidy (naming, function size; the whole file). The change
# is BASE..HEAD, BASE being the first argument or HEAD's first parent. Needs
# the plain build's compile_commands.json (./test.sh makes it); the fuzz
# build's, where there is one, covers the fuzz targets.
set -euo pipefail
cd "$(dirname "$0")/.."
base=${1:-HEAD^1}
# A clone without history has no parent: then every file counts as touched.
git rev-parse -q --verify "$base^{commit}" >/dev/null || base=$(git hash-object -t tree /dev/null)
build=build/plain
[ -f "$build/compile_commands.json" ] || { echo "lint: no $build/compile_commands.json; run ./test.sh first" >&2; exit 2; }
builds=("$build")
[ -f build/fuzz/compile_commands.json ] && builds+=(build/fuzz)
mapfile -t touched < <(git diff --name-only --diff-filter=d "$base" HEAD -- '*.cpp' '*.h' | grep -v '^platform/include/' || true)
if ((${#touched[@]} == 0)); then
  echo "lint: no C++ file touched since $base"
  exit 0
fi
status=0
format=$(git clang-format --diff --extensions cpp,h "$base" -- "${touched[@]}" 2>&1 || true)
if ! grep -qE 'no modified files to format|did not modify any files' <<<"$format" && [ -n "$format" ]; then
  echo "$format"
  echo "lint: the lines above are not formatted as .clang-format says (git clang-format $base fixes them)"
  status=1
fi
# A header is checked through the translation units that include it by name.
units=()
for f in "${touched[@]}"; do
  case "$f" in
    *.cpp) units+=("$f") ;;
    *.h) mapfile -t -O "${#units[@]}" units < <(git grep -l --untracked -F "$(basename "$f")\"" -- '*.cpp' | head -3) ;;
  esac
done
# Each unit with the first build that compiles it: "BUILD FILE" lines.
mapfile -t units < <(printf '%s\n' "${units[@]}" | sort -u |
  python3 -c 'import json,os,sys
known={}
for b in reversed(sys.argv[1:]):
    for e in json.load(open(os.path.join(b, "compile_commands.json"))):
        known[os.path.relpath(os.path.join(e["directory"], e["file"]))] = b
print("\n".join(known[l.strip()] + " " + l.strip() for l in sys.stdin if l.strip() in known))' "${builds[@]}")
if ((${#units[@]})); then
  echo "lint: clang-tidy on ${#units[@]} files"
  printf '%s\n' "${units[@]}" | xargs -P "$(nproc)" -L 1 sh -c 'clang-tidy -p "$0" --quiet "$1"' 2>&1 |
    grep -E '\[readability-' | sort -u >"$build/lint.log" || true
  if [ -s "$build/lint.log" ]; then
    cat "$build/lint.log"
    echo "lint: clang-tidy found $(wc -l <"$build/lint.log") problems"
    status=1
  fi
fi
[ "$status" = 0 ] && echo "lint: ${#touched[@]} touched files clean"
exit "$status"
