// Helpers for the command tests: the poster command file and a runner bound
// to fixed settings and folders (pixel helpers come from support/pixels.h).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "image/base_image.h"
#include "photocmd/param_map.h"
#include "photocmd/run_in_process.h"
#include "support/pixels.h"

namespace vstest {

// The poster command file: a resize to the request's w, a caption from its
// title, and a sharpening.
inline const std::string kPosterFile =
    "; poster with a caption\r\n"
    "cmd=resize&w=<%w%>\r\n"
    "cmd=text&text=<%title%>&fontsize=24&color=ffff0000&x=10&y=10\r\n"
    "cmd=sharpen&weight=2\r\n";

// Runs single commands and command files in process with default settings
// and the given folders.
struct InProcessRunner {
    Settings settings;
    Vs4Command::OperationFolders folders;
    Vs4Command::NamedImageTable named;

    int Run(Vs4Image::CBaseImage& image, const std::string& command) {
        return Vs4Command::RunCommandInProcess(named, image, Vs4Command::ParseParams(command),
                                               settings, folders);
    }
    int RunFile(Vs4Image::CBaseImage& image, const Vs4Command::CommandFile& file,
                const std::string& request) {
        return Vs4Command::RunCommandFileInProcess(
            named, image, file, Vs4Command::ParseParams(request), settings, folders);
    }
};

}  // namespace vstest
