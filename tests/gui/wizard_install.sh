#!/usr/bin/env bash
# Whole installations through the wizard, by keyboard as far as a person
# would: every page, files checked byte for byte; the destination typed
# with a trailing backslash, as a relative path, missing (created after Yes,
# refused after No), impossible to create; a read-only target and the ready
# page's question; the folder browser; Cancel on the progress page answered
# No and Yes; the finish page with the run-program box and the document
# button; the space question on a small file system, and the finish page's
# error layout after a disk-full failure; the example installed through the
# wizard and uninstalled through its own questions; the Restart offer after
# a shared file in use.
# Usage: wizard_install.sh FIXTURE_EXE (a small program to install and start)
set -uo pipefail
fixture=$1
source "$(dirname "$0")/driver.sh"
source "$(dirname "$0")/setup_steps.sh"
gui_start || exit 1
gui_run "$fixture" 0 && gui_wait_window 'Kiln Fixture' 90 >/dev/null; gui_reset  # a fresh prefix starts slowly once
# Windows opens a .txt file with Notepad; this Wine prefix lacks the
# association, through which the finish page's document button opens the
# read-me.
gui_wine reg add 'HKCR\.txt' /ve /d txtfile /f >/dev/null 2>&1

payload=$GUI_ROOT/examples/sample/payload
same() { cmp -s "$1" "$2" || { echo "$2 differs from $1"; return 1; }; }
landed() {  # folder (Linux path): every file of the example is there
  local f
  for f in readme.txt license.txt; do same "$payload/$f" "$1/$f" || return 1; done
  # The example's INI entry writes the folder into its settings file.
  grep -q '^Home=' "$1/settings.ini" || { echo "no Home= in $1/settings.ini"; return 1; }
}

# The example, framed so that each page's title is in the frame's caption,
# with a program to start after the wizard.
mkdir -p "$GUI_WORK/extra" && cp "$fixture" "$GUI_WORK/extra/app.exe"
# The program goes into the first setup type, before the second [[type]].
sed -e 's/^full_screen = true$/full_screen = false/' -e "s/^title = .*/title = \"$SETUP_TITLE\"/" \
  "$GUI_ROOT/examples/sample/kiln.toml" |
  awk -v app="$GUI_WORK/extra/app.exe" '/^\[\[type\]\]$/ && ++types == 2 {
      print "[[type.file]]"; print "source = \"" app "\""; print "role = \"program\""; print "" } { print }' \
    >"$GUI_WORK/example.toml"
setup_file example <"$GUI_WORK/example.toml" || exit 1

# To the destination page of the example; prints the page's id.
to_destination() {
  gui_run "$(setup_exe example)"
  wizard_page 'Welcome' >/dev/null && gui_key Return || return 1
  wizard_page 'Setup Type' >/dev/null && gui_key Return || return 1
  wizard_page 'Destination Folder'
}
# Types a folder into the field, replacing what it held (the field has the
# keyboard when the destination page opens).
type_folder() { gui_key End shift+Home Delete && sleep 0.3 && gui_type "$1" && sleep 0.3; }

# Every page by keyboard; the run-program box left checked starts the program.
whole() {
  to_destination >/dev/null || return 1
  type_folder 'C:\Whole Install\' && gui_key Return || return 1  # trailing backslash
  answer y || return 1                                            # create the folder
  wizard_page 'Ready to Install' >/dev/null && gui_key Return || return 1
  wizard_page 'Setup Finished' 60 >/dev/null || return 1
  landed "$(prefix_c 'Whole Install')" && same "$fixture" "$(prefix_c 'Whole Install/app.exe')" || return 1
  # The document button opens the read-me in its program; the page stays
  # and still answers the keyboard afterwards.
  gui_key alt+o || return 1
  gui_activate "$(gui_wait_window 'Notepad$' 30)" || return 1
  settled_shot finish-document-opened && gui_key alt+F4 && gui_wait_gone 'Notepad$' || return 1
  wizard_page 'Setup Finished' >/dev/null || return 1
  gui_key alt+f  # Finish (the document button has the keyboard now)
  gui_wait_window '^Kiln Fixture$' 30 >/dev/null || return 1
  gui_wait_exit 30
}
check "whole installation" whole

