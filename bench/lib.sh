# shellcheck shell=bash
# Shared by bench/match.sh and bench/wac.sh (sourced, not run).

# make_run_dir REPO DIR: a working directory for the engine in DIR, so that the list files it
# writes (list.MMDDYY) and any books a command rewrites stay out of the checkout. Copies the
# files of REPO/data, links the tablebases, which are made first if they are missing.
make_run_dir() {
  local repo=$1 dir=$2 f
  if [ ! -d "$repo/data/tb" ] || [ -z "$(ls -A "$repo/data/tb" 2>/dev/null)" ]; then
    echo "making the endgame tablebases once (about a minute): $repo/data/tb" >&2
    "$repo/build/tbgen" -q --all 4 --compress "$repo/data/tb" >&2 || return 1
  fi
  mkdir -p "$dir" || return 1
  for f in "$repo"/data/*; do
    case ${f##*/} in
      tb) ln -s "$f" "$dir/tb" ;;
      list.*) ;;
      *) cp -r "$f" "$dir/" ;;
    esac
  done
}
