// search/strength.h: a strength a person can beat. Below full strength a
// timed search is held to a node budget that halves with every 100 points
// less (strength.cpp says where it stands and why), looks at its best few
// moves, and now and then plays one a little worse than the best: never one
// whose score says it gets mated while the best does not, and never anything
// but the best when that one mates.
#pragma once
#include <cstdint>

constexpr int STRENGTH_MIN = 800;
constexpr int STRENGTH_MAX = 1800;  // the engine's own strength: at or above it, no limit
extern int strengthElo;  // 0: full strength
// An Elo from STRENGTH_MIN up; 0, or anything at or above STRENGTH_MAX, is
// full strength, and less than STRENGTH_MIN is STRENGTH_MIN.
void setStrength(long elo);

// What a timed search at the set strength needs: the lines it searches
// (1 at full strength) and its node budget (0: none).
int           strengthLines();
std::uint64_t strengthNodeBudget();
// Which of count lines, scored best first, to play.
int chooseLine(const std::int16_t* scores, int count);
