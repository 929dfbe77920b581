#!/usr/bin/env bash
# bench/gauntlet.sh: the UCI gauntlet of the strength report, one fastchess match after the
# other (each appends its line to bench/results.md).
#
#   bench/gauntlet.sh [-g GAMES] [-t TC] [OPPONENT...]
#
# Defaults: 100 games each at 10+0.1 against glaurung, toga2 and stockfish@2000; any
# opponent bench/fastchess.sh knows can be named instead.
set -u
here=$(cd "$(dirname "$0")" && pwd)
games=100; tc=10+0.1
while getopts "g:t:" o; do
  case $o in g) games=$OPTARG;; t) tc=$OPTARG;; *) sed -n 2,9p "$0"; exit 2;; esac
done
shift $((OPTIND - 1))
[ $# -gt 0 ] || set -- glaurung toga2 stockfish@2000
status=0
for opponent in "$@"; do
  "$here/fastchess.sh" -g "$games" -t "$tc" -n "gauntlet" "$opponent" | tail -n 3 || status=1
done
exit $status
