#!/usr/bin/env python3
"""Labels positions of a `tune extract` file with an oracle engine's expected result.

    sflabel.py [--engine /usr/games/stockfish] [--depth 7] [--every 8] [--max 40000] IN OUT

Every EVERY-th position (at most MAX of them) is searched by the UCI engine to DEPTH; its
score (side to move) becomes White's expected result 1 / (1 + 10^(-cp / 400)), a mate 1 or
0, in the engine field. All positions are written to OUT, the others with the engine field
as it was. Run it under `nice`: one engine process, one thread, 16 MB hash.
"""
import argparse
import subprocess
import sys
import time


def expected(cp):
    return 1.0 / (1.0 + 10.0 ** (-cp / 400.0))


class Engine:
    def __init__(self, path):
        self.p = subprocess.Popen([path], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  text=True, bufsize=1)
        self.send("uci")
        self.wait("uciok")
        self.send("setoption name Threads value 1")
        self.send("setoption name Hash value 16")
        self.send("isready")
        self.wait("readyok")

    def send(self, line):
        self.p.stdin.write(line + "\n")

    def wait(self, word):
        while True:
            line = self.p.stdout.readline()
            if not line:
                raise RuntimeError("engine ended")
            if line.split()[:1] == [word]:
                return line

    def score(self, fen, depth):
        """White's expected result for the position."""
        self.send("position fen " + fen)
        self.send("go depth %d" % depth)
        score = None
        while True:
            line = self.p.stdout.readline()
            if not line:
                raise RuntimeError("engine ended")
            words = line.split()
            if words[:1] == ["bestmove"]:
                break
            if "score" in words:
                i = words.index("score")
                kind, value = words[i + 1], int(words[i + 2])
                score = expected(value) if kind == "cp" else (1.0 if value > 0 else 0.0)
        if score is None:
            return None
        return score if fen.split()[1] == "w" else 1.0 - score

    def close(self):
        self.send("quit")
        self.p.wait()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--engine", default="/usr/games/stockfish")
    ap.add_argument("--depth", type=int, default=7)
    ap.add_argument("--every", type=int, default=8)
    ap.add_argument("--max", type=int, default=40000)
    ap.add_argument("input")
    ap.add_argument("output")
    a = ap.parse_args()
    lines = open(a.input).read().splitlines()
    engine = Engine(a.engine)
    start = time.time()
    done = 0
    out = []
    for n, line in enumerate(lines):
        fields = line.split("|")
        if n % a.every == 0 and done < a.max and len(fields) == 4:
            score = engine.score(fields[0], a.depth)
            if score is not None:
                fields[3] = "%.4f" % score
                done += 1
                if done % 1000 == 0:
                    print("%d labelled, %.0f s" % (done, time.time() - start), file=sys.stderr)
        out.append("|".join(fields))
    engine.close()
    with open(a.output, "w") as f:
        f.write("\n".join(out) + "\n")
    print("%d of %d positions labelled at depth %d in %.0f s" %
          (done, len(lines), a.depth, time.time() - start))


if __name__ == "__main__":
    main()
