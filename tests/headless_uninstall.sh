#!/usr/bin/env bash
# End to end under Wine: the example product with Kiln's uninstaller (and,
# for this test, a shared library, a font, a self-registering library, a
# folder and a desktop shortcut besides its own files and program-group
# shortcut) installed by kiln-headless, then uninstalled quietly and through
# its questions, must leave the system as it was before the installs: files,
# folders, shortcuts, uninstall entries, shared counts and fonts (the INI,
# registry and patch entries stay: the log does not name them). A second
# product sharing the library keeps it until its own uninstall. A file of
# the user keeps the install folder; a log cut short removes nothing; /X
# from another setup type's installation removes that installation.
# Usage: headless_uninstall.sh KILN HEADLESS_EXE ANSWER_EXE UNREGISTER_DLL
#   (under a display, for the questions; KILN_WINEPREFIX set up by the caller)
set -uo pipefail
kiln=$1 headless=$2 answer=$3 selfreg=$4
: "${KILN_WINEPREFIX:?the caller sets up the Wine prefix}"
source "$(dirname "$0")/shell_checks.sh"
# The Windows build under test, its Wine and its programs (KILN_WIN_ARCH, KILN_STUB, ...).
source "$here/scripts/windows-platform"
# Wine's menu builder would add .desktop files beside desktop shortcuts.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
wine_run() { "$here/scripts/wine-run" "$@"; }
# The uninstaller's copy finishes after the process that was started: wait for every process of the prefix.
settle() { WINEPREFIX=$KILN_WINEPREFIX wineserver -w; }
drive=$KILN_WINEPREFIX/drive_c
programs='C:\Program Files'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'

# Everything the uninstaller answers for: the drive's files and folders
# (the temporary folder aside), the uninstall entries, shared counts and fonts.
state() {
  (cd "$drive" && find . -path './users/*/Temp' -prune -o -print | sort)
  for key in "$uninstall_key" 'HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDLLs' \
    'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts'; do
    # Without the blank line and the key itself: a key left empty counts as absent.
    wine_run reg query "$key" /s 2>/dev/null | tr -d '\r' | sed '1,2d'
  done
}
same_state() {  # the state saved in file $1
  state >"$work/now.txt"
  diff "$1" "$work/now.txt" >"$work/diff.txt" || { head -20 "$work/diff.txt"; return 1; }
}
regval() {  # key, value name: its data as reg query shows it, or nothing
  wine_run reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    awk -v name="$2" '{ if (index($0, "    " name "    ") == 1) { sub(/^    [^ ].*    REG_[A-Z_]+    /, ""); print } }'
}
install() {  # setup file, headless arguments...
  local setup=$1; shift
  wine_run "$headless" "$(winpath "$setup")" "$@" >"$work/install.txt" 2>&1 && settle ||
    { cat "$work/install.txt"; return 1; }
}
uninstall() {  # expected exit code, uninstaller (Windows path), arguments...
  local expected=$1 program=$2; shift 2
  wine_run "$program" "$@" >"$work/uninstall.txt" 2>&1
  local code=$?
  settle
  # Wine hands a Windows exit code to the shell as its low 8 bits.
  [ "$code" = $((expected % 256)) ] || { echo "  exit code $code, expected $expected"; cat "$work/uninstall.txt"; return 1; }
}
gone() { [ ! -e "$1" ] || { echo "  still there: $1"; return 1; }; }

# A TrueType file that only names itself: enough to be registered under its full name.
font() {  # path, full name
  python3 - "$1" "$2" <<'PY'
import struct, sys
name = sys.argv[2].encode()
naming = struct.pack(">HHH", 0, 1, 18) + struct.pack(">HHHHHH", 1, 0, 0, 4, len(name), 0) + name
head = struct.pack(">IHHHH", 0x00010000, 1, 16, 0, 0) + struct.pack(">4sIII", b"name", 0, 28, len(naming))
open(sys.argv[1], "wb").write(head + naming)
PY
}

