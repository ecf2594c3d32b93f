#include "server/request_context.h"

#include <atomic>

#include "platform/text.h"

namespace Vs5Server {

namespace {

std::atomic<uint32_t> gRequestCounter{1000};

constexpr size_t kMaxAddressUnits = 63;

}  // namespace

uint32_t NextRequestId() {
    return gRequestCounter.fetch_add(1) + 1;
}

RequestContext::RequestContext(std::string address)
    : requestId(NextRequestId()),
      clientAddress(Vs5Platform::TruncateUtf16(address, kMaxAddressUnits)) {}

}  // namespace Vs5Server
