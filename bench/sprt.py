#!/usr/bin/env python3
"""One SPRT over several slices of a fastchess match.

A session ends before a long SPRT decides, and fastchess's own state lives in a
scratch directory that ends with it. Each slice's log ends with its pentanomial
pair counts; summing them and taking the log-likelihood ratio again gives the
test as if it had run in one piece (the slices start where the last one
stopped in the openings file, so no opening is played twice).

    bench/sprt.py [--elo0 E0] [--elo1 E1] [--alpha A] [--beta B] [--pairs LL,LD,D,WD,WW]... [LOG...]

Logs are not kept in the repository; bench/results.md keeps each slice's pair
counts ("pairs 5,19,25,18,13"), which --pairs takes instead.

The model is fastchess's default, normalized Elo over pentanomial pairs, so a
single log gives the LLR fastchess printed for it.
"""
import argparse
import math
import re
import sys

PAIR_SCORES = (0.0, 0.25, 0.5, 0.75, 1.0)
NELO_SCALE = 800.0 / math.log(10)


def pentanomial(path):
    """The last pair counts a fastchess log printed: [LL, LD, WL+DD, WD, WW]."""
    last = None
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            m = re.match(r"Ptnml\(0-2\): \[(\d+), (\d+), (\d+), (\d+), (\d+)\]", line)
            if m:
                last = [int(x) for x in m.groups()]
    if last is None:
        sys.exit(f"{path}: no Ptnml line (a slice of under two games?)")
    return last


def pair_list(text):
    counts = [int(x) for x in text.split(",")]
    if len(counts) != 5 or min(counts) < 0:
        raise argparse.ArgumentTypeError("five counts: LL,LD,WL+DD,WD,WW")
    return counts


def solve(f, lo, hi, eps=1e-12):
    """A root of the increasing function f on the open interval (lo, hi)."""
    span = hi - lo
    lo, hi = lo + span * 1e-12, hi - span * 1e-12
    for _ in range(200):
        mid = (lo + hi) / 2
        if f(mid) > 0:
            hi = mid
        else:
            lo = mid
        if hi - lo < eps:
            break
    return (lo + hi) / 2


def closest_distribution(phat, t_star, mu_ref=0.5):
    """The distribution nearest to phat whose normalized Elo (mu - mu_ref) / sigma is t_star."""
    n = len(phat)
    p = [1.0 / n] * n
    for _ in range(10):
        mu = sum(a * q for a, q in zip(PAIR_SCORES, p))
        sigma = math.sqrt(sum(q * (a - mu) ** 2 for a, q in zip(PAIR_SCORES, p)))
        phi = [a - mu_ref - 0.5 * t_star * sigma * (1 + ((a - mu) / sigma) ** 2) for a in PAIR_SCORES]
        # sum phat*phi/(1+x*phi) decreases in x between the poles; solve on its negation.
        theta = solve(lambda x: -sum(ph * f / (1 + x * f) for ph, f in zip(phat, phi)),
                      -1 / max(phi), -1 / min(phi))
        new = [ph / (1 + theta * f) for ph, f in zip(phat, phi)]
        change = max(abs(a - b) for a, b in zip(new, p))
        p = new
        if change < 1e-4:
            break
    return p


def llr(counts, elo0, elo1):
    regular = [c if c else 1e-3 for c in counts]
    total = sum(regular)
    phat = [c / total for c in regular]
    t0, t1 = (math.sqrt(2) * e / NELO_SCALE for e in (elo0, elo1))
    p0 = closest_distribution(phat, t0)
    p1 = closest_distribution(phat, t1)
    return total * sum(ph * (math.log(b) - math.log(a)) for ph, a, b in zip(phat, p0, p1))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--elo0", type=float, default=0.0)
    ap.add_argument("--elo1", type=float, default=10.0)
    ap.add_argument("--alpha", type=float, default=0.05)
    ap.add_argument("--beta", type=float, default=0.05)
    ap.add_argument("--pairs", action="append", default=[], type=pair_list)
    ap.add_argument("logs", nargs="*")
    args = ap.parse_args()
    slices = [(f"pairs {','.join(map(str, p))}", p) for p in args.pairs]
    slices += [(path, pentanomial(path)) for path in args.logs]
    if not slices:
        ap.error("no slice: give --pairs or a log")
    total = [0] * 5
    for name, counts in slices:
        print(f"{name}: pairs {counts}, LLR {llr(counts, args.elo0, args.elo1):.2f}")
        total = [a + b for a, b in zip(total, counts)]
    lower = math.log(args.beta / (1 - args.alpha))
    upper = math.log((1 - args.beta) / args.alpha)
    value = llr(total, args.elo0, args.elo1)
    pairs = sum(total)
    score = sum(a * c for a, c in zip(PAIR_SCORES, total)) / pairs
    verdict = "H1 accepted" if value >= upper else "H0 accepted" if value <= lower else "undecided"
    print(f"all: {2 * pairs} games, pairs {total}, score {100 * score:.1f}%, "
          f"LLR {value:.2f} ({lower:.2f}, {upper:.2f}) [{args.elo0:g}, {args.elo1:g}]: {verdict}")


if __name__ == "__main__":
    main()
