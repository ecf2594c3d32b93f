// The EXIF reader and writer: a block read into items, written, and read
// back. Every item read must come back with its type and value (the writer
// may order the entries by tag, as EXIF wants); only the thumbnail may be
// left out, when the block would not fit one segment with it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <tuple>
#include <vector>

#include "fuzz_support.h"
#include "image/metadata/exif.h"

namespace {

using Items = std::vector<Vs4Image::PropertyItem>;

// The items by id. A tag repeated in a directory is written once, with its
// first value, so only the first item of an id counts.
Items Sorted(Items items, bool withThumbnail) {
    if (!withThumbnail)
        std::erase_if(items, [](const Vs4Image::PropertyItem& i) {
            return i.id == Vs4Image::kThumbnailData;
        });
    std::stable_sort(items.begin(), items.end(),
                     [](const auto& a, const auto& b) { return a.id < b.id; });
    items.erase(std::unique(items.begin(), items.end(),
                            [](const auto& a, const auto& b) { return a.id == b.id; }),
                items.end());
    return items;
}

bool Same(const Items& a, const Items& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return std::tie(x.id, x.type, x.value) == std::tie(y.id, y.type, y.value);
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const bool withThumbnail = size == 0 || (data[0] & 1) == 0;
    const Items items = Vs4Image::ReadExifProperties(data, size, withThumbnail);
    const std::vector<uint8_t> block = Vs4Image::BuildExifBlock(items);
    if (block.empty())
        return 0;
    VsFuzz::Check(block.size() <= 65533, "block fits one segment");
    const Items back = Vs4Image::ReadExifProperties(block.data(), block.size());
    const bool thumbnailKept = std::any_of(
        back.begin(), back.end(), [](const auto& i) { return i.id == Vs4Image::kThumbnailData; });
    VsFuzz::Check(Same(Sorted(items, thumbnailKept), Sorted(back, true)),
                  "every item read comes back from the written block");
    return 0;
}
