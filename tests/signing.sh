#!/usr/bin/env bash
# Signing and whole-file integrity end to end, on the example product: a
# self-signed certificate made with openssl; kiln build signs, osslsigncode
# and kiln verify accept the result, and it installs under Wine. A byte
# changed after signing fails both verifications, and the setup program
# refuses the file (its message, exit -1, nothing installed); a changed
# volume file ends the installation as a missing one does (error 18).
# Runs Wine on a display of its own (tests/gui/driver.sh).
# Usage: signing.sh KILN HEADLESS_EXE
set -uo pipefail
kiln=$1 headless=$2
source "$(dirname "$0")/gui/driver.sh"
SETUP_TITLE="Sample Product"
source "$(dirname "$0")/gui/setup_steps.sh"
here=$GUI_ROOT
gui_start || exit 1
work=$GUI_WORK/signing
mkdir -p "$work"
winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }

openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
  -subj "/CN=Kiln Test" >/dev/null 2>&1 || { echo "openssl could not make a certificate"; exit 1; }
sign=(--cert "$work/cert.pem" --key "$work/key.pem")
# The example, framed so that its pages carry their names in the caption.
mkdir -p "$work/product"
cp -r "$here/examples/sample/payload" "$work/product/"
sed 's/^full_screen = true/full_screen = false/' "$here/examples/sample/kiln.toml" >"$work/product/kiln.toml"
setup=$work/setup.exe

ossl_verify() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >"$work/ossl.txt" 2>&1; }
kiln_verify() { "$kiln" verify "$1" >"$work/verify.txt" 2>&1; }
headless_install() {  # setup file, destination
  gui_wine "$headless" "$(winpath "$1")" --dest "$(winpath "$2")" >"$work/out.txt" 2>&1
}
installs() {
  headless_install "$setup" "$work/dest" && cmp -s "$work/product/payload/license.txt" "$work/dest/license.txt" ||
    { cat "$work/out.txt"; return 1; }
}
check "kiln build signs" "$kiln" build "$work/product/kiln.toml" -o "$setup" "${sign[@]}" >/dev/null
check "osslsigncode verify" ossl_verify "$setup"
check "kiln verify: signed, CRCs hold" eval 'kiln_verify "$setup" && grep -q ", signed, whole-file CRCs hold" "$work/verify.txt"'
check "kiln verify: the signer's subject" grep -q ": signed by /CN=Kiln Test$" "$work/verify.txt"
check "signed setup installs" installs
# The setup program itself takes the signed file: its wizard comes up.
wizard_comes_up() {
  gui_run "$setup"
  gui_wait_window '^Sample Product - Welcome$' 60 >/dev/null
}
check "setup program shows its wizard" wizard_comes_up
check "kiln sign signs again" eval '"$kiln" sign "$setup" "${sign[@]}" >/dev/null && ossl_verify "$setup" && kiln_verify "$setup"'

# A byte changed after signing, in a record and in the archive.
offset_of() {  # tag: the offset of its record's header, from kiln inspect
  "$kiln" inspect "$setup" | awk -v tag="$1" '$2 == tag {print $1; exit}'
}
flip() {  # file, offset, out
  python3 -c 'import sys; d = bytearray(open(sys.argv[1], "rb").read()); d[int(sys.argv[2])] ^= 0x10
open(sys.argv[3], "wb").write(d)' "$@"
}
refused() {  # changed file
  ! ossl_verify "$1" && ! kiln_verify "$1" && grep -q "damaged" "$work/verify.txt" || return 1
  rm -rf "$work/dest-bad"
  headless_install "$1" "$work/dest-bad"
  [ $? = 255 ] && grep -q "cannot be loaded" "$work/out.txt" && [ ! -e "$work/dest-bad" ] || { cat "$work/out.txt"; return 1; }
  # The setup program shows its message before anything else, then ends with -1.
  gui_run "$1"
  answer Return && gui_wait_exit 30 >/dev/null
  [ "$GUI_EXIT" = 255 ] || { echo "exit code $GUI_EXIT"; return 1; }
}
registry=$(offset_of 0x1241) archive=$(offset_of 0x7F7F)
flip "$setup" $((registry + 12)) "$work/bad-record.exe"
flip "$setup" $((archive + 40)) "$work/bad-archive.exe"
check "changed record: refused" refused "$work/bad-record.exe"
check "changed archive: refused" refused "$work/bad-archive.exe"

# Volume files are not signed; each carries its own check. Setup type 1's
# file lies wholly in the volume file, so a bad one ends its installation
# as a missing one does: error 18, naming the file.
volume_set() {  # folder, title: a signed set of the setup file and setup.D01
  mkdir -p "$work/$1"
  cat >"$work/product/$1.toml" <<TOML
[setup]
title = "$2"
[[type]]
[[type.file]]
source = "payload/readme.txt"
[[type]]
[[type.file]]
source = "payload/license.txt"
TOML
  local least
  least=$("$kiln" build "$work/product/$1.toml" -o "$work/probe.exe" --volume-size 5 2>&1 |
    grep -o 'at least [0-9]*' | grep -o '[0-9]*')
  "$kiln" build "$work/product/$1.toml" -o "$work/$1/setup.exe" --volume-size $((least + 100)) "${sign[@]}" >/dev/null
}
volumes=$work/volumes/setup.exe
check "build in volumes, signed" volume_set volumes "Volume Test"
check "volumes: verified" eval 'kiln_verify "$volumes" && [ -e "$work/volumes/setup.D01" ] && ossl_verify "$volumes"'
cp "$work/volumes/setup.D01" "$work/good.D01"
wrong_disk() {  # what kiln verify says
  kiln_verify "$volumes" && return 1
  grep -q "setup.D01' $1" "$work/verify.txt" || { cat "$work/verify.txt"; return 1; }
  ! gui_wine "$headless" "$(winpath "$volumes")" --type 1 --dest "$(winpath "$work/dest-volumes")" \
    >"$work/out.txt" 2>&1 && grep -q "install error: 18" "$work/out.txt" && grep -q "setup.D01" "$work/out.txt" &&
    [ ! -e "$work/dest-volumes/license.txt" ] || { cat "$work/out.txt"; return 1; }
}
flip "$work/good.D01" 300 "$work/volumes/setup.D01"
check "changed volume: wrong disk" wrong_disk "is damaged"
check "another build's volume" eval 'volume_set other "Other Test" && cp "$work/other/setup.D01" "$work/volumes/" &&
  wrong_disk "belongs to another setup file"'

report "signing"
