// Placeholder until web capture lands: every capture fails.
#include "commands/web_capture.h"

CWebCaptureSync::CWebCaptureSync() {}
CWebCaptureSync::~CWebCaptureSync() {}
bool CWebCaptureSync::valid() const {
    return false;
}

namespace Vs4Command {

std::vector<std::string> CaptureOptions(const ParamMap&) {
    return {"--quiet"};
}

bool CaptureWebPage(Configuration&, const CaptureRequest&,
                    const std::function<void(const std::string&)>&, std::string& error) {
    error = "App run error: 2";
    return false;
}

}  // namespace Vs4Command