# A relative folder becomes a full path; No to creating it keeps the page.
relative_and_no() {
  local win
  to_destination >/dev/null || return 1
  type_folder 'Relative Place' && gui_key Return || return 1
  answer n || return 1
  win=$(wizard_page 'Destination Folder') || return 1
  gui_key Return && answer y || return 1
  wizard_page 'Ready to Install' >/dev/null && gui_key Return || return 1
  wizard_page 'Setup Finished' 60 >/dev/null || return 1
  [ -n "$(find "$GUI_WORK" "$KILN_WINEPREFIX/drive_c" -path '*/Relative Place/readme.txt' 2>/dev/null)" ]
}
check "relative folder, No then Yes" relative_and_no

# A folder below a file cannot be made: the notice, and the page stays.
cannot_create() {
  to_destination >/dev/null || return 1
  type_folder 'C:\windows\win.ini\below' && gui_key Return || return 1
  answer y && answer Return || return 1
  wizard_page 'Destination Folder' >/dev/null
}
check "folder that cannot be created" cannot_create

# The top folder of the drive: the uninstaller could take nothing away from
# there, so the disk check refuses it with its notice, and the page stays.
drive_root() {
  to_destination >/dev/null || return 1
  type_folder 'C:\' && gui_key Return || return 1
  answer Return || return 1
  wizard_page 'Destination Folder' >/dev/null && [ ! -e "$(prefix_c uninstall.exe)" ]
}
check "top folder of the drive" drive_root

# A read-only target: the ready page asks; No stays, Yes installs over it.
read_only() {
  local dir
  dir=$(prefix_c 'Read Only') && mkdir -p "$dir" && echo old >"$dir/readme.txt" || return 1
  gui_wine cmd /c attrib +r 'C:\Read Only\readme.txt' || return 1
  to_destination >/dev/null || return 1
  type_folder 'C:\Read Only' && gui_key Return || return 1
  wizard_page 'Ready to Install' >/dev/null && gui_key Return || return 1
  answer n && wizard_page 'Ready to Install' >/dev/null || return 1
  gui_key Return && answer y || return 1
  wizard_page 'Setup Finished' 60 >/dev/null && landed "$dir"
}
check "read-only target" read_only

# The folder browser: opened with the field's folder, a sub-folder opened
# from its list, confirmed with OK; the field takes the folder.
browser() {
  local box rect
  mkdir -p "$(prefix_c 'Browse Here/Inner')"
  to_destination >/dev/null || return 1
  type_folder 'C:\Browse Here' && gui_key alt+r || return 1
  box=$(gui_wait_window '^Select Destination Folder$') && read -r -a rect < <(gui_rect "$box") || return 1
  gui_activate "$box"
  gui_shot "$GUI_CASE-dialog"
  # A double click on "[Inner]", the second entry of the folder list, opens it.
  timeout 10 xdotool mousemove $((rect[0] + 60)) $((rect[1] + 96)) click --repeat 2 --delay 80 1
  sleep 0.5
  gui_shot "$GUI_CASE-opened"
  gui_key Return  # OK
  gui_wait_gone '^Select Destination Folder$' || return 1
  wizard_page 'Destination Folder' >/dev/null && gui_key Return || return 1
  wizard_page 'Ready to Install' >/dev/null && gui_key Return || return 1
  wizard_page 'Setup Finished' 60 >/dev/null && landed "$(prefix_c 'Browse Here/Inner')"
}
check "folder browser" browser

