#!/usr/bin/env bash
# What a setup file shows of its product before it runs: kiln build writes
# the product's icon, a version resource and the application manifest with
# the execution level into the setup program. Read back with wrestool
# (icoutils) and through Windows' version library under Wine; then the
# wizard runs from such a file and shows the product's icon in its caption.
#   bash tests/setup_identity.sh   (after scripts/build)
set -uo pipefail
source "$(dirname "$0")/gui/driver.sh"
source "$(dirname "$0")/gui/setup_steps.sh"
QUERY=$KILN_WIN_TREE/kiln_version_query.exe
gui_start || exit 1

# setup_with NAME ICON-SIZES FOLDER [SETUP-LINES...]: a framed setup file
# whose icon is solid red in the given sizes ("" for none).
setup_with() {
  local name=$1 sizes=$2 folder=$3; shift 3
  local dir=$GUI_WORK/$name lines
  mkdir -p "$dir"
  lines=$(printf '%s\n' "$@")
  if [ -n "$sizes" ]; then
    convert -size 48x48 xc:red -define icon:auto-resize="$sizes" "$dir/app.ico" || return 1
    lines+=$'\nicon = "app.ico"'
  fi
  setup_file "$name" <<TOML
[setup]
title = "$SETUP_TITLE"
full_screen = false
$lines
[[type]]
folder = "$folder"
[[type.file]]
source = "payload/readme.txt"
TOML
}

level() { wrestool -x --raw -t24 -n1 "$(setup_exe "$1")" | grep -o 'level="[A-Za-z]*"'; }

# The icon as the group 800 lists it, the version texts as Windows reads them.
icon_and_version() {
  setup_with product 48,32,16 '#Program Files#\\Kiln Test' 'version = "2.5.1"' 'company = "Example Ltd"' \
    'copyright = "(c) 2026 Example Ltd"' || return 1
  local exe ico
  exe=$(setup_exe product) ico=$GUI_WORK/product/app.ico
  wrestool -l "$exe" | grep -q -- '--type=14 --name=800 ' || { echo "no icon group 800"; return 1; }
  wrestool -x -t14 -n800 "$exe" >"$GUI_WORK/back.ico" || return 1
  [ "$(icotool -l "$GUI_WORK/back.ico")" = "$(icotool -l "$ico")" ] ||
    { echo "icon images differ:"; icotool -l "$GUI_WORK/back.ico"; return 1; }
  [ "$(wrestool -l "$exe" | grep -c -- '--type=3 ')" = 3 ] || { echo "the setup program's own images stayed"; return 1; }
  local got expected
  got=$(gui_wine "$QUERY" "$exe" ProductName ProductVersion FileVersion CompanyName FileDescription \
    LegalCopyright | tr -d '\r')
  expected='fixed 2.5.1.0 2.5.1.0
translation 040904b0
ProductName=Kiln Test
ProductVersion=2.5.1
FileVersion=2.5.1
CompanyName=Example Ltd
FileDescription=Kiln Test Setup
LegalCopyright=(c) 2026 Example Ltd'
  [ "$got" = "$expected" ] || { echo "version as Windows reads it:"; echo "$got"; return 1; }
  [ "$(level product)" = 'level="requireAdministrator"' ] || { echo "level: $(level product)"; return 1; }
}

# The execution level: an administrator for Program Files unless
# `privileges` says otherwise.
levels() {
  local ok=0
  while IFS='|' read -r name folder line expected; do
    setup_with "$name" '' "$folder" "$line" || return 1
    [ "$(level "$name")" = "level=\"$expected\"" ] || { echo "$name: $(level "$name"), not $expected"; ok=1; }
  done <<'CASES'
elsewhere|C:\\One||asInvoker
admin|C:\\One|privileges = "admin"|requireAdministrator
user|#Program Files#\\One|privileges = "user"|asInvoker
CASES
  return $ok
}

# A damaged icon stops the build with the file, line and key; no setup file.
bad_icon() {
  setup_with broken 32 'C:\\One' || return 1
  head -c 100 "$GUI_WORK/broken/app.ico" >"$GUI_WORK/broken/cut.ico"
  sed -i 's/app.ico/cut.ico/' "$GUI_WORK/broken/kiln.toml"
  rm -f "$(setup_exe broken)"
  local message
  message=$("$SETUP_KILN" build "$GUI_WORK/broken/kiln.toml" -o "$(setup_exe broken)" 2>&1) &&
    { echo "built"; return 1; }
  [[ $message == *kiln.toml:*": setup.icon: "*cut.ico*"lies outside the file"* ]] || { echo "$message"; return 1; }
  [ ! -e "$(setup_exe broken)" ]
}

# The wizard runs from the dressed setup program, with the product's icon
# (solid red) in its caption.
runs_with_icon() {
  gui_run "$(setup_exe product)"
  wizard_page 'Welcome' 60 >/dev/null || return 1
  local red
  red=$(convert "$GUI_SHOTS/runs with the icon-welcome.png" -fill black +opaque red -fill white -opaque red \
    -format '%[fx:int(mean*w*h+0.5)]' info:)
  ((red >= 100)) || { gui_fail "the caption shows no red icon ($red red pixels)"; return 1; }
}

check "icon and version" icon_and_version
check "execution levels" levels
check "damaged icon" bad_icon
check "runs with the icon" runs_with_icon
gui_stop
report "setup identity"
