#!/usr/bin/env bash
# bench/gauntlet.sh: the UCI gauntlet of the strength report, one fastchess match after the
# other (each appends its line to bench/results.md).
#
#   bench/gauntlet.sh [-g GAMES] [-t TC] [-s FIRST] [-n NOTE] [OPPONENT...]
#
# Defaults: 200 games each at 10+0.1 against glaurung, toga2 and Stockfish limited to
# UCI_Elo 1800, 2000, 2200 and 2400; any opponent bench/fastchess.sh knows can be named
# instead. -s starts each match at opening FIRST: a slice of a gauntlet cut by a session's end.
set -u
here=$(cd "$(dirname "$0")" && pwd)
games=200; tc=10+0.1; first=1; note=gauntlet
while getopts "g:t:s:n:" o; do
  case $o in
    g) games=$OPTARG;; t) tc=$OPTARG;; s) first=$OPTARG;; n) note=$OPTARG;;
    *) sed -n 2,9p "$0"; exit 2;;
  esac
done
shift $((OPTIND - 1))
[ $# -gt 0 ] || set -- glaurung toga2 stockfish@1800 stockfish@2000 stockfish@2200 stockfish@2400
status=0
for opponent in "$@"; do
  "$here/fastchess.sh" -g "$games" -t "$tc" -s "$first" -n "$note" "$opponent" | tail -n 3 || status=1
done
exit $status
