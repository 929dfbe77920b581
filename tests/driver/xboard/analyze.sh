#!/usr/bin/env bash
# analyze.sh: vorlak inside the real xboard (headless, driven by xdotool), picked without
# -firstProtocolVersion 1: the protocol-2 handshake, a position set up through setboard,
# Move Now cutting a 30-second search ("?"), and analysis mode following the moves that
# xboard steps back and forward through.
#
#   tests/driver/xboard/analyze.sh [ENGINE]      (default: build/vorlak of this checkout)
#
# Needs: apt-get install -y xboard xvfb xdotool xclip python3. Not part of ctest (it needs X).
# Prints one line per check and "analyze: N checks passed" at the end; exits 1 on the first
# failure.
set -u
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../../.." && pwd)
engine=${1:-$repo/build/vorlak}
. "$repo/bench/lib.sh"
for t in /usr/games/xboard Xvfb xdotool xclip python3; do
  command -v "$t" >/dev/null || { echo "analyze: $t is missing" >&2; exit 2; }
done
[ -x "$engine" ] || { echo "analyze: no engine at $engine" >&2; exit 2; }

# Out of every book: the engine has to search.
START_FEN="r1bq1rk1/pp2bppp/2n1pn2/2pp4/3P4/2PBPN2/PP1N1PPP/R1BQK2R w KQ - 2 8"
# st 30: only Move Now can make the engine move within a second.
SEARCH_SECONDS=30
MOVE_NOW_LIMIT=1.0

work=$(mktemp -d)
display=:$((50 + RANDOM % 200))
cleanup() {
  [ -n "${xb:-}" ] && kill "$xb" 2>/dev/null
  pkill -f "$work/relay" 2>/dev/null
  [ -n "${xv:-}" ] && kill "$xv" 2>/dev/null
  if [ -n "${KEEP:-}" ]; then echo "analyze: kept $work" >&2; else rm -rf "$work"; fi
}
trap cleanup EXIT
make_run_dir "$repo" "$work/eng" || exit 2
mkfifo "$work/ctl"
cp "$here/relay.py" "$work/relay.py"
printf '#!/bin/sh\nexec python3 %s %s %s %s\n' "$work/relay.py" "$engine" "$work/ctl" "$work/log" >"$work/eng.sh"
chmod +x "$work/eng.sh"
echo "$START_FEN" >"$work/start.fen"

fail() { echo "analyze: $*" >&2; echo "--- engine log (tail)" >&2; grep -v "^< I'm" "$work/log" | tail -40 >&2; exit 1; }
now() { date +%s.%N; }
elapsed() { python3 -c "import sys; print('%.2f' % (float(sys.argv[2]) - float(sys.argv[1])))" "$1" "$2"; }
below() { python3 -c "import sys; sys.exit(0 if float(sys.argv[1]) < float(sys.argv[2]) else 1)" "$1" "$2"; }
# lines_after N PATTERN: lines of the relay's log after line N that match.
lines_after() { tail -n +"$(($1 + 1))" "$work/log" 2>/dev/null | grep -c -- "$2"; }
log_lines() { wc -l <"$work/log" 2>/dev/null || echo 0; }
# wait_for N PATTERN [TENTHS]: until a line after line N matches.
wait_for() {
  for _ in $(seq "${3:-100}"); do [ "$(lines_after "$1" "$2")" -gt 0 ] && return 0; sleep 0.1; done
  return 1
}
THINKING='^< [0-9]\+ -\?[0-9]\+ [0-9]\+ [0-9]\+ S'
checks=0
ok() { checks=$((checks + 1)); echo "ok $checks $*"; }

Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 & xv=$!
export DISPLAY=$display
sleep 1
started=$(now)
(cd "$work/eng" && exec /usr/games/xboard -fcp "$work/eng.sh" -fd "$work/eng" \
   -lpf "$work/start.fen" -searchTime 0:$SEARCH_SECONDS -saveSettingsOnExit false \
   -debug -nameOfDebugFile "$work/xboard.debug" >"$work/xboard.out" 2>&1) & xb=$!

window=""
for _ in $(seq 100); do
  window=$(xdotool search --name 'xboard: ' 2>/dev/null | head -1)
  [ -n "$window" ] && break; sleep 0.1
