// vistrel exec (--file PATH | --bytes FILE | --url URL) [--options TEXT]
//              --script TEXT [-o OUT]
// runs a script on one source and shows the answer of its output line.
#include <cstdio>

#include "client/verb_requests.h"
#include "commands.h"
#include "session.h"

namespace VsCli {

namespace {

// The source kind and its data from the one source option given.
bool ReadSource(const std::vector<Arg>& args, VsClient::ExecSource& kind,
                std::vector<uint8_t>& data, int& rc) {
    const std::string* file = FindArg(args, "--file");
    const std::string* bytes = FindArg(args, "--bytes");
    const std::string* url = FindArg(args, "--url");
    rc = kExitUsage;
    if ((file ? 1 : 0) + (bytes ? 1 : 0) + (url ? 1 : 0) != 1) {
        fprintf(stderr, "vistrel: exec needs one of --file, --bytes and --url\n");
        return false;
    }
    if (bytes) {
        kind = VsClient::ExecSource::kBytes;
        rc = kExitFailed;
        return ReadLocalFile(*bytes, data);
    }
    kind = file ? VsClient::ExecSource::kFile : VsClient::ExecSource::kWebPage;
    data = VsClient::Utf16z(file ? *file : *url);
    return true;
}

}  // namespace

int RunExec(int argc, char** argv) {
    std::vector<Arg> args;
    Endpoint endpoint;
    if (!ParseArgs(argc, argv, 2,
                   {{"--file", true},
                    {"--bytes", true},
                    {"--url", true},
                    {"--options", true},
                    {"--script", true},
                    {"-o", true}},
                   args) ||
        !ReadEndpoint(args, endpoint))
        return kExitUsage;
    const std::string* script = FindArg(args, "--script");
    if (!script || !Positionals(args).empty())
        return Usage();
    OutputTarget output;
    if (const std::string* out = FindArg(args, "-o"))
        output.path = *out;
    // The script ends at its first output or metric line, which decides the answer.
    std::string text = ScriptText(*script);
    auto answering = FirstLineWithCommand(text, {"encode", "_getmetric_"});
    bool metric = answering && answering->cmd == "_getmetric_";
    if (answering && !metric && !answering->hasPath && output.RefusesBinary()) {
        fprintf(stderr,
                "vistrel: exec: the script answers with image data; give -o FILE, or -o - "
                "for standard output\n");
        return kExitUsage;
    }
    VsClient::ExecSource kind{};
    std::vector<uint8_t> data;
    int rc = 0;
    if (!ReadSource(args, kind, data, rc))
        return rc;
    const std::string* options = FindArg(args, "--options");
    Session session("exec", endpoint);
    VsClient::Response response;
    if ((rc = session.Connect()) != 0 ||
        (rc = session.Ask(VsClient::BuildExecFrame(kind, data, options ? *options : "", text),
                          response)) != 0)
        return rc;
    return session.Deliver(response, {.size = metric}, output);
}

}  // namespace VsCli
