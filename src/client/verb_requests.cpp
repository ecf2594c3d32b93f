#include "client/verb_requests.h"

#include <algorithm>

#include "platform/codepage.h"

namespace VsClient {

namespace {

void Append(std::vector<uint8_t>& out, const std::vector<uint8_t>& bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// u16 kind, u32 data length (not aligned), data, then the texts.
std::vector<uint8_t> KindBody(uint16_t kind, const std::vector<uint8_t>& data,
                              const std::string& first, const std::string& second) {
    std::vector<uint8_t> body = {uint8_t(kind), uint8_t(kind >> 8)};
    Append(body, U32s({static_cast<uint32_t>(data.size())}));
    Append(body, data);
    Append(body, Utf16z(first));
    Append(body, Utf16z(second));
    return body;
}

// A NUL code unit somewhere in the UTF-16LE text that starts at `from`: a
// text cut off in transit has none.
bool HasUtf16Terminator(const std::vector<uint8_t>& b, size_t from) {
    for (size_t i = from; i + 1 < b.size(); i += 2)
        if (b[i] == 0 && b[i + 1] == 0)
            return true;
    return false;
}

uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

}  // namespace

std::vector<uint8_t> Utf16z(const std::string& text) {
    return Utf16Strings({text});
}

std::vector<uint8_t> U32s(std::initializer_list<uint32_t> values) {
    std::vector<uint8_t> out;
    for (uint32_t v : values)
        for (int i = 0; i < 4; ++i)
            out.push_back(uint8_t(v >> (8 * i)));
    return out;
}

std::vector<uint8_t> BuildGetFrame(const std::string& sourcePath, const std::string& command,
                                   uint32_t encoding, uint32_t codePage) {
    if (encoding == kEncodingUtf16)
        return BuildRequestFrame("GET", encoding, Utf16Strings({sourcePath, command, ""}));
    std::vector<uint8_t> body;
    for (const std::string& s : {sourcePath, command, std::string()}) {
        std::string bytes = Vs5Platform::Utf8ToCodePage(s, static_cast<int>(codePage));
        body.insert(body.end(), bytes.begin(), bytes.end());
        body.push_back(0);
    }
    return BuildRequestFrame("GET", encoding, body, codePage);
}

std::vector<uint8_t> BuildExecFrame(ExecSource kind, const std::vector<uint8_t>& data,
                                    const std::string& options, const std::string& script) {
    return BuildRequestFrame("EXEC", kEncodingUtf16,
                             KindBody(static_cast<uint16_t>(kind), data, options, script));
}

std::vector<uint8_t> BuildExec2Frame(Exec2Kind kind, const std::vector<uint8_t>& data,
                                     const std::string& textA, const std::string& imageName) {
    return BuildRequestFrame("EXEC2", kEncodingUtf16,
                             KindBody(static_cast<uint16_t>(kind), data, textA, imageName));
}

bool PayloadBareText(const Response& response, uint32_t encoding, uint32_t codePage,
                     std::string& text) {
    const auto& p = response.payload;
    if (encoding == kEncodingCodePage) {
        auto end = std::find(p.begin(), p.end(), uint8_t(0));
        if (end == p.end())
            return false;
        text = Vs5Platform::CodePageToUtf8(std::string(p.begin(), end), int(codePage));
        return true;
    }
    if (!HasUtf16Terminator(p, 0))
        return false;
    text = DecodeUtf16z(p.data(), p.size());
    return true;
}

bool PayloadText(const Response& response, std::string& text) {
    const auto& p = response.payload;
    if (p.size() < 2 || (p[0] | p[1] << 8) != 1 || !HasUtf16Terminator(p, 2))
        return false;
    text = DecodeUtf16z(p.data() + 2, p.size() - 2);
    return true;
}

bool PayloadBinary(const Response& response, std::vector<uint8_t>& data) {
    const auto& p = response.payload;
    if (p.size() < 6 || (p[0] | p[1] << 8) != 2)
        return false;
    // The frame ends with the data, so the announced length must match it.
    uint32_t length = U32At(p, 2);
    if (length != p.size() - 6)
        return false;
    data.assign(p.begin() + 6, p.begin() + 6 + length);
    return true;
}

bool PayloadSize(const Response& response, uint32_t& width, uint32_t& height) {
    std::vector<uint8_t> data;
    if (!PayloadBinary(response, data) || data.size() != 8)
        return false;
    width = U32At(data, 0);
    height = U32At(data, 4);
    return true;
}

const char* ResultCodeMeaning(uint32_t code) {
    switch (code) {
        case 0:
            return "success";
        case 100:
            return "unknown verb";
        case 101:
            return "unknown operation, or a command file without commands";
        case 102:
            return "source missing, or an image without a bitmap";
        case 103:
            return "command file not found";
        case 105:
            return "command not allowed";
        case 106:
            return "no memory stream";
        case 107:
            return "web page capture failed";
        case 201:
            return "image step failed: generic error (or the worker process failed)";
        case 202:
            return "image step failed: invalid parameter";
        case 203:
            return "image step failed: out of memory or too large";
        case 208:
            return "image step failed: wrong state (no image)";
        case 210:
            return "image step failed: file not found";
        case 211:
            return "image step failed: value overflow";
        case 212:
            return "image step failed: access denied";
        case 213:
            return "image step failed: unknown image format";
        default:
            return code > 200 && code < 300 ? "image step failed" : "unknown result code";
    }
}

}  // namespace VsClient
