#!/usr/bin/env python3
"""listcheck.py LIST PGN [NAME]: checks that vorlak's list file holds every game of a match.

For each finished game of the PGN in which NAME (default EngineA) played, the list file must
hold a game, in the same order, with one line per move from the start position and a
"Result:" line whose outcome (win/lost/draw from vorlak's side) matches the PGN. One move line
more than the PGN is accepted: a move the engine sent while the interface was ending the game
(the opponent's claim crossed it), which the interface then leaves out of its record. Prints one
summary line and the games that differ; exits 1 when any does.
"""
import re
import sys


def pgn_games(path, name):
    text = open(path, encoding="latin-1").read()
    for game in re.split(r"\n(?=\[Event )", text):
        result = re.search(r'\[Result "([^"]+)"', game)
        if not result or result.group(1) not in ("1-0", "0-1", "1/2-1/2"):
            continue
        if f'[White "{name}"]' in game:
            side = "w"
        elif f'[Black "{name}"]' in game:
            side = "b"
        else:
            continue
        if "[FEN " in game:
            continue  # set-up positions: the list's count starts elsewhere
        moves = re.sub(r"\{[^}]*\}|\[[^\]]*\]|\([^)]*\)", " ", game)
        plies = [t for t in moves.split() if not re.match(r"^(\d+\.+|1-0|0-1|1/2-1/2|\*)$", t)]
        outcome = {"1/2-1/2": "draw", "1-0": "win" if side == "w" else "lost",
                   "0-1": "win" if side == "b" else "lost"}[result.group(1)]
        yield len(plies), outcome


def list_games(path):
    games, current = [], None
    for line in open(path, encoding="latin-1"):
        if line.startswith("[Event "):
            current = {"moves": 0, "result": None}
            games.append(current)
        elif current is None:
            continue
        elif re.match(r"^(white|black) +\d+\.", line):
            current["moves"] += 1
        elif line.startswith("Result:"):
            current["result"] = line.split()[1]
    return games


def check(list_path, pgn_path, name="EngineA"):
    """(PGN games, games complete in the list, list games, one line per game that differs)."""
    expected = list(pgn_games(pgn_path, name))
    found = list_games(list_path)
    problems = []
    for i, (plies, outcome) in enumerate(expected):
        got = found[i] if i < len(found) else None
        if got is None or got["moves"] not in (plies, plies + 1) or got["result"] != outcome:
            problems.append(f"game {i + 1}: PGN {plies} plies, {outcome}; list "
                            + (f"{got['moves']} move lines, result {got['result']}" if got else "missing"))
    return len(expected), len(expected) - len(problems), len(found), problems


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    name = sys.argv[3] if len(sys.argv) > 3 else "EngineA"
    games, complete, listed, problems = check(sys.argv[1], sys.argv[2], name)
    for line in problems:
        print(line)
    print(f"listcheck: {games} games, {complete} complete in the list file ({listed} list games)")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
