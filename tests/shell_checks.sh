# The frame of the shell tests: a work folder removed at the end, `check`
# for each case, `says` for what a command prints, `winpath` for Wine, and
# `report` for the last line.
#   source "$(dirname "$0")/shell_checks.sh"   (from a script in tests/)
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
check() {  # name, command...
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $name"; fi
}
# says STATUS PATTERN COMMAND...: the command ends with STATUS (within five
# minutes) and its output (both streams) holds PATTERN.
says() {
  local status=$1 pattern=$2; shift 2
  timeout 300 "$@" >"$work/said" 2>&1
  local got=$?
  [ "$got" = "$status" ] && grep -qF -- "$pattern" "$work/said" || { echo "status $got:"; cat "$work/said"; return 1; }
}
# The Windows path of a Linux path, through Wine's drive Z:.
winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }
# report NAME: the tally, and the script's status.
report() { echo "$1: $passed passed, $failed failed"; [ "$failed" -eq 0 ]; }
