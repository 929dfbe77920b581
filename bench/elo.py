#!/usr/bin/env python3
r"""Elo difference and its 95% error margin from a match's wins, losses and draws.

    bench/elo.py W L D             ->  "Elo -34.9 +/- 164.7 (95%), score 45.0% of 20"
    bench/elo.py --pgn FILE [NAME] ->  the same from the finished games of NAME (default EngineA)
                                       in an xboard PGN, with the W-L-D counted there
    bench/elo.py --faults FILE NAME -> "illegal I timeloss T abandoned A" lost by NAME in a
                                       fastchess PGN (its Termination tags)

In the PGN only games with a result count, once per round: when a match is stopped, xboard
saves the game in progress (or the last one again) with the result "*".

The difference is the logistic Elo of the score fraction. The margin comes from the
standard error of the mean game score (per-game variance of the observed W/L/D mix),
mapped through the same curve at score +/- 1.96 standard errors and halved.

>>> elo_diff(0.5)
0.0
>>> round(elo_diff(0.75), 1)
190.8
>>> elo_margin(10, 10, 0)[0], round(elo_margin(10, 10, 0)[1], 1)
(0.0, 163.3)
>>> elo_margin(0, 2, 0)
(-inf, None)
>>> summary(0, 0, 0)
'no games'
>>> pgn_counts('[Event "x"]\n[Round "1"]\n[White "EngineA"]\n[Result "1-0"]\n\n'
...            '[Event "x"]\n[Round "2"]\n[White "EngineB"]\n[Result "0-1"]\n\n'
...            '[Event "x"]\n[Round "2"]\n[White "EngineB"]\n[Result "*"]\n', "EngineA")
(2, 0, 0, 1)
>>> fault_counts('[Event "x"]\n[White "v"]\n[Black "o"]\n[Result "0-1"]\n[Termination "time forfeit"]\n\n'
...              '[Event "x"]\n[White "o"]\n[Black "v"]\n[Result "0-1"]\n[Termination "illegal move"]\n', "v")
{'illegal move': 0, 'time forfeit': 1, 'abandoned': 0}
"""
import math
import re
import sys

Z95 = 1.959964  # two-sided 95% quantile of the normal distribution


def elo_diff(score):
    """Elo difference for a score fraction (0 < score < 1); infinite at the ends."""
    if score <= 0.0:
        return -math.inf
    if score >= 1.0:
        return math.inf
    return -400.0 * math.log10(1.0 / score - 1.0) + 0.0  # no "-0.0" at an even score


def elo_margin(wins, losses, draws):
    """(Elo difference, 95% margin); the margin is None when the score is 0 or 1."""
    n = wins + losses + draws
    score = (wins + 0.5 * draws) / n
    diff = elo_diff(score)
    if math.isinf(diff):
        return diff, None
    var = (wins * (1.0 - score) ** 2 + losses * score ** 2 + draws * (0.5 - score) ** 2) / n
    stderr = math.sqrt(var / n)
    low = elo_diff(max(score - Z95 * stderr, 1e-9))
    high = elo_diff(min(score + Z95 * stderr, 1.0 - 1e-9))
    return diff, (high - low) / 2.0


def summary(wins, losses, draws):
    n = wins + losses + draws
    if n == 0:
        return "no games"
    diff, margin = elo_margin(wins, losses, draws)
    score = 100.0 * (wins + 0.5 * draws) / n
    if margin is None:
        text = "Elo %s (no margin at a %.0f%% score)" % ("+inf" if diff > 0 else "-inf", score)
    else:
        text = "Elo %+.1f +/- %.1f (95%%)" % (diff, margin)
    return "%s, score %.1f%% of %d" % (text, score, n)


def pgn_counts(text, name):
    """(wins, losses, draws, records ignored) of player NAME over the finished games of a PGN."""
    wins = losses = draws = ignored = 0
    rounds = set()
    for number, game in enumerate(re.split(r"\n(?=\[Event )", text)):
        result = re.search(r'\[Result "([^"]*)"\]', game)
        if not result:
            continue
        result = result.group(1)
        round_tag = re.search(r'\[Round "([^"]*)"\]', game)
        key = round_tag.group(1) if round_tag else number
        if result not in ("1-0", "0-1", "1/2-1/2") or key in rounds:
            ignored += 1
            continue
        rounds.add(key)
        white = '[White "%s"]' % name in game
        if result == "1/2-1/2":
            draws += 1
        elif (result == "1-0") == white:
            wins += 1
        else:
            losses += 1
    return wins, losses, draws, ignored


def fault_counts(text, name):
    """{termination: games NAME lost that way} over a fastchess PGN's abnormal endings."""
    counts = {"illegal move": 0, "time forfeit": 0, "abandoned": 0}
    for game in re.split(r"\n(?=\[Event )", text):
        end = re.search(r'\[Termination "([^"]*)"\]', game)
        result = re.search(r'\[Result "([^"]*)"\]', game)
        if not end or not result or end.group(1) not in counts:
            continue
        white = '[White "%s"]' % name in game
        if result.group(1) == ("0-1" if white else "1-0"):
            counts[end.group(1)] += 1
    return counts


def main(argv):
    if len(argv) == 4 and argv[1] == "--faults":
        with open(argv[2], encoding="latin-1") as f:
            c = fault_counts(f.read(), argv[3])
        print("illegal %d timeloss %d abandoned %d" % (c["illegal move"], c["time forfeit"], c["abandoned"]))
        return 0
    if len(argv) in (3, 4) and argv[1] == "--pgn":
        with open(argv[2], encoding="latin-1") as f:
            w, l, d, ignored = pgn_counts(f.read(), argv[3] if len(argv) == 4 else "EngineA")
        note = ", %d unfinished or repeated record%s ignored" % (ignored, "" if ignored == 1 else "s") \
            if ignored else ""
        print("%s (PGN: %d-%d-%d%s)" % (summary(w, l, d), w, l, d, note))
        return 0
    if len(argv) == 2 and argv[1] == "--test":
        import doctest
        failed, _ = doctest.testmod()
        return 1 if failed else 0
    if len(argv) != 4 or not all(a.isdigit() for a in argv[1:]):
        sys.stderr.write("usage: elo.py WINS LOSSES DRAWS | --pgn FILE [NAME] | --test\n")
        return 2
    print(summary(*(int(a) for a in argv[1:])))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