# --- The products ---
# The example (which has Kiln's uninstaller) with more to take away.
shared=kiln-e2e-shared.dll
cp -r "$here/examples/sample" "$work/example"
cp /usr/lib/i386-linux-gnu/wine/i386-windows/xinput1_3.dll "$work/example/$shared"
cp "$selfreg" "$work/example/selfreg.dll"
font "$work/example/kilne2e.ttf" "Kiln End To End Sans"
awk '
  /^\[\[type\]\]$/ && ++types == 2 {
    print "[[type.file]]\nsource = \"'"$shared"'\"\ndestination = \"shared\"\nshared_count = true\n"
    print "[[type.file]]\nsource = \"kilne2e.ttf\"\ndestination = \"fonts\"\n"
    print "[[type.file]]\nsource = \"selfreg.dll\"\naction = \"selfregister\"\n"
    print "[[type.file]]\ntarget = \"data\"\nplacement = \"folder\"\n"
    print "[[type.file]]\nsource = \"payload/readme.txt\"\ntarget = \"data\\\\notes.txt\"\ndesktop_shortcut = { name = \"Kiln E2E Notes\" }\n"
  }
  { print }' "$here/examples/sample/kiln.toml" >"$work/example/kiln.toml"
check "example: build" "$kiln" build "$work/example/kiln.toml" -o "$work/example.exe" >/dev/null
no_uninstaller() {
  ! KILN_UNINSTALLER=/nonexistent/kiln-uninstall.exe "$kiln" build "$work/example/kiln.toml" -o "$work/none.exe" \
    2>"$work/err.txt" && grep -q "cannot read the uninstaller '/nonexistent/kiln-uninstall.exe'" "$work/err.txt"
}
check "a manifest asking for the uninstaller needs the program" no_uninstaller

mkdir -p "$work/second"
cp "$work/example/$shared" "$work/second/"
cat >"$work/second/kiln.toml" <<TOML
[setup]
title = "Kiln Second Product"
uninstaller = true
[[type]]
[[type.file]]
source = "$shared"
destination = "shared"
shared_count = true
TOML
check "second product: build" "$kiln" build "$work/second/kiln.toml" -o "$work/second.exe" >/dev/null

example_dir="$drive/Program Files/Sample Product"
example_uninstaller="$programs\\Sample Product\\uninstall.exe"
second_uninstaller="$programs\\Kiln Second Product\\uninstall.exe"
system_shared="$drive/windows/system32/$shared"
shared_value="C:\\windows\\system32\\$shared"
shared_count() { regval 'HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDLLs' "$shared_value"; }
user=$(ls "$drive/users" | grep -vx Public | head -n 1)
desktop="$drive/users/$user/Desktop"
group="$drive/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Sample Product"
registration='HKCU\Software\Kiln Tests\Registration'

# --- Install both, uninstall both: the system is as it was ---
# What an earlier run in the same prefix left goes first. Every install
# here names its folder.
wine_run reg delete 'HKLM\Software\Sample\Product' /f >/dev/null 2>&1
wine_run reg delete "$registration" /f >/dev/null 2>&1
wine_run reg delete "$uninstall_key\\Sample Product" /f >/dev/null 2>&1
wine_run reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDLLs' /v "$shared_value" /f >/dev/null 2>&1
rm -rf "$group" "$example_dir" "$system_shared"
settle
state >"$work/before.txt"
check "example: installed" install "$work/example.exe" --dest "$programs\\Sample Product"
check "second product: installed" install "$work/second.exe"
installed() {
  local missing=
  for f in "$example_dir/readme.txt" "$example_dir/data/notes.txt" "$system_shared" "$drive/windows/Fonts/kilne2e.ttf" \
    "$group/Read me.lnk" "$desktop/Kiln E2E Notes.lnk"; do
    [ -f "$f" ] || missing="$missing $f"
  done
  [ "$(shared_count)" = 0x2 ] || missing="$missing shared-count:$(shared_count)"
  [ -n "$(regval "$uninstall_key\\Sample Product" UninstallString)" ] || missing="$missing uninstall-entry"
  [ "$(regval 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts' 'Kiln End To End Sans (TrueType)')" = kilne2e.ttf ] ||
    missing="$missing font-value"
  [ "$(regval "$registration" "$programs\\Sample Product\\selfreg.dll")" = registered ] || missing="$missing registration"
  [ -z "$missing" ] || { echo "  missing:$missing"; return 1; }
}
check "both installed, the library counted twice" installed