# Many files at one entry per tick: time enough to press Cancel.
{
  echo "[setup]"; echo "title = \"$SETUP_TITLE\""; echo "full_screen = false"; echo 'pacing = "described"'
  echo "[[type]]"; echo 'folder = "C:\\Paced"'
  for i in $(seq 1 60); do echo "[[type.file]]"; echo "source = \"payload/readme.txt\""; echo "target = \"f$i.txt\""; done
} >"$GUI_WORK/paced.toml"
setup_file paced <"$GUI_WORK/paced.toml" || exit 1
paced_to_progress() {
  gui_run "$(setup_exe paced)"
  wizard_page 'Welcome' >/dev/null && gui_key Return || return 1
  wizard_page 'Destination Folder' >/dev/null && gui_key Return && answer y || return 1
  wizard_page 'Ready to Install' >/dev/null && gui_key Return || return 1
  wizard_page 'Installing' >/dev/null
}
cancel_progress() {
  local count
  rm -rf "$(prefix_c Paced)"
  paced_to_progress || return 1
  gui_key Escape && answer n || return 1  # No: it goes on to the end
  wizard_page 'Setup Finished' 60 >/dev/null || return 1
  [ "$(ls "$(prefix_c Paced)" | wc -l)" = 60 ] || return 1
  gui_key Return && gui_wait_exit 20 || return 1
  rm -rf "$(prefix_c Paced)"
  paced_to_progress || return 1
  gui_key Escape && answer y && answer Return || return 1  # Yes, then the notice
  gui_wait_exit 20 || return 1
  count=$(ls "$(prefix_c Paced)" | wc -l)
  ((count < 60)) || { echo "$count files after a cancel"; return 1; }
}
check "cancel on the progress page" cancel_progress

# Not enough room: the question, No stays, Yes goes on and the drive fills;
# the finish page shows the error alone. Needs the small file system that
# scripts/test mounts (KILN_FULL_FOLDER).
no_room() {
  [ -n "${KILN_FULL_FOLDER:-}" ] || { echo "no small file system: skipped"; return 0; }
  # Free space is asked of the drive's root: the small file system becomes drive R:.
  local small
  small=$(echo "${KILN_FULL_FOLDER#Z:}" | tr '\\' /)
  ln -sfn "$small" "$KILN_WINEPREFIX/dosdevices/r:" || return 1
  head -c 2000000 /dev/urandom >"$GUI_WORK/big.bin"
  printf '[setup]\ntitle = "%s"\nfull_screen = false\n[[type]]\nfolder = "C:\\\\Big"\n[[type.file]]\nsource = "%s"\n' \
    "$SETUP_TITLE" "$GUI_WORK/big.bin" | setup_file big || return 1
  gui_run "$(setup_exe big)"
  wizard_page 'Welcome' >/dev/null && gui_key Return || return 1
  wizard_page 'Destination Folder' >/dev/null || return 1
  type_folder 'R:\Big' && gui_key Return && answer y || return 1  # create it
  answer n && wizard_page 'Destination Folder' >/dev/null || return 1  # not enough space: No
  gui_key Return && answer y || return 1
  wizard_page 'Ready to Install' >/dev/null && gui_key Return || return 1
  wizard_page 'Setup Finished' 60 >/dev/null || return 1
  gui_key Return && gui_wait_exit 20
  rm -f "$KILN_WINEPREFIX/dosdevices/r:" "$small/Big/"*
}
check "space question and error layout" no_room

