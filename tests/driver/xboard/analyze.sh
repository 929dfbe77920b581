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
. "$here/lib.sh"
NAME=analyze

# Out of every book: the engine has to search.
START_FEN="r1bq1rk1/pp2bppp/2n1pn2/2pp4/3P4/2PBPN2/PP1N1PPP/R1BQK2R w KQ - 2 8"
# st 30: only Move Now can make the engine move within a second.
SEARCH_SECONDS=30
MOVE_NOW_LIMIT=1.0
THINKING='^< [0-9]\+ -\?[0-9]\+ [0-9]\+ [0-9]\+ S'

now() { date +%s.%N; }
elapsed() { python3 -c "import sys; print('%.2f' % (float(sys.argv[2]) - float(sys.argv[1])))" "$1" "$2"; }
below() { python3 -c "import sys; sys.exit(0 if float(sys.argv[1]) < float(sys.argv[2]) else 1)" "$1" "$2"; }
ok() { checks=$((checks + 1)); echo "ok $checks $*"; }

xboard_setup "$engine"
echo "$START_FEN" >"$work/start.fen"
started=$(now)
start_xboard -lpf "$work/start.fen" -searchTime 0:$SEARCH_SECONDS
find_window
wait_for 0 '^< feature .*done=1' 50 || fail "no feature line after protover"
grep -q '^> protover 2' "$work/log" || fail "xboard did not send protover 2"
wait_for 0 '^> setboard ' 100 || fail "the position did not reach the engine through setboard"
ready=$(now)
below "$(elapsed "$started" "$ready")" 5 || fail "the engine was ready only after $(elapsed "$started" "$ready") s"
ok "protocol 2 handshake and setboard $(elapsed "$started" "$ready") s after xboard started"
xdotool windowfocus "$window"; sleep 0.5
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
