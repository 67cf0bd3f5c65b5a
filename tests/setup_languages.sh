#!/usr/bin/env bash
# One setup file in several languages under Wine: the setup program shows
# the language of the user's locale where the system's code page can show
# it, else the first; /LANG chooses, and a language the system cannot show
# is refused in the first language's words (exit 1639 with /QUIET). The
# uninstaller an installation leaves speaks the language it ran in, and
# still reads its log. Every text of every wizard page fits its control in
# every language kiln can write (win32_tests' TextFit, run once per code
# page). Wine takes the user's language and the ANSI code page from the
# Unix locale (scripts/setup-deps generates them).
# Usage: setup_languages.sh KILN HEADLESS_EXE WIN32_TESTS_EXE
#   (on a display; KILN_WINEPREFIX set up by the caller)
set -uo pipefail
kiln=$1 headless=$2 win32_tests=$3
: "${KILN_WINEPREFIX:?the caller sets up the Wine prefix}"
source "$(dirname "$0")/shell_checks.sh"
# The Windows build under test, its Wine and its programs (KILN_WIN_ARCH, KILN_STUB, ...).
source "$here/scripts/windows-platform"
drive=$KILN_WINEPREFIX/drive_c
tag=lang$$

mkdir -p "$work/p"
cp "$here/examples/sample/payload/readme.txt" "$work/p/"
cat >"$work/p/kiln.toml" <<TOML
[setup]
title = "Languages $tag"
languages = ["en", "de", "ru", "pt-BR", "ja"]
[texts.en]
"0.1" = "Welcome, tester."
[texts.de]
"0.1" = "Willkommen, Tester."
[texts.ru]
"0.1" = "Добро пожаловать."
[texts.pt-BR]
"0.1" = "Bem-vindo."
[texts.ja]
"0.1" = "ようこそ。"
[[type]]
uninstall_key = "Languages $tag"
folder = "C:\\\\$tag"
[[type.file]]
source = "readme.txt"
TOML
setup=$work/setup.exe
"$kiln" build "$work/p/kiln.toml" -o "$setup" >/dev/null 2>"$work/build.txt" || { cat "$work/build.txt"; echo "FAILED: build"; exit 1; }
check "built without warnings" test ! -s "$work/build.txt"
check "verify" says 0 "whole-file CRCs hold" "$kiln" verify "$setup"
check "inspect lists the languages" says 0 "language 4: Japanese (ja), LANGID 0x0411, code page 932" "$kiln" inspect "$setup"
check "inspect --language shows its texts in UTF-8" says 0 "0.1   Добро пожаловать." "$kiln" inspect "$setup" --language ru
check "inspect --language shows Japanese in UTF-8" says 0 "0.1   ようこそ。" "$kiln" inspect "$setup" --language ja
check "inspect --language names those there are" says 105 "the setup file has no language \"fr\"; it has en, de, ru, pt-BR, ja" \
  "$kiln" inspect "$setup" --language fr

# locale | --lang | the language chosen, or "refused"
cases=(
  "C||0"
  "de_DE.UTF-8||1"
  "ru_RU.UTF-8||2"
  "pt_BR.UTF-8||3"
  "ja_JP.UTF-8||4"
  "fr_FR.UTF-8||0"          # French is not in the file
  "zh_CN.UTF-8||0"
  "de_AT.UTF-8||1"          # Austrian German: German by its primary language
  "ru_RU.UTF-8|de|refused"  # German needs code page 1252; this system has 1251
  "ru_RU.UTF-8|en|0"        # the first language is shown everywhere
  "C|RU|refused"
  "C|pt-br|3"
  "C|fr|refused"
)
chosen() {  # locale, wish, expected
  local args=()
  [ -n "$2" ] && args=(--lang "$2")
  LANG=$1 LC_ALL=$1 timeout 120 "$here/scripts/wine-run" "$headless" "$setup" --no-post-install \
    --dest "C:\\$tag-$RANDOM" "${args[@]}" >"$work/out.txt" 2>&1
  if [ "$3" = refused ]; then
    # Said in the first language, whatever the locale.
    grep -qF "This setup cannot show the language \"$2\" on this computer." "$work/out.txt" &&
      grep -qx "the package cannot be loaded" <(tr -d '\r' <"$work/out.txt") && return 0
  else
    tr -d '\r' <"$work/out.txt" | grep -qx "language: $3" && return 0
  fi
  echo "locale $1, /LANG '$2', expected $3:"
  cat "$work/out.txt"
  return 1
}
for c in "${cases[@]}"; do
  IFS='|' read -r locale wish expected <<<"${c%%#*}"
  expected=${expected%% *}
  check "$locale ${wish:+/LANG=$wish }-> $expected" chosen "$locale" "$wish" "$expected"
done
rm -rf "$drive/$tag"-*

# /QUIET: the refusal is a bad switch; a language the file has installs.
quiet() {  # locale, expected exit, switches...; the setup file is $from, else $setup
  local locale=$1 expected=$2; shift 2
  LANG=$locale LC_ALL=$locale timeout 120 "$here/scripts/wine-run" "${from:-$setup}" /QUIET "$@" >/dev/null 2>&1
  local code=$?
  [ "$code" = $((expected & 255)) ] || { echo "exit code $code, expected $expected"; return 1; }
}
check "/QUIET /LANG=ru on a Western system: 1639, nothing installed" \
  eval 'quiet C 1639 /LANG=ru && [ ! -e "$drive/$tag" ]'
