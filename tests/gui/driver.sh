# The GUI test driver, sourced by GUI test scripts: runs a Windows program
# under Wine on an X display of its own, as a person uses it. Windows are
# found by caption (those inside other windows through gui_window_probe.exe,
# as X does not see them), keys and clicks sent with xdotool, screens saved
# as PNG with ImageMagick. Wine draws frames and captions itself in a virtual
# desktop of 1024x768, the size of the display. Every wait is bounded; one
# that runs out names what it waited for, lists the visible windows, saves
# a failure screenshot and fails.
#
#   source tests/gui/driver.sh
#   gui_start                       # display + fresh prefix (10-20 s); an EXIT trap stops both
#   gui_run "$KILN_WIN_TREE/gui_fixture_dialog.exe" 42
#   win=$(gui_wait_window '^Kiln Fixture$') || exit 1
#   gui_activate "$win"; gui_shot fixture; gui_key Return
#   gui_wait_exit 30; echo "exit code $GUI_EXIT"
#   gui_reset                       # ends the prefix's programs, for the next case
#
# Screenshots go to $GUI_SHOTS (default build/gui-shots/<script name>).

GUI_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# The Windows build under test and its Wine ($KILN_WIN_TREE, $KILN_WIN_ARCH).
source "$GUI_ROOT/scripts/windows-platform"
GUI_SHOTS=${GUI_SHOTS:-$GUI_ROOT/build/gui-shots/$(basename "$0" .sh)}
GUI_PROBE=${GUI_PROBE:-$KILN_WIN_TREE/gui_window_probe.exe}
GUI_SIZE=1024x768
GUI_WORK='' GUI_XVFB_PID='' GUI_PID='' GUI_EXIT=''

gui_wine() { "$GUI_ROOT/scripts/wine-run" "$@"; }

# gui_wait_pid PID SECONDS: waits for a process to end; fails if it does not.
gui_wait_pid() {
  local deadline=$((SECONDS + $2))
  while kill -0 "$1" 2>/dev/null; do
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}

# Starts Xvfb on a free display and makes a fresh Wine prefix whose programs
# run in a virtual desktop; gui_stop runs on exit.
gui_start() {
  local start=$SECONDS display='' i
  [ -f "$GUI_PROBE" ] || { echo "gui: $GUI_PROBE is missing (ninja -C $KILN_WIN_TREE gui_window_probe)" >&2; return 1; }
  GUI_WORK=$(mktemp -d /tmp/kiln-gui.XXXXXX) || return 1
  trap gui_stop EXIT
  trap 'exit 130' INT TERM
  mkdir -p "$GUI_SHOTS"
  # Xvfb picks a free display number itself and writes it once it accepts clients.
  : >"$GUI_WORK/display"
  Xvfb -displayfd 3 -screen 0 "${GUI_SIZE}x24" -nolisten tcp 3>"$GUI_WORK/display" \
    >"$GUI_WORK/xvfb.log" 2>&1 &
  GUI_XVFB_PID=$!
  for ((i = 0; i < 100; i++)); do
    display=$(cat "$GUI_WORK/display")
    [ -n "$display" ] && break
    kill -0 "$GUI_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  if [ -z "$display" ]; then
    echo "gui: Xvfb did not start" >&2
    cat "$GUI_WORK/xvfb.log" >&2
    return 1
  fi
  export DISPLAY=:$display
  export KILN_WINEPREFIX=$GUI_WORK/prefix
  "$GUI_ROOT/scripts/wine-prefix" || return 1
  # The default desktop is a virtual one, so that a program started
  # directly gets frames and captions and its exit code comes back.
  local key='HKCU\Software\Wine\Explorer'
  gui_wine cmd /c "reg add $key /v Desktop /d Default /f >nul && reg add $key\\Desktops /v Default /d $GUI_SIZE /f >nul" ||
    { echo "gui: could not set up the virtual desktop" >&2; return 1; }
  echo "gui: display $DISPLAY and prefix ready in $((SECONDS - start)) s" >&2
}