check "example: quiet uninstall" uninstall 0 "$example_uninstaller" /QUIET
example_removed() {
  gone "$example_dir" && gone "$group" && gone "$desktop/Kiln E2E Notes.lnk" && gone "$drive/windows/Fonts/kilne2e.ttf" &&
    [ -z "$(regval "$uninstall_key\\Sample Product" UninstallString)" ] &&
    [ "$(regval "$registration" "$programs\\Sample Product\\selfreg.dll")" = unregistered ]
}
check "example: removed, library unregistered" example_removed
# Its remembered folder goes; the registry entry beside it in the key stays.
check "example: the remembered folder went, the key's other value stayed" \
  test -z "$(regval 'HKLM\Software\Sample\Product' InstallDir)" -a "$(regval 'HKLM\Software\Sample\Product' Version)" = 1.0
check "the shared library stays for the second product" test -f "$system_shared"
check "its count fell to 1" test "$(shared_count)" = 0x1

# The second product asks first: Yes, then OK on the outcome.
wine_run "$second_uninstaller" >"$work/uninstall.txt" 2>&1 &
uninstaller_pid=$!
check "second product: questions answered" wine_run "$answer" "Kiln Second Product" 6 1
wait "$uninstaller_pid"
check "second product: exit code 0" test $? = 0
settle
check "second product: the shared library is gone now" gone "$system_shared"
wine_run reg delete "$registration" /f >/dev/null 2>&1
check "the system is as it was before both installs" same_state "$work/before.txt"

# --- A library the system had before, without a count ---
# Its earlier owner is unknown to the register: the installation counts it
# as 2, and its uninstall leaves it in place with a count of 1.
cp "$work/second/$shared" "$system_shared"
check "second product: installed over an uncounted library" install "$work/second.exe"
check "the library that was there counts 2" test "$(shared_count)" = 0x2
check "second product: quiet uninstall" uninstall 0 "$second_uninstaller" /QUIET
check "the library that was there stays" test -f "$system_shared"
check "its count fell to 1" test "$(shared_count)" = 0x1
wine_run reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDLLs' /v "$shared_value" /f >/dev/null 2>&1
rm -f "$system_shared"

# --- A file of the user keeps the install folder ---
check "example: installed again" install "$work/example.exe" --dest "$programs\\Sample Product"
echo "mine" >"$example_dir/data/mine.txt"
check "uninstall beside a user's file" uninstall 0 "$example_uninstaller" /QUIET
users_file_stays() {
  [ -f "$example_dir/data/mine.txt" ] && gone "$example_dir/readme.txt" && gone "$example_dir/uninstall.exe" &&
    [ "$(ls -A "$example_dir")" = data ] && [ "$(ls -A "$example_dir/data")" = mine.txt ]
}
check "the user's file stays with its folders, nothing else" users_file_stays
rm -rf "$example_dir"

# --- A log cut short removes nothing ---
check "example: installed once more" install "$work/example.exe" --dest "$programs\\Sample Product"
cp "$example_dir/uninstall.exe" "$work/intact.exe"
truncate -s -3 "$example_dir/uninstall.exe"
check "damaged log: exit code 1620" uninstall 1620 "$example_uninstaller" /QUIET
check "damaged log: everything stays" test -f "$example_dir/readme.txt" -a -f "$example_dir/uninstall.exe" \
  -a -f "$system_shared" -a -f "$group/Read me.lnk"
# Cleaned up by the intact uninstaller (another install would count the shared library again).
cp "$work/intact.exe" "$example_dir/uninstall.exe"
check "the intact uninstaller then removes it" uninstall 0 "$example_uninstaller" /QUIET
wine_run reg delete "$registration" /f >/dev/null 2>&1

