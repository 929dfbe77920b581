#!/usr/bin/env bash
# bench/fastchess.sh: a match of this checkout's vorlak (UCI) against a UCI engine, or against
# itself with another square-value file, run by fastchess; keeps the PGN and appends a summary
# line to bench/results.md.
#
#   bench/fastchess.sh [-g GAMES] [-t TC] [-c CONCURRENCY] [-s FIRST] [-e ENGINE] [-v SQVALUE]
#                      [-S "ELO0 ELO1"] [-N NODES] [-p OPENINGS] [-n NOTE] OPPONENT
#
#   OPPONENT   glaurung | toga2 | stockfish | stockfish@ELO (UCI_LimitStrength, UCI_Elo)
#              | vorlak (the same binary with this checkout's data/: the shipped values, for -v)
#              | any UCI engine command (no arguments)
#   -g         games (default 100); each opening is played twice with colours swapped
#   -t         fastchess time control, seconds+increment (default 10+0.1)
#   -c         games at once (default 2, one per core)
#   -s         start at opening FIRST of the file (default 1): slices of one long match;
#              bench/sprt.py sums the slices of an SPRT
#   -e         engine binary (default build/vorlak); copied as vorlak-COMMIT for the run
#   -v         vorlak plays with this square-value file instead of data/sqvalue
#   -V         the opponent vorlak plays with this one (a candidate against the last one)
#   -S         SPRT bounds in Elo (alpha = beta = 0.05); the match stops when it decides
#   -P         the pair counts of the SPRT's earlier slices ("LL,LD,D,WD,WW ..." as logged
#              in bench/results.md): this slice stops when the test over all of them decides
#   -N         both engines search a fixed number of nodes a move (instead of a clock)
#   -p         openings, a PGN (default ../shared/data/openings.pgn, else tests/data/openings.pgn)
#   -n         a note for the summary line
#
# Environment: FASTCHESS (default: what ../shared/tools/fastchess/build.sh prints).
# Writes bench/results/STAMP-OPPONENT-fc.pgn and fastchess's output as .log (not committed).
set -u
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
. "$here/lib.sh"

games=100; tc="10+0.1"; concurrency=2; first=1; engine="$repo/build/vorlak"; sqvalue=""; oppsqvalue=""
sprt=""; earlier=""; nodes=""; note=""
openings="$repo/../shared/data/openings.pgn"
[ -r "$openings" ] || openings="$repo/tests/data/openings.pgn"
usage() { sed -n 2,28p "$0"; exit 2; }
while getopts "g:t:c:s:e:v:V:S:P:N:p:n:" o; do
  case $o in
    g) games=$OPTARG;; t) tc=$OPTARG;; c) concurrency=$OPTARG;; s) first=$OPTARG;;
    e) engine=$OPTARG;; v) sqvalue=$OPTARG;; V) oppsqvalue=$OPTARG;; S) sprt=$OPTARG;; P) earlier=$OPTARG;; N) nodes=$OPTARG;;
    p) openings=$OPTARG;; n) note=$OPTARG;; *) usage;;
  esac
