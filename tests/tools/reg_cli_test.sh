#!/usr/bin/env bash
# revdir reg: verbs, output and exit codes, export and import round trip.
set -u
revdir=$1
export REVDIR_PREFIX=$(mktemp -d)
trap 'rm -rf "$REVDIR_PREFIX"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# expect CODE COMMAND... : runs the command, keeps its stdout+stderr in $out
expect() {
  local want=$1; shift
  out=$("$@" 2>&1 </dev/null); local got=$?
  [ "$got" = "$want" ] || fail "exit $got (wanted $want): $* -> $out"
}

key='HKLM\SOFTWARE\Brenmoor Software\Quillon.1\English\15'
expect 0 "$revdir" reg add "$key" /v "Product Version" /d 15.01.0123
[ "$out" = "The operation completed successfully." ] || fail "add said: $out"
expect 0 "$revdir" reg add "$key" /v Bin /d 'C:\Q\Bin' /f
expect 0 "$revdir" reg add "$key" /v Count /t REG_DWORD /d 31
expect 0 "$revdir" reg add "$key" /v Big /t REG_QWORD /d 0x100000000
expect 0 "$revdir" reg add "$key" /v List /t REG_MULTI_SZ /d 'a,b' /s ,
expect 0 "$revdir" reg add "$key" /v Raw /t REG_BINARY /d 00ff10
expect 0 "$revdir" reg add "$key" /ve /d 'default text'
expect 1 "$revdir" reg add "$key" /v Bad /t REG_DWORD /d twelve
expect 1 "$revdir" reg add "$key" /v Bad /t REG_BINARY /d 0g
expect 1 "$revdir" reg add 'HKXY\SOFTWARE'

want=$(printf '%s\n' '' 'HKEY_LOCAL_MACHINE\SOFTWARE\Brenmoor Software\Quillon.1\English\15' \
  '    Product Version    REG_SZ    15.01.0123' '    Bin    REG_SZ    C:\Q\Bin' \
  '    Count    REG_DWORD    0x1f' '    Big    REG_QWORD    0x100000000' '    List    REG_MULTI_SZ    a\0b' \
  '    Raw    REG_BINARY    00FF10' '    (Default)    REG_SZ    default text')
expect 0 "$revdir" reg query "$key"
[ "$out" = "$want" ] || fail "query printed:"$'\n'"$out"$'\n'"wanted:"$'\n'"$want"
expect 0 "$revdir" reg query 'hkey_local_machine\software\brenmoor software\quillon.1' /s
[ "$(grep -c 'REG_' <<<"$out")" = 7 ] || fail "query /s printed: $out"
expect 0 "$revdir" reg query "$key" /v bin
grep -q '^    Bin    REG_SZ    C:\\Q\\Bin$' <<<"$out" || fail "query /v printed: $out"
expect 1 "$revdir" reg query "$key" /v Missing
expect 1 "$revdir" reg query 'HKLM\SOFTWARE\Missing'
grep -q 'unable to find' <<<"$out" || fail "missing key said: $out"

# Without /f an existing value is kept unless the person answers yes.
out=$(echo n | "$revdir" reg add "$key" /v Bin /d other 2>&1)
expect 0 "$revdir" reg query "$key" /v Bin
grep -q 'C:\\Q\\Bin' <<<"$out" || fail "answering no still overwrote: $out"

# Export writes UTF-16LE with a BOM, as on Windows; import brings it back.
file="$REVDIR_PREFIX/export.reg"
expect 0 "$revdir" reg export 'HKLM\SOFTWARE\Brenmoor Software' "$file"
[ "$(head -c2 "$file" | od -An -tx1 | tr -d ' ')" = fffe ] || fail "export has no UTF-16LE BOM"
expect 0 "$revdir" reg delete 'HKLM\SOFTWARE\Brenmoor Software' /f
expect 1 "$revdir" reg query "$key"
expect 0 "$revdir" reg import "$file"
expect 0 "$revdir" reg query "$key"
[ "$out" = "$want" ] || fail "after import:"$'\n'"$out"

expect 0 "$revdir" reg delete "$key" /v Raw /f
expect 1 "$revdir" reg delete "$key" /v Raw /f
expect 0 "$revdir" reg delete "$key" /va /f
expect 0 "$revdir" reg query "$key"
[ "$(grep -c 'REG_' <<<"$out")" = 0 ] || fail "values left after /va: $out"

printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A]\n"x"=dword:zz\n' >"$REVDIR_PREFIX/bad.reg"
expect 1 "$revdir" reg import "$REVDIR_PREFIX/bad.reg"
grep -q 'bad.reg:4:' <<<"$out" || fail "bad import said: $out"
expect 1 "$revdir" reg query 'HKCU\A'

# A hand-written UTF-8 file: comments, continued hex data, deletions of a
# value and of a key, in file order.
printf '%s\n' 'Windows Registry Editor Version 5.00' '; by hand' '[HKEY_CURRENT_USER\B\Gone]' '"v"="x"' \
  '[HKCU\B]' '"keep"=hex(2):25,00,41,00,25,00,\' '  00,00 ; %A%' '"drop"="y"' '"drop"=-' '[-HKEY_CURRENT_USER\B\Gone]' \
  >"$REVDIR_PREFIX/hand.reg"
expect 0 "$revdir" reg import "$REVDIR_PREFIX/hand.reg"
expect 0 "$revdir" reg query 'HKCU\B' /s
[ "$out" = "$(printf '\nHKEY_CURRENT_USER\\B\n    keep    REG_EXPAND_SZ    %%A%%')" ] || fail "hand-written import gave: $out"
# A statement refused late in the file (an unknown root) changes nothing.
printf '%s\n' 'Windows Registry Editor Version 5.00' '[HKCU\C]' '"v"="x"' '[HKEY_NOWHERE\C]' >"$REVDIR_PREFIX/late.reg"
expect 1 "$revdir" reg import "$REVDIR_PREFIX/late.reg"
grep -q 'late.reg: line 4: unknown root key' <<<"$out" || fail "late refusal said: $out"
expect 1 "$revdir" reg query 'HKCU\C'
expect 1 "$revdir" reg frobnicate 'HKLM\SOFTWARE'
expect 2 "$revdir" nosuchcommand  # a usage error

[ "$failures" = 0 ] && echo "all passed"
exit $((failures > 0))
