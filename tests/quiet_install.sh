#!/usr/bin/env bash
# Setup /QUIET under Wine: the setup type and folder from the switches, the
# previous installation or the package; exit codes for success, a restart,
# a bad switch, a damaged package and a failed installation; the /LOG
# lines; /? on the standard output; and no window while it runs (run it on
# an X display: xvfb-run -a bash tests/quiet_install.sh ...).
# Usage: quiet_install.sh KILN OLDER_DLL NEWER_DLL   (two builds of a library
# with version resources; KILN_WINEPREFIX set up by the caller)
set -uo pipefail
kiln=$1 older_dll=$2 newer_dll=$3
source "$(dirname "$0")/shell_checks.sh"
# The Windows build under test, its Wine and its programs (KILN_WIN_ARCH, KILN_STUB, ...).
source "$here/scripts/windows-platform"
prefix_c=${KILN_WINEPREFIX:?}/drive_c
# Names of this run alone: the prefix is shared with other tests.
tag=quiet$$
mkdir -p "$work/p"
cp "$here/examples/sample/payload/readme.txt" "$here/examples/sample/payload/license.txt" "$work/p/"
cp "$older_dll" "$work/p/lib.dll"
cat > "$work/p/kiln.toml" <<TOML
[setup]
title = "Quiet Test $tag"
[[type]]
name = "Typical"
folder = "C:\\\\$tag"
remember_registry = { root = "HKLM", key = "Software\\\\$tag", value = "Folder" }
[[type.file]]
source = "readme.txt"
[[type]]
name = "Full"
folder = "C:\\\\$tag"
remember_registry = { root = "HKLM", key = "Software\\\\$tag", value = "Folder" }
[[type.file]]
source = "readme.txt"
[[type.file]]
source = "license.txt"
target = "docs\\\\license.txt"
[[type.file]]
source = "lib.dll"
version_test = true
[[type]]
name = "Fixed"
folder = "C:\\\\$tag-fixed"
folder_editable = false
[[type.file]]
source = "readme.txt"
[[type]]
name = "System"
[[type.file]]
source = "readme.txt"
target = "$tag.txt"
destination = "windows"
TOML
setup=$work/setup.exe
"$kiln" build "$work/p/kiln.toml" -o "$setup" >/dev/null || { echo "FAILED: build"; exit 1; }

# quiet CASE-NAME EXPECTED-EXIT SWITCHES...: runs setup.exe /QUIET with a log,
# compares the exit code (Wine hands on its low 8 bits).
quiet() {
  local exe=$1 expected=$2; shift 2
  rm -f "$work/log.txt"
  # A question or message box would wait for ever: none may come.
  timeout 120 "$here/scripts/wine-run" "$exe" /QUIET "/LOG=$(winpath "$work/log.txt")" "$@" >/dev/null 2>&1
  local code=$?
  [ "$code" = $((expected & 255)) ] || { echo "exit code $code, expected $expected"; cat "$work/log.txt"; return 1; }
  tail -n 1 "$work/log.txt" | tr -d '\r' | grep -qx "exit code $expected" || { echo "log:"; cat "$work/log.txt"; return 1; }
}
logged() { tr -d '\r' <"$work/log.txt" | grep -qxF "$1" || { echo "no line '$1' in:"; cat "$work/log.txt"; return 1; }; }
same() { cmp -s "$1" "$2" || { echo "$2 differs from $1"; return 1; }; }

