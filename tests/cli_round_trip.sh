#!/usr/bin/env bash
# `kiln encode` and `kiln decode` through the command line: files of several
# kinds round trip at several levels, and bad input fails cleanly.
set -uo pipefail
kiln=${1:?usage: cli_round_trip.sh KILN_BINARY}
source "$(dirname "$0")/shell_checks.sh"

round_trip() {  # file, encode options...
  local file=$1; shift
  "$kiln" encode "$@" <"$file" >"$work/stream" &&
    "$kiln" decode <"$work/stream" >"$work/decoded" &&
    cmp -s "$file" "$work/decoded"
}

# Fails with a non-zero status, a message, and nothing on stdout.
decode_fails() {  # stream file
  local status
  "$kiln" decode <"$1" >"$work/out" 2>"$work/err"
  status=$?
  [ "$status" -ne 0 ] && [ ! -s "$work/out" ] && grep -q "kiln decode: invalid stream" "$work/err"
}

: >"$work/empty"
printf 'x' >"$work/one"
seq 1 30000 >"$work/text"
seq 1 30000 | gzip -9 -n >"$work/noise"  # deterministic and incompressible
cp "$kiln" "$work/program"
inputs=(empty one text noise program)
dll=$(ls /usr/lib/i386-linux-gnu/wine/i386-windows/*.dll 2>/dev/null | head -n 1)
[ -n "$dll" ] && cp "$dll" "$work/dll" && inputs+=(dll)

for name in "${inputs[@]}"; do
  check "$name, default level" round_trip "$work/$name"
  for level in 1 6 12; do check "$name, level $level" round_trip "$work/$name" --level "$level"; done
done
for name in empty one text; do check "$name, level 13" round_trip "$work/$name" --level 13; done

printf '\x03 not a stream' >"$work/garbage"  # block type 3
check "garbage stream" decode_fails "$work/garbage"
"$kiln" encode <"$work/text" | head -c 1000 >"$work/truncated"
check "truncated stream" decode_fails "$work/truncated"
check "level out of range" bash -c '! "$0" encode --level 14 </dev/null >/dev/null 2>&1' "$kiln"
check "unknown subcommand" bash -c '! "$0" frobnicate </dev/null >/dev/null 2>&1' "$kiln"

report "cli_round_trip"
