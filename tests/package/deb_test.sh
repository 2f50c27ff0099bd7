#!/usr/bin/env bash
# Checks the Debian package as a user meets it: its control data (maintainer,
# computed dependencies, no script but ldconfig's), its -dbgsym package, then
# unpacked into a fresh folder and moved elsewhere: the files at Debian's
# paths, stripped, finding one another through RUNPATHs relative to
# themselves; the README's tour run with the unpacked tool (find --route
# included), and client projects built against the unpacked headers.
# usage: deb_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1 src=$(cd "$2" && pwd)
fail() {
  echo "package: $*" >&2
  exit 1
}
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
arch=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
deb=$build/revdir_${version}_${arch}.deb
if [ -z "$version" ] || [ ! -f "$deb" ]; then fail "no $deb"; fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Control data.
[ "$(dpkg-deb -f "$deb" Package)" = revdir ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version"
maintainer=$(dpkg-deb -f "$deb" Maintainer)
[[ $maintainer =~ ^[A-Z][^\<]+\ \<[^@\>]+@[^@\>]+\.[a-z]+\>$ && $maintainer != *localhost* ]] ||
  fail "maintainer '$maintainer'"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libstdc++6 libicu libffi; do
  [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
# Nothing is registered at install time: the only scripts are CPack's
# ldconfig calls, beside Debian's ldconfig trigger.
dpkg-deb -e "$deb" "$work/control"
for script in "$work"/control/*; do
  case $(basename "$script") in
    control | md5sums) ;;
    triggers) [ "$(cat "$script")" = "activate-noawait ldconfig" ] || fail "triggers: $(cat "$script")" ;;
    postinst | postrm)
      # shellcheck disable=SC2016  # the script's own "$1"
      grep -vqE '^(#!/bin/sh|set -e|if \[ "\$1" = "(configure|remove)" \]; then|\s*ldconfig|fi|)$' "$script" &&
        fail "$(basename "$script") does more than ldconfig"
      ;;
    *) fail "maintainer script $(basename "$script")" ;;
  esac
done

# Unpacked, then moved: nothing may depend on where it was unpacked.
dpkg-deb -x "$deb" "$work/unpacked"
mv "$work/unpacked" "$work/moved"
root=$work/moved
lib=usr/lib/$multiarch
doc=usr/share/doc/revdir
for f in usr/bin/revdir usr/bin/enip_sim "$lib/libQuillonRevisionDirectory.so" "$lib/librevdir_platform.so" \
  "$lib/libcvapi32.so" "$lib/cmake/QuillonRevisionDirectory/QuillonRevisionDirectoryConfig.cmake" \
  "$lib/pkgconfig/quillonrevisiondirectory.pc" usr/include/revdir/QuillonRevisionDirectory.h \
  usr/include/revdir/windows.h usr/share/man/man1/revdir.1.gz usr/share/man/man1/enip_sim.1.gz \
  usr/share/bash-completion/completions/revdir "$doc/copyright" "$doc/changelog.gz" \
  "$doc/examples/installed.reg" "$doc/examples/controllers.reg" "$doc/examples/projects/Line1.pjx"; do
  [ -f "$root/$f" ] || fail "no /$f"
done
zcat "$root/$doc/changelog.gz" | head -1 | grep -q "^revdir ($version) " || fail "changelog is not at $version"
# Every ELF file: stripped, its RUNPATH (if any) relative to itself, and its
# debug information in the -dbgsym package, under its build id.
dbgsym=$build/revdir-dbgsym_${version}_${arch}.ddeb
[ -f "$dbgsym" ] || fail "no $dbgsym"
[ "$(dpkg-deb -f "$dbgsym" Depends)" = "revdir (= $version)" ] || fail "dbgsym depends: $(dpkg-deb -f "$dbgsym" Depends)"
debug=$(dpkg-deb -c "$dbgsym")
elves=0
while IFS= read -r -d '' f; do
  [[ $(file -b "$f") == ELF* ]] || continue
  elves=$((elves + 1))
  sections=$(readelf -SW "$f")
  grep -qE ' \.(symtab|debug_[a-z]+) ' <<<"$sections" && fail "${f#"$root"} is not stripped"
  runpath=$(readelf -dW "$f" | sed -n 's/.*(\(RPATH\|RUNPATH\)).*\[\(.*\)\]/\1 \2/p')
  [[ -z $runpath || $runpath =~ ^RUNPATH\ \$ORIGIN(/[^:]*)?$ ]] || fail "${f#"$root"}: $runpath"
  id=$(readelf -nW "$f" | sed -n 's/.*Build ID: //p')
  [[ $debug == *"/usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug"* ]] || fail "no debug information of ${f#"$root"}"
done < <(find "$root" -type f -print0)
[ "$elves" = 5 ] || fail "$elves ELF files, not 5"
# The manual pages set without a warning.
for page in revdir enip_sim; do
  zcat "$root/usr/share/man/man1/$page.1.gz" | groff -man -ww -z 2>&1 | grep . && fail "$page(1) has troff warnings"
done

# The README's tour with the unpacked tool, on no library path but its own,
# from the package's documentation folder as the README says.
env -u LD_LIBRARY_PATH -u REVDIR_COMPONENT python3 "$src/tests/tools/readme_test.py" --in "$root/$doc" "$root/usr/bin/revdir" "$src"
# Client projects against the unpacked headers and libraries, and the tool's
# first run registering the module beside it.
bash "$src/tests/package/package_test.sh" --installed "$root/usr" "$src"
echo "package: $(basename "$deb") ($(stat -c %s "$deb") bytes) and $(basename "$dbgsym") checked"
