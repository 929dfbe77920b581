#!/usr/bin/env bash
# bench/match.sh: a match of this checkout's vorlak against a Debian engine, refereed by xboard
# through the shared match script; keeps the PGN and appends a summary line to bench/results.md.
#
#   bench/match.sh [-g GAMES] [-t TC] [-i INC] [-p OPENINGS | -f FENS] [-s FIRST] [-e ENGINE]
#                  [-v SQVALUE] [-n NOTE] [-1] [-2] OPPONENT
#
#   OPPONENT   fairymax | phalanx | sjeng | hoichess | glaurung | toga2 (UCI, through polyglot)
#              | vorlak (the same engine binary with this checkout's data/, e.g. against -v)
#              | stockfish | stockfish:LEVEL (Skill Level 0-20)
#              | stockfish@ELO (UCI_Elo 1350-2850) | any xboard engine command line
#   -g         games (default 10); each opening is played twice with colours swapped
#   -t, -i     base time as xboard's -tc (m:ss or minutes, default 0:20) and increment in seconds (0.1)
#   -p         PGN of opening lines (default tests/data/openings.pgn of this checkout)
#   -f         file of FEN positions instead, one a line (xboard sets them up with setboard,
#              or through edit mode with -1)
#   -s         start at opening (or FEN) number FIRST (default 1): a match in slices, e.g.
#              -g 16 then -s 9 -g 84, plays the same games as one -g 100
#   -e         engine binary (default build/vorlak of this checkout); a copy named vorlak-COMMIT
#              (so that rebuilding does not change a running match) is logged under that commit
#   -v         vorlak plays with this square-value file instead of data/sqvalue
#   -n         a note for the summary line (e.g. what changed)
#   -1         vorlak speaks protocol 1 (xboard skips the handshake; by default vorlak answers
#              protocol 2's and is sent positions with setboard)
#   -2         the opponent speaks protocol 1 (only for a command line of your own)
#
# Environment: MATCH_SH (default ../shared/tools/match.sh beside the checkout).
# Writes bench/results/STAMP-OPPONENT.pgn and .list (vorlak's own game list), not committed.
set -u
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
. "$here/lib.sh"

games=10; tc="0:20"; inc=0.1; openings="$repo/tests/data/openings.pgn"
engine="$repo/build/vorlak"; note=""; oppproto=(); ourproto=(); fens=""; first=1; sqvalue=""
match_sh=${MATCH_SH:-$repo/../shared/tools/match.sh}
while getopts "g:t:i:p:f:s:e:v:n:12" o; do
  case $o in
    g) games=$OPTARG;; t) tc=$OPTARG;; i) inc=$OPTARG;; p) openings=$OPTARG;; f) fens=$OPTARG;; s) first=$OPTARG;;
    e) engine=$OPTARG;; v) sqvalue=$OPTARG;; n) note=$OPTARG;; 1) ourproto=(-1);; 2) oppproto=(-2);;
    *) sed -n 2,26p "$0"; exit 2;;
  esac
