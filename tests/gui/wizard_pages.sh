#!/usr/bin/env bash
# The wizard as a person uses it: the page moves for one setup type without
# an information text and for three types with one, the cancel question
# answered No and Yes, the close box, a second instance, single-page mode,
# the end marker, a damaged setup file, the full-screen look, planted
# libraries, the relaunch from a removable disk and its prompt for the next
# disk. Framed mode, so that each page's title is in the frame's caption.
set -uo pipefail
source "$(dirname "$0")/driver.sh"
source "$(dirname "$0")/setup_steps.sh"
gui_start || exit 1
# The first program of a fresh prefix starts slowly; later ones are quick.
gui_run "$KILN_WIN_TREE/gui_fixture_dialog.exe" 0 && gui_wait_window 'Kiln Fixture' 90 >/dev/null; gui_reset


setup_file one <<TOML || exit 1
[setup]
title = "$SETUP_TITLE"
full_screen = false
[[type]]
folder = "C:\\\\One"
[[type.file]]
source = "payload/readme.txt"
TOML

setup_file three <<TOML || exit 1
[setup]
title = "$SETUP_TITLE"
full_screen = false
[setup.texts]
"1.1" = "Read this first."
[[type]]
name = "First"
[[type.file]]
source = "payload/readme.txt"
[[type]]
name = "Second"
[[type.file]]
source = "payload/readme.txt"
[[type]]
name = "Third"
[type.texts]
"9.0" = "Third Way"
"1.1" = ""
[[type.file]]
source = "payload/readme.txt"
TOML

# One type, no information text: welcome -> destination and back.
one_type() {
  gui_run "$(setup_exe one)"
  wizard_page 'Welcome' >/dev/null || return 1
  gui_key alt+b  # Back is disabled on the first page: the page stays
  sleep 0.5
  gui_window "^$SETUP_TITLE - Welcome\$" >/dev/null || return 1
  gui_key Return
  wizard_page 'Destination Folder' >/dev/null || return 1
  gui_key alt+b
  wizard_page 'Welcome' >/dev/null || return 1
  gui_key Escape && answer y && answer Return || return 1
  gui_wait_exit 20 && [ "$GUI_EXIT" = 0 ]
}
check "one type" one_type

# Three types with an information text. Choosing the third type switches
# the texts (its own page title) and its information text, which is empty,
# so Back from the type page then goes to the welcome page.
three_types() {
  local win
  gui_run "$(setup_exe three)"
  wizard_page 'Welcome' >/dev/null && gui_key Return || return 1
  wizard_page 'Information' >/dev/null && gui_key Return || return 1
  wizard_page 'Setup Type' >/dev/null || return 1
  gui_key alt+b && wizard_page 'Information' >/dev/null && gui_key Return || return 1
  win=$(wizard_page 'Setup Type') || return 1
  gui_click "$win" 190 146  # the third radio button's label
  wizard_page 'Third Way' >/dev/null || return 1
  gui_key Return && wizard_page 'Destination Folder' >/dev/null || return 1
  gui_key alt+b && wizard_page 'Third Way' >/dev/null || return 1
  gui_key alt+b && wizard_page 'Welcome' >/dev/null || return 1
  gui_key Escape && answer y && answer Return || return 1
  gui_wait_exit 20
}
check "three types" three_types

# Cancel answered No keeps the page; Yes ends with the notice.
cancel_no_yes() {
  gui_run "$(setup_exe one)"
  wizard_page 'Welcome' >/dev/null || return 1
  gui_key Escape && answer n || return 1
  wizard_page 'Welcome' >/dev/null || return 1
  gui_key Return && wizard_page 'Destination Folder' >/dev/null || return 1  # the keyboard is back in the wizard
  gui_key Escape && answer y && answer Return || return 1  # the question, then "Setup has been cancelled."
  gui_wait_exit 20 && [ "$GUI_EXIT" = 0 ]
}
check "cancel: No, then Yes" cancel_no_yes

