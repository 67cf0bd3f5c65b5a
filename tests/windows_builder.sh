#!/usr/bin/env bash
# kiln.exe, the builder for Windows, run under Wine next to kiln on Linux:
# from the same manifest and sources both write the same bytes (the
# example; a product with volume files, a delta, a pattern, '\' in source
# paths and a file name outside ASCII; the same in solid LZMA), and a bad
# input gets the same refusal and leaves no setup file behind.
set -uo pipefail
kiln=${1:?usage: windows_builder.sh KILN KILN_EXE WIN32_TREE}
kiln_exe=${2:?} win32=${3:?}
source "$(dirname "$0")/shell_checks.sh"
wine_run() { "$here/scripts/wine-run" "$@"; }
# windows_build MANIFEST OUTPUT: kiln.exe builds it with the 32-bit programs
# named (Linux paths given), its output in $work/windows.out.
windows_build() {
  wine_run "$kiln_exe" build "$(winpath "$1")" --stub "$(winpath "$win32/kiln-stub.exe")" \
    --uninstaller "$(winpath "$win32/kiln-uninstall.exe")" -o "$(winpath "$2")" >"$work/windows.out" 2>&1
}

# A product of two versions: a program that changes in a few bytes (a
# delta against the first), texts found by a pattern, one named with
# characters outside ASCII, and enough incompressible bytes for volume files.
product=$work/product
mkdir -p "$product/app" "$product/docs"
head -c 300000 /dev/zero | openssl enc -aes-128-ctr -nosalt -K 00112233445566778899aabbccddeeff \
  -iv 0 2>/dev/null >"$product/app/app-v1.bin"
