#!/usr/bin/env python3
"""soak.py PGN...: the soak count over matches from bench/match.sh.

For each PGN (bench/results/STAMP-OPPONENT.pgn, with vorlak's list file beside it as .list)
prints the finished games, vorlak's W-L-D, the games that ended by an illegal move, a flag or
an engine that died (as xboard words its result comments, either side), and how many games
the list file holds complete (bench/listcheck.py; games from set-up positions are not
checked); then the totals. Exits 1 when any game ended badly or is missing from its list file.

    bench/soak.py bench/results/20261207-09*.pgn
"""
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from listcheck import check  # noqa: E402

BAD_ENDINGS = {
    "illegal": ("illegal",),
    "timeloss": ("flag", "on time", "out of time", "ran out"),
    "crash": ("crash", "exit", "terminated", "disconnect", "died"),
}


def match_counts(path, name="EngineA"):
    text = open(path, encoding="latin-1").read()
    counts = dict(w=0, l=0, d=0, illegal=0, timeloss=0, crash=0)
    for game in re.split(r"\n(?=\[Event )", text):
        result = re.search(r'\[Result "([^"]+)"', game)
        if not result or result.group(1) not in ("1-0", "0-1", "1/2-1/2"):
            continue
        ending = " ".join(re.findall(r"\{([^}]*)\}\s*(?:1-0|0-1|1/2-1/2|\*)\s*$", game)).lower()
        for kind, words in BAD_ENDINGS.items():
            counts[kind] += any(w in ending for w in words)
        white = f'[White "{name}"]' in game
        if result.group(1) == "1/2-1/2":
            counts["d"] += 1
        elif (result.group(1) == "1-0") == white:
            counts["w"] += 1
        else:
            counts["l"] += 1
    return counts


def n_pgn(counts):
    return counts["w"] + counts["l"] + counts["d"]


def main(paths):
    if not paths:
        print(__doc__)
        return 2
    total = dict(games=0, w=0, l=0, d=0, illegal=0, timeloss=0, crash=0, checked=0, complete=0)
    for path in paths:
        c = match_counts(path)
        listed = path[:-len(".pgn")] + ".list"
        checked, complete = check(listed, path)[:2] if os.path.exists(listed) else (n_pgn(c), 0)
        n = n_pgn(c)
        print(f"{os.path.basename(path)}: {n} games, {c['w']}-{c['l']}-{c['d']}, illegal "
              f"{c['illegal']} timeloss {c['timeloss']} crash {c['crash']}, list complete "
              f"{complete}/{checked}")
        for key in c:
            total[key] += c[key]
        total["games"] += n
        total["checked"] += checked
        total["complete"] += complete
    print(f"total: {total['games']} games, {total['w']}-{total['l']}-{total['d']}, illegal "
          f"{total['illegal']} timeloss {total['timeloss']} crash {total['crash']}, list complete "
          f"{total['complete']}/{total['checked']}")
    bad = total["illegal"] + total["timeloss"] + total["crash"] + total["checked"] - total["complete"]
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
