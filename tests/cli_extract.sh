#!/usr/bin/env bash
# `kiln extract` through the command line: the example's setup types, and a
# product stored in volume files with delta entries, come out equal to their
# source files, with their modification times; a damaged setup file
# writes nothing.
set -uo pipefail
kiln=${1:?usage: cli_extract.sh KILN_BINARY}
source "$(dirname "$0")/shell_checks.sh"

# extracted SETUP TYPE DIR SOURCE=TARGET...: kiln extract writes exactly
# these files, each equal to its source and with its modification time
# (source "-": a program kiln made, such as the uninstaller).
extracted() {
  local setup=$1 type=$2 dir=$3 pair source target; shift 3
  "$kiln" extract "$setup" --type "$type" -o "$dir" >/dev/null || return 1
  for pair in "$@"; do
    source=${pair%%=*} target=${pair#*=}
    [ "$source" != - ] || { [ "$(head -c 2 "$dir/$target")" = MZ ] || { echo "$dir/$target: no program"; return 1; }; continue; }
    cmp -s "$source" "$dir/$target" || { echo "$dir/$target differs from $source"; return 1; }
    [ "$(stat -c %Y "$source")" = "$(stat -c %Y "$dir/$target")" ] || { echo "$dir/$target: time differs"; return 1; }
  done
  [ "$(find "$dir" -type f | wc -l)" = $# ] || { echo "files written:"; find "$dir" -type f; return 1; }
}

ex=$here/examples/sample
"$kiln" build "$ex/kiln.toml" -o "$work/example.exe" >/dev/null
payload=$ex/payload
check "example, type 0" extracted "$work/example.exe" 0 "$work/ex0" \
  "$payload/readme.txt=readme.txt" "$payload/license.txt=license.txt" "$payload/settings.ini=settings.ini" \
  "-=uninstall.exe"
check "example, type 1" extracted "$work/example.exe" 1 "$work/ex1" "$payload/readme.txt=readme.txt" "-=uninstall.exe"

# Two builds of one file across setup types, the second stored as a delta
# against the first, in volume files small enough that files span them.
mkdir -p "$work/p/v1" "$work/p/v2"
seq 1 40000 >"$work/p/v1/data.txt"
{ seq 1 20000; echo changed; seq 20001 40000; } >"$work/p/v2/data.txt"
# More than two volume files of noise, whatever the setup program's size.
head -c 250000 /dev/urandom >"$work/p/noise.bin"
cat >"$work/p/kiln.toml" <<'TOML'
[setup]
title = "Extract Test"
[[type]]
[[type.file]]
source = "v1/data.txt"
target = "lib\\data.txt"
[[type.file]]
source = "noise.bin"
target = "shared.bin"
destination = "windows"
[[type]]
[[type.file]]
source = "v2/data.txt"
target = "lib\\data.txt"
delta_base = { type = 0, file = "lib\\data.txt" }
[[type.file]]
source = "noise.bin"
TOML
first=$("$kiln" build "$work/p/kiln.toml" -o "$work/probe.exe" --volume-size 5 2>&1 | grep -o 'at least [0-9]*' | grep -o '[0-9]*')
mkdir -p "$work/vol"
"$kiln" build "$work/p/kiln.toml" -o "$work/vol/setup.exe" --volume-size $((first + 20000)) >/dev/null
volumes() { [ -e "$work/vol/setup.D02" ] && "$kiln" inspect "$work/vol/setup.exe" | grep -q delta; }
check "the package has volumes and a delta" volumes
check "volumes, type 0" extracted "$work/vol/setup.exe" 0 "$work/v0" \
  "$work/p/v1/data.txt=lib/data.txt" "$work/p/noise.bin=#Windows#/shared.bin"
check "volumes and delta, type 1" extracted "$work/vol/setup.exe" 1 "$work/v1" \
  "$work/p/v2/data.txt=lib/data.txt" "$work/p/noise.bin=noise.bin"

# Without its last volume file, or with a damaged byte, nothing is written.
nothing_written() {  # setup
  ! "$kiln" extract "$1" --type 1 -o "$work/none" >/dev/null 2>"$work/err" && [ ! -e "$work/none" ] &&
    grep -q "nothing written" "$work/err"
}
last=$(ls "$work/vol"/setup.D* | tail -n 1)
mv "$last" "$work/last"
check "a missing volume writes nothing" nothing_written "$work/vol/setup.exe"
mv "$work/last" "$last"
cp "$work/vol/setup.exe" "$work/vol/damaged.exe"
printf '\x55' | dd of="$work/vol/damaged.exe" bs=1 seek=$(($(stat -c %s "$work/vol/setup.exe") - 20)) conv=notrunc 2>/dev/null
for f in "$work/vol"/setup.D*; do cp "$f" "$work/vol/damaged.${f##*.}"; done
check "a damaged archive writes nothing" nothing_written "$work/vol/damaged.exe"
check "no such setup type" bash -c '! "$0" extract "$1" --type 2 -o "$2" 2>/dev/null && [ ! -e "$2" ]' \
  "$kiln" "$work/vol/setup.exe" "$work/none"

report "kiln extract"
