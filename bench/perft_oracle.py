#!/usr/bin/env python3
"""Compares the engine's perft with Stockfish's on every FEN/EPD line of the given files.

    bench/perft_oracle.py [--depth N] [--engine build/vorlak] FILE...

Needs Debian's stockfish (/usr/games/stockfish). Prints one line per mismatch and a summary;
exit status 1 on any mismatch.
"""
import argparse, os, re, subprocess, sys, tempfile

def fens(paths):
    for path in paths:
        for line in open(path, encoding="utf-8", errors="replace"):
            fields = line.split(";")[0].split()
            if len(fields) < 4:
                continue
            fen = fields[:6] if len(fields) >= 6 and fields[4].isdigit() else fields[:4] + ["0", "1"]
            yield " ".join(fen)

def stockfish_perft(fen, depth):
    out = subprocess.run(["/usr/games/stockfish"], input=f"position fen {fen}\ngo perft {depth}\nquit\n",
                         capture_output=True, text=True).stdout
    return int(re.search(r"Nodes searched: (\d+)", out).group(1))

def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--depth", type=int, default=3)
    ap.add_argument("--engine", default=os.path.join(os.path.dirname(__file__), "..", "build", "vorlak"))
    ap.add_argument("files", nargs="+")
    args = ap.parse_args()
    positions = list(fens(args.files))
    script = "".join(f"setboard {f}\nperft {args.depth}\n" for f in positions) + "quit\n"
    with tempfile.TemporaryDirectory() as d:
        open(os.path.join(d, "vorlak.cfg"), "w").write("hashsize 1\n")
        out = subprocess.run([os.path.abspath(args.engine)], input=script, cwd=d,
                             capture_output=True, text=True).stdout
    ours = [int(n) for n in re.findall(r"perft\(\d+\) = (\d+)", out)]
    bad = 0
    for fen, n in zip(positions, ours):
        ref = stockfish_perft(fen, args.depth)
        if ref != n:
            bad += 1
            print(f"MISMATCH {fen}: vorlak {n}, stockfish {ref}")
    print(f"{len(ours)} of {len(positions)} positions counted, {bad} mismatches at depth {args.depth}")
    sys.exit(1 if bad or len(ours) != len(positions) else 0)

main()
