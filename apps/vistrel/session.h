// One connection of the vistrel client: sends frames of one verb, reports
// failures in the client's words and exit statuses, and delivers answers.
#pragma once

#include <string>
#include <vector>

#include "client/connection.h"
#include "options.h"

namespace VsCli {

// How a successful typed answer is shown.
struct AnswerStyle {
    bool size = false;       // an 8-byte binary answer is a size: "WIDTH HEIGHT"
    bool emptyLine = false;  // an empty text still prints its line
};

class Session {
public:
    Session(const char* verb, const Endpoint& endpoint) : verb_(verb), endpoint_(endpoint) {}

    // 0, or kExitConnection after saying why.
    int Connect();
    // Sends `frame` and reads its answer: 0 when the status is 0; else the
    // failure is reported and its exit status returned.
    int Ask(const std::vector<uint8_t>& frame, VsClient::Response& response);
    // Prints a size or a text, or writes an encoded image to `output`.
    int Deliver(const VsClient::Response& response, AnswerStyle style, const OutputTarget& output);
    int Unreadable(const VsClient::Response& response);

private:
    int WriteImage(const std::vector<uint8_t>& data, const OutputTarget& output);

    const char* verb_;
    Endpoint endpoint_;
    VsClient::Connection connection_;
};

}  // namespace VsCli
