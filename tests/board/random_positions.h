#pragma once
// Random but playable positions crowded around the moves whose side effects
// are easiest to get wrong. Each generator is deterministic for a seed and
// returns only FENs the engine's set-up accepts, as the engine writes them
// back (castling rights without their men dropped; the en-passant ones keep
// their en-passant square).
#include <string>
#include <vector>

// A pawn that has just made a double push with an enemy pawn beside it;
// kings and a few men stand mostly on the lines through the two pawns, so
// the capture uncovers checks along ranks and diagonals, exposes the
// capturer's own king, or answers a check. Either colour to move.
std::vector<std::string> enPassantPositions(int count, unsigned seed);

// Few men, mostly sliders and pawns about to promote, kings and rooks often
// on their castling squares: discovered, double and promotion checks.
std::vector<std::string> lineRichPositions(int count, unsigned seed);

// Several men of one kind and colour (queens, rooks, bishops or knights)
// crowded together, so that three or more of them often reach one square;
// a few other men, some of them pinning, around them.
std::vector<std::string> crowdedPositions(int count, unsigned seed);
