#!/usr/bin/env bash
# A UCI session on three threads through every way a search ends; under
# ThreadSanitizer (halt_on_error) a race ends the engine with a failure.
#   usage: session.sh BRIX
set -eu
engine=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
{
    echo uci
    echo "setoption name Threads value 3"
    echo "setoption name Ponder value true"
    echo isready
    sleep 1
    echo "position startpos moves e2e4"
    echo "go movetime 1500"
    sleep 3
    echo "go infinite"
    sleep 2
    echo stop
    sleep 1
    echo "go ponder wtime 4000 btime 4000"
    sleep 2
    echo ponderhit
    sleep 4
    echo "go ponder wtime 4000 btime 4000"
    sleep 2
    echo stop
    sleep 1
    echo "position fen 6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1"
    echo "go depth 6"
    sleep 3
    echo quit
} | "$engine" > out.txt
moves=$(grep -c '^bestmove' out.txt || true)
if [ "$moves" != 5 ]; then
    echo "expected 5 bestmove lines, got $moves"
    cat out.txt
    exit 1
fi
grep -q '^bestmove d1d8' out.txt || { echo "the mate in one was not played"; cat out.txt; exit 1; }
