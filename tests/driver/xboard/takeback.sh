#!/usr/bin/env bash
# takeback.sh: plays vorlak inside the real xboard (headless, driven by xdotool) and takes moves
# back the way a player does: Retract Move (xboard sends "remove") and Edit Game + Backward
# (xboard sends "undo" in force mode). After each step the engine's getfen must agree with the
# position xboard shows (Copy Position read back from the clipboard).
#
#   tests/driver/xboard/takeback.sh [ENGINE]      (default: build/vorlak of this checkout)
#
# Needs: apt-get install -y xboard xvfb xdotool xclip python3. Not part of ctest (it needs X).
# Prints one line per check and "takeback: N checks, all boards equal" at the end; exits 1 on
# the first difference.
set -u
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../../.." && pwd)
engine=${1:-$repo/build/vorlak}
. "$repo/bench/lib.sh"
. "$here/lib.sh"
NAME=takeback
xboard_setup "$engine"
start_xboard -firstProtocolVersion 1 -searchTime 0:01
find_window
xdotool windowfocus "$window"; sleep 0.5

# count PATTERN: lines of the relay's log that match (0 before the log exists).
count() { local n; n=$(grep -c "$1" "$work/log" 2>/dev/null); echo "${n:-0}"; }
moves() { count '^< move '; }
sent() { count "^> $1\$"; }
# engine_plays KEY: ctrl+w / ctrl+b hands the side to move to the engine; wait for its move.
engine_plays() {
  local before; before=$(moves)
  key "$1"
  for _ in $(seq 100); do [ "$(moves)" -gt "$before" ] && { sleep 0.5; return 0; }; sleep 0.1; done
  fail "no move after $1"
}

# Engine against itself through mode switches: ten plies out of the book and into the search.
for _ in 1 2 3 4 5; do engine_plays ctrl+w; engine_plays ctrl+b; done
same_board "after ten plies"

# Retract Move at White's turn (engine is Black): xboard sends "remove".
removes=$(sent remove)
key ctrl+x; sleep 1
[ "$(sent remove)" -gt "$removes" ] || fail "xboard did not send remove"
same_board "after Retract Move (remove)"
engine_plays ctrl+w; engine_plays ctrl+b
same_board "after playing on"
key ctrl+x; sleep 1; key ctrl+x; sleep 1
same_board "after two more Retract Moves"

# Edit Game, step back three plies (xboard sends "undo" in force mode), play on from there.
undos=$(sent undo)
key ctrl+e; sleep 0.5
for _ in 1 2 3; do key alt+Left; sleep 0.4; done
same_board "after Edit Game and three Backward steps"
engine_plays ctrl+b
same_board "after the engine played on from there"
engine_plays ctrl+w; engine_plays ctrl+b
same_board "after two more plies"
echo "takeback: xboard sent remove $(( $(sent remove) )) times, undo $(( $(sent undo) - undos )) times"
grep -q '^< Illegal move\|^< illegal move' "$work/log" && fail "the engine refused a move"
echo "takeback: $checks checks, all boards equal"
