# shellcheck shell=bash
# Shared by the headless xboard scripts (sourced): a scratch directory with the engine's run
# directory, the relay that logs both directions (and takes getfen through a control FIFO),
# a virtual display, and the lookups on the relay's log.
#
#   NAME=takeback; xboard_setup ENGINE    sets work, display, DISPLAY and the cleanup trap
#   start_xboard ARGS...                    xboard on the relay, in the engine's directory
#   find_window                             sets window (fails after ten seconds)
#   same_board WHAT                         the engine's getfen against xboard's position

xboard_setup() {
  local engine=$1 t
  for t in /usr/games/xboard Xvfb xdotool xclip python3; do
    command -v "$t" >/dev/null || { echo "$NAME: $t is missing" >&2; exit 2; }
  done
  [ -x "$engine" ] || { echo "$NAME: no engine at $engine" >&2; exit 2; }
  work=$(mktemp -d)
  display=:$((50 + RANDOM % 200))
  trap xboard_cleanup EXIT
  make_run_dir "$repo" "$work/eng" || exit 2
  mkfifo "$work/ctl"
  cp "$here/relay.py" "$work/relay.py"
  printf '#!/bin/sh\nexec python3 %s %s %s %s\n' "$work/relay.py" "$engine" "$work/ctl" "$work/log" >"$work/eng.sh"
  chmod +x "$work/eng.sh"
  Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 & xv=$!
  export DISPLAY=$display
  sleep 1
}

xboard_cleanup() {
  [ -n "${xb:-}" ] && kill "$xb" 2>/dev/null
  pkill -f "$work/relay" 2>/dev/null
  [ -n "${xv:-}" ] && kill "$xv" 2>/dev/null
  if [ -n "${KEEP:-}" ]; then echo "$NAME: kept $work" >&2; else rm -rf "$work"; fi
}

start_xboard() {
  (cd "$work/eng" && exec /usr/games/xboard -fcp "$work/eng.sh" -fd "$work/eng" "$@" \
     -saveSettingsOnExit false -debug -nameOfDebugFile "$work/xboard.debug" \
     >"$work/xboard.out" 2>&1) & xb=$!
}

fail() { echo "$NAME: $*" >&2; echo "--- engine log (tail)" >&2; grep -v "^< I'm" "$work/log" | tail -40 >&2; exit 1; }

find_window() {
  window=""
  for _ in $(seq 100); do
    window=$(xdotool search --name 'xboard: ' 2>/dev/null | head -1)
    [ -n "$window" ] && return 0; sleep 0.1
  done
  fail "xboard did not open its window"
}

key() { xdotool windowfocus "$window"; xdotool key "$1"; }
# lines_after N PATTERN: lines of the relay's log after line N that match.
lines_after() { tail -n +"$(($1 + 1))" "$work/log" 2>/dev/null | grep -c -- "$2"; }
log_lines() { wc -l <"$work/log" 2>/dev/null || echo 0; }
# wait_for N PATTERN [TENTHS]: until a line after line N matches.
wait_for() {
  for _ in $(seq "${3:-100}"); do [ "$(lines_after "$1" "$2")" -gt 0 ] && return 0; sleep 0.1; done
  return 1
}

checks=0
# same_board WHAT: the engine's getfen and xboard's Copy Position agree on placement, side to
# move, castling and en passant.
same_board() {
  local n ours gui
  n=$(log_lines)
  timeout 5 sh -c "echo getfen > '$work/ctl'" || fail "could not reach the engine"
  wait_for "$n" '^fen< ' 50 || fail "$1: the engine did not answer getfen"
  ours=$(grep '^fen< ' "$work/log" | tail -1 | cut -c6-)
  printf "" | xclip -selection clipboard
  key ctrl+shift+c; sleep 0.5
  gui=$(xclip -o -selection clipboard 2>/dev/null)
  [ -n "$ours" ] && [ -n "$gui" ] || fail "$1: no position (engine '$ours', xboard '$gui')"
  checks=$((checks + 1))
  [ "$(echo "$ours" | cut -d' ' -f1-4)" = "$(echo "$gui" | cut -d' ' -f1-4)" ] ||
    fail "$1: boards differ: engine '$ours', xboard '$gui'"
  echo "ok $checks $1: $ours"
}
