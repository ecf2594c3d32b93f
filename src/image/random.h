// The engine's random numbers: the classic C runtime generator, one state per
// thread. Effects that look random (jitter, noise, the verification-code
// image) draw from it, so a given sequence of work on a thread always gives
// the same pixels. The state starts at 1 on every thread and is never
// reseeded by the engine.
#pragma once

#include <cstdint>

namespace Vs4Image {

// Largest value ThreadRandom() returns.
constexpr int kThreadRandomMax = 0x7FFF;

// Advances this thread's state x to x * 214013 + 2531011 (mod 2^32) and
// returns bits 16..30 of the new state: 0..32767.
int ThreadRandom();

// Puts this thread's state back to `seed` (1 is the state of a new thread).
// For tests that need a known starting point.
void ResetThreadRandom(uint32_t seed = 1);

}  // namespace Vs4Image
