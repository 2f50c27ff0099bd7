#!/usr/bin/env bash
# revdir end to end on a fresh prefix: first-run registration, each command's
# table and JSON, exit statuses, bad arguments. usage: revdir_cli_test.sh REVDIR SOURCE_DIR
set -uo pipefail
revdir=$1 src=$2
export REVDIR_PREFIX=$(mktemp -d)
trap 'rm -rf "$REVDIR_PREFIX"' EXIT
unset REVDIR_COMPONENT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# expect STATUS STDOUT-PATTERN STDERR-PATTERN -- ARGS...
expect() {
  local status=$1 out=$2 err=$3; shift 4
  local o e rc
  o=$("$revdir" "$@" 2>"$REVDIR_PREFIX/err"); rc=$?; e=$(cat "$REVDIR_PREFIX/err")
  [ "$rc" = "$status" ] || fail "revdir $*: exit $rc, not $status ($e)"
  [[ "$o" =~ $out ]] || fail "revdir $*: stdout '$o' does not match '$out'"
  [[ "$e" =~ $err ]] || fail "revdir $*: stderr '$e' does not match '$err'"
}

# The first command registers the module beside the tool, and says so once.
expect 0 '^\{"code": "0x80043D01", "constant": "RdE_RevisionNotFound", "text": "No revision' 'first run: registered' \
  -- error 2147761409 --format json
expect 0 '' '^$' -- list --installed
"$revdir" reg import "$src/examples/installed.reg" >/dev/null

# JSON: the stable members, in order, for one release and for many.
expect 0 '^\{"release": "15\.01", "majorRev": 15, "database": 3279, "installed": true, "installedPath": "C:\\\\Quillon\\\\15\.01\\\\Bin\\\\Quillon\.Exe"\}$' '' \
  -- latest --format json
expect 0 '^\[
  \{"release": "13\.04", .*"installed": true, .*\},
  \{"release": "15\.01", .*\}
\]$' '' -- list --installed --format json
expect 0 '^\[\]$' '' -- list --installed --software "(15.01,)" --format json
expect 0 '\{"id": [0-9]+, "name": "[^"]+", "productType": [0-9]+, "productCode": [0-9]+, "majorRev": [0-9]+, "minorRev": [0-9]+, "description": ' '' \
  -- types --supported --format json
expect 0 '^\{"progId": "Quillon.German.Application.14.00"\}$' '' -- progid --release 14.01 --language de --format json

# Tables are aligned: every row's columns start where the header's do.
table=$("$revdir" list --software "[12.0,14.0)")
header=$(head -n1 <<<"$table")
[ "$(wc -l <<<"$table")" = 13 ] || fail "[12.0,14.0) holds 12 releases: $table"
col=$(awk -v h="$header" 'BEGIN { print index(h, "database") }')
awk -v c="$col" 'substr($0, c - 2, 2) != "  " { exit 1 }' <<<"$table" || fail "misaligned: $table"

# Look-ups, ranges and the installed filter.
expect 0 '^13\.04$' '' -- find --software "[13.0,15.0)" --installed --latest --property release
expect 0 '^14\.01$' '' -- find --software "[13.0,15.0)" --latest --property release
expect 0 '^15\.01$' '' -- find --controller 14:51:15 --property release
expect 0 '^13\.04$' '' -- find --major-rev 13 --installed --property release --lang en
expect 4 '' 'RdE_RevisionNotInstalled' -- find --software 14.01 --installed
expect 3 '' 'RdE_RevisionNotFound \(0x80043D01\)' -- find --major-software 99
expect 3 '' 'RdE_RevisionNotFound' -- find --software "[16.0,)"
expect 6 '' 'RdE_NotA_TesselController' -- find --controller 1:2:3
# Online: a route of neither form reaches no controller; one selector only.
expect 6 '' 'the controller at SIM-1.2: RdE_NoDeviceFound \(0x80043D09\)' -- find --route 'SIM-1\2'
expect 2 '' 'give one of' -- find --route 'SIM-1%02 02' --major-rev 13
expect 0 '^Die deutsche' '' -- error 0x80043D05 --lang de --property text