done
[ -n "$window" ] || fail "xboard did not open its window"
wait_for 0 '^< feature .*done=1' 50 || fail "no feature line after protover"
grep -q '^> protover 2' "$work/log" || fail "xboard did not send protover 2"
wait_for 0 '^> setboard ' 100 || fail "the position did not reach the engine through setboard"
ready=$(now)
below "$(elapsed "$started" "$ready")" 5 || fail "the engine was ready only after $(elapsed "$started" "$ready") s"
ok "protocol 2 handshake and setboard $(elapsed "$started" "$ready") s after xboard started"
xdotool windowfocus "$window"; sleep 0.5
key() { xdotool windowfocus "$window"; xdotool key "$1"; }

# Ask the engine for its position through the relay and compare it with xboard's.
same_board() {
  local n ours gui
  n=$(log_lines)
  timeout 5 sh -c "echo getfen > '$work/ctl'" || fail "could not reach the engine"
  wait_for "$n" '^fen< ' 50 || fail "$1: the engine did not answer getfen"
  ours=$(grep '^fen< ' "$work/log" | tail -1 | cut -c6-)
  printf "" | xclip -selection clipboard
  key ctrl+shift+c; sleep 0.5
  gui=$(xclip -o -selection clipboard 2>/dev/null)
  [ "$(echo "$ours" | cut -d' ' -f1-4)" = "$(echo "$gui" | cut -d' ' -f1-4)" ] ||
    fail "$1: boards differ: engine '$ours', xboard '$gui'"
  ok "$1: $ours"
}
same_board "set-up position"

# Machine White with st 30, then Move Now after a second of thinking.
n=$(log_lines)
key ctrl+w
wait_for "$n" "$THINKING" 100 || fail "the engine did not start thinking"
sleep 1
[ "$(lines_after "$n" '^< move ')" -eq 0 ] || fail "the engine moved before Move Now"
asked=$(now)
key ctrl+m
wait_for "$n" '^< move ' 50 || fail "no move after Move Now"
moved=$(now)
grep -q '^> ?$' "$work/log" || fail "xboard did not send ?"
took=$(elapsed "$asked" "$moved")
below "$took" "$MOVE_NOW_LIMIT" || fail "Move Now took $took s"
ok "Move Now ended an st $SEARCH_SECONDS search after $took s: $(grep '^< move ' "$work/log" | tail -1 | cut -c3-)"
sleep 0.5

# Analysis mode: thinking lines for the position on the board, and again after each step.
n=$(log_lines)
key ctrl+a
wait_for "$n" '^> analyze' 50 || fail "xboard did not send analyze"
wait_for "$n" "$THINKING" 100 || fail "no thinking lines in analysis mode"
sleep 1
[ "$(lines_after "$n" '^< move ')" -eq 0 ] || fail "the engine moved while analysing"
ok "analysis of the position after the engine's move"
same_board "analysing"

n=$(log_lines)
key alt+Left
wait_for "$n" '^> undo' 50 || fail "xboard did not send undo"
wait_for "$(($(grep -n '^> undo' "$work/log" | tail -1 | cut -d: -f1)))" "$THINKING" 100 ||
  fail "no analysis after the step back"
ok "analysis follows the step back (undo)"
same_board "after the step back"

n=$(log_lines)
key alt+Right; sleep 0.5
wait_for "$n" '^> \(usermove \)\?[a-h][1-8][a-h][1-8]' 50 || fail "xboard did not send the move again"
step=$(grep -n '^> \(usermove \)\?[a-h][1-8][a-h][1-8]' "$work/log" | tail -1 | cut -d: -f1)
wait_for "$step" "$THINKING" 100 || fail "no analysis after the step forward"
ok "analysis follows the step forward ($(sed -n "${step}p" "$work/log" | cut -c3-))"
same_board "after the step forward"

n=$(log_lines)
key ctrl+e; sleep 1
wait_for "$n" '^> exit' 50 || fail "xboard did not send exit when analysis ended"
sleep 1
m=$(log_lines)
sleep 1
[ "$(lines_after "$m" "$THINKING")" -eq 0 ] || fail "the engine went on thinking after exit"
ok "exit ends the analysis"
grep -q '^< Illegal move\|^< Error' "$work/log" && fail "the engine refused a command"
echo "analyze: $checks checks passed"
