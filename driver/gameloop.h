// driver/gameloop.h: the engine's life in protocol mode: thinking, playing,
// pondering, analysing, applying the user's moves and announcing results.
#pragma once
#include <cstdint>
#include "board/types.h"
#include "game/state.h"
#include "search/settings.h"

void runGameLoop();  // returns when quit is requested or input ends
