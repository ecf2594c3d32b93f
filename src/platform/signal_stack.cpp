#include "platform/signal_stack.h"

#include <signal.h>
#include <sys/mman.h>

#include <cstddef>

namespace Vs5Platform {

namespace {

// Room for the crash writer's frames (it walks the stack and copies files).
constexpr size_t kStackSize = 128 * 1024;

class ThreadSignalStack {
public:
    ThreadSignalStack() {
        stack_t current{};
        if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE) &&
            current.ss_size >= kStackSize)
            return;  // one big enough is in place already
        void* memory =
            mmap(nullptr, kStackSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED)
            return;
        stack_t stack{};
        stack.ss_sp = memory;
        stack.ss_size = kStackSize;
        if (sigaltstack(&stack, nullptr) == 0)
            memory_ = memory;
        else
            munmap(memory, kStackSize);
    }
    ~ThreadSignalStack() {
        if (memory_ == nullptr)
            return;
        // The stack is switched off before its memory goes.
        stack_t off{};
        off.ss_flags = SS_DISABLE;
        sigaltstack(&off, nullptr);
        munmap(memory_, kStackSize);
    }
    ThreadSignalStack(const ThreadSignalStack&) = delete;
    ThreadSignalStack& operator=(const ThreadSignalStack&) = delete;

private:
    void* memory_ = nullptr;
};

}  // namespace

void EnsureSignalStack() {
    thread_local ThreadSignalStack stack;
    (void)stack;
}

}  // namespace Vs5Platform