dest=$work/dest
# case | expected exit | switches | then
cases=(
  "package folder, first type|0||same $work/p/readme.txt $prefix_c/$tag/readme.txt && logged 'installed: C:\\$tag\\readme.txt' && logged 'remembered folder done: Software\\$tag'"
  "/DIR and /TYPE=2|0|/DIR=\"$(winpath "$dest")\" /TYPE=2|same $work/p/license.txt $dest/docs/license.txt && logged 'installed: $(winpath "$dest")\\docs\\license.txt' && [ ! -e $prefix_c/$tag/docs ] && logged 'kept: $(winpath "$dest")\\lib.dll' && same $newer_dll $dest/lib.dll"
  "the previous installation's folder|0||logged 'replaced: $(winpath "$dest")\\readme.txt'"
  "/DIR for a folder the type keeps fixed|1639|/TYPE=3 /DIR=\"$(winpath "$dest")\"|[ ! -e $prefix_c/$tag-fixed ]"
  "/TYPE past the last type|1639|/TYPE=5|[ \$(wc -l <$work/log.txt) = 1 ]"
  "/TYPE not a number|1639|/TYPE=two|true"
  "a file that cannot be replaced now|3010|/TYPE=4|logged 'scheduled for restart: C:\\windows\\$tag.txt'"
  "/DIR with a blank, unquoted|0|'/DIR=$(winpath "$work/my")' folder /TYPE=1|same $work/p/readme.txt \"$work/my folder/readme.txt\" && [ ! -e $work/my ]"
  "a stray word|1639|/TYPE=1 stray|true"
)
# A newer build of the library is there already: it stays.
mkdir -p "$dest"
cp "$newer_dll" "$dest/lib.dll"
# A folder where the file belongs cannot be deleted: the Windows folder's
# file is then replaced at the next restart.
mkdir -p "$prefix_c/windows/$tag.txt"
for c in "${cases[@]}"; do
  IFS='|' read -r name expected switches then <<<"$c"
  eval "args=($switches)"
  check "$name" eval 'quiet "$setup" "$expected" "${args[@]}" && '"$then"
done
rmdir "$prefix_c/windows/$tag.txt"
rm -rf "$prefix_c/$tag"

# A damaged archive is found by the whole-file check before anything is
# installed: 1620, as for any package that cannot be loaded.
mkdir -p "$work/one"
cp "$work/p/readme.txt" "$work/one/"
printf '[setup]\ntitle = "Damaged"\n[[type]]\n[[type.file]]\nsource = "readme.txt"\n' >"$work/one/kiln.toml"
"$kiln" build "$work/one/kiln.toml" -o "$work/damaged.exe" >/dev/null
printf '\x55' | dd of="$work/damaged.exe" bs=1 seek=$(($(stat -c %s "$work/damaged.exe") - 20)) conv=notrunc 2>/dev/null
check "damaged archive: 1620, nothing installed" eval 'quiet "$work/damaged.exe" 1620 /DIR="$(winpath "$work/d2")" &&
  [ ! -e "$work/d2" ]'
# A failed installation: the file runs on into a volume file that is
# missing, so the install error (18, a disk is missing) is the exit code
# and the entry's line.
mkdir -p "$work/vol"
head -c 200000 /dev/urandom >"$work/vol/data.bin"
printf '[setup]\ntitle = "Volumes"\n[[type]]\n[[type.file]]\nsource = "data.bin"\n' >"$work/vol/kiln.toml"
least=$("$kiln" build "$work/vol/kiln.toml" -o "$work/vol/probe.exe" --volume-size 5 2>&1 | grep -o 'at least [0-9]*' |
  grep -o '[0-9]*')
"$kiln" build "$work/vol/kiln.toml" -o "$work/vol/setup.exe" --volume-size $((least + 10240)) >/dev/null
rm -f "$work/vol/setup.D01"
check "missing volume: error 18" eval 'quiet "$work/vol/setup.exe" 18 /DIR="$(winpath "$work/d5")" &&
  logged "failed with error 18: $(winpath "$work/d5")\\data.bin"'
# A setup file cut short cannot be loaded: 1620, and no message box.
head -c $(($(stat -c %s "$setup") - 100)) "$setup" >"$work/short.exe"
check "package cannot be loaded: 1620" quiet "$work/short.exe" 1620

# /? writes the package's text of the switches to the standard output.
help() {
  "$here/scripts/wine-run" "$setup" '/?' >"$work/help.txt" 2>/dev/null &&
    grep -q '/TYPE=n' "$work/help.txt" && grep -q '3010' "$work/help.txt"
}
check "/? shows the switches" help

