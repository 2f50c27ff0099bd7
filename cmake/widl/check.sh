#!/usr/bin/env bash
# Runs mingw's widl, which the Windows build uses, over interface
# descriptions: header and type library must both compile. The SDK's .idl
# files are not on this machine, so minimal stand-ins in this folder supply
# IUnknown, IDispatch and stdole2.tlb.
# usage: check.sh WIDL IDL...
set -euo pipefail
widl=$1; shift
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$widl" -I "$here" -t -o "$work/stdole2.tlb" "$here/stdole2.idl"
for idl in "$@"; do
  "$widl" -I "$here" -L "$work" -h -o "$work/out.h" "$idl"
  "$widl" -I "$here" -L "$work" -t -o "$work/out.tlb" "$idl"
  echo "widl: $(basename "$idl") ok"
done
