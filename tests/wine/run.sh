#!/usr/bin/env bash
# The Windows build under Wine, in a throw-away prefix: every test program the
# build lists, then the DLL registered with regsvr32 and driven by the
# scripting clients beside this file, then unregistered, leaving nothing of
# ours in the registry.  Usage: tests/wine/run.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
dll="$build/QuillonRevisionDirectory.dll"
[ -f "$dll" ] || { echo "wine: no $dll" >&2; exit 1; }

WINEPREFIX=$(mktemp -d /tmp/revdir-wine-XXXXXX)
export WINEPREFIX WINEARCH=win64 WINEDEBUG=-all
# English answers whatever the machine's locale.
export LANG=C.UTF-8 LC_ALL=C.UTF-8
# No Mono or Gecko: nothing here needs them, and their installers would ask.
export WINEDLLOVERRIDES="mscoree,mshtml="
xvfb_pid=""
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
step() { printf 'wine: %s\n' "$*"; }
fail() { printf 'wine: FAILED: %s\n' "$*" >&2; exit 1; }
winpath() { winepath -w "$1" 2>/dev/null; }

started=$SECONDS
# Wine's windows need an X server; one without a screen serves, so that a
# launched program's window really exists for LaunchAndWaitForMainWindow.
if command -v Xvfb >/dev/null; then
  # It writes its display number to fd 3 once it accepts connections.
  Xvfb -displayfd 3 -nolisten tcp -screen 0 640x480x24 3>"$WINEPREFIX.display" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 200); do grep -q . "$WINEPREFIX.display" 2>/dev/null && break; sleep 0.1; done
  number=$(head -n1 "$WINEPREFIX.display")
  rm -f "$WINEPREFIX.display"
  [ -n "$number" ] || fail "Xvfb did not start"
  export DISPLAY=":$number"
  step "windows on Xvfb display $DISPLAY"
fi
step "creating prefix $WINEPREFIX ($(wine --version))"
wine wineboot -i >/dev/null 2>&1 || fail "wineboot"
# Until the boot's server has gone, COM calls that need it time out.
wineserver -w

# Keys and values a client or the registration may leave behind: the
# component's names and every identifier of its interface description.
ours="Quillon|Brenmoor|$(sed -n 's/.*uuid(\([0-9A-Fa-f-]*\)).*/\1/p' "$here/../../resources/QuillonRevisionDirectory.idl" | paste -sd'|')"
leftovers() {
  local out="$WINEPREFIX/drive_c/export.reg"
  rm -f "$out"
  wine regedit /E "$(winpath "$out")" >/dev/null 2>&1 || fail "regedit /E"
  iconv -f UTF-16LE -t UTF-8 "$out" | tr -d '\r' | grep -iE "$ours" || true
}
[ -z "$(leftovers)" ] || fail "the fresh prefix already holds our keys"

# Test programs: each registers what it needs and cleans up after itself.
while read -r program; do
  [ -n "$program" ] || continue
  step "running $(basename "$program")"
  (cd "$(dirname "$program")" && wine "$(basename "$program")" --gtest_brief=1 </dev/null) ||
    fail "$(basename "$program") exited with $?"
  left=$(leftovers)
  [ -z "$left" ] || fail "$(basename "$program") left registry entries behind:"$'\n'"$left"
done < "$build/windows_tests.txt"

# The communications server's client library, installed where the system
# finds a DLL for any program that loads it by name (here the script host).
cvapi=$(find "$build" -name cvapi32.dll | head -n1)
[ -n "$cvapi" ] || fail "no cvapi32.dll in $build"
cp "$cvapi" "$WINEPREFIX/drive_c/windows/system32/"

step "regsvr32 $(basename "$dll")"
wine regsvr32 /s "$(winpath "$dll")" || fail "regsvr32 exited with $?"

