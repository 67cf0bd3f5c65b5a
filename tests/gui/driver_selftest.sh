#!/usr/bin/env bash
# The GUI driver on its own fixture, a dialog that ends with the number in
# its edit field as exit code (Cancel: 200): windows found by caption, also
# one inside another, a window activated, keys, typing and a click reaching
# it, exit codes coming back through Wine, and bounded waits that run out
# and say so.
# Usage: driver_selftest.sh FIXTURE_EXE
set -uo pipefail
fixture=$1
source "$(dirname "$0")/driver.sh"
gui_start || exit 1
caption='^Kiln Fixture$'

pixel() { convert "$1" -format "%[pixel:p{$2,$3}]" info:; }

# Enter takes the number the command line put into the field; the caption,
# drawn inactive by Wine at first, changes once the window is activated. The
# captioned window inside the dialog is found, at its place in the dialog.
initial_text() {
  local win rect part before
  gui_run "$fixture" 42
  win=$(gui_wait_window "$caption") && read -r -a rect < <(gui_rect "$win") && gui_shot fixture-shown || return 1
  read -r -a part < <(gui_wait_inner '^Kiln Fixture Part$' 5) || return 1
  ((part[0] > rect[0] && part[1] > rect[1] + 20 && part[0] + part[2] < rect[0] + rect[2] &&
    part[1] + part[3] < rect[1] + rect[3])) || { echo "part ${part[*]} not inside the dialog ${rect[*]}"; return 1; }
  before=$(pixel "$GUI_SHOTS/fixture-shown.png" $((rect[0] + rect[2] / 2)) $((rect[1] + 10)))
  gui_activate "$win" && gui_shot fixture || return 1
  [ "$(pixel "$GUI_SHOTS/fixture.png" $((rect[0] + rect[2] / 2)) $((rect[1] + 10)))" != "$before" ] ||
    { echo "the caption looks the same after activation"; return 1; }
  gui_key Return
  gui_wait_exit 20
  [ "$GUI_EXIT" = 42 ]
}
check "arguments, a window inside a window, activation, Enter" initial_text

# Typed text replaces the field; -1 comes back as 255.
typed() {
  gui_run "$fixture" 5
  gui_wait_window "$caption" >/dev/null || return 1
  gui_key ctrl+a && gui_type "-1" && gui_key Return
  gui_wait_exit 20
  [ "$GUI_EXIT" = 255 ]
}
check "typing, exit code -1" typed

# A click on Cancel, at the dialog's bottom right, closes the window.
click_cancel() {
  local win rect
  gui_run "$fixture" 7
  win=$(gui_wait_window "$caption") && read -r -a rect < <(gui_rect "$win") || return 1
  gui_click "$win" $((rect[2] - 45)) $((rect[3] - 22))
  gui_wait_gone "$caption" 10 || return 1
  gui_wait_exit 20
  [ "$GUI_EXIT" = 200 ]
}
check "click, window gone" click_cancel

# Waits that run out fail in time, name what they waited for and save the
# screen (here into a folder of their own).
timeouts() {
  local start=$SECONDS out=$GUI_WORK/timeouts.txt GUI_SHOTS=$GUI_WORK/timeout-shots
  mkdir -p "$GUI_SHOTS"
  gui_run "$fixture" 1
  gui_wait_window "$caption" >/dev/null || return 1
  ! gui_wait_window '^No Such Window$' 1 2>"$out" >/dev/null &&
    ! gui_wait_gone "$caption" 1 2>>"$out" &&
    ! gui_wait_exit 1 2>>"$out" && [ "$GUI_EXIT" = timeout ] || { cat "$out"; return 1; }
  ((SECONDS - start < 15)) &&
    grep -q "no window '^No Such Window\$' within 1 s" "$out" &&
    grep -q "window '$caption' still there after 1 s" "$out" &&
    grep -q "did not end within 1 s" "$out" &&
    grep -q "Kiln Fixture" "$out" &&
    [ "$(ls "$GUI_SHOTS"/failure-*.png | wc -l)" = 3 ] || { cat "$out"; return 1; }
}
check "bounded waits" timeouts

# In a script with set -e the clean-up still ends the display and removes
# the prefix after a program that failed, and when there is nothing left to
# end (stand-ins for the display and the program, an empty prefix folder).
cleanup_with_errexit() {
  local dir display
  dir=$(mktemp -d /tmp/kiln-gui-stop.XXXXXX)
  sleep 60 &
  display=$!
  # A shell of its own: inside a check, set -e would be ignored.
  bash -c 'set -e; source "$1"; GUI_WORK=$2 GUI_XVFB_PID=$3; sh -c "exit 3" & GUI_PID=$!; gui_reset; gui_stop' \
    cleanup "$(dirname "$0")/driver.sh" "$dir" "$display"
  sleep 0.2
  if kill -0 "$display" 2>/dev/null || [ -e "$dir" ]; then
    kill "$display" 2>/dev/null
    rm -rf "$dir"
    echo "the clean-up stopped half way"
    return 1
  fi
}
check "clean-up with set -e" cleanup_with_errexit

report "gui driver"
