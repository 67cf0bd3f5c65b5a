#!/usr/bin/env bash
# Which Windows programs kiln build puts into a setup file: the 32-bit setup
# program as linked by default, the 64-bit one and its uninstaller for
# architecture = "x64", the packed 32-bit one only when asked for; and the
# mistakes that would mix them up are refused.
# Usage: cli_architecture.sh KILN WIN32_TREE WIN64_TREE
set -uo pipefail
kiln=$1 win32=$2 win64=$3
source "$(dirname "$0")/shell_checks.sh"
unset KILN_STUB KILN_UNINSTALLER
for f in "$win32/kiln-stub.exe" "$win32/kiln-stub-packable.exe" "$win64/kiln-stub.exe" "$win64/kiln-uninstall.exe"; do
  [ -f "$f" ] || { echo "cli_architecture: $f is not built (scripts/build): skipped"; exit 0; }
done

mkdir -p "$work/p"
echo readme >"$work/p/readme.txt"
manifest() {  # extra [setup] lines...: a manifest with Kiln's uninstaller
  { printf '[setup]\ntitle = "Arch Test"\nuninstaller = true\n'; printf '%s\n' "$@"
    printf '[[type]]\n[[type.file]]\nsource = "readme.txt"\n'; } >"$work/p/kiln.toml"
}
machine() {  # file: the machine field of its PE header, in hex
  local pe
  pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ') && od -An -tx2 -j $((pe + 4)) -N2 "$1" | tr -d ' '
}
builds() {  # machine, packed or linked, kiln build options...
  local want=$1 form=$2; shift 2
  "$kiln" build "$work/p/kiln.toml" -o "$work/setup.exe" "$@" >"$work/out.txt" 2>&1 || { cat "$work/out.txt"; return 1; }
  [ "$(machine "$work/setup.exe")" = "$want" ] || { echo "  machine $(machine "$work/setup.exe")"; return 1; }
  # Only a packed program carries its packing record.
  if [ "$form" = packed ]; then grep -qa KilnPack "$work/setup.exe"; else ! grep -qa KilnPack "$work/setup.exe"; fi
}
refused() {  # message, kiln build options...
  local message=$1; shift
  ! "$kiln" build "$work/p/kiln.toml" -o "$work/refused.exe" "$@" >/dev/null 2>"$work/err.txt" &&
    grep -qF -- "$message" "$work/err.txt" && [ ! -e "$work/refused.exe" ] || { cat "$work/err.txt"; return 1; }
}

# What virus scanners take for a packed program: the entry point outside
# an executable, read-only .text, or a section both writable and executable.
plainly_linked() {  # setup file
  python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
count, optional_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
entry = struct.unpack_from("<I", data, pe + 24 + 16)[0]
problems, entry_section = [], None
for i in range(count):
    h = pe + 24 + optional_size + 40 * i
    name = data[h:h + 8].rstrip(b"\0").decode()
    size, rva = struct.unpack_from("<II", data, h + 8)
    flags = struct.unpack_from("<I", data, h + 36)[0]
    if flags & 0x20000000 and flags & 0x80000000:
        problems.append(name + " is writable and executable")
    if rva <= entry < rva + size:
        entry_section = (name, flags)
if not entry_section or entry_section[0] != ".text" or entry_section[1] & 0x80000000:
    problems.append("the entry point lies in %s" % (entry_section,))
if problems:
    print("\n".join(problems))
sys.exit(1 if problems else 0)
PY
}

manifest
check "by default: the 32-bit program as linked" builds 014c linked
check "by default: entry point in .text, no writable code" plainly_linked "$work/setup.exe"
check "--pack-stub: the 32-bit program packed" builds 014c packed --pack-stub
packed_seen() { ! plainly_linked "$1" >/dev/null; }
check "the check tells a packed program" packed_seen "$work/setup.exe"
manifest 'pack_stub = true'
check "pack_stub = true: packed" builds 014c packed
manifest 'architecture = "x64"'
check "architecture = x64: the 64-bit program" builds 8664 linked
check "x64: entry point in .text, no writable code" plainly_linked "$work/setup.exe"
check "x64 with a 32-bit setup program named" refused "is a 32-bit program" --stub "$win32/kiln-stub.exe"
check "x64 with the 32-bit uninstaller" refused "not built for the setup program's architecture" \
  --uninstaller "$win32/kiln-uninstall.exe"
check "--pack-stub for x64" refused "only the 32-bit (x86) setup program can be packed" --pack-stub
manifest 'architecture = "x64"' 'pack_stub = true'
check "pack_stub = true for x64: the manifest's line" refused "kiln.toml:5" 
manifest 'architecture = "arm64"'
check "an unknown architecture" refused "architecture"

report "cli_architecture"