# One release declared installed, as its installer would, and one
# database-version alias, 4000 handled by 3279 (15.x): two little-endian 32-bit
# words, target first. Each script starts from exactly this, whatever the one
# before it declared.
declare_installed() {
  wine reg delete 'HKLM\SOFTWARE\Brenmoor Software' /f >/dev/null 2>&1 || true
  local release='HKLM\SOFTWARE\Brenmoor Software\Quillon.1\English\15'
  wine reg add "$release" /v "Product Version" /d 15.01.0123 /f >/dev/null || fail "reg add"
  wine reg add "$release" /v Bin /d 'C:\Q\Bin' /f >/dev/null || fail "reg add"
  wine reg add 'HKLM\SOFTWARE\Brenmoor Software\Quillon.1' /v RevisionDirectoryDatabaseVersionAliases \
    /t REG_BINARY /d CF0C0000A00F0000 /f >/dev/null || fail "reg add"
  # A simulated network of the communications server's client library: a
  # controller at station 2 (device type 14, product code 15, firmware 15.3).
  local drivers='HKLM\SOFTWARE\Brenmoor Software\Corvid\Drivers\SIM-1'
  wine reg add "$drivers" /v Kind /d Simulated /f >/dev/null || fail "reg add"
  local name value
  for pair in Vendor=1 DeviceType=14 ProductCode=15 MajorRevision=15 MinorRevision=3 SerialNumber=4660; do
    name=${pair%%=*} value=${pair#*=}
    wine reg add "$drivers\Devices\2" /v "$name" /t REG_DWORD /d "$value" /f >/dev/null || fail "reg add"
  done
  wine reg add "$drivers\Devices\2" /v ProductName /d "Nimbrel L1" /f >/dev/null || fail "reg add"
}

# Its application: the stand-in that records its arguments and working
# directory and shows a window after a moment.
standin=$(find "$build" -name standin_quillon_app.exe | head -n1)
[ -n "$standin" ] || fail "no standin_quillon_app.exe in $build"
mkdir -p "$WINEPREFIX/drive_c/Q/Bin"
cp "$standin" "$WINEPREFIX/drive_c/Q/Bin/Quillon.Exe"
printf 'in C:\\Q\\Bin' >"$WINEPREFIX/drive_c/Q/Bin/cwd-marker"
export REVDIR_STANDIN_RECORD='C:\Q\record' REVDIR_STANDIN_WINDOW_DELAY_MS=1500 REVDIR_STANDIN_LINGER_MS=5000
# Project files the scripts identify, in C:\Projects.
projects="$WINEPREFIX/drive_c/Projects"
mkdir -p "$projects"
printf 'CONTROLLER Line1 (Major := 12)\r\n\tMODULE Local (Major := 15, Minor := 1)\r\n\tEND_MODULE\r\n' >"$projects/Line1.pjx"
printf 'MODULE LocalRack (Major := 15, Minor := 1)' >"$projects/Rack.pjx"
: >"$projects/Empty.pjx"
printf 'header\x8d\x0c\x00\x00' >"$projects/LINE1.ACD"
printf '\x00\x00\x00\x80' >"$projects/Reduced.acd"
printf '\x8d\x0c\x00' >"$projects/Short.acd"

# cscript exits 0 and prints nothing when a script dies, so each script ends
# with a line only a complete run prints, reports each failed check as FAIL
# and each passed one as ok (shown only on failure, to tell where it died).
for script in "$here"/*.vbs "$here"/*.js; do
  name=$(basename "$script")
  declare_installed
  step "cscript $name"
  output=$(timeout 120 wine cscript //nologo "$(winpath "$script")" 2>&1 | tr -d '\r') ||
    { printf '%s\n' "$output"; fail "cscript $name exited with an error"; }
  if grep -q '^FAIL' <<<"$output" || ! tail -n1 <<<"$output" | grep -qE '^[a-z]+ client: [0-9]+ checks passed$'; then
    printf '%s\n' "$output"
    fail "$name"
  fi
  tail -n1 <<<"$output" | sed 's/^/wine:   /'
done

wine reg delete 'HKLM\SOFTWARE\Brenmoor Software' /f >/dev/null || fail "reg delete"
step "regsvr32 /u $(basename "$dll")"
wine regsvr32 /u /s "$(winpath "$dll")" || fail "regsvr32 /u exited with $?"
left=$(leftovers)
[ -z "$left" ] || fail "unregistration left registry entries behind:"$'\n'"$left"
# The command-line tool: the README's tour, as the Linux build's test runs
# it, on the prefix with the component unregistered again (its first command
# registers it), then a file in a folder whose name the system's narrow code
# page cannot spell, read and written by name.
revdir_exe="$build/revdir.exe"
[ -f "$revdir_exe" ] || fail "no revdir.exe in $build"
step "README tour with $(basename "$revdir_exe")"
python3 "$here/../tools/readme_test.py" --wine "$revdir_exe" "$here/../.." | sed 's/^/wine:   /'
[ "${PIPESTATUS[0]}" = 0 ] || fail "the README tour under Wine"
step "revdir.exe with non-ASCII paths"
folder='C:\Projekte Ärger Ωμέγα'
mkdir -p "$WINEPREFIX/drive_c/Projekte Ärger Ωμέγα"
cp "$here/../../examples/projects/Line1.pjx" "$WINEPREFIX/drive_c/Projekte Ärger Ωμέγα/Línea 1.pjx"
got=$(wine "$revdir_exe" find --project "$folder\\Línea 1.pjx" --format json) || fail "find --project: exit $?"
grep -qF '{"file": "C:\\Projekte Ärger Ωμέγα\\Línea 1.pjx", "release": "15.01",' <<<"$got" ||
  fail "find --project on a non-ASCII path printed: $got"
wine "$revdir_exe" reg export 'HKLM\SOFTWARE\Brenmoor Software\Quillon.1' "$folder\\Ausfuhr ü.reg" /y >/dev/null ||
  fail "reg export to a non-ASCII path"
iconv -f UTF-16LE -t UTF-8 "$WINEPREFIX/drive_c/Projekte Ärger Ωμέγα/Ausfuhr ü.reg" | grep -q 'Product Version' ||
  fail "reg export wrote no release to the non-ASCII path"
wine "$revdir_exe" reg import "$folder\\Ausfuhr ü.reg" >/dev/null || fail "reg import from a non-ASCII path"
wine "$revdir_exe" unregister || fail "revdir unregister exited with $?"
wine reg delete 'HKLM\SOFTWARE\Brenmoor Software' /f >/dev/null || fail "reg delete"
left=$(leftovers)
[ -z "$left" ] || fail "the tool left registry entries behind:"$'\n'"$left"
step "all checks passed in $((SECONDS - started)) s"
