#!/usr/bin/env bash
# A setup file built with architecture = "x64" under 64-bit Wine: kiln puts
# the 64-bit setup program and uninstaller in it; it installs into the
# native Program Files, puts its shared library in the native system folder
# and writes the 64-bit registry view (uninstall entry, remembered folder,
# shared count), nothing in the 32-bit one; its uninstaller then leaves the
# system as it was.
# Usage: x64_install.sh KILN   (KILN_WIN_ARCH=win64, KILN_WINEPREFIX set up by the caller)
set -uo pipefail
kiln=$1
: "${KILN_WINEPREFIX:?the caller sets up the Wine prefix}"
source "$(dirname "$0")/shell_checks.sh"
# The Windows build under test, its Wine and its programs (KILN_WIN_ARCH, KILN_STUB, ...).
source "$here/scripts/windows-platform"
[ "$KILN_WIN_ARCH" = win64 ] || { echo "x64 install: runs with the 64-bit build only"; exit 0; }
wine_run() { "$here/scripts/wine-run" "$@"; }
settle() { WINEPREFIX=$KILN_WINEPREFIX wineserver -w; }
drive=$KILN_WINEPREFIX/drive_c
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
shared_key='HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDLLs'
remembered_key='HKLM\Software\Kiln Tests\X64'

mkdir -p "$work/p"
echo "x64 readme" >"$work/p/readme.txt"
head -c 3000 /dev/urandom >"$work/p/kilnx64shared.dll"
cat >"$work/p/kiln.toml" <<'TOML'
[setup]
title = "Kiln X64 Product"
architecture = "x64"
uninstaller = true
[[type]]
folder = "#Program Files#\\Kiln X64 Product"
remember_registry = { root = "HKLM", key = "Software\\Kiln Tests\\X64", value = "Folder" }
[[type.file]]
source = "readme.txt"
[[type.file]]
source = "kilnx64shared.dll"
destination = "shared"
shared_count = true
TOML

# The 32-bit and 64-bit views of the keys the installation writes, and the drive.
state() {
  (cd "$drive" && find . -path './users/*/Temp' -prune -o -print | sort)
  for view in 32 64; do
    for key in "$uninstall_key" "$shared_key" "$remembered_key"; do
      echo "$view $key"
      wine_run reg query "$key" /s "/reg:$view" 2>/dev/null | tr -d '\r' | sed '1,2d'
    done
  done
}
in_view() {  # view, key, text: the key of that view names the text
  wine_run reg query "$2" /s "/reg:$1" 2>/dev/null | tr -d '\r' | grep -qiF "$3"
}

x64_program() {  # file: its PE header names the x64 machine (0x8664)
  local pe
  pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ') &&
    [ "$(od -An -tx1 -j $((pe + 4)) -N2 "$1" | tr -d ' ')" = 6486 ]
}
built() {
  "$kiln" build "$work/p/kiln.toml" -o "$work/setup.exe" >"$work/build.txt" 2>&1 &&
    grep -q "for 64-bit Windows" "$work/build.txt" && x64_program "$work/setup.exe"
}
check "an x64 setup file carries the 64-bit setup program" built

# What an earlier run in the same prefix left goes first.
wine_run reg delete "$uninstall_key\\Kiln X64 Product" /f /reg:64 >/dev/null 2>&1
wine_run reg delete "$remembered_key" /f /reg:64 >/dev/null 2>&1
wine_run reg delete "$shared_key" /v 'C:\windows\system32\kilnx64shared.dll' /f /reg:64 >/dev/null 2>&1
rm -rf "$drive/Program Files/Kiln X64 Product" "$drive/windows/system32/kilnx64shared.dll"
settle
state >"$work/before.txt"
installed() {
  timeout 120 "$here/scripts/wine-run" "$(winpath "$work/setup.exe")" /QUIET >/dev/null 2>&1 || return 1
  settle
  [ -f "$drive/Program Files/Kiln X64 Product/readme.txt" ] &&
    [ -f "$drive/Program Files/Kiln X64 Product/uninstall.exe" ] &&
    [ ! -e "$drive/Program Files (x86)/Kiln X64 Product" ] &&
    cmp -s "$work/p/kilnx64shared.dll" "$drive/windows/system32/kilnx64shared.dll" &&
    [ ! -e "$drive/windows/syswow64/kilnx64shared.dll" ]
}
check "it installs into the native Program Files and system folder" installed
check "the uninstall entry is in the 64-bit registry view" in_view 64 "$uninstall_key\\Kiln X64 Product" uninstall.exe
not_in_32_bit_view() { ! in_view 32 "$@"; }
check "and not in the 32-bit one" not_in_32_bit_view "$uninstall_key\\Kiln X64 Product" uninstall.exe
check "the shared count is in the 64-bit view" in_view 64 "$shared_key" 'system32\kilnx64shared.dll'
check "the remembered folder is in the 64-bit view" in_view 64 "$remembered_key" 'Kiln X64 Product'
# The 64-bit setup program's log names the 64-bit uninstaller it installed.
check "the installed uninstaller is the 64-bit program" x64_program "$drive/Program Files/Kiln X64 Product/uninstall.exe"

uninstalled() {
  wine_run 'C:\Program Files\Kiln X64 Product\uninstall.exe' /QUIET >"$work/uninstall.txt" 2>&1 ||
    { cat "$work/uninstall.txt"; return 1; }
  settle
  # The remembered folder outlives the uninstall (the log does not name it).
  wine_run reg delete "$remembered_key" /f /reg:64 >/dev/null 2>&1
  state >"$work/after.txt"
  diff "$work/before.txt" "$work/after.txt" >"$work/diff.txt" || { head -20 "$work/diff.txt"; return 1; }
}
check "its uninstaller leaves the system as it was" uninstalled

report "x64 install"
