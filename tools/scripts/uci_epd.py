#!/usr/bin/env python3
"""Runs a UCI engine over an EPD suite at a fixed time per position and
counts the positions whose best-move (bm) or avoid-move (am) operation it
solves, so that a peer's count can be compared with `brix-tools epd`.

usage: uci_epd.py ENGINE FILE SECONDS
"""
import os
import re
import subprocess
import sys

PROJECT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(PROJECT, "..", "shared", "tools"))
import xbchess  # noqa: E402  (the measurement harness's rules module)


def san_set(board, text):
    moves = set()
    for san in text.split():
        try:
            moves.add(board.parse_move(san))
        except Exception:
            pass
    return moves


def main():
    engine, path, seconds = sys.argv[1], sys.argv[2], float(sys.argv[3])
    proc = subprocess.Popen([engine], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1)

    def send(line):
        proc.stdin.write(line + "\n")

    def wait_for(prefix):
        for line in proc.stdout:
            if line.startswith(prefix):
                return line.strip()
        raise SystemExit("engine ended")

    send("uci")
    wait_for("uciok")
    solved = total = 0
    for line in open(path):
        fields = line.split()
        if len(fields) < 4:
            continue
        fen = " ".join(fields[:4]) + " 0 1"
        board = xbchess.Board()
        board.set_fen(fen)
        best = re.search(r"\bbm ([^;]*);", line)
        avoid = re.search(r"\bam ([^;]*);", line)
        send("ucinewgame")
        send("position fen " + fen)
        send("go movetime %d" % int(seconds * 1000))
        move_text = wait_for("bestmove").split()[1]
        move = board.parse_move(move_text)
        ok = True
        if best:
            ok = move in san_set(board, best.group(1))
        if avoid:
            ok = ok and move not in san_set(board, avoid.group(1))
        total += 1
        solved += ok
    send("quit")
    print("solved %d of %d" % (solved, total))


if __name__ == "__main__":
    main()
