// game/result.h: the end of a game as the rules decide it, announced to the
// GUI in the result line the xboard protocol wants.
#pragma once

// After a move of the game: prints the result and sets gameOver when the
// side to move is mated or stalemated or the game is drawn.
void announceResult();
