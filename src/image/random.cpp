#include "image/random.h"

namespace Vs4Image {

namespace {
thread_local uint32_t tState = 1;
}

int ThreadRandom() {
    tState = tState * 214013u + 2531011u;
    return static_cast<int>((tState >> 16) & 0x7FFF);
}

void ResetThreadRandom(uint32_t seed) { tState = seed; }

}  // namespace Vs4Image
