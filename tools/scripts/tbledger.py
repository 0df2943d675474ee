#!/usr/bin/env python3
"""The ledger of a table job: one row a table, from what the job printed.

usage: tbledger.py LOG...

Each LOG is the standard output of `brix-tools tbgen` (its "table NAME: ..."
lines) or of `brix-tools tbverify` (its "NAME  N indices ..." lines), in any
order; a job stopped and started again leaves its lines in several logs, and
a table made twice keeps its last line. A table whose run stopped after
writing it, and which the next run only compressed, has no "table" line: its
row comes from the "wrote" and "packed" lines, with what they do not tell
left as "-". Prints a Markdown table in the order the tables were made and
the totals.
"""
import re
import sys

MADE = re.compile(r"^table (\w+): (\d+) \+ (\d+) positions, (\d+) passes, longest mate (\d+) moves, "
                  r"([\d.]+) s, ([\d.]+) s CPU, peak (\d+) MB, (\d+) bytes on disk")
WROTE = re.compile(r"^wrote \S*/(\w+)\.nbw \((\d+) bytes\)(?: and \w+\.nbb \((\d+) bytes\))? in ([\d.]+) s")
PACKED = re.compile(r"^packed \S*/(\w+)\.nb[wb]\.emd \((\d+) bytes\) in ([\d.]+) s")
CHECKED = re.compile(r"^(k\w+)\s+(\d+) indices\s+(\d+) positions\s+(\d+) unreached\s+(\d+) errors\s+([\d.]+) s")


def clock(seconds):
    seconds = int(round(seconds))
    return "%d:%02d:%02d" % (seconds // 3600, seconds // 60 % 60, seconds % 60)


def main(logs):
    made, checked, order = {}, {}, []
    written, packed = {}, {}
    for log in logs:
        with open(log) as f:
            for line in f:
                m = WROTE.match(line)
                if m:
                    written[m.group(1)] = (m.group(2), m.group(3) or "0", float(m.group(4)))
                    packed[m.group(1)] = []
                    continue
                m = PACKED.match(line)
                if m and m.group(1) in packed:
                    packed[m.group(1)].append((int(m.group(2)), float(m.group(3))))
                    if m.group(1) not in made and len(packed[m.group(1)]) == (2 if written[m.group(1)][1] != "0" else 1):
                        first, second, seconds = written[m.group(1)]
                        parts = packed[m.group(1)]
                        order.append(m.group(1))
                        made[m.group(1)] = (first, second, "-", "-", "%.1f" % (seconds + sum(p[1] for p in parts)),
                                            "-", "-", str(sum(p[0] for p in parts)))
                    continue
                m = MADE.match(line)
                if m:
                    name = m.group(1)
                    if name not in made:
                        order.append(name)
                    made[name] = m.groups()[1:]
                    continue
                m = CHECKED.match(line)
                if m:
                    checked[m.group(1)] = m.groups()[1:]
    print("| record | positions (first + second side) | wall s | CPU s | peak MB | passes | longest mate | "
          "tbverify | compressed bytes | of raw |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    wall = cpu = size = rawTotal = 0.0
    peak, peakName, clean = 0, "", 0
    for name in order:
        first, second, passes, mate, seconds, cpuSeconds, memory, onDisk = made[name]
        verdict = "not run"
        if name in checked:
            errors = int(checked[name][3])
            verdict = "0 errors" if errors == 0 else "%d errors" % errors
            clean += errors == 0
        raw = int(first) + int(second)  # a symmetric record's one file: second is 0
        print("| %s | %s + %s | %s | %s | %s | %s | %s | %s | %s | %.1f%% |" %
              (name, first, second, seconds, cpuSeconds, memory, passes, mate, verdict, onDisk,
               100.0 * int(onDisk) / raw))
        rawTotal += raw
        wall += float(seconds)
        cpu += float(cpuSeconds) if cpuSeconds != "-" else 0.0
        size += int(onDisk)
        if memory != "-" and int(memory) > peak:
            peak, peakName = int(memory), name
    print()
    print("%d tables: %s wall (%s CPU), %.2f GB on disk (%.1f%% of %.2f GB raw), largest peak %d MB (%s); "
          "tbverify clean on %d" % (len(order), clock(wall), clock(cpu), size / 1e9,
                                    100.0 * size / max(rawTotal, 1), rawTotal / 1e9, peak, peakName, clean))


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    main(sys.argv[1:])
