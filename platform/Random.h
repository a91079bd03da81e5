// The one process-wide pseudo-random generator. Every random choice of the program
// draws from it; tests seed it for repeatable runs.
#pragma once

#include <cstdint>

// Uniform integer in [0, n); 0 when n <= 0.
int32_t Random(int32_t n);
// Uniform real in [0, 1).
double RandomReal();
void RandSeed(uint64_t seed);
// Seeds from the high-resolution clock.
void Randomize();
