#!/usr/bin/env bash
# What `kiln` says before anything ships: its version, a mistyped
# subcommand, every mistake of a manifest in one run, warnings and --werror,
# sizes with units, and a setup file that is the same from two copies of
# the sources with other file times when SOURCE_DATE_EPOCH is set.
set -uo pipefail
kiln=${1:?usage: cli_checks.sh KILN_BINARY}
source "$(dirname "$0")/shell_checks.sh"

check "version" says 0 "kiln 1.0" "$kiln" --version
check "no such file" says 105 "nothere" "$kiln" verify "$work/nothere"
check "no subcommand" says 106 "A subcommand is required" "$kiln"
check "mistyped subcommand" says 109 "did you mean 'build'?" "$kiln" buidl x.toml

mkdir -p "$work/m"
echo a >"$work/m/a.txt"
manifest() { printf '[setup]\ntitle = "T"\n%s\n[[type]]\n[[type.file]]\nsource = "a.txt"\n%s' "$1" "${2:-}" >"$work/m/kiln.toml"; }
manifest 'volume_size = "floppy"'
check "floppy" says 0 "setup type" "$kiln" build "$work/m/kiln.toml" -o "$work/m/s.exe"
manifest 'volume_size = "1440Q"'
check "size with an unknown unit" says 1 ':3: setup.volume_size: expected bytes' "$kiln" build "$work/m/kiln.toml" -o "$work/m/s.exe"
manifest '' '[type.texts]
"1.99" = "x"'
check "text id past its group" says 1 ':8: type[0].texts.1.99: group 1 has texts 1.0 to' "$kiln" build "$work/m/kiln.toml" -o "$work/m/s.exe"
manifest '' '[[type]]'
check "an empty type warns" says 0 "warning: $work/m/kiln.toml:7: type[1]: the setup type installs nothing" "$kiln" build "$work/m/kiln.toml" -o "$work/m/s.exe"
check "--werror" says 1 "--werror makes them errors" "$kiln" build "$work/m/kiln.toml" -o "$work/m/s.exe" --werror

printf '[setup]\ntitle = "T"\n[type]\n[[type.file]]\nsource = "a.txt"\n[[type]]\n' >"$work/m/kiln.toml"
check "[type] for [[type]]" says 1 "kiln.toml:3: [type] makes one table, but line 6 adds a [[type]]" "$kiln" build "$work/m/kiln.toml" -o "$work/m/s.exe"
manifest 'titel = "x"'
check "unknown key" says 1 ':3: setup.titel: unknown key (did you mean title?)' "$kiln" build "$work/m/kiln.toml" -o "$work/m/s.exe"
# Every mistake in one run, a line each, in the manifest's order.
manifest 'titel = "x"' $'target = "nul"\n[[type.file]]\nsource = "b.txt"\n'
all_at_once() {
  ! "$kiln" build "$work/m/kiln.toml" -o "$work/m/s.exe" 2>"$work/said" &&
    grep -o 'kiln.toml:[0-9]*: [^:]*' "$work/said" | sed 's/.*kiln.toml://' >"$work/lines" &&
    printf '%s\n' '3: setup.titel' '7: type[0].file[0].target' '9: type[0].file[1].source' | cmp -s - "$work/lines" ||
    { cat "$work/said"; return 1; }
}
check "every mistake at once" all_at_once
manifest 'version = "${version}"'
check "-D fills \${version}" says 0 "setup type" "$kiln" build "$work/m/kiln.toml" -o "$work/m/s.exe" -D version=2.6.0 --volume-size floppy
check "the version resource holds it" grep -qaP '2\x00\.\x006\x00\.\x000' "$work/m/s.exe"
check "a missing define" says 1 ":3: \${version}: no such define (kiln build -D version=value); did you mean \${versio}?" \
  "$kiln" build "$work/m/kiln.toml" -o "$work/m/s.exe" -D versio=1

# inspect --json: one object a CI reads, texts in UTF-8, with the INI and
# registry entries and what Explorer shows of the setup file; --quiet
# prints nothing.
cat >"$work/m/kiln.toml" <<'TOML'
[setup]
title = "Caf\u00e9 \u2013 Ledger"
version = "2.6"
company = "\u00d6lco"
privileges = "user"
[[type]]
[[type.file]]
source = "a.txt"
[[type.ini]]
file = "#InstallDir#\\ledger.ini"
section = "Paths"
key = "Data"
value = "#InstallDir#\\data"
[[type.registry]]
root = "HKCU"
key = "Software\\\u00d6lco\\Ledger"
name = "Version"
data = "2.6"
keep_existing = true
TOML
"$kiln" build "$work/m/kiln.toml" -o "$work/m/s.exe" >/dev/null
json_holds_the_product() {
  "$kiln" inspect "$work/m/s.exe" --json | python3 -c '
import json, sys
d = json.load(sys.stdin)
t = d["types"][0]
assert t["texts"]["6.0"] == "Caf\u00e9 \u2013 Ledger", t["texts"]["6.0"]
assert [f["target"] for f in t["files"]] == ["a.txt"]
assert t["ini"] == [{"file": "#InstallDir#\\ledger.ini", "section": "Paths", "key": "Data",
                     "value": "#InstallDir#\\data", "keep_existing": False}], t["ini"]
assert t["registry"] == [{"root": "HKCU", "key": "Software\\\u00d6lco\\Ledger", "name": "Version", "data": "2.6",
                          "keep_existing": True}], t["registry"]
i = d["identity"]
assert i["file_version"] == i["product_version"] == "2.6.0.0", i
assert i["version_texts"]["CompanyName"] == "\u00d6lco" and i["version_texts"]["ProductVersion"] == "2.6", i
assert i["execution_level"] == "asInvoker" and i["icon"] and all(g["width"] and g["bytes"] for g in i["icon"]), i
assert d["problems"] == [] and d["records"][-1]["record"] == "file archive"'
}
check "inspect --json" json_holds_the_product
check "inspect --quiet" eval '[ -z "$("$kiln" inspect "$work/m/s.exe" --quiet)" ]'

# Two copies of the example, one with every file a day older.
copies_build_alike() {
  cp -r "$here/examples/sample" "$work/one" && cp -r "$here/examples/sample" "$work/two" &&
    find "$work/one" -type f -exec touch -d '2030-01-01' {} + &&
    find "$work/two" -type f -exec touch -d '2030-01-02' {} + &&
    SOURCE_DATE_EPOCH=1700000000 "$kiln" build "$work/one/kiln.toml" -o "$work/one.exe" >/dev/null &&
    SOURCE_DATE_EPOCH=1700000000 "$kiln" build "$work/two/kiln.toml" -o "$work/two.exe" >/dev/null &&
    cmp "$work/one.exe" "$work/two.exe" &&
    "$kiln" build "$work/two/kiln.toml" -o "$work/three.exe" >/dev/null && ! cmp -s "$work/one.exe" "$work/three.exe"
}
check "two copies build the same bytes" copies_build_alike
manifest ''
check "SOURCE_DATE_EPOCH not a number" says 1 "SOURCE_DATE_EPOCH must be a number" env SOURCE_DATE_EPOCH=soon "$kiln" build "$work/m/kiln.toml" -o "$work/m/s.exe"

report cli_checks