done
shift $((OPTIND - 1))
[ $# -eq 1 ] || usage
opponent=$1
absolute() { case $1 in /*) printf '%s' "$1" ;; *) printf '%s/%s' "$PWD" "$1" ;; esac; }
engine=$(absolute "$engine"); openings=$(absolute "$openings")
[ -x "$engine" ] || { echo "no engine at $engine: build it first" >&2; exit 2; }
[ -r "$openings" ] || { echo "no openings file $openings" >&2; exit 2; }
case $first in ''|*[!0-9]*|0) echo "-s wants an opening number from 1" >&2; exit 2;; esac
fastchess=${FASTCHESS:-}
if [ -z "$fastchess" ]; then
  fastchess=$("$repo/../shared/tools/fastchess/build.sh") || { echo "no fastchess" >&2; exit 2; }
fi

# The opponents. Their own books stay off so that the openings decide the games.
oppopts=()
case $opponent in
  glaurung)    oppcmd=/usr/games/glaurung; oppopts=(option.Threads=1 option.OwnBook=false) ;;
  toga2)       oppcmd=/usr/games/toga2; oppopts=(option.OwnBook=false) ;;
  stockfish)   oppcmd=/usr/games/stockfish; oppopts=(option.Threads=1) ;;
  stockfish@*) oppcmd=/usr/games/stockfish
               oppopts=(option.Threads=1 option.UCI_LimitStrength=true "option.UCI_Elo=${opponent#*@}") ;;
  vorlak)      oppcmd=$engine ;;
  *)           oppcmd=$(absolute "$opponent") ;;
esac

case ${engine##*/} in
  vorlak-*) commit=${engine##*/vorlak-} ;;
  *) commit=$(git -C "$repo" rev-parse --short HEAD 2>/dev/null || echo "?")
     git -C "$repo" diff --quiet HEAD -- src CMakeLists.txt 2>/dev/null || commit="$commit+changes" ;;
esac
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# A copy of the binary, so that a rebuild during the match changes nothing.
cp "$engine" "$scratch/vorlak-$commit" && engine="$scratch/vorlak-$commit"
[ "$opponent" = vorlak ] && oppcmd=$engine
if [ "$first" -gt 1 ]; then
  # Rotated, not cut: a long slice still goes round every opening.
  awk -v first="$first" '/^\[Event /{n++} n>=first' "$openings" >"$scratch/start.pgn"
  awk -v first="$first" '/^\[Event /{n++} n<first' "$openings" >>"$scratch/start.pgn"
  [ -s "$scratch/start.pgn" ] || { echo "no opening number $first" >&2; exit 2; }
  openings="$scratch/start.pgn"
fi
make_run_dir "$repo" "$scratch/vorlak" || exit 2
if [ -n "$sqvalue" ]; then
  [ -r "$sqvalue" ] || { echo "no square-value file $sqvalue" >&2; exit 2; }
  cp "$sqvalue" "$scratch/vorlak/sqvalue" || exit 2
fi
mkdir -p "$scratch/opponent" "$here/results"
[ "$opponent" = vorlak ] && { make_run_dir "$repo" "$scratch/opponent" || exit 2; }
if [ -n "$oppsqvalue" ]; then
  [ "$opponent" = vorlak ] || { echo "-V is for vorlak against vorlak" >&2; exit 2; }
  [ -r "$oppsqvalue" ] || { echo "no square-value file $oppsqvalue" >&2; exit 2; }
  cp "$oppsqvalue" "$scratch/opponent/sqvalue" || exit 2
fi

slug() { printf '%s' "${1##*/}" | sed 's/[^A-Za-z0-9@._-]/-/g'; }
name=$(slug "$opponent")
# vorlak against vorlak: the opponent is the one with the shipped data.
[ "$opponent" = vorlak ] && name=vorlak-shipped
[ -n "$oppsqvalue" ] && name=vorlak-$(slug "$oppsqvalue")
stamp=$(date +%Y%m%d-%H%M%S)-$$
pgn="$here/results/$stamp-$name-fc.pgn"
log="$here/results/$stamp-$name-fc.log"
limit=("tc=$tc")
[ -n "$nodes" ] && limit=("tc=3600+1" "nodes=$nodes")
sprtopt=()
if [ -n "$sprt" ]; then
  read -r elo0 elo1 <<<"$sprt"
  sprtopt=(-sprt "elo0=$elo0" "elo1=$elo1" alpha=0.05 beta=0.05)
fi
cmd=("$fastchess" -engine "cmd=$engine" "dir=$scratch/vorlak" name=vorlak
     -engine "cmd=$oppcmd" "dir=$scratch/opponent" "name=$name" "${oppopts[@]}"
     -each "${limit[@]}" -openings "file=$openings" format=pgn order=sequential
     -rounds $(((games + 1) / 2)) -games 2 -repeat -concurrency "$concurrency" "${sprtopt[@]}"
     -ratinginterval 20 -pgnout "file=$pgn")
