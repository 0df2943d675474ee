// search/quiesce.h: the capture search at the leaves.
#pragma once
#include <cstdint>

std::int16_t quiesce(int alpha, int beta);