# The frame's close box ends at once, without the question.
close_box() {
  local win rect
  gui_run "$(setup_exe one)"
  win=$(wizard_page 'Welcome') && read -r -a rect < <(gui_rect "$win") || return 1
  gui_click "$win" $((rect[2] - 10)) 10
  gui_wait_exit 20 || return 1
  [ "$GUI_EXIT" = 0 ] && ! gui_window "^$SETUP_TITLE\$" >/dev/null 2>&1
}
check "close box" close_box

# A second instance brings the first forward and ends with 0.
second_instance() {
  local first
  gui_run "$(setup_exe one)"
  wizard_page 'Welcome' >/dev/null || return 1
  first=$GUI_PID
  gui_run "$(setup_exe one)"
  gui_wait_exit 20 && [ "$GUI_EXIT" = 0 ] || return 1
  kill -0 "$first" 2>/dev/null && [ "$(gui_windows | grep -c "$SETUP_TITLE - Welcome")" = 1 ]
}
check "second instance" second_instance

# A start page runs alone; its Cancel ends without asking.
single_page() {
  sed 's/^full_screen = false$/full_screen = false\nstart_page = 4/' "$GUI_WORK/one/kiln.toml" |
    setup_file single || return 1
  gui_run "$(setup_exe single)"
  wizard_page 'Destination Folder' >/dev/null || return 1
  gui_key Escape
  gui_wait_exit 20 && [ "$GUI_EXIT" = 0 ]
}
check "single page" single_page

# The end marker as start page shows nothing.
end_marker() {
  sed 's/^full_screen = false$/full_screen = false\nstart_page = 8/' "$GUI_WORK/one/kiln.toml" |
    setup_file marker || return 1
  gui_run "$(setup_exe marker)"
  gui_wait_exit 20 && [ "$GUI_EXIT" = 0 ] && ! gui_window "$SETUP_TITLE" >/dev/null 2>&1
}
check "end marker" end_marker

