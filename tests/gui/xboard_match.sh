#!/usr/bin/env bash
# Brix against Fairy-Max in the real xboard, headless: short matches without
# and with pondering. Every game must finish with a result xboard accepts,
# and none may end by an illegal move, a lost flag, a false claim or a crash.
set -u
engine=${1:?usage: xboard_match.sh ENGINE [SHARED_TOOLS]}
tools=${2:-$(dirname "$0")/../../../shared/tools}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/match_common.sh"
run() {
    local name=$1 games=$2; shift 2
    run_match "$name" "$games" "$engine" 0:10+0.1 "$@"
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
finish_matches
