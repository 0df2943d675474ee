#!/usr/bin/env bash
# The Windows programs under Wine: perft and the bench signature, xboard and
# UCI sessions (a line arriving during a search, the end of input), the book
# jobs and a book probe, tablebase probes through a Windows path, and one
# game in the real xboard against Fairy-Max, so that a GUI's pipe is read.
#   usage: wine.sh WINDOWS_BUILD TABLEBASES [SHARED_TOOLS]
set -u
build=$(cd "${1:?usage: wine.sh WINDOWS_BUILD TABLEBASES [SHARED_TOOLS]}" && pwd)
tables=$(cd "${2:?}" && pwd)
tools=${3:-$(dirname "$0")/../../../shared/tools}
here=$(cd "$(dirname "$0")/../.." && pwd)
# Wine's own files go beside the build, made once; its chatter is off.
export WINEPREFIX="$build/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
engine="wine $build/brix.exe"
passed=0 failed=0
pass() { passed=$((passed + 1)); echo "ok   $1"; }
fail() { failed=$((failed + 1)); echo "FAIL $1"; }
# A session through xb-session, in the scratch directory.
session() {  # name, script lines...
    local name=$1; shift
    local lines=()
    for l in "$@"; do lines+=(-e "$l"); done
    if "$tools/xb-session" -q -t 20 -d "$work" "$engine" "${lines[@]}" >"$work/$name.log" 2>&1; then
        pass "$name"
    else
        fail "$name"; cat "$work/$name.log"
    fi
}

wineboot -i >/dev/null 2>&1

# Move generation on the standard perft positions.
while read -r depth nodes fen; do
    got=$(wine "$build/brix-tools.exe" perft "$fen" "$depth" 2>&1 | tr -d '\r' | sed -n 's/^nodes \([0-9]*\).*/\1/p')
    if [ "$got" = "$nodes" ]; then pass "perft $depth $fen"; else fail "perft $depth $fen: $got, not $nodes"; fi
done <<'EOF'
5 4865609 rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1
4 4085603 r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1
5 674624 8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1
4 422333 r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1
4 2103487 rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8
EOF

# The search, node for node as on Linux.
bench=$(wine "$build/brix-tools.exe" bench 2>&1 | tr -d '\r' | grep '^bench:')
case $bench in "bench: 27115842 nodes"*) pass "$bench" ;; *) fail "bench: '$bench', not 27115842 nodes" ;; esac

# xboard: '?' during a 30-second search moves at once; ping answers after it.
session xboard-interrupt 'send: xboard' 'send: protover 2' 'expect: feature.*done=1' 'send: new' \
    'send: st 30' 'send: go' 'expect: ^ *[0-9]+ ' 'send: ?' 'expect(5): ^move ' 'send: ping 7' 'expect: ^pong 7'
# UCI: stop ends an infinite search with a move; isready answers while one runs.
session uci-stop 'send: uci' 'expect: ^uciok' 'send: position startpos moves e2e4' 'send: go infinite' \
    'sleep: 1' 'send: isready' 'expect(3): ^readyok' 'send: stop' 'expect(3): ^bestmove [a-h][1-8][a-h][1-8]'
# The end of input: the GUI closes the pipe during an infinite search and
# while the engine waits; either way the engine gives its move and ends.
for protocol in uci xboard; do
    if [ $protocol = uci ]; then first='uci\nposition startpos\ngo infinite\n'; want='^bestmove'
    else first='xboard\nnew\nanalyze\n'; want='^ *[0-9]+ '; fi
    start=$(date +%s)
    out=$( (printf "$first"; sleep 2) | (cd "$work" && timeout 30 $engine 2>&1) | tr -d '\r')
    rc=$? seconds=$(( $(date +%s) - start ))
    if [ $rc -eq 0 ] && [ $seconds -lt 15 ] && grep -qE "$want" <<<"$out"; then
        pass "end of input ($protocol) after ${seconds} s"
    else
        fail "end of input ($protocol): status $rc after ${seconds} s"; echo "$out" | tail -5
    fi
done

# The book: made from games, made again over the old one (a rename that
# must replace it on Windows), then probed.
head -c 400000 "$here/book/games/masters-modern.pgn" | sed '$d' >"$work/games.pgn"
for round in first second; do
    out=$(cd "$work" && wine "$build/brix.exe" /CB games.pgn 2>&1 | tr -d '\r')
    if grep -q "Done!" <<<"$out" && [ -s "$work/BrixBook.bin" ] && ! ls "$work" | grep -q 'BrixBook.bin\.'; then
        pass "book made ($round time)"
    else
        fail "book made ($round time)"; echo "$out" | tail -5
    fi
done
session book-probe 'send: uci' 'expect: ^uciok' 'send: setoption name OwnBook value true' 'send: position startpos' \
    'send: go wtime 60000 btime 60000' 'expect: ^info string book move' 'expect: ^bestmove'

# Tables through a Windows path with back slashes, ending in one.
printf 'EGTB_PATH %s\\\r\n' "$(winepath -w "$tables")" >"$work/brix.cfg"
session tablebases 'send: uci' 'expect: Maximum 4 piece tablebases found' 'expect: ^uciok' \
    'send: position fen 8/8/8/4k3/8/8/8/KQ6 w - - 0 1' 'send: go depth 3' 'expect: score mate [0-9]+ ' \
    'send: position fen 3k4/8/8/8/8/8/r7/4K2Q w - - 0 1' 'send: go depth 3' 'expect: depth 3 .*score mate 11 ' \
    'expect: ^bestmove'
rm -f "$work/brix.cfg"

# The 3-man tables made by the Windows tools program, into a directory named
# the Windows way: byte for byte the Linux program's.
wine "$build/brix-tools.exe" tbgen "$(winepath -w "$work")\\t3" --men 3 --pack >"$work/tbgen.log" 2>&1
same=0
for f in "$tables"/k?k.nb?.emd; do cmp -s "$f" "$work/t3/${f##*/}" && same=$((same + 1)); done
if [ $same = 10 ]; then pass "3-man tables made"; else fail "3-man tables made: $same of 10 as on Linux"; tail -5 "$work/tbgen.log"; fi

# One game in the real xboard, the Windows engine against Fairy-Max.
. "$here/tests/gui/match_common.sh"
run_match wine-game 1 "$engine" 0:10+0.1 >"$work/game.out"
if [ $status -eq 0 ]; then pass "xboard game against Fairy-Max"; else fail "xboard game against Fairy-Max"; fi
tail -n 3 "$work/game.out"

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
