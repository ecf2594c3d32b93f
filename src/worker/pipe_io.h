// Exact reads and writes on the worker's stream socket. A message is never
// taken as complete before all its bytes have moved: a short count, the end
// of the stream or a silent peer is a failure the caller sees.
#pragma once

#include <cstddef>

namespace Vs5Worker {

enum class IoResult { kOk, kClosed, kTimeout, kError };

// Waits at most `timeoutMs` (negative: for ever) for the peer to make
// progress; the time-out counts from the last byte moved, so a large image
// does not need to move within one period.
IoResult WriteAll(int fd, const void* data, size_t size, int timeoutMs);
IoResult ReadExact(int fd, void* data, size_t size, int timeoutMs);

}  // namespace Vs5Worker
