#!/usr/bin/env bash
# Builds the .deb, runs lintian on it, installs it, lets the real xboard (headless) pick vorlak
# from its engine list and play one game against Fair-Max, then removes the package again.
# Needs root, xboard, xvfb and fairymax; refuses to run when vorlak is installed already.
#
# usage: packaging/check-deb.sh [BUILD_DIR]    (default: build)
set -u
build=$(cd "${1:-build}" && pwd) || exit 2
if dpkg -s vorlak > /dev/null 2>&1; then
  echo "check-deb: vorlak is installed already; remove it first" >&2
  exit 2
fi
for tool in /usr/games/xboard /usr/games/fairymax xvfb-run; do
  command -v "$tool" > /dev/null || { echo "check-deb: $tool missing" >&2; exit 2; }
done
work=$(mktemp -d /tmp/vorlak-deb-XXXXXX)
installed=0
cleanup() {
  [ "$installed" = 1 ] && apt-get purge -y -q vorlak > "$work/remove.log" 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

echo "== cpack"
(cd "$build" && rm -f vorlak_*.deb && cpack -G DEB > "$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$build"/vorlak_*.deb)
echo "$deb: $(du -k "$deb" | cut -f1) kB"
if command -v lintian > /dev/null; then
  echo "== lintian (errors, warnings, info, pedantic)"
  lintian -I --pedantic "$deb" 2>&1 | grep -v '^running with root' || echo "(no tags)"
fi

echo "== apt install"
apt-get install -y -q "$deb" > "$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
installed=1
dpkg -s vorlak | grep -E '^(Status|Version|Depends)'

# xboard keeps its settings where -settingsFile says; one of our own, dated before the
# installation, plays the part of a user who ran xboard before installing vorlak.
settings=$work/xboardrc
: > "$settings"
touch -d 2000-01-01 "$settings"
export HOME=$work/home   # the launcher makes its data directory here
mkdir "$HOME"
export PATH=/usr/local/bin:/usr/bin:/bin:/usr/games

# Starts xboard headless in the background with the given options; sets $runner.
start_xboard() {
  (cd "$work" && exec xvfb-run -a /usr/games/xboard -noGUI -settingsFile "$settings" \
    -saveSettingsFile "$settings" "$@" > "$work/xboard.out" 2>&1) &
  runner=$!
}
# Ends the xboard started by start_xboard (it does not always leave by itself after a match).
stop_xboard() {
  local xb
  xb=$(pgrep -P "$runner" -x xboard)   # $runner is xvfb-run, xboard its child
  [ -n "$xb" ] && kill -TERM "$xb"
  wait "$runner" 2> /dev/null
}

echo "== first xboard start: the engine list"
start_xboard -ncp -saveSettingsOnExit true
sleep 4
stop_xboard   # xboard saves its settings, with the engines it has added, as it leaves
grep -i vorlak "$settings" || { echo "FAIL: vorlak is not in xboard's engine list"; exit 1; }

echo "== a game: xboard -fe vorlak -scp fairymax -tc 0:10 -mg 1"
pgn=$work/game.pgn
start_xboard -fe vorlak -scp fairymax -tc 0:10 -mg 1 -xponder \
  -saveSettingsOnExit false -sgf "$pgn" -debug -nameOfDebugFile "$work/xboard.debug"
for _ in $(seq 150); do
  grep -q '^\[Result "\(1-0\|0-1\|1/2-1/2\)"' "$pgn" 2> /dev/null && break
  sleep 2
done
sleep 1
stop_xboard
grep 'StartChildProcess' "$work/xboard.debug"
sed -n '/^\[White/p; /^\[Black/p; /^\[Result/p' "$pgn"
grep -o '{[^}]*} *\(1-0\|0-1\|1/2-1/2\)$' "$pgn" || true
echo "vorlak's book moves: $(grep -c '<first : tellics kibitz book move' "$work/xboard.debug")"
ls "$HOME/.local/share/vorlak"
grep -q '^\[Result "\(1-0\|0-1\|1/2-1/2\)"' "$pgn" || { echo "FAIL: no game result"; exit 1; }

echo "== apt purge"
apt-get purge -y -q vorlak > "$work/remove.log" 2>&1 || { cat "$work/remove.log"; exit 1; }
installed=0
left=$(ls -d /usr/games/vorlak /usr/games/tbgen /usr/libexec/vorlak /usr/share/vorlak \
  /usr/share/games/plugins/xboard/vorlak.eng /usr/share/doc/vorlak 2> /dev/null)
[ -z "$left" ] || { echo "FAIL: left behind: $left"; exit 1; }
dpkg -s vorlak > /dev/null 2>&1 && { echo "FAIL: still known to dpkg"; exit 1; }
echo "removed cleanly"
