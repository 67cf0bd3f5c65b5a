# Steps of the setup program's wizard for GUI tests, on top of driver.sh:
# setup files made from small manifests, pages found by the frame's caption
# ("<setup title> - <page title>" in framed mode), message boxes found by
# the setup title alone.
#   source tests/gui/driver.sh; source tests/gui/setup_steps.sh
#   setup_file NAME <<'EOF' ... manifest ... EOF   # builds $GUI_WORK/NAME.exe
#   gui_run "$(setup_exe NAME)"; wizard_page 'Welcome' >/dev/null; gui_key Return

SETUP_TITLE=${SETUP_TITLE:-Kiln Test}
SETUP_PAYLOAD=${SETUP_PAYLOAD:-$GUI_ROOT/examples/sample/payload}
SETUP_KILN=${SETUP_KILN:-$GUI_ROOT/build/host/kiln}

# setup_file NAME: builds $GUI_WORK/NAME.exe from the manifest on standard
# input; payload/ next to it is the example's payload.
setup_file() {
  local dir=$GUI_WORK/$1
  mkdir -p "$dir" && ln -sfn "$SETUP_PAYLOAD" "$dir/payload" && cat >"$dir/kiln.toml" &&
    "$SETUP_KILN" build "$dir/kiln.toml" -o "$GUI_WORK/$1.exe" >/dev/null
}
setup_exe() { echo "$GUI_WORK/$1.exe"; }

# wizard_page TITLE [SECONDS]: waits for the page, makes it the active
# window, saves a screenshot named after it and prints the window's id.
wizard_page() {
  local win name
  win=$(gui_wait_window "^$SETUP_TITLE - $1\$" "${2:-20}") || return 1
  gui_activate "$win"
  sleep 0.3  # let the page paint
  name=$(echo "$1" | tr '[:upper:]' '[:lower:]' | tr -cs 'a-z0-9' '-' | sed 's/-$//')
  gui_shot "${GUI_CASE:-page}-$name"
  echo "$win"
}

# message_box [SECONDS]: waits for a message box of the setup program and
# prints its id (its caption is the setup title alone).
message_box() {
  local win
  win=$(gui_wait_window "^$SETUP_TITLE\$" "${1:-10}") || return 1
  sleep 0.2
  gui_shot "${GUI_CASE:-box}-message"
  echo "$win"
}

# answer KEY: answers the message box that is up with KEY (y, n, Return)
# and waits until that box is gone (another may follow at once).
answer() {
  local win i
  win=$(message_box) && gui_key "$1" || return 1
  for ((i = 0; i < 50; i++)); do
    timeout 5 xdotool getwindowname "$win" >/dev/null 2>&1 || return 0
    sleep 0.2
  done
  gui_fail "message box $win still there after 10 s"
}

# Windows path of a Linux path inside the prefix's drive C.
prefix_c() { echo "$KILN_WINEPREFIX/drive_c/$1"; }

# settled_shot NAME: lets the screen settle, saves it and says so.
settled_shot() { sleep 1; gui_shot "$1"; echo "shot: $GUI_SHOTS/$1.png"; }

# walk_example SETUP_EXE: the example product's wizard (framed), page by
# page with the keyboard, the folder browser opened and closed on the way,
# one picture of each; the installation goes into the proposed folder.
walk_example() {
  gui_run "$1"
  gui_activate "$(gui_wait_window "^$SETUP_TITLE - Welcome\$" 90)" || return 1
  settled_shot 01-welcome && gui_key Return
  settled_shot 02-setup-type && gui_key Return
  settled_shot 03-destination && gui_key alt+r
  gui_activate "$(gui_wait_window '^Select Destination Folder$')" || return 1
  settled_shot 04-folder-browser && gui_key Escape
  gui_wait_gone '^Select Destination Folder$' && gui_key Return || return 1
  message_box >/dev/null && settled_shot 05-create-folder && gui_key y || return 1
  settled_shot 06-ready && gui_key Return
  settled_shot 07-finish && gui_key Return
}

# page_title TAG GROUP: the page title (text GROUP.0) of a built-in language.
page_title() {
  if [ "$1" = en ]; then
    case $2 in 0) echo Welcome ;; 2) echo 'Destination Folder' ;; 3) echo 'Ready to Install' ;;
      4) echo Installing ;; 5) echo 'Setup Finished' ;; esac
    return
  fi
  sed -n "s/^\"$2\\.0\" = \"\\(.*\\)\"\$/\\1/p" "$GUI_ROOT/languages/$1.toml"
}

# walk_language SETUP_EXE LOCALE TAG SHOT_PREFIX [SWITCHES...]: the wizard
# run in the Unix locale LOCALE (Wine's language and code page), each page
# found by its title in language TAG: welcome, destination (its folder
# made), ready, the progress page caught half way, finish. Pictures
# PREFIX-welcome and PREFIX-progress.
walk_language() {
  local exe=$1 locale=$2 tag=$3 shot=$4 win
  shift 4
  LANG=$locale LC_ALL=$locale gui_run "$exe" "$@"
  win=$(gui_wait_window "^$SETUP_TITLE - $(page_title "$tag" 0)\$" 90) && gui_activate "$win" || return 1
  settled_shot "$shot-welcome" >/dev/null && gui_key Return
  gui_activate "$(gui_wait_window "^$SETUP_TITLE - $(page_title "$tag" 2)\$")" && gui_key Return || return 1
  answer Return || return 1  # Yes, the default button, whatever Wine's language calls it
  gui_activate "$(gui_wait_window "^$SETUP_TITLE - $(page_title "$tag" 3)\$")" && gui_key Return || return 1
  gui_wait_window "^$SETUP_TITLE - $(page_title "$tag" 4)\$" >/dev/null || return 1
  sleep 1.5
  gui_shot "$shot-progress"
  gui_activate "$(gui_wait_window "^$SETUP_TITLE - $(page_title "$tag" 5)\$" 60)" && gui_key Return || return 1
  gui_wait_exit 30
}

# languages_setup NAME FOLDER: a setup file in English, German, Russian and
# Japanese, framed, one entry per progress tick over enough files that the
# progress page can be caught half way.
languages_setup() {
  {
    printf '[setup]\ntitle = "%s"\nfull_screen = false\npacing = "described"\n' "$SETUP_TITLE"
    printf 'languages = ["en", "de", "ru", "ja"]\n[[type]]\nfolder = "C:\\\\%s"\n' "$2"
    for i in $(seq 1 80); do
      printf '[[type.file]]\nsource = "payload/readme.txt"\ntarget = "docs\\\\page%02d.txt"\n' "$i"
    done
  } | setup_file "$1"
}
