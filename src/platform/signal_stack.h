// An alternate signal stack for the calling thread. A fault handler runs on
// the faulting thread; after a stack overflow it can run only on a stack of
// its own, and each thread needs one (the alternate stack is per thread).
#pragma once

namespace Vs5Platform {

// Gives the calling thread an alternate signal stack unless it has one; it
// is freed when the thread ends. Every thread the server starts calls this
// first, so that the crash writer works wherever the fault happens.
void EnsureSignalStack();

}  // namespace Vs5Platform