# --- /X from another setup type's installation ---
mkdir -p "$work/two"
cp "$here/examples/sample/payload/readme.txt" "$work/two/"
cat >"$work/two/kiln.toml" <<'TOML'
[setup]
title = "Kiln Two Types"
remove_other_types = true
uninstaller = true
[[type]]
uninstall_key = "Kiln Two Types First"
folder = "#Program Files#\\Kiln Two Types First"
[[type.file]]
source = "readme.txt"
[[type]]
uninstall_key = "Kiln Two Types Second"
folder = "#Program Files#\\Kiln Two Types Second"
[[type.file]]
source = "readme.txt"
TOML
check "two types: build" "$kiln" build "$work/two/kiln.toml" -o "$work/two.exe" >/dev/null
first="$drive/Program Files/Kiln Two Types First"
check "two types: first installed" install "$work/two.exe" --type 0
check "two types: second installed" install "$work/two.exe" --type 1
first_removed() {
  gone "$first/readme.txt" && gone "$first/uninstall.exe" &&
    [ -z "$(regval "$uninstall_key\\Kiln Two Types First" UninstallString)" ] &&
    [ -f "$drive/Program Files/Kiln Two Types Second/readme.txt" ]
}
check "two types: the first removed by its uninstaller with /X, which the setup program deleted" first_removed
check "two types: second uninstalled" uninstall 0 "$programs\\Kiln Two Types Second\\uninstall.exe" /QUIET
rmdir "$first" 2>/dev/null  # /X leaves the emptied folder: its uninstaller was still in it

# --- The remembered folder: taken away with the installation that stored it ---
# Stored in the registry and in an INI file. The key and the section go
# when nothing else is in them; what another installation stored since, or
# a user put beside it, stays.
mkdir -p "$work/remember"
cp "$here/examples/sample/payload/readme.txt" "$work/remember/"
cat >"$work/remember/kiln.toml" <<'TOML'
[setup]
title = "Kiln Remembered"
uninstaller = true
[[type]]
folder = "#Program Files#\\Kiln Remembered"
remember_registry = { root = "HKCU", key = "Software\\Kiln Tests\\Remembered", value = "Dir" }
remember_ini = { file = "kiln-remembered.ini", section = "Paths", key = "Dir" }
[[type.file]]
source = "readme.txt"
TOML
check "remembered: build" "$kiln" build "$work/remember/kiln.toml" -o "$work/remember.exe" >/dev/null
remembered_key='HKCU\Software\Kiln Tests\Remembered'
ini="$drive/windows/kiln-remembered.ini"
first_folder="$programs\Kiln Remembered A" second_folder="$programs\Kiln Remembered B"
wine_run reg delete "$remembered_key" /f >/dev/null 2>&1
rm -f "$ini"
ini_value() { [ -f "$ini" ] && tr -d '\r' <"$ini" | sed -n "s/^$1=//p"; }
remembered_alone() {
  install "$work/remember.exe" --dest "$first_folder" || return 1
  [ "$(regval "$remembered_key" Dir)" = "$first_folder" ] && [ "$(ini_value Dir)" = "$first_folder" ] ||
    { echo "  not remembered: $(regval "$remembered_key" Dir) / $(ini_value Dir)"; return 1; }
  uninstall 0 "$first_folder\\uninstall.exe" /QUIET || return 1
  ! wine_run reg query "$remembered_key" >/dev/null 2>&1 || { echo "  the emptied key stayed"; return 1; }
  ! grep -q 'Paths' "$ini" || { echo "  the emptied section stayed:"; cat "$ini"; return 1; }
}
check "remembered: value, key and section go with the installation" remembered_alone
remembered_beside_others() {
  install "$work/remember.exe" --dest "$first_folder" || return 1
  wine_run reg add "$remembered_key" /v Theirs /d kept /f >/dev/null 2>&1
  printf 'Theirs=kept\r\n' >>"$ini"
  uninstall 0 "$first_folder\\uninstall.exe" /QUIET || return 1
  [ -z "$(regval "$remembered_key" Dir)" ] && [ -z "$(ini_value Dir)" ] &&
    [ "$(regval "$remembered_key" Theirs)" = kept ] && [ "$(ini_value Theirs)" = kept ] ||
    { echo "  registry: $(wine_run reg query "$remembered_key" 2>&1 | tr -d '\r')"; cat "$ini"; return 1; }
  # A folder stored since by another installation (another version, under
  # its own entry) is not this one's to take.
  install "$work/remember.exe" --dest "$first_folder" || return 1
  wine_run reg add "$remembered_key" /v Dir /d "$second_folder" /f >/dev/null 2>&1
  sed -i "s/^Dir=.*/Dir=$(echo "$second_folder" | sed 's/\\/\\\\/g')/" "$ini"
  uninstall 0 "$first_folder\\uninstall.exe" /QUIET || return 1
  [ "$(regval "$remembered_key" Dir)" = "$second_folder" ] && [ "$(ini_value Dir)" = "$second_folder" ] ||
    { echo "  the other folder went: $(regval "$remembered_key" Dir) / $(ini_value Dir)"; return 1; }
}
check "remembered: another installation's folder and a user's values stay" remembered_beside_others
wine_run reg delete "$remembered_key" /f >/dev/null 2>&1
rm -f "$ini"