# A setup file cut short: the damaged-package message, then exit code -1.
# The box is the program's only window: it comes up active by itself (its
# caption drawn in the active colour, blue, not the inactive grey).
damaged() {
  local exe=$GUI_WORK/damaged.exe win rect caption
  head -c -20 "$(setup_exe one)" >"$exe"
  gui_run "$exe"
  win=$(message_box) || return 1
  sleep 0.5
  gui_shot damaged-message
  read -r -a rect < <(gui_rect "$win") || return 1
  caption=$(convert "$GUI_SHOTS/damaged-message.png" \
    -format "%[fx:int(255*p{$((rect[0] + rect[2] / 2)),$((rect[1] + 10))}.b)] %[fx:int(255*p{$((rect[0] + rect[2] / 2)),$((rect[1] + 10))}.r)]" info:)
  [ "${caption% *}" -ge 160 ] && [ $(( ${caption% *} - ${caption#* } )) -ge 80 ] ||
    { echo "caption (blue red) $caption: drawn inactive"; return 1; }
  answer Return || return 1
  gui_wait_exit 20; [ "$GUI_EXIT" = 255 ] || { echo "exit code $GUI_EXIT"; return 1; }
}
check "damaged setup file" damaged

# Full-screen mode: the backdrop's gradient runs from full blue at the top
# to dark at the bottom, and the title stands in white near the top left;
# the wizard sits in front, its page title in its own caption.
full_screen() {
  local shot=$GUI_SHOTS/full-screen.png top bottom white
  sed 's/^full_screen = false$/full_screen = true/' "$GUI_WORK/one/kiln.toml" | setup_file full || return 1
  gui_run "$(setup_exe full)"
  gui_wait_window "^$SETUP_TITLE\$" >/dev/null || return 1
  sleep 1
  gui_shot full-screen
  top=$(convert "$shot" -format '%[fx:int(255*p{900,40}.b)] %[fx:int(255*p{900,40}.r)]' info:)
  bottom=$(convert "$shot" -format '%[fx:int(255*p{900,740}.b)]' info:)
  white=$(convert "$shot" -crop 400x60+10+25 +repage -fill black -fuzz 8% +opaque white -format '%[fx:mean>0.01]' info:)
  [ "${top% *}" -ge 230 ] && [ "${top#* }" -le 20 ] && [ "$bottom" -le 80 ] && [ "$white" = 1 ] ||
    { echo "top (blue red) $top, bottom blue $bottom, title seen $white"; return 1; }
  # The frame's caption is the setup title too: the boxes are answered blind.
  gui_key Escape && sleep 1 && gui_key y && sleep 1 && gui_key Return || return 1
  gui_wait_exit 20
}
check "full-screen backdrop and title" full_screen

# A setup file in a downloads folder where libraries were planted (and the
# loader told to prefer them, as Windows would): the setup program, folder
# browser and all, loads none that a program linking the same system
# libraries, with the same manifest, and running no code does not load as
# well. Not version.dll and uxtheme.dll: under Wine, user32 and common
# controls 6 import them, so any program with that manifest loads planted
# ones before its own code runs, and common controls calls into them as it
# starts, which a planted library without those functions cannot survive.
# Nor msimg32.dll: Wine's uxtheme, which themed windows bring in, resolves
# its delayed import of it from the program's folder despite the search the
# program restricted to the system folder; Windows resolves delayed imports
# through that restricted search.
planted() {
  local d=$GUI_WORK/downloads names over baseline loaded n
  names="dwmapi winmm userenv cryptbase profapi sspicli imm32 comctl32 shlwapi"
  names="$names oleaut32 rpcrt4 setupapi propsys wintrust crypt32 mpr netapi32 wtsapi32 winspool"
  mkdir -p "$d" && cp "$(setup_exe one)" "$d/setup.exe" && cp "$same_imports" "$d/baseline.exe" || return 1
  for n in $names; do cp "$planted_library" "$d/$n.dll"; done
  over="$(echo $names | tr ' ' ','),mscoree,mshtml=n,b"
  WINEDLLOVERRIDES=$over gui_run "$d/baseline.exe"
  gui_wait_exit 60 || [ "$GUI_EXIT" = 0 ] || return 1
  baseline=$(cd "$d" && ls *.loaded 2>/dev/null)
  rm -f "$d"/*.loaded
  WINEDLLOVERRIDES=$over gui_run "$d/setup.exe"
  wizard_page 'Welcome' >/dev/null && gui_key Return || return 1
  wizard_page 'Destination Folder' >/dev/null && gui_key alt+r || return 1
  gui_wait_window '^Select Destination Folder$' >/dev/null && gui_key Escape || return 1
  gui_wait_gone '^Select Destination Folder$' && gui_key Escape && answer y && answer Return || return 1
  gui_wait_exit 20
  loaded=$(cd "$d" && ls *.loaded 2>/dev/null)
  for n in $loaded; do
    echo "$baseline" | grep -qx "$n" || { echo "setup.exe loaded the planted ${n%.loaded}"; return 1; }
  done
}
same_imports=$KILN_WIN_TREE/same_imports.exe
planted_library=$KILN_WIN_TREE/planted_library.dll
check "planted libraries" planted

# The folder $GUI_WORK/floppy, emptied, as drive R:, a removable disk; Wine
# reads a drive's type when it starts, so every program is ended first.
insert_floppy() {
  rm -rf "$GUI_WORK/floppy" && mkdir -p "$GUI_WORK/floppy" &&
    ln -sfn "$GUI_WORK/floppy" "$KILN_WINEPREFIX/dosdevices/r:" &&
    gui_wine reg add 'HKLM\Software\Wine\Drives' /v 'r:' /d floppy /f >/dev/null 2>&1 || return 1
  gui_reset
}
eject_floppy() {
  rm -f "$KILN_WINEPREFIX/dosdevices/r:"
  gui_wine reg delete 'HKLM\Software\Wine\Drives' /v 'r:' /f >/dev/null 2>&1
  return 0
}

# Started from a removable disk: the bare stub is copied to the temporary
# folder as _inst<n>.exe and started with the disk's setup file after /S and
# /DEL; the program on the disk ends at once with 0, the copy runs the
# wizard, with the package read from the disk, and is marked for deletion
# at the next restart.
removable() {
  local disk=$GUI_WORK/floppy copy pending
  insert_floppy && cp "$(setup_exe one)" "$disk/setup.exe" || return 1
  gui_run 'R:\setup.exe'
  gui_wait_exit 30 && [ "$GUI_EXIT" = 0 ] || { echo "the program on the disk ended with $GUI_EXIT"; return 1; }
  wizard_page 'Welcome' >/dev/null || return 1
  copy=$(find "$KILN_WINEPREFIX/drive_c/users" -name '_inst*.exe' | head -n 1)
  [ -n "$copy" ] || { echo "no _inst copy in the temporary folder"; return 1; }
  # The copy is the stub alone: shorter than the setup file by its package.
  [ "$(stat -c %s "$copy")" -lt "$(stat -c %s "$disk/setup.exe")" ] || return 1
  pending=$(gui_wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations 2>/dev/null)
  echo "$pending" | grep -qi '_inst' || { echo "the copy is not marked for deletion: $pending"; return 1; }
  gui_key Escape && answer y && answer Return
  eject_floppy
}
check "relaunch from a removable disk" removable

# A setup file in volumes, its volume file on the next disk: the copy asks
# for disk 2 when the data runs on, and goes on when it is there (two
# disks: the first holds 200,000 bytes of the archive).
next_disk() {
  local least
  head -c 300000 /dev/urandom >"$GUI_WORK/spans.bin"
  printf '[setup]\ntitle = "%s"\nfull_screen = false\n[[type]]\nfolder = "C:\\\\Spans"\n[[type.file]]\nsource = "%s"\n' \
    "$SETUP_TITLE" "$GUI_WORK/spans.bin" >"$GUI_WORK/spans.toml"
  least=$("$SETUP_KILN" build "$GUI_WORK/spans.toml" -o "$GUI_WORK/probe.exe" --volume-size 5 2>&1 |
    grep -o 'at least [0-9]*' | grep -o '[0-9]*')
  "$SETUP_KILN" build "$GUI_WORK/spans.toml" -o "$GUI_WORK/spans.exe" --volume-size $((least + 200000)) >/dev/null &&
    insert_floppy && cp "$GUI_WORK/spans.exe" "$GUI_WORK/floppy/setup.exe" || return 1
  gui_run 'R:\setup.exe'
  gui_wait_exit 30 && [ "$GUI_EXIT" = 0 ] || { echo "the program on the disk ended with $GUI_EXIT"; return 1; }
  wizard_page 'Welcome' >/dev/null && gui_key Return || return 1
  wizard_page 'Destination Folder' >/dev/null && gui_key Return && answer y || return 1  # create the folder
  wizard_page 'Ready to Install' >/dev/null && gui_key Return || return 1
  message_box 30 >/dev/null || { echo "no disk prompt"; return 1; }
  cp "$GUI_WORK/spans.D01" "$GUI_WORK/floppy/setup.D01" && answer Return || return 1  # disk 2 in, OK
  wizard_page 'Setup Finished' 60 >/dev/null || return 1
  cmp -s "$GUI_WORK/spans.bin" "$(prefix_c Spans/spans.bin)" || { echo "spans.bin differs"; return 1; }
  gui_key Return && gui_wait_gone "^$SETUP_TITLE - Setup Finished\$" || return 1
  eject_floppy
}
check "the next disk asked for" next_disk

report "wizard pages"
