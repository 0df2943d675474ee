# Checks move texts with an independent rules module: reads lines of
# "FEN<TAB>SAN<TAB>coordinate move" and asks the shared xbchess module which
# legal move the SAN text names. Usage: san_check.py TOOLS_DIR LINES_FILE.
# Prints "checked N failed M" and exits 1 when any text fails.
import sys

sys.path.insert(0, sys.argv[1])
import xbchess  # noqa: E402

checked = failed = 0
board = legal = None
last_fen = None
for line in open(sys.argv[2]):
    fen, san, coord = line.rstrip("\n").split("\t")
    if fen != last_fen:
        board = xbchess.Board(fen)
        legal = board.legal_moves()
        last_fen = fen
    checked += 1
    try:
        move = board.parse_move(san, legal)
        if move.uci() != coord.lower():
            raise xbchess.IllegalMove("names %s" % move.uci())
    except xbchess.IllegalMove as e:
        failed += 1
        if failed <= 10:
            print("%s: %s for %s: %s" % (fen, san, coord, e))
print("checked %d failed %d" % (checked, failed))
sys.exit(1 if failed else 0)