# --- Two setup types, one uninstall entry, one folder ---
# The second install replaces the first (kiln build turns on removing the
# other types' installation), so nothing of the first stays behind.
mkdir -p "$work/shared-entry"
echo "typical only" >"$work/shared-entry/typical.txt"
cp "$here/examples/sample/payload/readme.txt" "$work/shared-entry/"
cat >"$work/shared-entry/kiln.toml" <<'TOML'
[setup]
title = "Kiln One Entry"
uninstaller = true
[[type]]
name = "Typical"
folder = "#Program Files#\\Kiln One Entry"
[[type.file]]
source = "readme.txt"
[[type.file]]
source = "typical.txt"
[[type]]
name = "Compact"
folder = "#Program Files#\\Kiln One Entry"
[[type.file]]
source = "readme.txt"
TOML
check "one entry: build" "$kiln" build "$work/shared-entry/kiln.toml" -o "$work/one-entry.exe" >/dev/null
one_entry="$drive/Program Files/Kiln One Entry"
state >"$work/before-one-entry.txt"
check "one entry: Typical installed" install "$work/one-entry.exe" --type 0
check "one entry: Compact installed over it" install "$work/one-entry.exe" --type 1
check "one entry: Typical's own file went with it" gone "$one_entry/typical.txt"
check "one entry: uninstalled" uninstall 0 "$programs\\Kiln One Entry\\uninstall.exe" /QUIET
rmdir "$one_entry" 2>/dev/null  # as above: /X leaves the folder its uninstaller was in
check "one entry: the system is as it was" same_state "$work/before-one-entry.txt"

# --- Installed into a folder that is not the product's own ---
# Into Documents, onto the Desktop or into Program Files itself, each
# holding a file and a sub-folder of the user's: the
# uninstall takes what the installation wrote and nothing else; the folder
# and everything of the user's in it stay.
mkdir -p "$work/scenario/payload"
echo "the product's notes" >"$work/scenario/payload/notes.txt"
echo "the product's data" >"$work/scenario/payload/data.txt"
cat >"$work/scenario/kiln.toml" <<'TOML'
[setup]
title = "Kiln Scenario"
uninstaller = true
[[type]]
[[type.file]]
source = "payload/notes.txt"
[[type.file]]
source = "payload/data.txt"
target = "Kiln Scenario Data\\data.txt"
TOML
check "scenario: build" "$kiln" build "$work/scenario/kiln.toml" -o "$work/scenario.exe" >/dev/null
wine_run reg delete "$uninstall_key\\Kiln Scenario" /f >/dev/null 2>&1  # an earlier run's, in the same prefix
scenario() {  # Windows folder, its Unix path
  local folder=$1 unix=$2
  mkdir -p "$unix/Kiln User Folder"
  echo "the user's own" >"$unix/kiln-user-file.txt"
  echo "kept too" >"$unix/Kiln User Folder/mine.txt"
  state >"$work/before-scenario.txt"
  install "$work/scenario.exe" --dest "$folder" || return 1
  [ -f "$unix/Kiln Scenario Data/data.txt" ] && [ -f "$unix/uninstall.exe" ] ||
    { echo "  not installed into $folder"; return 1; }
  uninstall 0 "${folder%\\}\\uninstall.exe" /QUIET || return 1
  same_state "$work/before-scenario.txt" || return 1
  [ -f "$unix/kiln-user-file.txt" ] && [ -f "$unix/Kiln User Folder/mine.txt" ] || { echo "  the user's files went"; return 1; }
  rm -rf "$unix/kiln-user-file.txt" "$unix/Kiln User Folder"
}
while IFS='|' read -r name folder unix; do
  check "installed into $name, uninstalled: only the product's files went" scenario "$folder" "$unix"
