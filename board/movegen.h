// board/movegen.h: pseudo-legal move generation for the side to move at
// `ply`. Lists go to moveStack[firstMove[ply] .. firstMove[ply+1]); men are
// visited a8 first, and the order is part of the engine's behaviour.
#pragma once
#include "board/types.h"

// Captures and promotions are scored (MVV/LVA, promotions by the new
// piece); quiet moves score 0 in the lists of generateMoves and
// generateEvasions, and are left unwritten by generateQuietMoves.
void generateMoves();       // all moves; not in check
void generateEvasions();    // answers to the check in checkState; in check only
void generateCaptures();    // captures (en passant included) and all promotions
void generateQuietMoves();  // everything else, castling included
void addMove(int from, int to, int flags);  // flags: GEN_* bits; expands promotions

// Completes a bare from/to/promotion word with the flags the generators
// give the same move, read from the board (bits already set stay set).
void classifyMove(Move* move);

// Every candidate of the side to move at `ply`: evasions in check, else all.
void generateAllMoves();
// Whether a move word is one the generator produces in the current
// position (so it is safe to make); uses the list at `ply`.
bool isGeneratedMove(Move m);
