#!/usr/bin/env python3
"""Sizes of the compressed tables in a directory, table by table, against
general-purpose compressors.

usage: tbpack_sizes.py DIR [ANCHORS]

DIR holds NAME.nbw.emd / NAME.nbb.emd files (brix-tools tbpack). The raw size
of each is read from its header (blocks and the last block's length). ANCHORS,
if given, is a text file of lines "FILE RAW XZ ZSTD" (for example
"kqk.nbw 25629 4260 4422"), the sizes of the same raw files compressed one by
one with `xz -9` and `zstd -19 --long`; the table then shows our size against
theirs and the set totals. Made with, for each raw file f:
    echo "$f $(stat -c%s $f) $(xz -9 -c $f | wc -c) $(zstd -19 --long -c $f | wc -c)"
"""
import os
import sys


def raw_size(path):
    """Uncompressed bytes of an .emd file: (n - 1) x 8192 + the last block's length."""
    with open(path, "rb") as f:
        head = f.read(80)
        blocks = int.from_bytes(head[72:76], "big")
        f.seek(80 + 8 * blocks)
        packed = f.read(2 * ((13 * (blocks + 25) + 15) // 16))
    bits = int.from_bytes(packed, "big")
    total_bits = 8 * len(packed)
    last = (bits >> (total_bits - 13 * (blocks + 1))) & 8191
    return (blocks - 1) * 8192 + (last or 8192)


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    directory = sys.argv[1]
    anchors = {}
    if len(sys.argv) > 2:
        for line in open(sys.argv[2]):
            fields = line.split()
            if len(fields) >= 4:
                anchors[fields[0]] = tuple(int(x) for x in fields[1:4])
    names = sorted(n[:-4] for n in os.listdir(directory) if n.endswith(".emd"))
    if not names:
        print("no .emd files in " + directory)
        return 1
    totals = [0, 0, 0, 0]  # raw, ours, xz, zstd (the last two over the tables with anchors)
    with_anchor = [0, 0]   # ours and raw over the same tables
    if anchors:
        print(f"{'file':10} {'raw':>10} {'packed':>9} {'ratio':>7} {'xz -9':>9} {'zstd -19':>9} {'/xz':>6} {'/zstd':>6}")
    else:
        print(f"{'file':10} {'raw':>10} {'packed':>9} {'ratio':>7}")
    for name in names:
        path = os.path.join(directory, name + ".emd")
        raw, ours = raw_size(path), os.path.getsize(path)
        totals[0] += raw
        totals[1] += ours
        line = f"{name:10} {raw:10d} {ours:9d} {100.0 * ours / raw:6.2f}%"
        if name in anchors:
            _, xz, zstd = anchors[name]
            totals[2] += xz
            totals[3] += zstd
            with_anchor[0] += ours
            with_anchor[1] += raw
            line += f" {xz:9d} {zstd:9d} {ours / max(xz, 1):6.2f} {ours / max(zstd, 1):6.2f}"
        print(line)
    print(f"{'total':10} {totals[0]:10d} {totals[1]:9d} {100.0 * totals[1] / totals[0]:6.2f}%", end="")
    if totals[2]:
        print(f" {totals[2]:9d} {totals[3]:9d} {with_anchor[0] / totals[2]:6.3f} {with_anchor[0] / totals[3]:6.3f}")
    else:
        print()
    return 0


if __name__ == "__main__":
    sys.exit(main())
