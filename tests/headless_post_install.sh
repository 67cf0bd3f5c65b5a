#!/usr/bin/env bash
# End to end, after the files: the example product, given an uninstaller
# and the values of its uninstall entry, installed by kiln-headless under
# Wine must leave the whole system state: files, the install log on the
# uninstaller, the uninstall entry, the remembered folder (proposed again by
# the next run), its INI and registry entries and its program-group
# shortcut. --no-post-install leaves all of that out. A setup type that
# removes the others first runs their uninstaller with /X and deletes it.
# Usage: headless_post_install.sh KILN HEADLESS_EXE RECORDER_EXE   (KILN_WINEPREFIX set up by the caller)
set -uo pipefail
kiln=$1 headless=$2 recorder=$3
: "${KILN_WINEPREFIX:?the caller sets up the Wine prefix}"
source "$(dirname "$0")/shell_checks.sh"
# The Windows build under test, its Wine and its programs (KILN_WIN_ARCH, KILN_STUB, ...).
source "$here/scripts/windows-platform"
wine_run() { "$here/scripts/wine-run" "$@"; }
# A registry value's data as reg query shows it (numbers as 0x...), or nothing.
regval() {  # key, value name
  wine_run reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    awk -v name="$2" '{ if (index($0, "    " name "    ") == 1) { sub(/^    [^ ].*    REG_[A-Z_]+    /, ""); print } }'
}
expect_value() {  # key, value name, expected data
  local got; got=$(regval "$1" "$2")
  [ "$got" = "$3" ] || { echo "  $1 [$2]: '$got', expected '$3'"; return 1; }
}
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
start_menu=$(echo "$KILN_WINEPREFIX"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs)

# The uninstaller carried by the package ends with the 8 bytes the log replaces.
cp "$recorder" "$work/uninst.bin"
printf '\177\177\000\000\000\000\000\000' >>"$work/uninst.bin"
: >"$work/empty.bin"

# --- The example product, with an uninstaller and its uninstall entry's values ---
cp -r "$here/examples/sample" "$work/example"
cp "$work/uninst.bin" "$work/empty.bin" "$work/example/"
awk '
  /^uninstaller = true$/ { print "uninstaller = \"uninst.bin\""; next }
  /^\[\[type\]\]$/ && ++types == 2 {
    print "[[type.file]]\nsource = \"empty.bin\"\ntarget = \"uninst.exe\"\nuninstaller = true\nplacement = \"remove\"\n"
    print "[type.uninstall_entry]\ndisplay_version = \"1.0\"\npublisher = \"Kiln\"\ndisplay_icon = \"#InstallDir#\\\\readme.txt\""
    print "install_location = true\nestimated_size = true\nno_modify = true\nno_repair = true\nquiet_uninstall = true\n"
  }
  { print }' "$here/examples/sample/kiln.toml" >"$work/example/kiln.toml"
check "example: build" "$kiln" build "$work/example/kiln.toml" -o "$work/example.exe" >/dev/null

# What an earlier run in the same prefix left goes first.
wine_run reg delete "$uninstall_key\\Sample Product" /f >/dev/null 2>&1
wine_run reg delete 'HKLM\Software\Sample\Product' /f >/dev/null 2>&1
rm -rf "$start_menu/Sample Product"

bare="$work/bare"
wine_run "$headless" "$(winpath "$work/example.exe")" --dest "$(winpath "$bare")" --no-post-install >"$work/bare.txt" 2>&1
without_post_install() {
  grep -q "install error: 0" "$work/bare.txt" && cmp -s "$bare/uninst.exe" "$work/uninst.bin" &&
    [ -z "$(regval "$uninstall_key\\Sample Product" DisplayName)" ] &&
    [ -z "$(regval 'HKLM\Software\Sample\Product' InstallDir)" ] && [ ! -e "$start_menu/Sample Product" ] ||
    { cat "$work/bare.txt"; return 1; }
}
check "--no-post-install: files only" without_post_install

