#!/usr/bin/env bash
# Measurement matches through the real xboard (headless): time management
# at three kinds of control against Fairy-Max, then strength against the
# Debian peers, or two threads against one. Results go to OUT (default
# matches/); each match's last line is "score: W-L-D (P%) elo: X +- Y" from
# Brix's (or the two-thread Brix's) view.
#   usage: tools/scripts/matches.sh [time|strength|threads|calibrate|all] [GAMES]
# calibrate plays the weakened settings (SETTINGS, default 1100 1300 1500
# 1700) against the three peers rated nearest above and around each (the
# ratings of ../shared/tools/peers.md, on Stockfish's UCI_Elo scale, whose
# lowest setting, 1320, is the weakest peer) at the time control those were
# measured at, and fits each setting's Elo on that scale.
set -u
here=$(cd "$(dirname "$0")/../.." && pwd)
tools="$here/../shared/tools"
engine=${ENGINE:-$here/build/brix}
out=${OUT:-$here/matches}
games=${2:-40}
mkdir -p "$out" && out=$(cd "$out" && pwd)
# The peers and pgn-extract are Debian packages the suite does not need.
missing=""
for p in fairymax sjeng phalanx hoichess gnuchess stockfish pgn-extract; do
    dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
if [ -n "$missing" ]; then
    [ "$(id -u)" = 0 ] || { echo "missing Debian packages:$missing (run as root, or install them)"; exit 1; }
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null || exit 1
fi
match() {  # name, opponent, xb-match options...
    local name=$1 opponent=$2; shift 2
    "$tools/xb-match" -1 "$engine" -2 "$opponent" -n "$games" --openings "$tools/openings.epd" \
        --pgn "$out/$name.pgn" -q "$@" >"$out/$name.txt" 2>&1
    echo "$name: $(tail -1 "$out/$name.txt")"
}
# 150 openings for long matches, where the 20 of openings.epd would repeat:
# the position after 8 moves of TCEC games (engine openings, chosen to be
# playable for both sides), distinct, taken evenly through the sorted list.
openings150() {
    local file="$out/openings-tcec.epd"
    [ -s "$file" ] || /usr/games/pgn-extract --plylimit 16 -Wepd -s \
        "$here/../shared/data/games/tcec-engine-s1-15.pgn" 2>/dev/null |
        awk '/^rnbqkbnr\/pppppppp\/8\/8\/8\/8\/PPPPPPPP\/RNBQKBNR w/ {n = 0}
             ++n == 17 && NF {sub(/ c0 .*/, ""); print}' | sort -u |
        awk '{line[NR] = $0} END {for (i = 0; i < 150; i++) print line[1 + int(i * NR / 150)]}' >"$file"
    echo "$file"
}
case ${1:-all} in
time|all)
    match fairymax-40in10s /usr/games/fairymax --tc 40/0:10
    match fairymax-5s+0.1 /usr/games/fairymax --tc 0:05+0.1
    match fairymax-st1 /usr/games/fairymax --st 1 ;;&
strength|all)
    match fairymax-10s+0.1 /usr/games/fairymax --tc 0:10+0.1
    match sjeng-10s+0.1 /usr/games/sjeng --tc 0:10+0.1
    match phalanx-10s+0.1 /usr/games/phalanx --tc 0:10+0.1
    match gnuchess-10s+0.1 "uci:/usr/games/gnuchessu" --tc 0:10+0.1 ;;&
threads|all)
    # xboard sends the same "cores" to both engines, and polyglot passes it
    # on as the UCI option Threads, over the Threads given on its command
    # line: each side runs behind a filter that sets its own count instead.
    # One engine thinks at a time.
    openings=$(openings150)
    for n in 1 2; do
        printf '#!/bin/sh\nsed -u "s/^setoption name Threads value .*/setoption name Threads value %s/" | exec "%s"\n' \
            "$n" "$engine" >"$out/brix-threads$n.sh"
        chmod +x "$out/brix-threads$n.sh"
    done
    name=threads2-threads1-10s+0.1
    "$tools/xb-match" -1 "uci:$out/brix-threads2.sh Threads=2" --name1 brix-2threads -2 "uci:$out/brix-threads1.sh Threads=1" \
        --name2 brix-1thread -n "${2:-300}" --openings "$openings" --tc 0:10+0.1 \
        --pgn "$out/$name.pgn" -q >"$out/$name.txt" 2>&1
    echo "$name: $(tail -1 "$out/$name.txt")"
    games=${2:-100} match phalanx-2threads-10s+0.1 /usr/games/phalanx --tc 0:10+0.1 \
        --xboard-arg=-smpCores --xboard-arg=2 ;;&
calibrate|all)
    for elo in ${SETTINGS:-1100 1300 1500 1700}; do
        results=""
        if [ "$elo" -lt 1400 ]; then peers="sf1320:1320 hoichess:1485 fairymax:1600"
        elif [ "$elo" -lt 1600 ]; then peers="hoichess:1485 fairymax:1600 sjeng:1720"
        else peers="fairymax:1600 sjeng:1720 phalanx:1940"; fi
        for peer in $peers; do
            name=strength$elo-${peer%:*}-4s+0.04
            command=/usr/games/${peer%:*}
            [ "${peer%:*}" = sf1320 ] && command="uci:/usr/games/stockfish UCI_LimitStrength=true UCI_Elo=1320"
            "$tools/xb-match" -1 "uci:$engine UCI_LimitStrength=true UCI_Elo=$elo" --name1 brix-$elo \
                -2 "$command" -n "$games" --openings "$tools/openings.epd" --tc 0:04+0.04 \
                --pgn "$out/$name.pgn" -q >"$out/$name.txt" 2>&1
            score=$(tail -1 "$out/$name.txt" | sed -n 's/^score: \([0-9]*-[0-9]*-[0-9]*\).*/\1/p')
            echo "$name: $(tail -1 "$out/$name.txt")"
            results="$results ${peer#*:}:$score"
        done
        echo "strength $elo: $("$here/tools/scripts/strength_fit.py" $results)"
    done ;;
esac
