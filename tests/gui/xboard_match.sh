#!/usr/bin/env bash
# Brix against Fairy-Max in the real xboard, headless: short matches without
# and with pondering. Every game must finish with a result xboard accepts,
# and none may end by an illegal move, a lost flag, a false claim or a crash.
set -u
engine=${1:?usage: xboard_match.sh ENGINE [SHARED_TOOLS]}
tools=${2:-$(dirname "$0")/../../../shared/tools}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
run() {
    local name=$1 games=$2; shift 2
    local out="$work/$name.txt"
    "$tools/xb-match" -1 "$engine" -2 /usr/games/fairymax -n "$games" --tc 0:10+0.1 \
        --pgn "$work/$name.pgn" "$@" >"$out" 2>&1
    local rc=$?
    cat "$out"
    if [ $rc -ne 0 ]; then echo "FAIL $name: xb-match exit status $rc"; status=1; fi
    if ! grep -q "games: $games of $games played, 0 unfinished" "$out"; then
        echo "FAIL $name: not every game finished"; status=1
    fi
    if grep -E "^game" "$out" | grep -qiE "illegal|time|forfeit|crash|disconnect|false|exited"; then
        echo "FAIL $name: a game ended by a fault"; status=1
    fi
}
run plain 2
run ponder 2 --ponder
# Three queens reach b2: the move text must name the whole from-square, or
# xboard forfeits the game for an unreadable move.
echo "4k3/8/8/8/8/Q7/1n6/Q1QK4 w - - 0 1" >"$work/queens.epd"
run queens 1 --openings "$work/queens.epd" --depth 4
if ! grep -qE "Q[a-h][1-8]x?b2" "$work/queens.pgn"; then
    echo "FAIL queens: Brix did not capture on b2 with a queen named by its square"; status=1
fi
if [ $status -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit $status
