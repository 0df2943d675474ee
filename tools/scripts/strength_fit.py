#!/usr/bin/env python3
"""Rating of one engine from its results against opponents of known rating.

usage: strength_fit.py OPPONENT_ELO:W-L-D ...   (e.g. 1600:12-20-8)
Prints the maximum-likelihood Elo (draws as half a win and half a loss)
and a rough 95% margin from the curvature of the likelihood."""
import math
import sys


def expected(r, a):
    return 1.0 / (1.0 + 10 ** ((a - r) / 400.0))


def main():
    results = []
    for arg in sys.argv[1:]:
        elo, wld = arg.split(":")
        if not wld:
            continue  # a match that did not finish
        w, l, d = (int(x) for x in wld.split("-"))
        results.append((float(elo), w + d / 2.0, w + l + d))
    if not results:
        sys.exit(__doc__)
    # Half a virtual draw against each opponent keeps 0% and 100% finite.
    gradient = lambda r: sum(s + 0.5 - (n + 1) * expected(r, a) for a, s, n in results)
    low, high = -1000.0, 5000.0
    for _ in range(100):
        mid = (low + high) / 2
        low, high = (mid, high) if gradient(mid) > 0 else (low, mid)
    r = (low + high) / 2
    k = math.log(10) / 400
    information = sum((n + 1) * k * k * expected(r, a) * (1 - expected(r, a)) for a, _, n in results)
    games = sum(n for _, _, n in results)
    score = sum(s for _, s, _ in results)
    print(f"elo {r:.0f} +- {1.96 / math.sqrt(information):.0f} ({score:g}/{games})")


if __name__ == "__main__":
    main()