# Ends the prefix's programs, the display, and removes the prefix. Runs to
# the end in scripts with set -e too, where nothing to end is no failure.
gui_stop() {
  local -
  set +e
  [ -n "$GUI_WORK" ] || return 0
  gui_reset
  if [ -n "$GUI_XVFB_PID" ]; then
    kill "$GUI_XVFB_PID" 2>/dev/null
    gui_wait_pid "$GUI_XVFB_PID" 10 || kill -KILL "$GUI_XVFB_PID" 2>/dev/null
  fi
  rm -rf "$GUI_WORK"
  GUI_WORK='' GUI_XVFB_PID=''
}

# Ends every program of the prefix, so that the next case starts clean.
gui_reset() {
  local -
  set +e
  [ -n "$GUI_WORK" ] || return 0
  WINEPREFIX=$GUI_WORK/prefix timeout 20 wineserver -k 2>/dev/null
  if [ -n "$GUI_PID" ]; then
    gui_wait_pid "$GUI_PID" 10 || kill -KILL "$GUI_PID" 2>/dev/null
    wait "$GUI_PID" 2>/dev/null
  fi
  GUI_PID=''
  return 0
}

# check NAME COMMAND...: one case of a GUI test, counted in passed and
# failed; GUI_CASE names its screenshots, and no program outlives it.
# report NAME: the tally, and the script's status.
passed=0 failed=0
check() {
  local name=$1; shift
  GUI_CASE=$name
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $name"; fi
  gui_reset
}
report() { echo "$1: $passed passed, $failed failed"; [ "$failed" -eq 0 ]; }

# gui_run EXE [ARGS...]: starts a Windows program in the background; its
# output goes to $GUI_WORK/run.log.
gui_run() {
  gui_wine "$@" >"$GUI_WORK/run.log" 2>&1 &
  GUI_PID=$!
}

# gui_wait_exit [SECONDS]: waits for the program gui_run started; sets
# GUI_EXIT to its exit code (0-255: -1 comes back as 255) and returns it.
# When the time runs out: GUI_EXIT=timeout, returns 124.
gui_wait_exit() {
  local - limit=${1:-30}
  set +e
  [ -n "$GUI_PID" ] || { echo "gui: no program running" >&2; return 1; }
  if ! gui_wait_pid "$GUI_PID" "$limit"; then
    GUI_EXIT=timeout
    gui_fail "the program did not end within $limit s"
    return 124
  fi
  wait "$GUI_PID"
  GUI_EXIT=$?
  GUI_PID=''
  return "$GUI_EXIT"
}

# gui_window CAPTION: prints the id of the topmost visible window whose
# caption matches the regular expression CAPTION, or fails at once. X lists
# windows bottom first; the topmost is the one a person sees, such as a
# message box over a full-screen window of the same caption.
gui_window() {
  timeout 5 xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -n 1 | grep .
}

# gui_wait_window CAPTION [SECONDS]: waits for a visible window whose caption
# matches CAPTION (a regular expression: '^Setup$' for exactly "Setup") and
# prints its id.
gui_wait_window() {
  local deadline=$((SECONDS + ${2:-20}))
  until gui_window "$1"; do
    ((SECONDS < deadline)) || { gui_fail "no window '$1' within ${2:-20} s"; return 1; }
    sleep 0.1
  done
}

# gui_wait_gone CAPTION [SECONDS]: waits until no visible window's caption
# matches CAPTION.
gui_wait_gone() {
  local deadline=$((SECONDS + ${2:-20}))
  while gui_window "$1" >/dev/null; do
    ((SECONDS < deadline)) || { gui_fail "window '$1' still there after ${2:-20} s"; return 1; }
    sleep 0.1
  done
}

# gui_probe: the windows a person sees, a line "HANDLE LEFT TOP WIDTH HEIGHT
# CAPTION" each: the top-level ones with a text and the captioned ones
# inside them, such as the wizard's dialogs inside its background window,
# which have no X window of their own and so escape gui_window.
gui_probe() { timeout 20 "$GUI_ROOT/scripts/wine-run" "$GUI_PROBE" 2>/dev/null; }

