// board/rules.h: the rules that draw a game without a mate: repetition, the
// fifty-move rule and material that can never mate. The repetition count is
// inline because the search asks it at every node.
#pragma once
#include <cstdint>
#include "board/position.h"

// Earlier occurrences of the position in the reversible stretch of the game
// (plies since the last capture or pawn move). Only the low 32 key bits are
// compared, and only positions with the same side to move.
inline int repetitionCount() {
    if (fiftyCount <= 3) return 0;
    const std::uint32_t low   = std::uint32_t(hashKey);
    int                 count = 0;
    for (int i = gamePly - 4; i >= gamePly - fiftyCount && i >= 0; i -= 2)
        if (gameHistory[i].keyLow == low) ++count;
    return count;
}

// A hundred plies without a capture or a pawn move.
inline bool fiftyMovesPassed() { return fiftyCount >= 100; }

// The first legal move of the side to move in generation order, or 0 when
// it has none (mate or stalemate). Generates at ply 0 and leaves the list
// there.
Move firstLegalMove();

// Whether neither side can mate by any sequence of legal moves.
bool insufficientMaterial();