done
shift $((OPTIND - 1))
[ $# -eq 1 ] || { sed -n 2,26p "$0"; exit 2; }
opponent=$1
# xboard runs in a scratch directory: the start files need absolute paths.
absolute() { case $1 in /*) printf '%s' "$1" ;; *) printf '%s/%s' "$PWD" "$1" ;; esac; }
engine=$(absolute "$engine")

# The opponents' command lines. Their books stay off so that the openings file decides the
# games, and nothing they learn carries over from one match to the next.
case $opponent in
  fairymax) oppcmd=/usr/games/fairymax ;;
  phalanx)  oppcmd="/usr/games/phalanx -b- -l-" ;;     # -b-: no book, -l-: no learning file
  sjeng)    oppcmd=/usr/games/sjeng ;;
  hoichess) oppcmd="/usr/games/hoichess --xboard" ;;
  glaurung) oppcmd="/usr/games/polyglot -noini -ec /usr/games/glaurung -uci Threads=1 -uci OwnBook=false" ;;
  toga2)    oppcmd="/usr/games/polyglot -noini -ec /usr/games/toga2 -uci OwnBook=false" ;;
  stockfish) oppcmd="/usr/games/polyglot -noini -ec /usr/games/stockfish -uci Threads=1" ;;
  stockfish:*) oppcmd="/usr/games/polyglot -noini -ec /usr/games/stockfish -uci Threads=1 -uci \"Skill Level=${opponent#*:}\"" ;;
  vorlak)   oppcmd=$engine; oppproto=("${ourproto[@]/-1/-2}") ;;
  stockfish@*) oppcmd="/usr/games/polyglot -noini -ec /usr/games/stockfish -uci Threads=1 -uci UCI_LimitStrength=true -uci UCI_Elo=${opponent#*@}" ;;
  *) oppcmd=$opponent ;;
esac
[ -x "$engine" ] || { echo "no engine at $engine: build it first" >&2; exit 2; }
openings=$(absolute "$openings")
[ -n "$fens" ] && fens=$(absolute "$fens")
if [ -n "$fens" ]; then
  [ -r "$fens" ] || { echo "no FEN file $fens" >&2; exit 2; }
  startopt=(-f "$fens")
else
  [ -r "$openings" ] || { echo "no openings file $openings" >&2; exit 2; }
  startopt=(-p "$openings")
fi
[ -x "$match_sh" ] || { echo "no match script at $match_sh" >&2; exit 2; }
case $first in ''|*[!0-9]*|0) echo "-s wants an opening number from 1" >&2; exit 2;; esac

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# A later first opening: a copy of the file from that game (or FEN line) on.
if [ "$first" -gt 1 ]; then
  if [ -n "$fens" ]; then
    tail -n +"$first" "$fens" >"$scratch/start.fen"; startopt=(-f "$scratch/start.fen")
  else
    awk -v first="$first" '/^\[Event /{n++} n>=first' "$openings" >"$scratch/start.pgn"
    startopt=(-p "$scratch/start.pgn")
  fi
  [ -s "${startopt[1]}" ] || { echo "no opening number $first" >&2; exit 2; }
fi
make_run_dir "$repo" "$scratch/vorlak" || exit 2
if [ -n "$sqvalue" ]; then
  [ -r "$sqvalue" ] || { echo "no square-value file $sqvalue" >&2; exit 2; }
  cp "$sqvalue" "$scratch/vorlak/sqvalue" || exit 2
fi
# vorlak as the opponent gets a run directory of its own, with the checkout's data.
if [ "$opponent" = vorlak ]; then make_run_dir "$repo" "$scratch/opponent" || exit 2; fi
mkdir -p "$scratch/opponent" "$here/results"

name=$(printf '%s' "${opponent%% *}" | sed 's|.*/||; s/[^A-Za-z0-9._-]/-/g')
stamp=$(date +%Y%m%d-%H%M%S)
pgn="$here/results/$stamp-$name.pgn"
# Two matches started in the same second must not share their files: the list file's name
# is claimed with an exclusive create (the PGN is removed and made again by the match
# script), and the later match adds its process number.
if ! (set -o noclobber; : >"$here/results/$stamp-$name.list") 2>/dev/null; then
  stamp="$stamp-$$"; pgn="$here/results/$stamp-$name.pgn"
fi

PATH="$here/shim:$PATH" "$match_sh" "${ourproto[@]}" "${oppproto[@]}" -a "$engine" -A "$scratch/vorlak" \
  -b "$oppcmd" -B "$scratch/opponent" -g "$games" -t "$tc" -i "$inc" "${startopt[@]}" -o "$pgn" \
  >"$scratch/match.out" 2>&1
rc=$?
cat "$scratch/match.out"
for f in "$scratch"/vorlak/list.*; do [ -e "$f" ] && cat "$f"; done >"$here/results/$stamp-$name.list"

# The Elo comes from the PGN's finished games: match.sh's own count takes the "*" record that
# xboard saves when it is stopped as a game (a win for A when A has Black).
line=$(grep '^A: ' "$scratch/match.out" | tail -n 1)
line=${line:-"no result line (match.sh exit $rc)"}
elo=$(python3 "$here/elo.py" --pgn "$pgn" EngineA 2>/dev/null) || elo="no PGN"
echo "$elo"

case ${engine##*/} in
  vorlak-*) commit=${engine##*/vorlak-} ;;
  *) commit=$(git -C "$repo" rev-parse --short HEAD 2>/dev/null || echo "?")
     git -C "$repo" diff --quiet HEAD -- src CMakeLists.txt 2>/dev/null || commit="$commit+changes" ;;
esac
results="$here/results.md"
if [ ! -e "$results" ]; then
  cat >"$results" <<'EOF'
# Match results

One line per `bench/match.sh` run: vorlak (engine A) against the opponent; the result column is
the shared match script's line, the Elo column vorlak's difference with its 95% margin from the
finished games of the PGN (`bench/elo.py --pgn`). See bench/README.md.

| date | commit | opponent | games | time control | result (vorlak W-L-D) | Elo | note |
|---|---|---|---|---|---|---|---|
EOF
fi
[ -n "$sqvalue" ] && note="${note:+$note; }vorlak with ${sqvalue##*/}"
printf '| %s | %s | %s | %s | %s+%s | %s | %s | %s |\n' "$(date '+%Y-%m-%d %H:%M')" "$commit" \
  "$opponent" "$games" "$tc" "$inc" "$line" "$elo" "$note" >>"$results"
echo "PGN: $pgn; summary appended to $results"
exit $rc
