#!/usr/bin/env bash
# End to end: setup files that kiln builds (whole, in volumes, with deltas)
# installed by kiln-headless under Wine; every installed file must equal its
# source. A missing volume must end the installation with error 18.
# Usage: headless_install.sh KILN HEADLESS_EXE   (KILN_WINEPREFIX set up by the caller)
set -uo pipefail
kiln=$1 headless=$2
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
check() {  # name, command...
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $name"; fi
}
winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }

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
[[type]]
[[type.file]]
source = "v2/xinput.dll"
target = "lib\\xinput.dll"
TOML

install_and_compare() {  # setup file, type, source of lib\xinput.dll
  local setup=$1 type=$2 lib=$3 dest="$work/dest-$RANDOM"
  "$here/scripts/wine-run" "$headless" "$(winpath "$setup")" --type "$type" --dest "$(winpath "$dest")" >"$work/out.txt" 2>&1 \
    && cmp -s "$lib" "$dest/lib/xinput.dll" \
    && { [ "$type" != 0 ] || cmp -s "$work/product/readme.txt" "$dest/readme.txt"; } \
    || { cat "$work/out.txt"; return 1; }
}

for variant in whole volumes delta; do
  out="$work/$variant/setup.exe"
  mkdir -p "$work/$variant"
  case $variant in
    whole) args=(--no-auto-delta) ;;
    volumes) args=(--no-auto-delta --volume-size 60K) ;;
    delta) args=(--volume-size 50K) ;;  # deltas are the default
  esac
  check "$variant: build" "$kiln" build "$work/product/kiln.toml" -o "$out" "${args[@]}" >"$work/build.txt"
  [ "$variant" = delta ] && check "delta: reported" grep -q "^deltas: 1 file(s) stored as deltas" "$work/build.txt"
  check "$variant: verify" "$kiln" verify "$out" >/dev/null
  check "$variant: install type 0" install_and_compare "$out" 0 "$work/product/v1/xinput.dll"
  check "$variant: install type 1" install_and_compare "$out" 1 "$work/product/v2/xinput.dll"
done

# Without its first volume file the installation stops with error 18.
rm "$work/volumes/setup.D01"
missing() {
  ! "$here/scripts/wine-run" "$headless" "$(winpath "$work/volumes/setup.exe")" --type 1 \
    --dest "$(winpath "$work/dest-missing")" >"$work/out.txt" 2>&1 && grep -q "install error: 18" "$work/out.txt"
}
check "missing volume: error 18" missing

echo "headless install: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
