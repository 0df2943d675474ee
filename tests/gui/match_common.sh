# Shared by the GUI match scripts (sourced, not run): plays a short match in
# the real xboard, headless, and fails it when a game is missing or ended by
# an illegal move, a lost flag (but Fairy-Max's own), a false claim or a crash.
# Set before sourcing: tools (the shared measurement tools), work (a scratch
# directory). Sets status to 1 on any failure.
status=0

# run NAME GAMES ENGINE TC [xb-match options...]
run_match() {
    local name=$1 games=$2 engine=$3 tc=$4; shift 4
    local out="$work/$name.txt"
    "$tools/xb-match" -1 "$engine" -2 /usr/games/fairymax -n "$games" --tc "$tc" \
        --pgn "$work/$name.pgn" "$@" >"$out" 2>&1
    local rc=$?
    cat "$out"
    if [ $rc -ne 0 ]; then echo "FAIL $name: xb-match exit status $rc"; status=1; fi
    if ! grep -q "games: $games of $games played, 0 unfinished" "$out"; then
        echo "FAIL $name: not every game finished"; status=1
    fi
    # Fairy-Max losing on time (it can, on a loaded machine) is no fault of
    # ours; every other fault of either side fails the match.
    if grep -E "^game" "$out" | grep -iE "illegal|time|forfeit|crash|disconnect|false|exited" |
        awk '/White wins on time/ && $5 == "fairymax" { next }
             /Black wins on time/ && $3 == "fairymax" { next }
             { found = 1 } END { exit !found }'; then
        echo "FAIL $name: a game ended by a fault"; status=1
    fi
}

finish_matches() {
    if [ $status -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
    exit $status
}
