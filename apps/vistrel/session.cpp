#include "session.h"

#include <cstdio>
#include <fstream>

#include "client/verb_requests.h"

namespace VsCli {

int Session::Connect() {
    connection_.SetMaxResponseBytes(endpoint_.maxResponseBytes);
    if (connection_.Connect(endpoint_.host, endpoint_.port, endpoint_.timeoutMs))
        return 0;
    fprintf(stderr, "vistrel: cannot connect to %s:%u: %s\n", endpoint_.host.c_str(),
            endpoint_.port, connection_.error().c_str());
    return kExitConnection;
}

int Session::Ask(const std::vector<uint8_t>& frame, VsClient::Response& response) {
    if (!connection_.Request(frame, response)) {
        fprintf(stderr, "vistrel: %s: no answer: %s\n", verb_, connection_.error().c_str());
        return kExitConnection;
    }
    if (response.status == 0)
        return 0;
    fprintf(stderr, "vistrel: %s failed: %u (%s)\n", verb_, response.status,
            VsClient::ResultCodeMeaning(response.status));
    return kExitFailed;
}

int Session::Deliver(const VsClient::Response& response, AnswerStyle style,
                     const OutputTarget& output) {
    if (response.payload.empty())
        return 0;
    uint32_t width = 0, height = 0;
    std::string text;
    std::vector<uint8_t> data;
    if (style.size && VsClient::PayloadSize(response, width, height)) {
        printf("%u %u\n", width, height);
    } else if (VsClient::PayloadText(response, text)) {
        if (!text.empty() || style.emptyLine)
            printf("%s\n", text.c_str());
    } else if (VsClient::PayloadBinary(response, data)) {
        return WriteImage(data, output);
    } else {
        return Unreadable(response);
    }
    return fflush(stdout) == 0 ? 0 : kExitFailed;
}

int Session::Unreadable(const VsClient::Response& response) {
    fprintf(stderr, "vistrel: %s: unreadable answer (%zu payload bytes)\n", verb_,
            response.payload.size());
    return kExitConnection;
}

int Session::WriteImage(const std::vector<uint8_t>& data, const OutputTarget& output) {
    if (output.RefusesBinary()) {
        fprintf(stderr,
                "vistrel: %s: the answer is %zu bytes of image data; give -o FILE, or -o - "
                "for standard output\n",
                verb_, data.size());
        return kExitUsage;
    }
    if (!output.path || *output.path == "-") {
        if (fwrite(data.data(), 1, data.size(), stdout) == data.size() && fflush(stdout) == 0)
            return 0;
        fprintf(stderr, "vistrel: cannot write standard output\n");
        return kExitFailed;
    }
    std::ofstream file(*output.path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data.data()),
               static_cast<std::streamsize>(data.size()));
    file.close();
    if (file)
        return 0;
    fprintf(stderr, "vistrel: cannot write %s\n", output.path->c_str());
    return kExitFailed;
}

}  // namespace VsCli