# Installed through the wizard and taken away through the uninstaller's own
# questions: the drive and the uninstall entries are as they were before.
drive_state() {
  (cd "$KILN_WINEPREFIX/drive_c" && find . -path './users/*/Temp' -prune -o -print | sort)
  "$GUI_ROOT/scripts/wine-run" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
    tr -d '\r' | sed '1,2d'
}
install_then_uninstall() {
  # A program group of its own: the earlier cases left the example's behind.
  sed -e 's/^full_screen = true$/full_screen = false/' -e "s/^title = .*/title = \"$SETUP_TITLE\"/" \
    -e 's/folder = "Sample Product"/folder = "Removable Product"/' \
    "$GUI_ROOT/examples/sample/kiln.toml" | setup_file removable || return 1
  # The earlier cases' installations of the example share its uninstall entry.
  gui_wine reg delete "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$SETUP_TITLE" /f >/dev/null 2>&1
  drive_state >"$GUI_WORK/before.txt"
  gui_run "$(setup_exe removable)"
  wizard_page 'Welcome' >/dev/null && gui_key Return || return 1
  wizard_page 'Setup Type' >/dev/null && gui_key Return || return 1
  wizard_page 'Destination Folder' >/dev/null || return 1
  type_folder 'C:\Removable' && gui_key Return && answer y || return 1
  wizard_page 'Ready to Install' >/dev/null && gui_key Return || return 1
  wizard_page 'Setup Finished' 60 >/dev/null && gui_key Return && gui_wait_exit 20 || return 1
  landed "$(prefix_c Removable)" && [ -f "$(prefix_c Removable/uninstall.exe)" ] || return 1
  gui_run "$(prefix_c Removable/uninstall.exe)"
  GUI_CASE="$GUI_CASE (question)" answer y || return 1     # remove the product?
  GUI_CASE="$GUI_CASE (outcome)" answer Return || return 1  # it has been removed
  WINEPREFIX=$KILN_WINEPREFIX timeout 30 wineserver -w  # the uninstaller's copy ends after it
  drive_state >"$GUI_WORK/after.txt"
  diff "$GUI_WORK/before.txt" "$GUI_WORK/after.txt"
}
check "installed through the wizard, uninstalled through its questions" install_then_uninstall

# A shared file in use: the running program itself, installed into the
# system folder by a first setup and started from there. A second setup
# with a newer copy can only schedule it: its finish page offers Restart,
# and Restart restarts Windows (under Wine: the session ends, the running
# program with it, and the scheduled replacement is carried out). Last, as
# it ends everything running in the prefix.
restart_offer() {
  local dir=$GUI_WORK/in-use system="$KILN_WINEPREFIX/drive_c/windows/system32" version
  local session='HKLM\System\CurrentControlSet\Control\Session Manager'
  mkdir -p "$dir/v1" "$dir/v2"
  cp "$fixture" "$dir/v1/kilnrestart.exe"
  cp "$fixture" "$dir/v2/kilnrestart.exe" && echo "newer" >>"$dir/v2/kilnrestart.exe"
  for version in v1 v2; do
    printf '[setup]\ntitle = "%s"\n[[type]]\nfolder = "C:\\\\In Use"\n[[type.file]]\nsource = "%s"\ndestination = "shared"\nrole = "program"\n' \
      "$SETUP_TITLE" "$dir/$version/kilnrestart.exe" | setup_file "in-use-$version" || return 1
  done
  gui_run "$(setup_exe in-use-v1)"
  wizard_page 'Welcome' >/dev/null && gui_key Return || return 1
  wizard_page 'Destination Folder' >/dev/null && gui_key Return && answer y || return 1
  wizard_page 'Ready to Install' >/dev/null && gui_key Return || return 1
  wizard_page 'Setup Finished' 60 >/dev/null && gui_key Return || return 1
  gui_wait_window '^Kiln Fixture$' 30 >/dev/null && gui_wait_exit 20 || return 1  # started from the system folder
  gui_run "$(setup_exe in-use-v2)"
  wizard_page 'Welcome' >/dev/null && gui_key Return || return 1
  wizard_page 'Destination Folder' >/dev/null && gui_key Return || return 1
  wizard_page 'Ready to Install' >/dev/null && gui_key Return || return 1
  wizard_page 'Setup Finished' 60 >/dev/null || return 1
  same "$dir/v1/kilnrestart.exe" "$system/kilnrestart.exe" &&
    gui_wine reg query "$session" /v PendingFileRenameOperations | grep -q 'kilnrestart.exe' ||
    { echo "no replacement scheduled"; return 1; }
  gui_key alt+r && gui_wait_exit 30 && [ "$GUI_EXIT" = 0 ] || { echo "Restart: exit code $GUI_EXIT"; return 1; }
  gui_wait_gone '^Kiln Fixture$' 30 || return 1
  same "$dir/v2/kilnrestart.exe" "$system/kilnrestart.exe" &&
    ! gui_wine reg query "$session" /v PendingFileRenameOperations >/dev/null 2>&1 ||
    { echo "the restart did not replace the file"; return 1; }
}
check "a shared file in use: the finish page's Restart restarts Windows" restart_offer

report "wizard installs"
