// board/threat.h: can the opponent of a colour give check next move?
// Counts single pawn steps and captures, knight moves and slider moves only
// (no double steps, promotions, king moves, castling or discovered checks).
#pragma once

// safeOnly: count only checks from squares the checking side controls.
bool checkThreat(int colour, bool safeOnly);
