// Web page capture: the page is rendered to a PNG in TempFiles by the
// external wkhtmltoimage tool, loaded as the source image, and deleted. Each
// I/O thread also owns a CWebCaptureSync, three named semaphores that tell
// other processes the thread exists.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "photocmd/param_map.h"

class Configuration;

class CWebCaptureSync {
public:
    // Creates "/CWebCaptureSync_Request_<tid>", "..._Response_<tid>" and
    // "..._Exit_<tid>" for the calling thread.
    CWebCaptureSync();
    // Closes and unlinks the three semaphores.
    ~CWebCaptureSync();
    CWebCaptureSync(const CWebCaptureSync&) = delete;
    CWebCaptureSync& operator=(const CWebCaptureSync&) = delete;

    uint32_t threadId() const { return threadId_; }
    bool valid() const;

private:
    uint32_t threadId_ = 0;
    void* request_ = nullptr;   // sem_t*
    void* response_ = nullptr;  // sem_t*
    void* exit_ = nullptr;      // sem_t*
};

namespace Vs4Command {

// The tool's options from the capture parameters, in this order: "--quiet",
// then "--javascript-delay N" for rwait, "--disable-smart-width --width N"
// for width and "--height N" for height, each only when present.
std::vector<std::string> CaptureOptions(const ParamMap& options);

// How a failed tool run is described: EXEC names the URL, EXEC2 the exit code.
enum class CaptureErrorStyle { kUrl, kExitCode };

struct CaptureRequest {
    std::string url;
    std::string optionsText;  // a parameter string; only rwait, width and height are read
    std::string tempName;     // the PNG is "<TempFiles>/<tempName>.png"
    CaptureErrorStyle errorStyle = CaptureErrorStyle::kUrl;
};

// Runs the tool for the page and, when it ends with 0, hands the PNG path to
// `load`; the capture then succeeds whatever the load does. False with
// `error` set ("App run error: %d", "Capture error: \"...\"", "Capture
// timeout") otherwise. The temporary PNG is removed on every path.
bool CaptureWebPage(Configuration& config, const CaptureRequest& request,
                    const std::function<void(const std::string& pngPath)>& load,
                    std::string& error);

}  // namespace Vs4Command
