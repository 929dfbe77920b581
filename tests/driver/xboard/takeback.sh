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
for t in /usr/games/xboard Xvfb xdotool xclip python3; do
  command -v "$t" >/dev/null || { echo "takeback: $t is missing" >&2; exit 2; }
done
[ -x "$engine" ] || { echo "takeback: no engine at $engine" >&2; exit 2; }

work=$(mktemp -d)
display=:$((50 + RANDOM % 200))
cleanup() {
  [ -n "${xb:-}" ] && kill "$xb" 2>/dev/null
  pkill -f "$work/relay" 2>/dev/null
  [ -n "${xv:-}" ] && kill "$xv" 2>/dev/null
  if [ -n "${KEEP:-}" ]; then echo "takeback: kept $work" >&2; else rm -rf "$work"; fi
}
trap cleanup EXIT
make_run_dir "$repo" "$work/eng" || exit 2
mkfifo "$work/ctl"
cp "$here/relay.py" "$work/relay.py"
printf '#!/bin/sh\nexec python3 %s %s %s %s\n' "$work/relay.py" "$engine" "$work/ctl" "$work/log" >"$work/eng.sh"
chmod +x "$work/eng.sh"

Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 & xv=$!
export DISPLAY=$display
sleep 1
(cd "$work/eng" && exec /usr/games/xboard -fcp "$work/eng.sh" -fd "$work/eng" -firstProtocolVersion 1 \
   -searchTime 0:01 -saveSettingsOnExit false -debug -nameOfDebugFile "$work/xboard.debug" \
   >"$work/xboard.out" 2>&1) & xb=$!

fail() { echo "takeback: $*" >&2; echo "--- engine log (tail)" >&2; grep -v "^< I'm" "$work/log" | tail -40 >&2; exit 1; }
window=""
for _ in $(seq 50); do
  window=$(xdotool search --name 'xboard: ' 2>/dev/null | head -1)
  [ -n "$window" ] && break; sleep 0.2
done
[ -n "$window" ] || fail "xboard did not open its window"
xdotool windowfocus "$window"; sleep 0.5

# count PATTERN: lines of the relay's log that match (0 before the log exists).
count() { local n; n=$(grep -c "$1" "$work/log" 2>/dev/null); echo "${n:-0}"; }
moves() { count '^< move '; }
sent() { count "^> $1\$"; }
key() { xdotool windowfocus "$window"; xdotool key "$1"; }
# engine_plays KEY: ctrl+w / ctrl+b hands the side to move to the engine; wait for its move.
engine_plays() {
  local before; before=$(moves)
  key "$1"
  for _ in $(seq 100); do [ "$(moves)" -gt "$before" ] && { sleep 0.5; return 0; }; sleep 0.1; done
  fail "no move after $1"
}
checks=0
# same_board WHAT: the engine's getfen and xboard's Copy Position agree on placement, side to
# move, castling and en passant (move counters are compared too, as a note).
same_board() {
  local before ours gui
  before=$(count '^fen< ')
  timeout 5 sh -c "echo getfen > '$work/ctl'" || fail "could not reach the engine"
  for _ in $(seq 50); do [ "$(count '^fen< ')" -gt "$before" ] && break; sleep 0.1; done
  ours=$(grep '^fen< ' "$work/log" | tail -1 | cut -c6-)
  printf "" | xclip -selection clipboard
  key ctrl+shift+c; sleep 0.5
  gui=$(xclip -o -selection clipboard 2>/dev/null)
  [ -n "$ours" ] && [ -n "$gui" ] || fail "$1: no position (engine '$ours', xboard '$gui')"
  checks=$((checks + 1))
  if [ "$(echo "$ours" | cut -d' ' -f1-4)" != "$(echo "$gui" | cut -d' ' -f1-4)" ]; then
    fail "$1: boards differ: engine '$ours', xboard '$gui'"
  fi
  echo "ok $checks $1: $ours"
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