cp "$product/app/app-v1.bin" "$product/app/app-v2.bin"
printf 'version 2' | dd of="$product/app/app-v2.bin" bs=1 seek=170000 conv=notrunc 2>/dev/null
seq 1 2000 >"$product/docs/numbers.txt"
echo "Read me first." >"$product/docs/readme.txt"
echo "Curriculum vitae, à la française." >"$product/docs/Résumé ü.txt"
touch -d @1700000000 "$product"/app/* "$product"/docs/*
manifest() {  # file, [setup] lines, the second version's app.bin lines
  cat >"$1" <<EOF
[setup]
title = "Identity"
volume_size = "128K"
$2

[[type]]
name = "Version 1"
folder = "#Program Files#\\\\Identity"

[[type.file]]
source = "app\\\\app-v1.bin"
target = "app.bin"

[[type.file]]
source = "docs/*.txt"

[[type]]
name = "Version 2"
folder = "#Program Files#\\\\Identity"

[[type.file]]
source = "app/app-v2.bin"
target = "app.bin"
$3

[[type.file]]
source = "docs\\\\Résumé ü.txt"
EOF
}
manifest "$product/deltas.toml" "" 'delta_base = { type = 0, file = "app.bin" }'
manifest "$product/solid.toml" 'compression = "lzma"
lzma_window = "64K"' ""
manifest "$product/polish.toml" 'languages = ["pl"]' ""

# same_bytes MANIFEST: both builders, the same programs to put in; the setup
# files and their volume files compared byte for byte.
same_bytes() {
  local manifest=$1 name
  name=$(basename "$manifest" .toml)
  mkdir -p "$work/linux-$name" "$work/windows-$name"
  "$kiln" build "$manifest" --stub "$win32/kiln-stub.exe" --uninstaller "$win32/kiln-uninstall.exe" \
    -o "$work/linux-$name/setup.exe" >"$work/linux.out" || { cat "$work/linux.out"; return 1; }
  windows_build "$manifest" "$work/windows-$name/setup.exe" || { cat "$work/windows.out"; return 1; }
  local files
  files=$(cd "$work/linux-$name" && ls)
  [ "$files" = "$(cd "$work/windows-$name" && ls)" ] || { echo "different files: $files"; cat "$work/windows.out"; return 1; }
  for f in $files; do
    cmp "$work/linux-$name/$f" "$work/windows-$name/$f" || return 1
  done
}
check "the example, byte for byte" same_bytes "$here/examples/sample/kiln.toml"
check "volumes, a delta, a pattern and a name outside ASCII, byte for byte" same_bytes "$product/deltas.toml"
check "the same in solid LZMA, byte for byte" same_bytes "$product/solid.toml"
check "the same in Polish, byte for byte" same_bytes "$product/polish.toml"
# The fixture holds what it says: volume files, a delta and the named file.
check "the fixture has volume files and a delta" \
  grep -q "setup.D01" <(ls "$work/linux-deltas") "$work/linux.out"
check "the name outside ASCII is in the package" \
  grep -q "Résumé ü.txt" <("$kiln" inspect "$work/linux-deltas/setup.exe" | iconv -f cp1252 -t utf-8)

# refused STATUS TEXT MANIFEST: kiln.exe ends with STATUS and says TEXT, as
# kiln does, and leaves no setup file (nor a half-written one) behind.
refused() {
  local status=$1 text=$2 manifest=$3
  rm -rf "$work/out" && mkdir -p "$work/out"
  "$kiln" build "$manifest" -o "$work/out/setup.exe" >"$work/linux.out" 2>&1
  local linux=$?
  wine_run "$kiln_exe" build "$(winpath "$manifest")" -o "$(winpath "$work/out/setup.exe")" >"$work/windows.out" 2>&1
  local windows=$?
  [ "$linux" = "$status" ] && [ "$windows" = "$status" ] && grep -qF -- "$text" "$work/linux.out" &&
    grep -qF -- "$text" "$work/windows.out" && [ -z "$(ls -A "$work/out")" ] || {
    echo "status $linux on Linux, $windows on Windows:"; cat "$work/linux.out" "$work/windows.out"; return 1; }
}
printf '[setup]\ntitle = "\xff\xfe"\n' >"$work/latin1.toml"
check "a manifest that is not UTF-8" refused 1 "latin1.toml:2" "$work/latin1.toml"
check "a manifest that is not there" refused 1 "cannot read the manifest" "$work/nothere.toml"
printf '[setup]\ntitle = "T"\n[[type]]\n[[type.file]]\nsource = "missing.bin"\n' >"$work/missing.toml"
check "a source that is not there" refused 1 "no such file" "$work/missing.toml"

# An output folder that is not there: both say so and write nothing.
missing_output_folder() {
  local manifest=$here/examples/sample/kiln.toml
  "$kiln" build "$manifest" -o "$work/nowhere/setup.exe" >"$work/linux.out" 2>&1
  local linux=$?
  wine_run "$kiln_exe" build "$(winpath "$manifest")" -o "$(winpath "$work/nowhere/setup.exe")" >"$work/windows.out" 2>&1
  local windows=$?
  [ "$linux" = 1 ] && [ "$windows" = 1 ] && grep -q "nowhere' does not exist" "$work/linux.out" &&
    grep -q "nowhere' does not exist" "$work/windows.out" && [ ! -e "$work/nowhere" ] || {
    echo "status $linux on Linux, $windows on Windows:"; cat "$work/linux.out" "$work/windows.out"; return 1; }
}
check "an output folder that is not there" missing_output_folder

# Arguments and file names reach kiln.exe as UTF-8 and its messages print as UTF-8.
mkdir -p "$work/Ünïcødé"
cp "$product/deltas.toml" "$work/Ünïcødé/kiln.toml" && cp -a "$product/app" "$product/docs" "$work/Ünïcødé/"
unicode_folder() {
  windows_build "$work/Ünïcødé/kiln.toml" "$work/Ünïcødé/setup.exe" && grep -q "Ünïcødé.setup.exe: " "$work/windows.out" &&
    cmp "$work/Ünïcødé/setup.exe" "$work/linux-deltas/setup.exe" || { cat "$work/windows.out"; return 1; }
}
check "a manifest in a folder named outside ASCII" unicode_folder

# The release zip's layout: kiln.exe finds the setup programs and
# uninstallers of each architecture in win32\ and win64\ beside it, and
# makes the example as kiln does with the same programs named.
zip_layout() {
  local z=$work/zip
  mkdir -p "$z/win32" "$z/win64"
  cp "$kiln_exe" "$z/"
  cp "$win32/kiln-stub.exe" "$win32/kiln-uninstall.exe" "$z/win32/"
  cp "$(dirname "$kiln_exe")/kiln-stub.exe" "$(dirname "$kiln_exe")/kiln-uninstall.exe" "$z/win64/"
  KILN_STUB= KILN_UNINSTALLER= wine_run "$z/kiln.exe" build "$(winpath "$here/examples/sample/kiln.toml")" \
    -o "$(winpath "$z/setup.exe")" >"$work/windows.out" 2>&1 &&
    cmp "$z/setup.exe" "$work/linux-kiln/setup.exe" || { cat "$work/windows.out"; return 1; }
  KILN_STUB= KILN_UNINSTALLER= wine_run "$z/kiln.exe" --version >"$work/windows.out" 2>&1
  grep -q "^kiln 1" "$work/windows.out" && grep -q "^x86: setup program [0-9]* bytes, uninstaller" "$work/windows.out" &&
    grep -q "^x64: setup program [0-9]* bytes" "$work/windows.out" || { cat "$work/windows.out"; return 1; }
}
check "kiln.exe in the release zip's layout finds its programs" zip_layout

# A manifest deeper than Windows' old 260-character limit.
long_path() {
  local deep=$work
  while [ ${#deep} -lt 300 ]; do deep=$deep/a-folder-to-make-the-path-long; done
  mkdir -p "$deep" && cp -a "$product/app" "$product/docs" "$deep/" && cp "$product/solid.toml" "$deep/kiln.toml"
  windows_build "$deep/kiln.toml" "$deep/setup.exe" && cmp "$deep/setup.exe" "$work/linux-solid/setup.exe" || { cat "$work/windows.out"; return 1; }
}
check "a manifest and output past 260 characters of path" long_path

# Signing on Windows asks for osslsigncode.exe, and says where to get it.
no_signer() {
  touch "$work/cert.pem" "$work/key.pem"
  PATH=/usr/bin:/bin wine_run "$kiln_exe" sign "$(winpath "$work/linux-kiln/setup.exe")" \
    --cert "$(winpath "$work/cert.pem")" --key "$(winpath "$work/key.pem")" >"$work/windows.out" 2>&1
  [ $? = 1 ] && grep -q "osslsigncode.exe on the PATH" "$work/windows.out" || { cat "$work/windows.out"; return 1; }
}
check "kiln.exe sign without osslsigncode.exe" no_signer

report "windows builder"
