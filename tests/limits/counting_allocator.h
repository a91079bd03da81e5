// Counts the bytes the whole process holds on the heap, to tell what one call cost at
// its peak. Every allocation counts, whichever library makes it.
#pragma once

#include <cstdint>

namespace heapcount {
// Bytes held now.
int64_t Held();
// The most held since the last StartPeak().
int64_t Peak();
void StartPeak();
}  // namespace heapcount
