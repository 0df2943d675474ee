#!/usr/bin/env bash
# Brix in UCI mode, run by polyglot (a real UCI client) as an xboard engine,
# against Fairy-Max in the real xboard, headless: short matches without and
# with pondering (go ponder, then ponderhit or stop). Every game must finish
# with a result xboard accepts, and none may end by an illegal move, a lost
# flag, a false claim or a crash. The control is 40 moves in 10 s: polyglot
# passes whole seconds of increment only (level 0 0:10 0.1 reaches the
# engine as a bare 10 s clock), and moves to go it passes as they are.
set -u
engine=${1:?usage: uci_match.sh ENGINE [SHARED_TOOLS]}
tools=${2:-$(dirname "$0")/../../../shared/tools}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
if ! command -v polyglot >/dev/null && [ ! -x /usr/games/polyglot ]; then
    echo "FAIL: polyglot is not installed (Debian package polyglot)"; exit 1
fi
run() {
    local name=$1; shift
    local out="$work/$name.txt"
    "$tools/xb-match" -1 "uci:$engine" -2 /usr/games/fairymax -n 2 --tc 40/0:10 \
        --pgn "$work/$name.pgn" "$@" >"$out" 2>&1
    local rc=$?
    cat "$out"
    if [ $rc -ne 0 ]; then echo "FAIL $name: xb-match exit status $rc"; status=1; fi
    if ! grep -q "games: 2 of 2 played, 0 unfinished" "$out"; then
        echo "FAIL $name: not every game finished"; status=1
    fi
    if grep -E "^game" "$out" | grep -qiE "illegal|time|forfeit|crash|disconnect|false|exited"; then
        echo "FAIL $name: a game ended by a fault"; status=1
    fi
}
run plain
run ponder --ponder
if [ $status -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit $status
