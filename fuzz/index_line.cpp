// The cache's index files: whole texts of either file, single lines, and a
// record written and read back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cache/index_format.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const IndexRecord& r : ParseIndexText(text))
        VsFuzz::Check(!r.key.empty() && !r.path.empty(), "records have key and path");
    for (const std::string& path : ParseQueueText(text)) {
        VsFuzz::Check(!path.empty(), "queued paths are not empty");
        if (std::optional<std::string> line = FormatQueueLine(path))
            VsFuzz::Check(ParseQueueText(std::string(kIndexSignature) + *line) ==
                              std::vector<std::string>{path},
                          "queue line reads back");
    }
    std::optional<IndexRecord> record = ParseIndexLine(text);
    if (!record)
        return 0;
    std::optional<std::string> line = FormatIndexLine(record->key, record->path, record->size);
    if (!line)
        return 0;
    std::optional<IndexRecord> back = ParseIndexLine(*line);
    VsFuzz::Check(back && back->key == record->key && back->path == record->path &&
                      back->size == record->size,
                  "index line reads back as written");
    return 0;
}
