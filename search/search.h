// search/search.h: the interior principal-variation search with null move,
// internal iterative deepening, futility and quarter-ply extensions.
#pragma once
#include <cstdint>

// Node flags.
constexpr std::uint8_t NODE_NULL_OK    = 1;  // a null move may be tried here
constexpr std::uint8_t NODE_RECAPTURED = 2;  // reached by an extended recapture

// Score from the side to move's view; the position is unchanged on return.
// depth in plies (>= 1), extension in quarter plies carried from the parent.
std::int16_t search(int alpha, int beta, int depth, int extension, std::uint8_t flags);
bool         isCheckExtensible();  // right after a checking move