dest="$work/Sample Product"
wdest=$(winpath "$dest")
wine_run "$headless" "$(winpath "$work/example.exe")" --dest "$wdest" >"$work/out.txt" 2>&1
check "example: installed" grep -q "install error: 0" "$work/out.txt"
files_in_place() {
  cmp -s "$dest/readme.txt" "$here/examples/sample/payload/readme.txt" &&
    cmp -s "$dest/license.txt" "$here/examples/sample/payload/license.txt"
}
check "example: files" files_in_place
# The uninstaller's own bytes stay; the log takes the place of its closing header and ends with its own.
log_on_uninstaller() {
  local program=$(($(stat -c %s "$work/uninst.bin") - 8))
  cmp -s -n "$program" "$dest/uninst.exe" "$work/uninst.bin" &&
    [ "$(stat -c %s "$dest/uninst.exe")" -gt "$((program + 8))" ] &&
    [ "$(tail -c 8 "$dest/uninst.exe" | od -An -tx1 | tr -d ' \n')" = "7f7f000000000000" ] &&
    [ "$(tail -c +$((program + 1)) "$dest/uninst.exe" | head -c 2 | od -An -tx1 | tr -d ' \n')" = "3512" ]
}
check "example: install log" log_on_uninstaller
key="$uninstall_key\\Sample Product"
size_kib=$(( ($(stat -c %s "$work/uninst.bin") + $(cat "$here"/examples/sample/payload/* | wc -c) + 1023) / 1024 ))
check "uninstall entry: DisplayName" expect_value "$key" DisplayName "Sample Product"
check "uninstall entry: UninstallString" expect_value "$key" UninstallString "$wdest\\uninst.exe"
check "uninstall entry: QuietUninstallString" expect_value "$key" QuietUninstallString "\"$wdest\\uninst.exe\" /QUIET"
check "uninstall entry: DisplayVersion" expect_value "$key" DisplayVersion "1.0"
check "uninstall entry: Publisher" expect_value "$key" Publisher "Kiln"
check "uninstall entry: DisplayIcon" expect_value "$key" DisplayIcon "$wdest\\readme.txt"
check "uninstall entry: InstallLocation" expect_value "$key" InstallLocation "$wdest"
check "uninstall entry: EstimatedSize" expect_value "$key" EstimatedSize "$(printf '0x%x' "$size_kib")"
check "uninstall entry: NoModify" expect_value "$key" NoModify 0x1
check "uninstall entry: NoRepair" expect_value "$key" NoRepair 0x1
check "remembered folder" expect_value 'HKLM\Software\Sample\Product' InstallDir "$wdest"
check "registry entry" expect_value 'HKLM\Software\Sample\Product' Version "1.0"
ini_entry() { tr -d '\r' <"$dest/settings.ini" | grep -qxF "Home=$wdest"; }
check "INI entry" ini_entry
check "program-group shortcut" test -f "$start_menu/Sample Product/Read me.lnk"
# The next run of the same setup proposes the folder the last one used.
next_run() {
  wine_run "$headless" "$(winpath "$work/example.exe")" --no-post-install >"$work/next.txt" 2>&1
  grep -qxF "destination: $wdest\\" <(tr -d '\r' <"$work/next.txt") || { cat "$work/next.txt"; return 1; }
}
check "remembered folder proposed again" next_run

# --- Two setup types: the second removes the first's installation first ---
mkdir -p "$work/two"
cp "$work/uninst.bin" "$work/empty.bin" "$work/two/"
cat >"$work/two/kiln.toml" <<TOML
[setup]
title = "Kiln Two Types $$"
remove_other_types = true
uninstaller = "uninst.bin"
[[type]]
uninstall_key = "Kiln Two Types $$ First"
[[type.file]]
source = "empty.bin"
target = "uninst.exe"
uninstaller = true
[[type]]
uninstall_key = "Kiln Two Types $$ Second"
[[type.file]]
source = "empty.bin"
target = "uninst.exe"
uninstaller = true
TOML
check "two types: build" "$kiln" build "$work/two/kiln.toml" -o "$work/two.exe" >/dev/null
first="$work/first" second="$work/second"
wine_run "$headless" "$(winpath "$work/two.exe")" --type 0 --dest "$(winpath "$first")" >"$work/first.txt" 2>&1
check "two types: first installed" test -f "$first/uninst.exe"
check "two types: first's uninstall entry" expect_value "$uninstall_key\\Kiln Two Types $$ First" UninstallString \
  "$(winpath "$first")\\uninst.exe"
wine_run "$headless" "$(winpath "$work/two.exe")" --type 1 --dest "$(winpath "$second")" >"$work/second.txt" 2>&1
removed_first() {
  [ "$(tr -d '\r' <"$first/uninst.exe.args" 2>/dev/null | tail -n 1)" = "/X" ] && [ ! -e "$first/uninst.exe" ] &&
    [ -f "$second/uninst.exe" ] || { cat "$work/second.txt"; return 1; }
}
check "two types: the first's uninstaller ran with /X and is gone" removed_first
wine_run reg delete "$uninstall_key\\Kiln Two Types $$ First" /f >/dev/null 2>&1
wine_run reg delete "$uninstall_key\\Kiln Two Types $$ Second" /f >/dev/null 2>&1

report "headless post-install"