done <<CASES
Documents|C:\\users\\$user\\Documents|$drive/users/$user/Documents
the Desktop|C:\\users\\$user\\Desktop|$desktop
Program Files itself|C:\\Program Files|$drive/Program Files
CASES
# From the top folder of a drive, or one that holds Windows, an uninstall
# could take nothing away: the setup program does not install there (10).
refused_folder() {  # folder
  state >"$work/before-scenario.txt"
  wine_run "$work/scenario.exe" /QUIET "/DIR=$1" >/dev/null 2>&1
  local code=$?
  settle
  [ "$code" = 10 ] || { echo "  exit code $code, expected 10"; return 1; }
  same_state "$work/before-scenario.txt"
}
check "the top folder of the drive: refused, nothing written" refused_folder 'C:\'
check "the Windows folder: refused, nothing written" refused_folder 'C:\windows'

# --- Libraries planted where the uninstaller runs ---
# Its copy runs from the temporary folder, where anyone may put a library
# by a system library's name (and the loader is told to prefer them, as
# Windows would): it loads none that a program linking the same system
# libraries and running no code does not load as well. Not imm32, rpcrt4
# and shlwapi: Wine's user32, ole32 and shell32 import them, so any program
# that links those loads planted ones before its own code runs (Windows
# takes them as known libraries from the system folder), and then calls
# into them.
planted_uninstall() {
  local temp="$drive/users/$user/Temp" names n baseline loaded over
  names="dwmapi winmm userenv cryptbase profapi sspicli comctl32"
  names="$names oleaut32 setupapi propsys wintrust crypt32 mpr netapi32 wtsapi32 winspool"
  install "$work/one-entry.exe" --type 0 || return 1
  for n in $names; do cp "$KILN_WIN_TREE/planted_library.dll" "$temp/$n.dll"; done
  cp "$KILN_WIN_TREE/same_imports.exe" "$temp/kiln-baseline.exe"
  over="$(echo $names | tr ' ' ','),mscoree,mshtml,winemenubuilder.exe="
  over="${over%,winemenubuilder.exe=}=n,b;winemenubuilder.exe="
  WINEDLLOVERRIDES=$over wine_run 'C:\users\'"$user"'\Temp\kiln-baseline.exe' >/dev/null 2>&1
  settle
  baseline=$(cd "$temp" && ls *.loaded 2>/dev/null)
  rm -f "$temp"/*.loaded
  # Bounded: a planted library the program did load could hang it.
  WINEDLLOVERRIDES=$over timeout 120 "$here/scripts/wine-run" "$programs\\Kiln One Entry\\uninstall.exe" /QUIET \
    >/dev/null 2>&1 || { echo "  uninstall failed"; WINEPREFIX=$KILN_WINEPREFIX wineserver -k; }
  settle
  loaded=$(cd "$temp" && ls *.loaded 2>/dev/null)
  for n in $names; do rm -f "$temp/$n.dll" "$temp/$n.dll.loaded"; done
  rm -f "$temp/kiln-baseline.exe"
  for n in $loaded; do
    echo "$baseline" | grep -qx "$n" || { echo "  the uninstaller loaded the planted ${n%.loaded}"; return 1; }
  done
  gone "$one_entry/readme.txt"
}
check "planted libraries: the uninstaller loads none" planted_uninstall

report "headless uninstall"