check "/QUIET /LANG=xx: 1639" quiet C 1639 /LANG=xx

# Installed in German, the uninstaller asks in German; in Russian, in
# Windows-1251; in the first language its own texts stand as they were.
question() {  # the uninstaller file, the question expected (UTF-8) in code page $2
  python3 - "$1" "$2" "$3" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
sys.exit(0 if sys.argv[3].encode(sys.argv[2]) in data else 1)
PY
}
uninstaller=$drive/$tag/uninstall.exe
removed() {  # locale
  LANG=$1 LC_ALL=$1 timeout 120 "$here/scripts/wine-run" "$uninstaller" /QUIET >/dev/null 2>&1 &&
    WINEPREFIX=$KILN_WINEPREFIX wineserver -w && [ ! -e "$drive/$tag" ]
}
# The same from a solid archive, whose uninstaller entry is passed over.
sed 's/^\[setup\]$/[setup]\ncompression = "lzma"/' "$work/p/kiln.toml" >"$work/p/solid.toml"
"$kiln" build "$work/p/solid.toml" -o "$work/solid.exe" >/dev/null || { echo "FAILED: build"; exit 1; }
for c in "C|de|cp1252|Möchten Sie %s und alle zugehörigen Komponenten" \
  "C|de|cp1252|Möchten Sie %s und alle zugehörigen Komponenten|$work/solid.exe" \
  "ru_RU.UTF-8||cp1251|Удалить %s и все его компоненты" \
  "ja_JP.UTF-8||cp932|$(grep '^"10.0"' "$here/languages/ja.toml" | sed 's/^"10.0" = "\(.*\)"$/\1/')" \
  "C||cp1252|Do you want to remove %s and all of its components"; do
  IFS='|' read -r locale wish page text from <<<"$c"
  check "$locale ${wish:+/LANG=$wish }/QUIET installs${from:+ (solid)}" quiet "$locale" 0 ${wish:+/LANG=$wish}
  check "$locale: the uninstaller asks \"${text:0:24}...\"" question "$uninstaller" "$page" "$text"
  check "$locale: the uninstaller reads its log and removes it all" removed "$locale"
done

# On a Japanese system a folder may end in a character whose second byte
# is a backslash's (表: 0x95 0x5C): the files go inside it, and the
# uninstaller takes them and the folder away again.
hyo_install() {
  local folder=$drive/表
  LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 timeout 120 "$here/scripts/wine-run" "$setup" /QUIET '/DIR=C:\表' \
    >/dev/null 2>&1 || { echo "install failed"; return 1; }
  cmp -s "$work/p/readme.txt" "$folder/readme.txt" || { echo "not in $folder:"; ls "$drive"; return 1; }
  LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 timeout 120 "$here/scripts/wine-run" "$folder/uninstall.exe" /QUIET >/dev/null 2>&1 &&
    WINEPREFIX=$KILN_WINEPREFIX wineserver -w
  [ ! -e "$folder" ] || { echo "left:"; find "$folder"; return 1; }
}
check "ja: a folder ending in 表 is a folder, installed and removed" hyo_install

# The fit of every page: a product with two setup types, a document and a
# program (the finish page's longest layout) and a long title, in every
# language kiln writes, measured in the locale of each code page.
mkdir -p "$work/fit"
cp "$here/examples/sample/payload/readme.txt" "$work/fit/"
cat >"$work/fit/kiln.toml" <<'TOML'
[setup]
title = "Kassenbuch Professional 2026"
languages = ["en", "de", "fr", "es", "it", "pt-BR", "nl", "pl", "cs", "ru", "ja", "zh-CN"]
full_screen = false
[[type]]
name = "Typical"
uninstall_key = "Kassenbuch Professional"
[[type.file]]
source = "readme.txt"
role = "document"
[[type.file]]
source = "readme.txt"
target = "kassenbuch.exe"
role = "program"
[[type]]
name = "Compact"
[[type.file]]
source = "readme.txt"
TOML
"$kiln" build "$work/fit/kiln.toml" -o "$work/fit.exe" >/dev/null || { echo "FAILED: build"; exit 1; }
fits() {  # locale, the tags its code page shows
  LANG=$1 LC_ALL=$1 KILN_FIT_SETUP=$(winpath "$work/fit.exe") KILN_FIT_LANGUAGES=$2 timeout 300 \
    "$here/scripts/wine-run" "$win32_tests" --gtest_filter='TextFit.*' >"$work/fit.txt" 2>&1 ||
    { grep -a -v '^\[ ' "$work/fit.txt"; return 1; }
  grep -aq '^\[  PASSED  \] 1 test' "$work/fit.txt" || { cat "$work/fit.txt"; return 1; }
}
check "every page fits: en, de, fr, es, it, pt-BR, nl (Windows-1252)" fits C en,de,fr,es,it,pt-BR,nl
check "every page fits: pl, cs (Windows-1250)" fits cs_CZ.UTF-8 pl,cs
check "every page fits: ru (Windows-1251)" fits ru_RU.UTF-8 ru
check "every page fits: ja (Windows-932)" fits ja_JP.UTF-8 ja
check "every page fits: zh-CN (Windows-936)" fits zh_CN.UTF-8 zh-CN

report "setup languages"