# Project files: one line each in the order given; a folder with --recursive;
# the others still answered when one fails.
cp "$src/examples/projects/Line1.pjx" "$REVDIR_PREFIX/b.pjx"
mkdir -p "$REVDIR_PREFIX/tree/sub" && cp "$src/examples/projects/Line1.pjx" "$REVDIR_PREFIX/tree/sub/A.PJX"
expect 5 "^$REVDIR_PREFIX/b.pjx
$REVDIR_PREFIX/b.pjx$" 'missing.acd: RdE_UnableToAccessProjectFile' \
  -- find --project "$REVDIR_PREFIX/b.pjx" "$REVDIR_PREFIX/missing.acd" "$REVDIR_PREFIX/b.pjx" --property file
expect 0 'tree/sub/A.PJX +15\.01' '' -- find --project --recursive "$REVDIR_PREFIX/tree"
expect 2 '' 'is a folder: add --recursive' -- find --project "$REVDIR_PREFIX/tree"
expect 0 'b.pjx: release 15.01|15\.01' '' -- project "$REVDIR_PREFIX/b.pjx"

# Bad arguments: a usage error with a hint, never a silent default.
expect 2 '' "'banana' is not an error code" -- error banana
expect 2 '' "unknown option '--bogus'" -- list --installed --bogus
expect 2 '' "'--major-rev' needs a value" -- find --major-rev
expect 2 '' "'1x' is not a number" -- find --major-rev 1x
expect 2 '' "not a version M.mm" -- types --release 15
expect 2 '' "neither a version" -- find --software "[12.0;14.0)"
expect 2 '' "TYPE:CODE:REV" -- find --controller 14:51
expect 2 '' "give one of" -- find --major-rev 1 --database 3
expect 2 '' "unknown language 'xx'" -- list --lang xx
expect 2 '' "table or json" -- list --format xml
expect 2 '' "no property 'nope'" -- latest --property nope
expect 2 '' "--wait needs a number of seconds" -- launch --wait -1
expect 2 '' "unknown command 'lst'" -- lst

# Aliases as the directory stores them (target, then alias); a value that is
# not whole records is reported, not half read; clear removes them all.
aliases='HKLM\SOFTWARE\Brenmoor Software\Quillon.1'
"$revdir" reg add "$aliases" /v RevisionDirectoryDatabaseVersionAliases /t REG_BINARY /d cf0c0000a00f0000 /f >/dev/null
expect 0 '^\[
  \{"alias": 4000, "target": 3279\}
\]$' '' -- alias list --format json
# The directory reads the bytes whatever the value's type: "ABC" and its
# terminator are one record, target 0x00420041, alias 0x43.
"$revdir" reg add "$aliases" /v RevisionDirectoryDatabaseVersionAliases /t REG_SZ /d ABC /f >/dev/null
expect 0 '^\[
  \{"alias": 67, "target": 4325441\}
\]$' '' -- alias list --format json
"$revdir" reg add "$aliases" /v RevisionDirectoryDatabaseVersionAliases /t REG_BINARY /d cf0c0000a0 /f >/dev/null
expect 6 '' 'not whole records \(5 bytes\)' -- alias list
expect 0 '' '' -- alias clear
expect 0 '^\[\]$' '' -- alias list --format json
expect 2 '' 'the alias verbs are: list, clear' -- alias lst

# Arguments and output beyond ASCII: a path read from the command line as it
# was typed, printed the same to a pipe and to a terminal (the console,
# written as UTF-16 there), with LF line ends and no byte-order mark.
mkdir -p "$REVDIR_PREFIX/Ωμέγα ü"
cp "$src/examples/projects/Line1.pjx" "$REVDIR_PREFIX/Ωμέγα ü/Línea 1.pjx"
expect 0 "^$REVDIR_PREFIX/Ωμέγα ü/Línea 1.pjx\$" '' -- find --project "$REVDIR_PREFIX/Ωμέγα ü/Línea 1.pjx" --property file
# In a table its cells line up by the characters they show, not their bytes.
"$revdir" find --project "$REVDIR_PREFIX/Ωμέγα ü/Línea 1.pjx" "$src/examples/projects/Mixer.ACD" 2>/dev/null |
  python3 -c 'import sys; rows = sys.stdin.buffer.read().decode().splitlines()
sys.exit(len({r.index("15.01" if i == 1 else "13.04" if i == 2 else "release") for i, r in enumerate(rows)}) != 1)' ||
  fail "a table with a non-ASCII cell is out of line"
