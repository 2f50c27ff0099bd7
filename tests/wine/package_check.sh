#!/usr/bin/env bash
# The Windows package as a user meets it: the ZIP unpacked into a fresh
# prefix, registered for the user and for the machine with revdir.exe, the
# README's tour replayed with it (a simulated controller of the client
# library included), a controller served by enip_sim on loopback identified,
# and after each unregistering nothing of ours left in the registry.
# Usage: tests/wine/package_check.sh ZIP
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
zip=$(realpath "${1:?usage: $0 ZIP}")

WINEPREFIX=$(mktemp -d /tmp/revdir-package-XXXXXX)
export WINEPREFIX WINEARCH=win64 WINEDEBUG=-all LANG=C.UTF-8 LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml="
sim_pid=""
cleanup() {
  [ -z "$sim_pid" ] || kill "$sim_pid" 2>/dev/null || true
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
step() { printf 'package: %s\n' "$*"; }
fail() { printf 'package: FAILED: %s\n' "$*" >&2; exit 1; }
started=$SECONDS

step "creating prefix $WINEPREFIX ($(wine --version))"
wine wineboot -i >/dev/null 2>&1 || fail "wineboot"
wineserver -w

# Unpacked where a user would put a tool, with its own top folder.
python3 -m zipfile -e "$zip" "$WINEPREFIX/drive_c/Tools" || fail "unpacking $zip"
home=$(find "$WINEPREFIX/drive_c/Tools" -mindepth 1 -maxdepth 1 -type d | head -n1)
[ -n "$home" ] || fail "the ZIP has no top folder"
# Exactly what a user is told it holds, nothing of the Linux layout.
expected="QuillonRevisionDirectory.dll QuillonRevisionDirectory.tlb README.md comm/CIP001R01V01.ADF
commserver/cvapi32.dll docs/interfaces.md enip_sim.exe examples/controllers.reg examples/installed.reg
examples/projects/Line1.pjx examples/projects/Mixer.ACD include/QuillonRevisionDirectory.h
include/QuillonRevisionDirectory_i.c include/QuillonRevisionDirectory_i.cpp revdir.exe"
got=$(cd "$home" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | paste -sd' ')
[ "$got" = "$(tr '\n' ' ' <<<"$expected" | sed 's/ $//')" ] || fail "the ZIP holds: $got"
# Every binary carries the project's version as its file and product version.
version=$(sed -n 's/^project(.*VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
for binary in QuillonRevisionDirectory.dll revdir.exe enip_sim.exe commserver/cvapi32.dll; do
  python3 - "$home/$binary" "$version" <<'PY' || fail "$binary has no version resource of $version"
import struct, sys
data = open(sys.argv[1], "rb").read()
at = data.find(struct.pack("<I", 0xFEEF04BD))  # VS_FIXEDFILEINFO's signature
if at < 0:
    sys.exit(1)
file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<4I", data, at + 8)
want = [int(n) for n in (sys.argv[2] + ".0.0.0").split(".")[:4]]
for ms, ls in ((file_ms, file_ls), (product_ms, product_ls)):
    if [ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF] != want:
        sys.exit(1)
PY
done
revdir() { (cd "$home" && wine revdir.exe "$@" </dev/null); }

ours="Quillon|Brenmoor|$(sed -n 's/.*uuid(\([0-9A-Fa-f-]*\)).*/\1/p' "$source_dir/resources/QuillonRevisionDirectory.idl" | paste -sd'|')"
leftovers() {
  local out="$WINEPREFIX/drive_c/export.reg"
  rm -f "$out"
  wine regedit /E 'C:\export.reg' >/dev/null 2>&1 || fail "regedit /E"
  iconv -f UTF-16LE -t UTF-8 "$out" | tr -d '\r' | grep -iE "$ours" || true
}
[ -z "$(leftovers)" ] || fail "the fresh prefix already holds our keys"
# The type library's identifier: the uuid before the IDL's "library".
libid=$(sed -n '1,/^library/s/.*uuid(\([0-9A-Fa-f-]*\)).*/\1/p' "$source_dir/resources/QuillonRevisionDirectory.idl" | tail -n1)

# The tool's version and the component's, the one beside it.
said=$(revdir --version | tr -d '\r') || fail "revdir.exe --version: $said"
grep -qE "^component ${version//./\\.}\\.0 C:\\\\Tools\\\\.*\\\\QuillonRevisionDirectory\\.dll\$" <<<"$said" ||
  fail "revdir.exe --version said: $said"
step "$(paste -sd' ' <<<"$said")"

# A controller at the end of an EtherNet/IP route, reached through the client
# library in the package's commserver folder (the prefix has none of its own).
identify_enip() {
  local out="$WINEPREFIX/drive_c/enip.out" port=""
  (cd "$home" && exec wine enip_sim.exe --port 0 --identity "1,14,15,13.1,12345,Kestrel L85" >"$out" 2>&1) &
  sim_pid=$!
  for _ in $(seq 300); do
    port=$(sed -n 's/.*127\.0\.0\.1:\([0-9]*\).*/\1/p' "$out" | head -n1)
    [ -n "$port" ] && break
    sleep 0.1
  done
  [ -n "$port" ] || fail "enip_sim did not say where it listens: $(cat "$out")"
  revdir reg add 'HKLM\SOFTWARE\Brenmoor Software\Corvid\Drivers\ENIP-1' /v Kind /d EtherNet/IP /f >/dev/null ||
    fail "reg add ENIP-1"
  local got
  got=$(cd "$home" && timeout 120 wine revdir.exe find --route "cvpath:ENIP-1\\127.0.0.1:$port" --property release </dev/null | tr -d '\r') ||
    fail "find --route through enip_sim exited with $?"
  [ "$got" = "13.04" ] || fail "find --route through enip_sim said: $got"
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  sim_pid=""
}

# For the user: classes and type library under HKCU\Software\Classes, none
# of the machine's, and all of it gone again after unregistering. Wine 8's
# COM looks classes up in the machine's key only (Windows merges the user's
# over it), so activation from the user's classes is checked on Linux, where
# the platform merges them as Windows does.
step "revdir.exe register --user"
revdir register --user || fail "register --user exited with $?"
for key in 'QuillonRevisionDirectory.RevisionDirectory' "TypeLib\\{$libid}"; do
  wine reg query "HKCU\\Software\\Classes\\$key" >/dev/null 2>&1 || fail "register --user did not write $key for the user"
  ! wine reg query "HKLM\\Software\\Classes\\$key" >/dev/null 2>&1 || fail "register --user wrote $key for the machine"
done
step "revdir.exe unregister --user"
revdir unregister --user || fail "unregister --user exited with $?"
left=$(leftovers)
[ -z "$left" ] || fail "unregister --user left registry entries behind:"$'\n'"$left"

# For the machine: the tour, a controller served by enip_sim, unregistering.
step "revdir.exe register"
revdir register || fail "register exited with $?"
wine reg query 'HKLM\Software\Classes\QuillonRevisionDirectory.RevisionDirectory' >/dev/null 2>&1 ||
  fail "register wrote nothing under HKLM\\Software\\Classes"
step "the README's tour with wine revdir.exe"
python3 "$source_dir/tests/tools/readme_test.py" --wine --registered --in "$home" "$home/revdir.exe" "$source_dir" ||
  fail "the README's tour"
step "a controller served by enip_sim on loopback"
identify_enip
wine reg delete 'HKLM\SOFTWARE\Brenmoor Software' /f >/dev/null 2>&1 || true
step "revdir.exe unregister"
revdir unregister || fail "unregister exited with $?"
left=$(leftovers)
[ -z "$left" ] || fail "unregister left registry entries behind:"$'\n'"$left"
step "all checks passed in $((SECONDS - started)) s"