# A package of 3 MB for the cases that need one.
head -c 3000000 /dev/urandom >"$work/p/big.bin"
printf '[[type.file]]\nsource = "big.bin"\n' >>"$work/p/kiln.toml"
"$kiln" build "$work/p/kiln.toml" -o "$work/big.exe" >/dev/null || { echo "FAILED: build"; exit 1; }

# Too little room on the drive: the disk check's error 11, and nothing
# written. Needs the small file system that scripts/test mounts
# (KILN_FULL_FOLDER); free space is asked of the drive's root, so it
# becomes drive Q:.
no_room() {
  local small
  small=$(echo "${KILN_FULL_FOLDER#Z:}" | tr '\\' /)
  ln -sfn "$small" "$KILN_WINEPREFIX/dosdevices/q:" || return 1
  quiet "$work/big.exe" 11 /TYPE=4 '/DIR=Q:\quiet' && [ -z "$(ls -A "$small/quiet")" ]
  local code=$?
  rm -rf "$KILN_WINEPREFIX/dosdevices/q:" "$small/quiet"
  return $code
}
if [ -n "${KILN_FULL_FOLDER:-}" ]; then check "no room: error 11" no_room; else echo "SKIPPED: no room (no small file system)"; fi

# No window while it runs: X sees none during a quiet installation of a
# package large enough to take a while, yet sees the wizard's at once; a
# quiet installation started while the wizard runs ends with 1618.
visible() { xdotool search --onlyvisible --class '.' 2>/dev/null | wc -l; }  # the root window has no class
no_window() {
  local most=0 n pid deadline
  # Wine's processes keep the display they started on, which an earlier
  # test's may have been: start them afresh on this one.
  WINEPREFIX=$KILN_WINEPREFIX wineserver -k 2>/dev/null
  WINEPREFIX=$KILN_WINEPREFIX wineserver -w 2>/dev/null
  "$here/scripts/wine-run" "$work/big.exe" /QUIET /TYPE=4 /DIR="$(winpath "$work/d3")" >/dev/null 2>&1 &
  pid=$! deadline=$((SECONDS + 60))
  while kill -0 $pid 2>/dev/null && ((SECONDS < deadline)); do
    n=$(visible)
    ((n > most)) && most=$n
    sleep 0.1
  done
  wait $pid || { echo "the quiet installation failed"; return 1; }
  [ "$most" = 0 ] || { echo "$most window(s) seen during the quiet installation"; return 1; }
  cmp -s "$work/p/big.bin" "$work/d3/big.bin" || { echo "big.bin not installed"; return 1; }

  "$here/scripts/wine-run" "$work/big.exe" >/dev/null 2>&1 &
  pid=$! deadline=$((SECONDS + 60))
  until [ "$(visible)" != 0 ]; do
    ((SECONDS < deadline)) && kill -0 $pid 2>/dev/null ||
      { echo "the wizard showed no window"; WINEPREFIX=$KILN_WINEPREFIX wineserver -k 2>/dev/null; return 1; }
    sleep 0.2
  done
  timeout 60 "$here/scripts/wine-run" "$work/big.exe" /QUIET /TYPE=4 /DIR="$(winpath "$work/d4")" >/dev/null 2>&1
  local code=$?
  [ "$code" = $((1618 & 255)) ] && [ ! -e "$work/d4" ] || { echo "quiet beside the wizard: exit code $code"; code=1; }
  WINEPREFIX=$KILN_WINEPREFIX wineserver -k 2>/dev/null
  wait $pid 2>/dev/null
  [ "$code" = $((1618 & 255)) ]
}
if [ -n "${DISPLAY:-}" ]; then check "no window in quiet mode" no_window; else echo "SKIPPED: no window (no display)"; fi

rm -rf "$prefix_c/windows/$tag.txt" "$prefix_c/$tag"
report "quiet install"
