// The text of the cache's two index files, without any file access:
// index.dat holds "key,path,size" lines, delindex.dat one path per line. Both
// start with a UTF-8 byte-order mark and end each line with CR LF.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

constexpr std::string_view kIndexSignature = "\xEF\xBB\xBF";

// The longest line a reader takes, its line feed included (CR not counted).
// The writer never produces a longer one.
constexpr size_t kMaxIndexLineBytes = 1023;

struct IndexRecord {
    std::string key;
    std::string path;
    uint32_t size = 0;
};

// A path can be written into an index line when it holds no comma (the field
// separator) and no line break.
bool IsStorablePath(std::string_view path);

// "key,path,size\r\n"; nullopt when the path cannot be stored or the line would
// be longer than a reader takes.
std::optional<std::string> FormatIndexLine(std::string_view key, std::string_view path,
                                           uint32_t size);

// "path\r\n"; nullopt when the path holds a line break or is too long.
std::optional<std::string> FormatQueueLine(std::string_view path);

// One index line, its line end removed or not. The fields are separated by
// commas, empty fields are skipped; nullopt when fewer than three remain. The
// size is the decimal number at the start of the third field (0 when none).
std::optional<IndexRecord> ParseIndexLine(std::string_view line);

// The records of a whole index.dat text; malformed and over-long lines are
// skipped.
std::vector<IndexRecord> ParseIndexText(std::string_view text);

// The paths of a whole delindex.dat text. Only complete lines count: a last
// line without its line feed was cut short and is dropped, as are empty and
// over-long lines.
std::vector<std::string> ParseQueueText(std::string_view text);
