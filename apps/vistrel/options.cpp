#include "options.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>

namespace VsCli {

namespace {

const OptionSpec kCommon[] = {
    {"--host", true}, {"--port", true}, {"--timeout", true}, {"--max-response", true}};

const OptionSpec* FindSpec(std::initializer_list<OptionSpec> known, const char* word) {
    for (const OptionSpec& spec : known)
        if (strcmp(spec.name, word) == 0)
            return &spec;
    for (const OptionSpec& spec : kCommon)
        if (strcmp(spec.name, word) == 0)
            return &spec;
    return nullptr;
}

// Key/value pairs of one photo-command line: pairs split at "&", key and
// value at runs of "=", a pair without a value dropped.
std::map<std::string, std::string> LineParams(const std::string& line) {
    std::map<std::string, std::string> params;
    size_t at = 0;
    while (at < line.size()) {
        size_t end = line.find('&', at);
        std::string token = line.substr(at, end == std::string::npos ? end : end - at);
        at = end == std::string::npos ? line.size() : end + 1;
        size_t keyEnd = token.find('=');
        size_t valueStart = token.find_first_not_of('=', keyEnd);
        if (keyEnd == 0 || keyEnd == std::string::npos || valueStart == std::string::npos)
            continue;
        std::string key = token.substr(0, keyEnd);
        for (char& c : key)
            c = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
        params.emplace(key, token.substr(valueStart, token.find('=', valueStart) - valueStart));
    }
    return params;
}

}  // namespace

bool ParseArgs(int argc, char** argv, int first, std::initializer_list<OptionSpec> known,
               std::vector<Arg>& args) {
    for (int i = first; i < argc; ++i) {
        if (argv[i][0] != '-' || argv[i][1] == 0) {
            args.push_back({"", argv[i]});
            continue;
        }
        const OptionSpec* spec = FindSpec(known, argv[i]);
        if (!spec) {
            fprintf(stderr, "vistrel: unknown option %s\n", argv[i]);
            return false;
        }
        if (spec->takesValue && i + 1 >= argc) {
            fprintf(stderr, "vistrel: %s needs a value\n", argv[i]);
            return false;
        }
        args.push_back({spec->name, spec->takesValue ? argv[++i] : ""});
    }
    return true;
}

const std::string* FindArg(const std::vector<Arg>& args, const char* name) {
    const std::string* found = nullptr;
    for (const Arg& arg : args)
        if (arg.name == name)
            found = &arg.value;
    return found;
}

std::vector<std::string> Positionals(const std::vector<Arg>& args) {
    std::vector<std::string> out;
    for (const Arg& arg : args)
        if (arg.name.empty())
            out.push_back(arg.value);
    return out;
}

bool ParseU32(const std::string& text, uint32_t& value) {
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* digits = text.c_str() + (hex ? 2 : 0);
    auto first = static_cast<unsigned char>(*digits);
    if (!(hex ? isxdigit(first) : isdigit(first)))  // strtoull would take a sign or spaces
        return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long v = strtoull(digits, &end, hex ? 16 : 10);
    if (*end != 0 || errno != 0 || v > 0xFFFFFFFFull)
        return false;
    value = static_cast<uint32_t>(v);
    return true;
}

bool ReadEndpoint(const std::vector<Arg>& args, Endpoint& endpoint) {
    if (const std::string* host = FindArg(args, "--host"))
        endpoint.host = *host;
    uint32_t n = 0;
    if (const std::string* port = FindArg(args, "--port")) {
        if (!ParseU32(*port, n) || n == 0 || n > 65535) {
            fprintf(stderr, "vistrel: bad port %s\n", port->c_str());
            return false;
        }
        endpoint.port = static_cast<uint16_t>(n);
    }
    if (const std::string* timeout = FindArg(args, "--timeout")) {
        if (!ParseU32(*timeout, n) || n == 0 || n > 0x7FFFFFFF) {
            fprintf(stderr, "vistrel: bad time-out %s\n", timeout->c_str());
            return false;
        }
        endpoint.timeoutMs = static_cast<int>(n);
    }
    if (const std::string* limit = FindArg(args, "--max-response")) {
        if (!ParseU32(*limit, n) || n == 0 || n > 4096) {
            fprintf(stderr, "vistrel: bad response limit %s (1 to 4096 MiB)\n", limit->c_str());
            return false;
        }
        endpoint.maxResponseBytes = uint64_t(n) << 20;
    }
    return true;
}

bool ReadLocalFile(const std::string& path, std::vector<uint8_t>& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        fprintf(stderr, "vistrel: cannot read %s\n", path.c_str());
        return false;
    }
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

std::string ScriptText(const std::string& argument) {
    std::string out;
    for (size_t i = 0; i < argument.size(); ++i) {
        if (argument[i] == '\\' && i + 1 < argument.size() && argument[i + 1] == 'n') {
            out.push_back('\n');
            ++i;
        } else {
            out.push_back(argument[i]);
        }
    }
    return out;
}

std::optional<ScriptLine> FirstLineWithCommand(const std::string& script,
                                               std::initializer_list<const char*> cmds) {
    size_t at = 0;
    while (at < script.size()) {
        size_t end = script.find('\n', at);
        auto params = LineParams(script.substr(at, end == std::string::npos ? end : end - at));
        at = end == std::string::npos ? script.size() : end + 1;
        auto cmd = params.find("cmd");
        for (const char* wanted : cmds)
            if (cmd != params.end() && cmd->second == wanted)
                return ScriptLine{cmd->second, params.count("path") != 0};
    }
    return std::nullopt;
}

bool OutputTarget::RefusesBinary() const {
    return !path && isatty(STDOUT_FILENO);
}

}  // namespace VsCli
