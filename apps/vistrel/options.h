// Command-line parsing and local files for the vistrel client: options in the
// order given, the server address, numbers, scripts and the output target.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace VsCli {

// Exit statuses of get, exec and exec2.
constexpr int kExitFailed = 1;      // a result code, or a local file not read or written
constexpr int kExitUsage = 2;       // bad command line
constexpr int kExitConnection = 3;  // no connection, no answer, or an unreadable answer

struct OptionSpec {
    const char* name;
    bool takesValue;
};

// One command-line word: an option with its value, or (empty name) a
// positional argument.
struct Arg {
    std::string name;
    std::string value;
};

// Reads argv[first..] against `known` plus the common --host, --port,
// --timeout and --max-response, keeping the order given. False, with a message, on an unknown
// option or a missing value.
bool ParseArgs(int argc, char** argv, int first, std::initializer_list<OptionSpec> known,
               std::vector<Arg>& args);
// The value of the last occurrence of `name`, or null.
const std::string* FindArg(const std::vector<Arg>& args, const char* name);
std::vector<std::string> Positionals(const std::vector<Arg>& args);

// A decimal number, or a hexadecimal one written with "0x".
bool ParseU32(const std::string& text, uint32_t& value);

struct Endpoint {
    std::string host = "127.0.0.1";
    uint16_t port = 19985;
    int timeoutMs = 30000;
    uint64_t maxResponseBytes = uint64_t(256) << 20;  // --max-response, in MiB
};
bool ReadEndpoint(const std::vector<Arg>& args, Endpoint& endpoint);

bool ReadLocalFile(const std::string& path, std::vector<uint8_t>& out);

// Script text as typed in a shell: the two characters "\n" stand for a line
// feed, so that several lines fit in one argument.
std::string ScriptText(const std::string& argument);

// The first script line whose `cmd` is one of `cmds`, read the way the server
// parses a photo command (lower-case keys, first occurrence wins).
struct ScriptLine {
    std::string cmd;
    bool hasPath = false;
};
std::optional<ScriptLine> FirstLineWithCommand(const std::string& script,
                                               std::initializer_list<const char*> cmds);

// Where an encoded image goes: a file, or standard output for "-" and, when
// it is not a terminal, for no -o at all.
struct OutputTarget {
    std::optional<std::string> path;
    bool RefusesBinary() const;  // no -o and standard output is a terminal
};

}  // namespace VsCli
