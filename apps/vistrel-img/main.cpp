// vistrel-img: runs photo commands on an image file, in order, exactly as
// lines of an EXEC2 script run in the server, and writes the result.
//   vistrel-img [--ini FILE] [--home DIR] [--image NAME=FILE]... INPUT OUTPUT COMMAND...
// Prints the result's size ("WIDTHxHEIGHT"). On failure prints the result
// code and exits with it (101, 103, 200 + status); 2 for a bad command line.
#include <cstdio>
#include <string>
#include <vector>

#include "image/graphics.h"
#include "img_options.h"
#include "img_session.h"
#include "photocmd/result_codes.h"

// Fontconfig keeps its configuration and matched fonts for the life of the
// process; a leak-checking build would report those caches at exit and fail.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
extern "C" const char* __lsan_default_options() {
    return "print_suppressions=0";
}

namespace {

int Usage(const std::string& error) {
    fprintf(stderr,
            "vistrel-img: %s\n"
            "usage: vistrel-img [--ini FILE] [--home DIR] [--image NAME=FILE]...\n"
            "                   INPUT OUTPUT 'cmd=thumb&w=300' ['cmd=...' ...]\n"
            "  --ini    settings file (default: vistrel5.ini in the home folder)\n"
            "  --home   module folder with Frame/, Command/ and Command/Images/\n"
            "           (default: the folder of this program)\n"
            "  --image  load FILE as the named image NAME, for merge with imgno=NAME\n"
            "OUTPUT is written as .jpg/.jpeg, .png or .bmp by its extension.\n",
            error.c_str());
    return 2;
}

// Result codes are at most 255, so the code itself is the exit status.
int Fail(int code, const std::string& what) {
    fprintf(stderr, "vistrel-img: %s: result %d\n", what.c_str(), code);
    return code > 255 ? 255 : code;
}

int Run(const ImgOptions& options) {
    ImgSession session;
    std::string error;
    if (!session.Configure(options, error))
        return Usage(error);
    std::string what;
    if (int code = session.LoadImages(options, what); code != Vs4Command::kResultOk)
        return Fail(code, "cannot load " + what);
    for (const std::string& command : options.commands)
        if (int code = session.RunCommand(command); code != Vs4Command::kResultOk)
            return Fail(code, "'" + command + "' failed");
    if (int code = session.Save(options.output); code != Vs4Command::kResultOk)
        return Fail(code, "cannot write " + options.output);
    printf("%dx%d\n", session.image().width(), session.image().height());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    ImgOptions options;
    std::string error;
    if (!ParseImgOptions(std::vector<std::string>(argv + 1, argv + argc), options, error))
        return Usage(error);
    Vs4Image::GraphicsStartup();
    int exitCode = Run(options);
    Vs4Image::GraphicsShutdown();
    return exitCode;
}
