// driver/gameloop.h: the engine's life in protocol mode: the engine's turn
// (driver/engineturn.h) and the wait for commands in turn, then the user's
// move and the recorded request carried out.
#pragma once
#include <cstdint>
#include "board/types.h"
#include "game/state.h"
#include "search/settings.h"

void runGameLoop();  // returns when quit is requested or input ends
