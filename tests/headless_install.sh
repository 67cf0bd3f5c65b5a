#!/usr/bin/env bash
# End to end: setup files that kiln builds (whole, in volumes, with deltas,
# with folders and the uninstaller) and setup files changed by hand,
# installed by kiln-headless under Wine; every installed file must equal its
# source. A missing volume must end the installation with error 18, a full
# drive with error 20; a desktop shortcut lands inside the prefix, never in
# the home folder.
# Usage: headless_install.sh KILN HEADLESS_EXE   (KILN_WINEPREFIX set up by the caller)
set -uo pipefail
kiln=$1 headless=$2
source "$(dirname "$0")/shell_checks.sh"
# The Windows build under test, its Wine and its programs (KILN_WIN_ARCH, KILN_STUB, ...).
source "$here/scripts/windows-platform"

# A product with two builds of one library across setup types, so that
# the search for deltas has something to find, and enough data to span volumes.
mkdir -p "$work/product/v1" "$work/product/v2"
corpus=/usr/lib/i386-linux-gnu/wine/i386-windows
cp "$here/examples/sample/payload/readme.txt" "$work/product/"
cp "$corpus/xinput1_3.dll" "$work/product/v1/xinput.dll"
cp "$corpus/xinput1_4.dll" "$work/product/v2/xinput.dll"
cat > "$work/product/kiln.toml" <<'TOML'
[setup]
title = "Headless Test"
[[type]]
[[type.file]]
source = "readme.txt"
[[type.file]]
source = "v1/xinput.dll"
target = "lib\\xinput.dll"
[[type.file]]
source = "readme.txt"
target = "docs\\readme.txt"
[[type]]
[[type.file]]
source = "v2/xinput.dll"
target = "lib\\xinput.dll"
TOML

install_and_compare() {  # setup file, type, source of lib\xinput.dll
  local setup=$1 type=$2 lib=$3 dest="$work/dest-$RANDOM"
  "$here/scripts/wine-run" "$headless" "$(winpath "$setup")" --type "$type" --dest "$(winpath "$dest")" >"$work/out.txt" 2>&1 \
    && cmp -s "$lib" "$dest/lib/xinput.dll" \
    && { [ "$type" != 0 ] || { cmp -s "$work/product/readme.txt" "$dest/readme.txt" &&
      cmp -s "$work/product/readme.txt" "$dest/docs/readme.txt"; }; } \
    || { cat "$work/out.txt"; return 1; }
}

# Volumes a little larger than what the first one must hold before the
# archive (stub and records), which kiln names when asked for too little.
first_volume() {  # extra kiln arguments...
  "$kiln" build "$work/product/kiln.toml" -o "$work/probe.exe" --volume-size 5 "$@" 2>&1 |
    grep -o 'at least [0-9]*' | grep -o '[0-9]*'
}
# Solid LZMA blocks: whole, and across volume files; in each type's list one
# content serves two entries. A window of 4 KiB, far smaller than the block,
# makes the setup program read every file in pieces as its window wraps,
# and blocks of 16 KiB that form a linked chain: type 1's library lies in a
# later block, reached only by decoding through the ones before.
sed 's/^title = .*/&\nlzma_window = "4K"/' "$work/product/kiln.toml" >"$work/product/window.toml"
for variant in whole volumes delta solid solid-volumes solid-window; do
  out="$work/$variant/setup.exe"
  mkdir -p "$work/$variant"
  case $variant in
    whole) args=(--no-auto-delta) ;;
    volumes) args=(--no-auto-delta --volume-size $(($(first_volume --no-auto-delta) + 10240))) ;;
    delta) args=(--volume-size $(($(first_volume) + 2048))) ;;  # deltas are the default
    solid) args=(--compression lzma) ;;
    solid-volumes) args=(--compression lzma --volume-size $(($(first_volume --compression lzma) + 20000))) ;;
    solid-window) args=(--compression lzma) ;;
  esac
  manifest=$work/product/kiln.toml
  [ "$variant" = solid-window ] && manifest=$work/product/window.toml
  check "$variant: build" "$kiln" build "$manifest" -o "$out" "${args[@]}" >"$work/build.txt"
  [ "$variant" = delta ] && check "delta: reported" grep -q "^deltas: 1 file(s) stored as deltas" "$work/build.txt"
  check "$variant: verify" "$kiln" verify "$out" >/dev/null
  [ "$variant" = solid-window ] && check "solid-window: linked blocks" says 0 "solid blocks linked" "$kiln" inspect "$out"
  check "$variant: install type 0" install_and_compare "$out" 0 "$work/product/v1/xinput.dll"
  check "$variant: install type 1" install_and_compare "$out" 1 "$work/product/v2/xinput.dll"
