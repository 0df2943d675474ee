#!/usr/bin/env bash
# Measurement matches through the real xboard (headless): time management
# at three kinds of control against Fairy-Max, then strength against the
# Debian peers. Results go to OUT (default matches/); each match's last
# line is "score: W-L-D (P%) elo: X +- Y" from Brix's view.
#   usage: tools/scripts/matches.sh [time|strength|all] [GAMES]
set -u
here=$(cd "$(dirname "$0")/../.." && pwd)
tools="$here/../shared/tools"
engine="$here/build/brix"
out=${OUT:-$here/matches}
games=${2:-40}
mkdir -p "$out"
match() {  # name, opponent, xb-match options...
    local name=$1 opponent=$2; shift 2
    "$tools/xb-match" -1 "$engine" -2 "$opponent" -n "$games" --openings "$tools/openings.epd" \
        --pgn "$out/$name.pgn" -q "$@" >"$out/$name.txt" 2>&1
    echo "$name: $(tail -1 "$out/$name.txt")"
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
    match gnuchess-10s+0.1 "uci:/usr/games/gnuchessu" --tc 0:10+0.1 ;;
esac