echo "${cmd[*]}" >"$log"
sprtargs=()
if [ -n "$earlier" ]; then
  [ -n "$sprt" ] || { echo "-P continues an SPRT: give its bounds with -S" >&2; exit 2; }
  sprtargs=(--elo0 "$elo0" --elo1 "$elo1")
  for p in $earlier; do sprtargs+=(--pairs "$p"); done
  python3 "$here/sprt.py" "${sprtargs[@]}" >/dev/null || exit 2
  # fastchess knows only this slice: watch the whole test and stop the slice when it decides
  # (SIGINT, so that fastchess still writes its summary).
  ( while sleep 20; do
      pgrep -f -- "-pgnout file=$pgn" >/dev/null || break
      grep -q '^Ptnml' "$log" || continue
      if python3 "$here/sprt.py" "${sprtargs[@]}" "$log" | tail -n 1 | grep -q accepted; then
        pkill -INT -f -- "-pgnout file=$pgn"; break
      fi
    done ) &
fi
# fastchess saves its state as config.json in its working directory: the scratch one.
(cd "$scratch" && "${cmd[@]}") 2>&1 | tee -a "$log"

# W-L-D of vorlak over the finished games, and the games it lost by a fault.
counts=$(python3 - "$pgn" <<'EOF'
import re, sys
text = open(sys.argv[1], encoding="latin-1").read()
w = l = d = 0
for game in re.split(r"\n(?=\[Event )", text):
    r = re.search(r'\[Result "([^"]*)"\]', game)
    if not r or r.group(1) not in ("1-0", "0-1", "1/2-1/2"):
        continue
    white = '[White "vorlak"]' in game
    if r.group(1) == "1/2-1/2": d += 1
    elif (r.group(1) == "1-0") == white: w += 1
    else: l += 1
print(w, l, d)
EOF
) || counts="0 0 0"
read -r w l d <<<"$counts"
faults=$(python3 "$here/elo.py" --faults "$pgn" vorlak 2>/dev/null || echo "no PGN")
elo=$(python3 "$here/elo.py" "$w" "$l" "$d")
# The last LLR and, when the test ended, its verdict.
# The pair counts too: bench/sprt.py --pairs sums them with the next slices'.
sprtline=$( (grep -E '^LLR' "$log" | tail -n 1
             grep -E '^SPRT' "$log" | tail -n 1
             grep -E '^Ptnml' "$log" | tail -n 1 |
               sed -E 's/^Ptnml\(0-2\): \[([0-9, ]*)\].*/pairs \1/; s/, /,/g') | tr '\n' ' ' | sed 's/ *$//')
line="vorlak $w-$l-$d of $((w + l + d)), $faults"
echo "$line; $elo"
what=$tc; [ -n "$nodes" ] && what="$nodes nodes"
[ -n "$sqvalue" ] && note="${note:+$note; }vorlak with ${sqvalue##*/}"
[ -n "$oppsqvalue" ] && note="${note:+$note; }opponent with ${oppsqvalue##*/}"
[ -n "$sprt" ] && note="${note:+$note; }SPRT [$elo0, $elo1]: ${sprtline:-undecided}"
if [ ${#sprtargs[@]} -gt 0 ] && grep -q '^Ptnml' "$log"; then
  note="$note; with the earlier slices: $(python3 "$here/sprt.py" "${sprtargs[@]}" "$log" | tail -n 1)"
fi
[ "$first" -gt 1 ] && note="${note:+$note; }openings from $first"
printf '| %s | %s | %s (fastchess, UCI) | %s | %s | %s | %s | %s |\n' "$(date '+%Y-%m-%d %H:%M')" \
  "$commit" "$opponent" "$((w + l + d))" "$what" "$line" "$elo" "$note" >>"$here/results.md"
echo "PGN: $pgn; summary appended to $here/results.md"