done

# Without its first volume file the installation stops with error 18, in
# either kind of archive.
missing() {  # variant
  ! "$here/scripts/wine-run" "$headless" "$(winpath "$work/$1/setup.exe")" --type 1 \
    --dest "$(winpath "$work/dest-missing")" >"$work/out.txt" 2>&1 && grep -q "install error: 18" "$work/out.txt"
}
for variant in volumes solid-volumes; do
  rm "$work/$variant/setup.D01"
  check "$variant: missing volume: error 18" missing "$variant"
done

# A desktop shortcut lands on the desktop of the prefix that wine-run makes,
# and nothing at all in the home folder, to which Wine links a new prefix's
# desktop and where its menu builder writes entries for shortcuts.
mkdir -p "$work/shortcut" "$work/home"
cp "$here/examples/sample/payload/readme.txt" "$work/shortcut/"
cat > "$work/shortcut/kiln.toml" <<'TOML'
[setup]
title = "Shortcut Test"
[[type]]
[[type.file]]
source = "readme.txt"
desktop_shortcut = { name = "Shortcut Test" }
group_shortcut = { folder = "Shortcut Test", name = "Read me" }
TOML
shortcut_in_prefix() {
  local prefix="$work/own-prefix" landed
  "$kiln" build "$work/shortcut/kiln.toml" -o "$work/shortcut/setup.exe" >/dev/null &&
    HOME="$work/home" KILN_WINEPREFIX="$prefix" "$here/scripts/wine-run" "$headless" \
      "$(winpath "$work/shortcut/setup.exe")" --dest 'C:\Shortcut Test' >"$work/out.txt" 2>&1 ||
    { cat "$work/out.txt"; return 1; }
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null
  landed=$(find "$work/home" -mindepth 1)
  [ -z "$landed" ] || { echo "written into the home folder:"; echo "$landed"; return 1; }
  ls "$prefix"/drive_c/users/*/Desktop/"Shortcut Test.lnk" >/dev/null
}
check "desktop shortcut inside the prefix, home untouched" shortcut_in_prefix
# Folder entries and the uninstaller, as kiln builds them, and setup files
# changed by hand in ways the setup program accepts: each installs, and
# kiln verify and kiln inspect accept it (with warnings at most).
hand_made=$(dirname "$kiln")/hand_made_setups
mkdir -p "$work/folders" "$work/hand"
cp "$here/examples/sample/payload/readme.txt" "$work/folders/"
printf 'the uninstaller program %.0s' {1..100} >"$work/folders/uninst.bin"
printf '!' >>"$work/folders/uninst.bin"  # not a whole number of the checksum's four-byte groups
printf 'its data' >"$work/folders/udata.bin"
cat > "$work/folders/kiln.toml" <<'TOML'
[setup]
title = "Folders Test"
uninstaller = "uninst.bin"
[[type]]
[[type.file]]
source = "readme.txt"
[[type.file]]
placement = "folder"
target = "logs"
[[type.file]]
placement = "folder"
target = "data/cache"
[[type.file]]
source = "udata.bin"
target = "uninst.exe"
uninstaller = true
TOML
check "folders: build" "$kiln" build "$work/folders/kiln.toml" -o "$work/folders/setup.exe" >/dev/null
check "delta in one file: build" "$kiln" build "$work/product/kiln.toml" --auto-delta -o "$work/hand/delta.exe" >/dev/null
check "hand-made setup files" "$hand_made" "$work/folders/setup.exe" "$work/hand" unknown-compressed-record \
  zero-size-records second-empty-file-list uninstaller-sizes-of-installed-file placement-4
check "hand-made delta setup file" "$hand_made" "$work/hand/delta.exe" "$work/hand" archive-item-unused-flag

accepted() {  # setup file
  "$kiln" verify "$1" >/dev/null 2>"$work/verify.txt" && "$kiln" inspect "$1" >"$work/inspect.txt" \
    && ! grep -q '^problem:' "$work/inspect.txt" || { cat "$work/verify.txt"; grep '^problem:' "$work/inspect.txt"; return 1; }
}
# The file, both folders, and the uninstaller program at the head of the uninstaller.
installs_folders() {  # setup file
  local dest="$work/dest-$RANDOM"
  "$here/scripts/wine-run" "$headless" "$(winpath "$1")" --dest "$(winpath "$dest")" >"$work/out.txt" 2>&1 \
    && cmp -s "$work/folders/readme.txt" "$dest/readme.txt" && [ -d "$dest/logs" ] && [ -d "$dest/data/cache" ] \
    && cmp -s -n "$(stat -c %s "$work/folders/uninst.bin")" "$work/folders/uninst.bin" "$dest/uninst.exe" \
    || { cat "$work/out.txt"; return 1; }
}
check "folders: verify and inspect" accepted "$work/folders/setup.exe"
check "folders: install" installs_folders "$work/folders/setup.exe"
check "folders, solid: build" "$kiln" build "$work/folders/kiln.toml" --compression lzma -o "$work/folders/solid.exe" >/dev/null
check "folders, solid: install" installs_folders "$work/folders/solid.exe"
for name in unknown-compressed-record zero-size-records second-empty-file-list uninstaller-sizes-of-installed-file \
  placement-4; do
  check "$name: verify and inspect" accepted "$work/hand/$name.exe"
  check "$name: install" installs_folders "$work/hand/$name.exe"
done
check "placement-4: inspect shows it" grep -Eq '^ +readme.txt +install +4 ' \
  <("$kiln" inspect "$work/hand/placement-4.exe")
check "archive-item-unused-flag: verify and inspect" accepted "$work/hand/archive-item-unused-flag.exe"
check "archive-item-unused-flag: install" install_and_compare "$work/hand/archive-item-unused-flag.exe" 1 \
  "$work/product/v2/xinput.dll"

# Fonts land in the Fonts folder and are registered under the NT fonts key
# by the name of their last Macintosh full-name record; a font whose last
# such record is empty is installed but not registered.
mkdir -p "$work/fonts"
check "font files" "$hand_made" --font "$work/fonts/kilnnamed.ttf" "Kiln Earlier Name" "Kiln Named Font"
check "font files" "$hand_made" --font "$work/fonts/kilnempty.ttf" "Kiln Earlier Empty" ""
cat > "$work/fonts/kiln.toml" <<'TOML'
[setup]
title = "Fonts Test"
[[type]]
[[type.file]]
source = "kilnnamed.ttf"
destination = "fonts"
[[type.file]]
source = "kilnempty.ttf"
destination = "fonts"
TOML
check "fonts: build" "$kiln" build "$work/fonts/kiln.toml" -o "$work/fonts/setup.exe" >/dev/null
fonts_key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts'
fonts_folder="${KILN_WINEPREFIX:-/tmp/kiln-wine}/drive_c/windows/Fonts"
rm -f "$fonts_folder/kilnnamed.ttf" "$fonts_folder/kilnempty.ttf"  # from an earlier run in the same prefix
for value in "Kiln Named Font" "Kiln Earlier Name" "Kiln Earlier Empty"; do
  "$here/scripts/wine-run" reg delete "$fonts_key" /v "$value (TrueType)" /f >/dev/null 2>&1
done
check "fonts: install" "$here/scripts/wine-run" "$headless" "$(winpath "$work/fonts/setup.exe")" \
  --dest "$(winpath "$work/dest-fonts")" >/dev/null
check "fonts: in the Fonts folder" cmp -s "$work/fonts/kilnempty.ttf" "$fonts_folder/kilnempty.ttf"
"$here/scripts/wine-run" reg query "$fonts_key" >"$work/fonts.txt" 2>&1
check "fonts: registered by the last full name" grep -Eq 'Kiln Named Font \(TrueType\) +REG_SZ +kilnnamed.ttf' "$work/fonts.txt"
check "fonts: not registered when the last full name is empty" bash -c '! grep -q "kilnempty\|Kiln Earlier" "$0"' \
  "$work/fonts.txt"

# A drive that fills up: error 20, the drive's own message, not the file's.
# Needs the small file system that scripts/test mounts (KILN_FULL_FOLDER).
disk_full() {  # extra kiln arguments...
  [ -n "${KILN_FULL_FOLDER:-}" ] || { echo "no small file system: skipped"; return 0; }
  mkdir -p "$work/full"
  head -c 2000000 /dev/urandom >"$work/full/big.bin"
  printf '[setup]\ntitle = "Full Test"\n[[type]]\n[[type.file]]\nsource = "big.bin"\n' >"$work/full/kiln.toml"
  "$kiln" build "$work/full/kiln.toml" -o "$work/full/setup.exe" "$@" >/dev/null &&
    "$here/scripts/wine-run" "$headless" "$(winpath "$work/full/setup.exe")" --dest "$KILN_FULL_FOLDER\\big" \
      >"$work/out.txt" 2>&1
  rm -rf "$(echo "${KILN_FULL_FOLDER#Z:}" | tr '\\' /)/big"
  tr -d '\r' <"$work/out.txt" | grep -q '^install error: 20$' || { cat "$work/out.txt"; return 1; }
}
check "disk full: error 20" disk_full
check "disk full, solid: error 20" disk_full --compression lzma

report "headless install"
