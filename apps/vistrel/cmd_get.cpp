// vistrel get PATH [COMMAND] [--encoding 400|401 [--code-page N]]: asks for
// the result of COMMAND on the image file PATH and prints the result's path.
#include <cstdio>

#include "client/verb_requests.h"
#include "commands.h"
#include "platform/codepage.h"
#include "session.h"

namespace VsCli {

namespace {

// The strings' encoding and code page; with 401 the code page defaults to
// UTF-8, the text of a Linux terminal.
bool ReadEncoding(const std::vector<Arg>& args, uint32_t& encoding, uint32_t& codePage) {
    const std::string* enc = FindArg(args, "--encoding");
    const std::string* page = FindArg(args, "--code-page");
    encoding = VsClient::kEncodingUtf16;
    codePage = Vs5Platform::kUtf8CodePage;
    if (enc && (!ParseU32(*enc, encoding) || (encoding != VsClient::kEncodingUtf16 &&
                                              encoding != VsClient::kEncodingCodePage))) {
        fprintf(stderr, "vistrel: --encoding is 400 or 401\n");
        return false;
    }
    if (page && encoding != VsClient::kEncodingCodePage) {
        fprintf(stderr, "vistrel: --code-page goes with --encoding 401\n");
        return false;
    }
    if (page && (!ParseU32(*page, codePage) || !Vs5Platform::IsKnownCodePage(int(codePage)))) {
        fprintf(stderr, "vistrel: unknown code page %s\n", page->c_str());
        return false;
    }
    return true;
}

}  // namespace

int RunGet(int argc, char** argv) {
    std::vector<Arg> args;
    Endpoint endpoint;
    uint32_t encoding = 0, codePage = 0;
    if (!ParseArgs(argc, argv, 2, {{"--encoding", true}, {"--code-page", true}}, args) ||
        !ReadEndpoint(args, endpoint) || !ReadEncoding(args, encoding, codePage))
        return kExitUsage;
    std::vector<std::string> words = Positionals(args);
    if (words.empty() || words.size() > 2)
        return Usage();
    Session session("get", endpoint);
    VsClient::Response response;
    std::string command = words.size() > 1 ? words[1] : "";
    if (int rc = session.Connect())
        return rc;
    if (int rc =
            session.Ask(VsClient::BuildGetFrame(words[0], command, encoding, codePage), response))
        return rc;
    std::string path;
    if (!VsClient::PayloadBareText(response, encoding, codePage, path))
        return session.Unreadable(response);
    printf("%s\n", path.c_str());
    return 0;
}

}  // namespace VsCli