# gui_wait_inner CAPTION [SECONDS]: waits for a visible window, inside
# another or not, whose caption matches CAPTION (an extended regular
# expression, the first in gui_probe's list) and prints its place on the
# screen: LEFT TOP WIDTH HEIGHT.
gui_wait_inner() {
  local deadline=$((SECONDS + ${2:-20})) id x y w h caption
  while :; do
    while read -r id x y w h caption; do
      [[ $caption =~ $1 ]] && { echo "$x $y $w $h"; return 0; }
    done < <(gui_probe)
    ((SECONDS < deadline)) || { gui_fail "no window '$1' within ${2:-20} s"; return 1; }
    sleep 0.1
  done
}

# gui_rect WIN: prints the window's left, top, width and height on the screen.
gui_rect() {
  timeout 5 xwininfo -id "$1" | awk '/Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF}
    /^ *Width/ {w = $NF} /^ *Height/ {h = $NF} END {if (w == "") exit 1; print x, y, w, h}'
}

# gui_key KEYS...: presses keys (xdotool names: Return, Tab, alt+n, ...) in
# the window that has the keyboard.
gui_key() { timeout 10 xdotool key --delay 40 "$@"; }

# gui_type TEXT: types TEXT into the window that has the keyboard.
gui_type() { timeout 30 xdotool type --delay 20 -- "$1"; }

# gui_click_at X Y: a left click at a point of the screen.
gui_click_at() { timeout 10 xdotool mousemove "$1" "$2" click 1; }

# gui_click WIN X Y: a left click at a point of the window (from its top left).
gui_click() {
  local rect
  read -r -a rect < <(gui_rect "$1") || return 1
  gui_click_at $((rect[0] + $2)) $((rect[1] + $3))
}

# gui_activate WIN: makes a captioned window the active one by clicking its
# caption, as a person does. Wine activates a dialog while it is still
# hidden and then leaves its caption drawn inactive, so the click goes to a
# point outside the window first and the window is activated afresh.
gui_activate() {
  local rect right=$((${GUI_SIZE%x*} - 1)) bottom=$((${GUI_SIZE#*x} - 1))
  read -r -a rect < <(gui_rect "$1") || return 1
  if ((rect[0] > 0 || rect[1] > 0)); then
    gui_click_at 0 0
  elif ((rect[2] <= right || rect[3] <= bottom)); then
    gui_click_at "$right" "$bottom"
  fi
  gui_click_at $((rect[0] + rect[2] / 3)) $((rect[1] + 10))
  sleep 0.2
}

# gui_shot NAME: saves the whole screen as $GUI_SHOTS/NAME.png.
gui_shot() {
  timeout 20 import -window root "$GUI_SHOTS/$1.png" ||
    { echo "gui: no screenshot $1" >&2; return 1; }
}

# gui_windows: lists the visible captioned windows but the desktop, a line
# "ID CAPTION" each.
gui_windows() {
  local id name
  for id in $(timeout 5 xdotool search --onlyvisible --name . 2>/dev/null); do
    name=$(timeout 5 xdotool getwindowname "$id" 2>/dev/null) || continue
    [[ $name == *" - Wine desktop" ]] || echo "$id $name"
  done
}

# gui_fail MESSAGE: reports a failed step with what the screen shows.
gui_fail() {
  local shot seen
  shot=failure-$(date +%H%M%S)-$RANDOM
  echo "gui: $1; visible windows:" >&2
  # The probe sees windows inside windows too; without Wine, X's list.
  seen=$(gui_probe) || seen=$(gui_windows)
  echo "$seen" | sed 's/^/  /' >&2
  if [ -s "$GUI_WORK/run.log" ]; then
    echo "gui: the program's output ends:" >&2
    tail -n 5 "$GUI_WORK/run.log" | sed 's/^/  /' >&2
  fi
  gui_shot "$shot" && echo "gui: screen saved as $GUI_SHOTS/$shot.png" >&2
  return 1
}
