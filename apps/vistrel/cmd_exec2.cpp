// vistrel exec2 STEP... [-o OUT]: runs EXEC2 steps in the order given on one
// connection, since the server keeps the named images per connection.
#include <cstdio>

#include "client/verb_requests.h"
#include "commands.h"
#include "session.h"

namespace VsCli {

namespace {

using Kind = VsClient::Exec2Kind;

struct Step {
    Kind kind;
    std::vector<uint8_t> data;
    std::string textA;  // capture options or script
    std::string name;
    AnswerStyle style;
};

// "WxH" or "WxH:COLOUR" into the blank request's data: width, height, colour text.
bool BlankData(const std::string& spec, std::vector<uint8_t>& data) {
    size_t x = spec.find('x');
    size_t colon = spec.find(':');
    uint32_t width = 0, height = 0;
    if (x == std::string::npos || (colon != std::string::npos && colon < x) ||
        !ParseU32(spec.substr(0, x), width) ||
        !ParseU32(spec.substr(x + 1, colon == std::string::npos ? colon : colon - x - 1), height))
        return false;
    data = VsClient::U32s({width, height});
    std::vector<uint8_t> colour =
        VsClient::Utf16z(colon == std::string::npos ? "" : spec.substr(colon + 1));
    data.insert(data.end(), colour.begin(), colour.end());
    return true;
}

// The step of one option, or false (and `rc`) for a bad value. Options that
// are not steps leave `steps` as it is.
bool AddStep(const Arg& arg, const std::string& name, const OutputTarget& output,
             std::vector<Step>& steps, int& rc) {
    const std::string& v = arg.value;
    uint32_t number = 0;
    Step step{Kind::kLoadFile, {}, "", name, {.size = true}};
    rc = kExitUsage;
    if (arg.name == "--load") {
        step.data = VsClient::Utf16z(v);
    } else if (arg.name == "--load-bytes") {
        step.kind = Kind::kLoadBytes;
        rc = kExitFailed;
        if (!ReadLocalFile(v, step.data))
            return false;
    } else if (arg.name == "--url") {
        step.kind = Kind::kCapture;
        step.data = VsClient::Utf16z(v);
    } else if (arg.name == "--blank") {
        step.kind = Kind::kBlank;
        if (!BlankData(v, step.data)) {
            fprintf(stderr, "vistrel: --blank takes WIDTHxHEIGHT[:COLOUR]\n");
            return false;
        }
    } else if (arg.name == "--script") {
        step = {Kind::kScript, {}, ScriptText(v), name, {}};
        auto encode = FirstLineWithCommand(step.textA, {"encode"});
        step.style.size = !encode;
        if (encode && !encode->hasPath && output.RefusesBinary()) {
            fprintf(stderr,
                    "vistrel: exec2: a script answers with image data; give -o FILE, "
                    "or -o - for standard output\n");
            return false;
        }
    } else if (arg.name == "--release") {
        step = {Kind::kRelease, {}, "", name, {}};
    } else if (arg.name == "--metadata" || arg.name == "--flags-set" ||
               arg.name == "--flags-clear") {
        if (!ParseU32(v, number)) {
            fprintf(stderr, "vistrel: %s takes a number\n", arg.name.c_str());
            return false;
        }
        Kind kind = arg.name == "--metadata"    ? Kind::kMetadata
                    : arg.name == "--flags-set" ? Kind::kSetFlags
                                                : Kind::kClearFlags;
        step = {kind, VsClient::U32s({number}), "", name, {.emptyLine = kind == Kind::kMetadata}};
    } else {
        return true;
    }
    steps.push_back(std::move(step));
    return true;
}

int ReadSteps(const std::vector<Arg>& args, const OutputTarget& output, std::vector<Step>& steps) {
    std::string name;
    int rc = 0;
    for (const Arg& arg : args) {
        if (arg.name.empty())
            return Usage();
        if (arg.name == "--name") {
            name = arg.value;
        } else if (arg.name == "--options") {
            // Capture options belong to the --url just before them.
            if (steps.empty() || steps.back().kind != Kind::kCapture ||
                !steps.back().textA.empty()) {
                fprintf(stderr, "vistrel: --options follows a --url\n");
                return kExitUsage;
            }
            steps.back().textA = arg.value;
        } else if (!AddStep(arg, name, output, steps, rc)) {
            return rc;
        }
    }
    return steps.empty() ? Usage() : 0;
}

}  // namespace

int RunExec2(int argc, char** argv) {
    std::vector<Arg> args;
    Endpoint endpoint;
    if (!ParseArgs(argc, argv, 2,
                   {{"--name", true},
                    {"--load", true},
                    {"--load-bytes", true},
                    {"--url", true},
                    {"--options", true},
                    {"--blank", true},
                    {"--script", true},
                    {"--metadata", true},
                    {"--release", false},
                    {"--flags-set", true},
                    {"--flags-clear", true},
                    {"-o", true}},
                   args) ||
        !ReadEndpoint(args, endpoint))
        return kExitUsage;
    OutputTarget output;
    if (const std::string* out = FindArg(args, "-o"))
        output.path = *out;
    std::vector<Step> steps;
    if (int rc = ReadSteps(args, output, steps))
        return rc;
    Session session("exec2", endpoint);
    int rc = session.Connect();
    for (size_t i = 0; i < steps.size() && rc == 0; ++i) {
        const Step& s = steps[i];
        VsClient::Response response;
        rc = session.Ask(VsClient::BuildExec2Frame(s.kind, s.data, s.textA, s.name), response);
        if (rc == 0)
            rc = session.Deliver(response, s.style, output);
    }
    return rc;
}

}  // namespace VsCli
