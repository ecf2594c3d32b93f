#include "cache/index_format.h"

#include <cstdio>

namespace {

struct TextLine {
    std::string_view content;  // without CR LF
    bool complete = false;     // ended by a line feed
    bool tooLong = false;
};

// Splits text into lines the way a text-mode reader sees them: CR LF and LF
// both end a line. The signature, when present, is not part of the first line.
template <typename Fn>
void ForEachLine(std::string_view text, Fn&& fn) {
    if (text.substr(0, kIndexSignature.size()) == kIndexSignature)
        text.remove_prefix(kIndexSignature.size());
    while (!text.empty()) {
        size_t end = text.find('\n');
        TextLine line;
        line.complete = end != std::string_view::npos;
        line.content = text.substr(0, line.complete ? end : text.size());
        text.remove_prefix(line.complete ? end + 1 : text.size());
        if (line.complete && !line.content.empty() && line.content.back() == '\r')
            line.content.remove_suffix(1);
        line.tooLong = line.content.size() + 1 > kMaxIndexLineBytes;
        fn(line);
    }
}

uint32_t ParseSize(std::string_view field) {
    uint64_t value = 0;
    for (char c : field) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > UINT32_MAX)
            return UINT32_MAX;
    }
    return static_cast<uint32_t>(value);
}

bool HasLineBreak(std::string_view path) {
    return path.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace

bool IsStorablePath(std::string_view path) {
    return path.find(',') == std::string_view::npos && !HasLineBreak(path);
}

std::optional<std::string> FormatIndexLine(std::string_view key, std::string_view path,
                                           uint32_t size) {
    if (!IsStorablePath(path) || !IsStorablePath(key))
        return std::nullopt;
    char sizeText[16];
    snprintf(sizeText, sizeof(sizeText), "%u", size);
    std::string line;
    line.reserve(key.size() + path.size() + 16);
    line.append(key).append(",").append(path).append(",").append(sizeText);
    if (line.size() + 1 > kMaxIndexLineBytes)
        return std::nullopt;
    return line + "\r\n";
}

std::optional<std::string> FormatQueueLine(std::string_view path) {
    if (path.empty() || HasLineBreak(path) || path.size() + 1 > kMaxIndexLineBytes)
        return std::nullopt;
    return std::string(path) + "\r\n";
}

std::optional<IndexRecord> ParseIndexLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    std::string_view fields[3];
    int count = 0;
    size_t i = 0;
    while (i < line.size() && count < 3) {
        size_t end = line.find(',', i);
        if (end == std::string_view::npos)
            end = line.size();
        if (end > i)
            fields[count++] = line.substr(i, end - i);
        i = end + 1;
    }
    if (count < 3)
        return std::nullopt;
    return IndexRecord{std::string(fields[0]), std::string(fields[1]), ParseSize(fields[2])};
}

std::vector<IndexRecord> ParseIndexText(std::string_view text) {
    std::vector<IndexRecord> records;
    ForEachLine(text, [&](const TextLine& line) {
        if (line.tooLong)
            return;
        if (auto record = ParseIndexLine(line.content))
            records.push_back(std::move(*record));
    });
    return records;
}

std::vector<std::string> ParseQueueText(std::string_view text) {
    std::vector<std::string> paths;
    ForEachLine(text, [&](const TextLine& line) {
        if (line.complete && !line.tooLong && !line.content.empty())
            paths.emplace_back(line.content);
    });
    return paths;
}
