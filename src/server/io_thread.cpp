#include "server/io_thread.h"

#include <algorithm>

namespace Vs5Server {

namespace {

thread_local CTlsContainer* tCurrent = nullptr;

}  // namespace

CTlsContainer* CurrentIoThread() {
    return tCurrent;
}

void SetCurrentIoThread(CTlsContainer* tls) {
    tCurrent = tls;
}

int IoThreadCount(int processors, int configured) {
    int cap = configured > 0 ? configured : 6;
    return std::max(1, std::min(processors, cap));
}

}  // namespace Vs5Server
