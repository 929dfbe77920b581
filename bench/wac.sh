#!/usr/bin/env bash
# bench/wac.sh: this checkout's vorlak over EPD test suites (default: Win At Chess).
#
#   bench/wac.sh [-t SECONDS | --depth D] [-n COUNT] [--cmd CMD]... [--timeout S] [-e ENGINE] [-q] [EPD...]
#
# Prints one line per position, then solved/total, the failures, the nodes and nodes per second;
# with --depth also the mates found against the suite's dm. See bench/README.md.
# Needs node; chess.js (SAN to coordinates) is installed once into ~/.cache/vorlak-bench.
set -u
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
. "$here/lib.sh"

cache=${XDG_CACHE_HOME:-$HOME/.cache}/vorlak-bench
if [ ! -e "$cache/node_modules/chess.js/package.json" ]; then
  mkdir -p "$cache" && npm install --prefix "$cache" --no-audit --no-fund --silent chess.js >&2 \
    || { echo "cannot install chess.js into $cache" >&2; exit 2; }
fi

engine="$repo/build/vorlak"
args=()
while [ $# -gt 0 ]; do
  case $1 in
    -e|--engine) engine=$2; shift 2 ;;
    *) args+=("$1"); shift ;;
  esac
done
[ -x "$engine" ] || { echo "no engine at $engine: build it first" >&2; exit 2; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
make_run_dir "$repo" "$scratch/vorlak" || exit 2
CHESSJS="$cache/node_modules/chess.js" node "$here/epd_suite.js" --engine "$engine" \
  --dir "$scratch/vorlak" "${args[@]}"
