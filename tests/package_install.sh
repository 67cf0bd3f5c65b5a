#!/usr/bin/env bash
# The Debian package as a user gets it: built by CPack, with the Depends of
# the libraries kiln is linked with, unpacked with dpkg -x and the tree moved
# elsewhere; from a folder outside the sources its kiln builds the installed
# example (32-bit, packed) and a 64-bit product with the Windows programs it
# finds in its own share/kiln, verifies them, reports its version and those
# programs, and has a man page naming every subcommand. A kiln alone, with no
# programs to find, names every place it looked.
# Usage: package_install.sh BUILD_TREE WIN32_PROGRAMS WIN64_PROGRAMS
set -uo pipefail
build=$(cd "${1:?usage: package_install.sh BUILD_TREE WIN32_PROGRAMS WIN64_PROGRAMS}" && pwd) win32=$2 win64=$3
source "$(dirname "$0")/shell_checks.sh"
for f in "$win32/kiln-stub.exe" "$win32/kiln-stub-packable.exe" "$win32/kiln-uninstall.exe" \
  "$win64/kiln-stub.exe" "$win64/kiln-uninstall.exe"; do
  [ -f "$f" ] || { echo "package_install: $f is not built (scripts/build): skipped"; exit 0; }
done
[ -f "$build/kiln.1" ] || { echo "package_install: $build is not built (ninja -C $build)"; exit 1; }

# Every step is bounded; a hung one fails the test instead of CI.
run() { timeout 300 "$@"; }
run cpack --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; echo "package_install: cpack failed"; exit 1; }
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
deb=$work/package/kiln_${version}_amd64.deb
[ -f "$deb" ] || { ls "$work/package"; echo "package_install: no $deb"; exit 1; }

depends_on_linked_libraries() {
  local depends names lib
  depends=$(dpkg-deb -f "$deb" Depends)
  names=$(tr ',' '\n' <<<"$depends" | awk '{print $1}')
  for lib in libc6 libstdc++6 libdeflate0 libzopfli1 libdivsufsort3 liblzma5 libtomlplusplus3; do
    grep -qxF "$lib" <<<"$names" || { echo "  Depends: $depends; lacks $lib"; return 1; }
  done
}
check "Depends names the libraries kiln is linked with" depends_on_linked_libraries

# Unpacked, then moved: nothing may point back at where it was unpacked.
run dpkg -x "$deb" "$work/unpacked" || exit 1
mkdir -p "$work/elsewhere" "$work/outside"
cp -a "$work/unpacked" "$work/elsewhere/root" && rm -rf "$work/unpacked"
root=$work/elsewhere/root/usr kiln=$work/elsewhere/root/usr/bin/kiln
cd "$work/outside" || exit 1

version_shows_programs() {
  says 0 "kiln $version (" "$kiln" --version || return 1
  grep -qE "^x86: setup program [0-9]+ bytes, uninstaller [0-9]+ bytes$" "$work/said" &&
    grep -qE "^x64: setup program [0-9]+ bytes, uninstaller [0-9]+ bytes$" "$work/said" || { cat "$work/said"; return 1; }
}
check "kiln --version: the release and the installed programs" version_shows_programs

mkdir -p "$work/x64"
echo readme >"$work/x64/readme.txt"
printf '[setup]\ntitle = "X64"\narchitecture = "x64"\nuninstaller = true\n[[type]]\n[[type.file]]\nsource = "readme.txt"\n' \
  >"$work/x64/kiln.toml"
example=$root/share/doc/kiln/examples/sample/kiln.toml
# name | manifest | what kiln build says | build options
while IFS='|' read -r name manifest said options; do
  # shellcheck disable=SC2086  # options are words
  check "$name: builds" says 0 "setup type(s), for $said Windows" "$kiln" build "$manifest" -o "$work/outside/$name.exe" $options
  check "$name: verifies" says 0 "" "$kiln" verify "$work/outside/$name.exe"
done <<EOF
example|$example|32-bit and 64-bit|
example-packed|$example|32-bit and 64-bit|--pack-stub
x64|$work/x64/kiln.toml|64-bit|
EOF

# A kiln copied out alone finds nothing, and says where it looked.
mkdir -p "$work/alone/bin"
cp "$kiln" "$work/alone/bin/kiln"
names_every_place() {
  says 1 "no setup program found" "$work/alone/bin/kiln" build "$example" -o "$work/outside/none.exe" || return 1
  local place
  for place in bin/kiln-stub.exe bin/win32/kiln-stub.exe win32/kiln-stub.exe share/kiln/win32/kiln-stub.exe; do
    grep -qF "$work/alone/$place" "$work/said" || { echo "  $place not named:"; cat "$work/said"; return 1; }
  done
  [ ! -e "$work/outside/none.exe" ] || { echo "  wrote a setup file anyway"; return 1; }
}
check "nothing to find: every place looked in is named" names_every_place
check "nothing to find: kiln --version says so" says 0 "x64: setup program not found, uninstaller not found" \
  "$work/alone/bin/kiln" --version

man_page_names_every_subcommand() {
  local page=$root/share/man/man1/kiln.1 name
  # Rendered when man is there; the page's own headings either way.
  if command -v man >/dev/null; then says 0 "kiln build" env MANWIDTH=80 man -l "$page" || return 1; fi
  for name in $(run "$kiln" --help | sed -n '/^Subcommands:/,$ s/^  \([a-z][a-z-]*\) .*/\1/p'); do
    grep -qx "\.SS kiln $name" "$page" || { echo "  $page has no section for $name"; return 1; }
  done
}
check "man page" man_page_names_every_subcommand
report package_install