piped=$("$revdir" error 0x80043D05 --lang fr | od -An -c | tr -s ' \n' ' ')
[[ "$piped" == " c o d e "* && "$piped" != *'\r'* ]] || fail "piped output: $piped"
if command -v script >/dev/null; then
  console=$(script -qec "'$revdir' error 0x80043D05 --lang fr --property text" /dev/null | tr -d '\r')
  [ "$console" = "La prise en charge du français de Quillon n'est pas installée pour cette révision." ] ||
    fail "on a terminal: $console"
  # A long text goes to the console in pieces, none of which splits a
  # character that takes two UTF-16 units: here one lands on the 8192nd unit
  # of its line, where the first piece ends.
  long="$(printf 'a%.0s' $(seq 8169))😀 end"
  "$revdir" reg add 'HKCU\Software\Long' /v Text /d "$long" /f >/dev/null || fail "reg add of a long text"
  console=$(script -qec "'$revdir' reg query 'HKCU\Software\Long' /v Text" /dev/null | tr -d '\r')
  [[ "$console" == *"a😀 end"* ]] || fail "a long text on a terminal lost its last characters: ${console: -40}"
  "$revdir" reg delete 'HKCU\Software\Long' /f >/dev/null
fi

# A module that does not load: its error, and the system's text of it on one line.
REVDIR_COMPONENT=/nonexistent/x.so expect 6 '' $'^revdir: cannot load /nonexistent/x.so \\(error 126\\)\nrevdir: register: 0x8007007E The specified module could not be found\\.$' -- register

# Versions: the tool's and the component's (from its version resource) are
# the project's; a module without one, or none at all, is a failure.
version=$(sed -n 's/^project(RevisionDirectory VERSION \([0-9.]*\) .*/\1/p' "$src/CMakeLists.txt")
expect 0 "^revdir $version
component $version\\.0 /.*QuillonRevisionDirectory" '^$' -- --version
REVDIR_COMPONENT="$revdir" expect 0 "^revdir $version
component $version\\.0 $revdir\$" '' -- version
REVDIR_COMPONENT="$src/CMakeLists.txt" expect 6 "^revdir $version\$" 'has no version resource' -- --version
REVDIR_COMPONENT="$REVDIR_PREFIX/none.so" expect 6 '' 'is not there' -- --version

# Per user, in a prefix of its own: register --user writes the user's classes
# only, the component activates from them, and unregister --user takes back
# all of it. Where the machine's classes cannot be written, the first run
# registers for the user and says so.
machine_prefix=$REVDIR_PREFIX
export REVDIR_PREFIX=$(mktemp -d)
trap 'rm -rf "$machine_prefix" "$REVDIR_PREFIX"' EXIT
ours="Quillon|$(sed -n 's/.*uuid(\([0-9A-Fa-f-]*\)).*/\1/p' "$src/resources/QuillonRevisionDirectory.idl" | paste -sd'|')"
expect 0 '' '^$' -- register --user
expect 0 'RevisionDirectory Class' '' -- reg query 'HKCU\Software\Classes\QuillonRevisionDirectory.RevisionDirectory'
grep -qiE "$ours" "$REVDIR_PREFIX/system.reg" && fail "register --user wrote the machine's classes"
expect 0 '' '^$' -- list --installed
expect 0 '' '^$' -- unregister --user
grep -qiE "$ours" "$REVDIR_PREFIX"/*.reg && fail "unregister --user left: $(grep -hiE "$ours" "$REVDIR_PREFIX"/*.reg)"
chmod a-w "$REVDIR_PREFIX/system.reg"
expect 6 '' 'try --user' -- register
expect 0 '' '^revdir: first run: registered the component for this user /' -- list --installed
expect 0 '' '^$' -- unregister --user
chmod u+w "$REVDIR_PREFIX/system.reg"

# Help: every command listed is one whose --help works.
for c in $("$revdir" --help | awk '/^commands:/ { on = 1; next } on && /^  [a-z]/ { print $1 }'); do
  [ "$c" = reg ] && continue
  expect 0 "^usage: revdir $c" '' -- "$c" --help
done

[ "$failures" = 0 ] && echo "revdir: all checks passed"
exit $((failures > 0))
