#!/usr/bin/env bash
# The interface reference. "current": docs/interfaces.md is what the generator
# makes of this build. "bad-input": what it cannot read fails with a message
# naming it, and the output file is left as it was.
# interface_doc_test.sh MODE GENERATOR DOC TYPELIB MODULE SCRIPT.rgs...
set -u
mode=$1 generator=$2 doc=$3 typelib=$4 module=$5
shift 5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Whatever the platform keeps on disk, it keeps here.
export REVDIR_PREFIX=$work/prefix
mkdir -p "$REVDIR_PREFIX"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

case $mode in
current)
  if ! "$generator" --typelib "$typelib" --module "$module" --output "$work/interfaces.md" "$@"; then
    fail "the generator failed"
  elif ! diff -u "$doc" "$work/interfaces.md"; then
    fail "$doc is not what this build makes (the diff above, + is new); regenerate it with" \
      "'cmake --build build/plain --target interface_doc' and commit it"
  fi
  ;;
bad-input)
  out=$work/out.md
  printf 'previous\n' >"$out"
  # refuse TEXT ARGS...: exit 1 with TEXT in the message, the output untouched.
  refuse() {
    local text=$1
    shift
    local message rc
    message=$("$generator" --module "$module" --output "$out" "$@" 2>&1)
    rc=$?
    [ "$rc" = 1 ] || fail "$text: exit $rc (wanted 1): $message"
    grep -qF -- "$text" <<<"$message" || fail "no '$text' in: $message"
    [ "$(cat "$out")" = previous ] || fail "$text: the output was changed"
    [ ! -e "$out.tmp" ] || fail "$text: a temporary file was left"
  }
  refuse "cannot load the type library $work/missing.tlb" --typelib "$work/missing.tlb" "$@"
  head -c 3000 "$typelib" >"$work/truncated.tlb"
  refuse "cannot load the type library $work/truncated.tlb" --typelib "$work/truncated.tlb" "$@"
  printf "HKCR\n{\n\tx = s 'open\n}\n" >"$work/unterminated.rgs"
  refuse "$work/unterminated.rgs: line 3" --typelib "$typelib" "$work/unterminated.rgs"
  # A class the scripts register but the library does not describe.
  printf "HKCR\n{\n\tNoRemove CLSID\n\t{\n\t\t{00000000-0000-0000-0000-0000000000AB}\n\t\t{\n%s\n\t\t}\n\t}\n}\n" \
    "			ProgID = s 'Stray.Class.1'" >"$work/stray.rgs"
  refuse "registers Stray.Class.1 as {00000000-0000-0000-0000-0000000000AB}" --typelib "$typelib" "$@" "$work/stray.rgs"
  ;;
*)
  fail "unknown mode $mode"
  ;;
esac
exit $((failures > 0))
