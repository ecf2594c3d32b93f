// vistrel raw --verb NAME [--body-file F] [--encoding N] [--code-page N]
//             [--host H] [--port P] [--timeout MS] [--out FILE] [--max-response MB]
// sends one frame with the given verb and body and prints the answer's status
// and payload (as a hex dump, or into FILE with --out). An answer announcing
// more than MB MiB (256 by default) is not read. Every failure exits 1.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "client/connection.h"
#include "client/request_builder.h"
#include "commands.h"

namespace VsCli {

namespace {

bool ReadFile(const std::string& path, std::vector<uint8_t>& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

void HexDump(const std::vector<uint8_t>& bytes) {
    for (size_t row = 0; row < bytes.size(); row += 16) {
        printf("%08zx ", row);
        for (size_t i = row; i < row + 16 && i < bytes.size(); ++i)
            printf(" %02x", bytes[i]);
        putchar('\n');
    }
}

// Reads "--name value" pairs; false on an unknown name or a missing value.
bool ParseOptions(int argc, char** argv, std::map<std::string, std::string>& options) {
    static const char* known[] = {"--verb", "--body-file", "--encoding", "--code-page",   "--host",
                                  "--port", "--timeout",   "--out",      "--max-response"};
    for (int i = 2; i < argc; i += 2) {
        bool ok = false;
        for (const char* name : known)
            ok = ok || strcmp(argv[i], name) == 0;
        if (!ok || i + 1 >= argc)
            return false;
        options[argv[i]] = argv[i + 1];
    }
    return options.count("--verb") != 0;
}

std::string Option(const std::map<std::string, std::string>& options, const char* name,
                   const char* fallback) {
    auto it = options.find(name);
    return it == options.end() ? fallback : it->second;
}

int SendRaw(const std::map<std::string, std::string>& options) {
    std::vector<uint8_t> body;
    std::string bodyFile = Option(options, "--body-file", "");
    if (!bodyFile.empty() && !ReadFile(bodyFile, body)) {
        fprintf(stderr, "vistrel: cannot read %s\n", bodyFile.c_str());
        return 1;
    }
    uint32_t encoding = strtoul(Option(options, "--encoding", "400").c_str(), nullptr, 10);
    uint32_t codePage = strtoul(Option(options, "--code-page", "0").c_str(), nullptr, 10);
    std::string host = Option(options, "--host", "127.0.0.1");
    auto port = static_cast<uint16_t>(atoi(Option(options, "--port", "19985").c_str()));
    int timeout = atoi(Option(options, "--timeout", "30000").c_str());
    long maxMb = atol(Option(options, "--max-response", "256").c_str());
    if (maxMb < 1 || maxMb > 4096) {
        fprintf(stderr, "vistrel: bad response limit (1 to 4096 MiB)\n");
        return 1;
    }

    VsClient::Connection connection;
    connection.SetMaxResponseBytes(uint64_t(maxMb) << 20);
    if (!connection.Connect(host, port, timeout)) {
        fprintf(stderr, "vistrel: cannot connect to %s:%u: %s\n", host.c_str(), port,
                connection.error().c_str());
        return 1;
    }
    VsClient::Response response;
    auto frame = VsClient::BuildRequestFrame(options.at("--verb"), encoding, body, codePage);
    if (!connection.Request(frame, response)) {
        fprintf(stderr, "vistrel: no response: %s\n", connection.error().c_str());
        return 1;
    }
    printf("status %u\npayload %zu bytes\n", response.status, response.payload.size());
    std::string out = Option(options, "--out", "");
    if (out.empty()) {
        HexDump(response.payload);
    } else {
        std::ofstream file(out, std::ios::binary);
        file.write(reinterpret_cast<const char*>(response.payload.data()),
                   static_cast<std::streamsize>(response.payload.size()));
        if (!file) {
            fprintf(stderr, "vistrel: cannot write %s\n", out.c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace

int RunRaw(int argc, char** argv) {
    std::map<std::string, std::string> options;
    if (!ParseOptions(argc, argv, options))
        return Usage();
    return SendRaw(options);
}

}  // namespace VsCli
