// vistrel: a command-line client of the Vistrel 5 server. It sends GET, EXEC
// and EXEC2 requests (or any frame with `raw`) and prints or saves the answers.
#include <cstdio>
#include <cstring>

#include "commands.h"

namespace VsCli {

int Usage() {
    fputs(
        "usage: vistrel get PATH [COMMAND] [--encoding 400|401 [--code-page N]] [COMMON]\n"
        "       vistrel exec (--file PATH | --bytes FILE | --url URL [--options TEXT])\n"
        "                    --script TEXT [-o OUT] [COMMON]\n"
        "       vistrel exec2 STEP... [-o OUT] [COMMON]\n"
        "       vistrel raw --verb NAME [--body-file FILE] [--encoding N] [--code-page N]\n"
        "                   [--host HOST] [--port PORT] [--timeout MS] [--out FILE]\n"
        "                   [--max-response MB]\n"
        "COMMON: --host HOST (127.0.0.1), --port PORT (19985), --timeout MS (30000),\n"
        "        --max-response MB (256): an answer announcing more is not read\n"
        "get    prints the path of the result file. With --encoding 401 the strings go in\n"
        "       the code page --code-page names (65001, UTF-8, when omitted).\n"
        "exec   runs the script's lines (separated by line feeds or by the two characters\n"
        "       \\n) on the source. An encoded image is written to OUT (-o - for standard\n"
        "       output), a saved file's path is printed, a _getmetric_ size is printed as\n"
        "       \"WIDTH HEIGHT\".\n"
        "exec2  runs its steps in the order given, on one connection:\n"
        "       --name NAME           the image the following steps use (first: \"\")\n"
        "       --load PATH           load an image file of the server's machine\n"
        "       --load-bytes FILE     send a local image file\n"
        "       --url URL [--options TEXT]  capture a web page\n"
        "       --blank WxH[:COLOUR]  a blank image, COLOUR as RRGGBB or AARRGGBB\n"
        "       --script TEXT         run script lines, as for exec\n"
        "       --metadata ID         print one metadata property as text\n"
        "       --release             drop the image's pixels\n"
        "       --flags-set N, --flags-clear N   set or clear image flag bits\n"
        "       Loads, captures, blanks and scripts without an encode line print\n"
        "       \"WIDTH HEIGHT\"; an encode line answers as in exec.\n"
        "raw    sends one frame and prints its status and payload.\n"
        "Exit status of get, exec and exec2: 0 success; 1 the server answered with a\n"
        "failure code (printed with its meaning), or a local file could not be read or\n"
        "written; 2 a usage error; 3 no connection, no answer, or an unreadable answer.\n"
        "raw exits 1 on every failure but usage errors.\n",
        stderr);
    return 2;
}

}  // namespace VsCli

int main(int argc, char** argv) {
    struct {
        const char* name;
        int (*run)(int, char**);
    } const subcommands[] = {{"raw", VsCli::RunRaw},
                             {"get", VsCli::RunGet},
                             {"exec", VsCli::RunExec},
                             {"exec2", VsCli::RunExec2}};
    for (const auto& sub : subcommands)
        if (argc >= 2 && strcmp(argv[1], sub.name) == 0)
            return sub.run(argc, argv);
    return VsCli::Usage();
}
