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
. "$(dirname "$0")/match_common.sh"
if ! command -v polyglot >/dev/null && [ ! -x /usr/games/polyglot ]; then
    echo "FAIL: polyglot is not installed (Debian package polyglot)"; exit 1
fi
run() {
    local name=$1; shift
    run_match "$name" 2 "uci:$engine" 40/0:10 "$@"
}
run plain
run ponder --ponder
finish_matches
