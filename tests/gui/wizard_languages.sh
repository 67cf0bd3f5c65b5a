#!/usr/bin/env bash
# One setup file in English, German, Russian and Japanese, run through its
# wizard in each language's Unix locale (from which Wine takes the user's
# language and the ANSI code page): every page comes in that language,
# found by its title in the frame's caption. A French locale gets the
# first language, English; /LANG=de in a Russian locale is refused with a
# message box and no wizard. Pictures of the welcome and progress pages
# of each language are saved.
set -uo pipefail
source "$(dirname "$0")/driver.sh"
source "$(dirname "$0")/setup_steps.sh"
gui_start || exit 1
gui_run "$KILN_WIN_TREE/gui_fixture_dialog.exe" 0 && gui_wait_window 'Kiln Fixture' 90 >/dev/null; gui_reset

languages_setup languages Languages || { echo "FAILED: build"; exit 1; }
exe=$(setup_exe languages)
folder=$(prefix_c Languages)

# locale | language shown
for c in "de_DE.UTF-8|de" "ru_RU.UTF-8|ru" "ja_JP.UTF-8|ja" "fr_FR.UTF-8|en"; do
  IFS='|' read -r locale tag <<<"$c"
  rm -rf "$folder"
  check "$locale: every page in $tag" walk_language "$exe" "$locale" "$tag" "$tag"
  check "$locale: installed" test -f "$folder/docs/page80.txt"
done

# /LANG=de where the code page is Cyrillic: a message in the first
# language, then the program ends without a wizard.
refused() {
  local win
  LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8 gui_run "$exe" /LANG=de
  # Its text, in English, is checked by setup_languages.sh; here its box.
  win=$(message_box 90) && gui_activate "$win" || return 1
  settled_shot refused >/dev/null
  gui_key Return
  gui_wait_exit 30
  [ "$GUI_EXIT" != 0 ] && ! gui_window "^$SETUP_TITLE - " >/dev/null
}
check "/LANG=de in a Russian locale: refused" refused

report "gui: wizard languages"
