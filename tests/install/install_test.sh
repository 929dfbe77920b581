#!/usr/bin/env bash
# Installs the build tree into a scratch prefix and uses the installed launcher as a new
# user would, with a scratch HOME: the data directory and its defaults, settings kept
# across starts, a short game, the arguments, xboard's registration and the manual pages.
#
# usage: install_test.sh CMAKE BUILD_DIR SOURCE_DIR
set -u
cmake=$1 build=$2 source=$3
work=$(mktemp -d /tmp/vorlak-install-XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect() {  # expect DESCRIPTION COMMAND...: the command must succeed
  local what=$1; shift
  "$@" || fail "$what"
}

prefix=$work/prefix
if ! "$cmake" --install "$build" --prefix "$prefix" > "$work/install.log" 2>&1; then
  cat "$work/install.log"
  echo "FAIL: cmake --install"
  exit 1
fi
bin=$prefix/games
share=$prefix/share/vorlak

# --- what was installed
for f in games/vorlak games/tbgen games/tbprobe games/tbcompress games/bookgen libexec/vorlak/vorlak; do
  expect "$f is an installed program" test -x "$prefix/$f"
done
for f in vorlak.cfg sqvalue; do
  expect "share/vorlak/$f is data/$f" cmp -s "$source/data/$f" "$share/$f"
done
for f in white black white.bin black.bin; do  # the books go along whenever they exist
  if [ -e "$source/data/$f" ]; then
    expect "share/vorlak/$f is data/$f" cmp -s "$source/data/$f" "$share/$f"
  else
    expect "no share/vorlak/$f without data/$f" test ! -e "$share/$f"
  fi
done
expect "no list files among the defaults" test -z "$(ls "$share" | grep '^list\.')"

eng=$prefix/share/games/plugins/xboard/vorlak.eng
expect "vorlak.eng installed" test -f "$eng"
expect "vorlak.eng starts with the plugin line" test "$(sed -n 1p "$eng")" = "plugin spec 0.0"
expect "vorlak.eng starts the installed launcher from the data directory" \
  test "$(sed -n 2p "$eng")" = "cd $share; $bin/vorlak"
expect "vorlak.eng plays chess" test "$(sed -n 3p "$eng")" = "chess"
logo=$prefix/share/games/plugins/logos/vorlak.png
expect "logo is a PNG" test "$(head -c 8 "$logo" | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a"

for page in vorlak tbgen tbprobe tbcompress bookgen; do
  file=$prefix/share/man/man6/$page.6.gz
  [ -e "$file" ] || file=$prefix/share/man/man6/$page.6
  expect "manual page $page(6) installed" test -f "$file"
  if command -v man > /dev/null && command -v groff > /dev/null; then
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$file" 2>&1 > /dev/null)
    expect "man -l $page.6 without warnings: $warnings" test -z "$warnings"
    expect "man -l $page.6 renders" test -n "$(MANWIDTH=80 man -l "$file" 2> /dev/null | grep -i "^NAME")"
  fi
done
command -v man > /dev/null && command -v groff > /dev/null || echo "note: man or groff missing, pages not rendered"

# --- the launcher with a new user's empty HOME
home=$work/home
mkdir "$home"
data=$home/.local/share/vorlak
run() {  # run INPUT [ARGS...]: the launcher with the scratch HOME; output in $out, status in $status
  local input=$1; shift
  out=$(cd "$work" && printf '%b' "$input" | env -u XDG_DATA_HOME HOME="$home" timeout -k 5 60 "$bin/vorlak" "$@" 2> "$work/err")
  status=$?
  err=$(cat "$work/err")
}

run "" --version
expect "--version prints the version" test "$out" = "vorlak version 070722"
expect "--version succeeds" test "$status" = 0
run "" --help
expect "--help prints usage" test "${out%%$'\n'*}" = "usage: vorlak [--help | --version | bench [DEPTH]]"
run "quit\n" --hash 4
expect "other arguments are refused with status 2" test "$status" = 2
expect "and one line on stderr" test "$(printf '%s\n' "$err" | wc -l)" = 1 -a -n "$err"
expect "arguments make no data directory" test ! -e "$home/.local"

run "xboard\nnew\nsd 2\ne2e4\nd2d4\nc2c3\nquit\n"
expect "the first game ends with quit (status $status)" test "$status" = 0
expect "the engine answered every move" test "$(printf '%s\n' "$out" | grep -c '^move ')" = 3
if [ -e "$share/black.bin" ]; then  # the engine has Black: its first reply to 1. e4 is booked
  expect "the copied book is played from" grep -q "^tellics kibitz book move" <<< "$out"
fi
for f in vorlak.cfg sqvalue white black white.bin black.bin; do
  if [ -e "$share/$f" ]; then
    expect "first start copies $f" cmp -s "$share/$f" "$data/$f"
  fi
done
expect "the day's list file is written in the data directory" test -n "$(ls "$data" | grep '^list\.')"

# A changed vorlak.cfg is kept and used; a deleted default comes back.
sed -i 's/^hashsize .*/hashsize 2/' "$data/vorlak.cfg"
echo "# mine" >> "$data/vorlak.cfg"
cp "$data/vorlak.cfg" "$work/edited.cfg"
rm "$data/sqvalue"
run "quit\n"
expect "second start keeps the edited vorlak.cfg" cmp -s "$work/edited.cfg" "$data/vorlak.cfg"
expect "and uses it" grep -q "^hash table size: 2 MBytes.$" <<< "$out"
expect "a deleted default is copied again" cmp -s "$share/sqvalue" "$data/sqvalue"
expect "no temporary files left" test -z "$(ls -A "$data" | grep '^\.')"

# XDG_DATA_HOME, when absolute, takes the place of ~/.local/share.
out=$(cd "$work" && echo quit | HOME="$home" XDG_DATA_HOME="$work/xdg" "$bin/vorlak" 2>&1)
expect "XDG_DATA_HOME/vorlak is used" test -f "$work/xdg/vorlak/vorlak.cfg"
out=$(cd "$work" && echo quit | HOME="$work/home2" XDG_DATA_HOME=relative "$bin/vorlak" 2>&1)
expect "a relative XDG_DATA_HOME is ignored" test -f "$work/home2/.local/share/vorlak/vorlak.cfg" -a ! -e "$work/relative"

# Directories among the defaults (installed tablebases) are linked, not copied.
mkdir "$share/tb" && touch "$share/tb/kqk.nbw.emd"
run "quit\n"
expect "installed tablebases are linked" test -L "$data/tb" -a -e "$data/tb/kqk.nbw.emd"
rm -r "$share/tb"

# The installed tree can be moved, and the launcher reached through a link.
mv "$prefix" "$work/moved"
mkdir "$work/links" && ln -s "$work/moved/games/vorlak" "$work/links/vorlak"
rm -r "$data"
out=$(cd "$work" && echo quit | env -u XDG_DATA_HOME HOME="$home" "$work/links/vorlak" 2>&1)
expect "a moved installation started through a link still starts (output: ${out:0:200})" \
  grep -q "^vorlak version 070722$" <<< "$out"
expect "and fills the data directory" cmp -s "$work/moved/share/vorlak/vorlak.cfg" "$data/vorlak.cfg"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "install test passed"
