// The EXIF reader and writer: a block read into items, written, and read
// back. The writer leaves out what describes the stored picture (layout and
// thumbnail location tags, which it writes afresh) and items it cannot
// write, but it never invents or alters one: every item that comes back is
// an item that was read, with its type and value. Written once more, the
// items come back unchanged.
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
Items Sorted(Items items) {
    std::stable_sort(items.begin(), items.end(),
                     [](const auto& a, const auto& b) { return a.id < b.id; });
    items.erase(std::unique(items.begin(), items.end(),
                            [](const auto& a, const auto& b) { return a.id == b.id; }),
                items.end());
    return items;
}

bool Equal(const Vs4Image::PropertyItem& x, const Vs4Image::PropertyItem& y) {
    return std::tie(x.id, x.type, x.value) == std::tie(y.id, y.type, y.value);
}

// True when every item of `part` is in `whole` (both sorted by id).
bool Within(const Items& part, const Items& whole) {
    return std::all_of(part.begin(), part.end(), [&](const Vs4Image::PropertyItem& p) {
        auto at = std::lower_bound(whole.begin(), whole.end(), p.id,
                                   [](const auto& w, uint32_t id) { return w.id < id; });
        return at != whole.end() && Equal(*at, p);
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const bool withThumbnail = size == 0 || (data[0] & 1) == 0;
    const Items items = Sorted(Vs4Image::ReadExifProperties(data, size, withThumbnail));
    const std::vector<uint8_t> block = Vs4Image::BuildExifBlock(items);
    if (block.empty())
        return 0;
    VsFuzz::Check(block.size() <= 65533, "block fits one segment");
    const Items back = Sorted(Vs4Image::ReadExifProperties(block.data(), block.size()));
    VsFuzz::Check(Within(back, items), "the writer neither invents nor alters an item");
    const std::vector<uint8_t> again = Vs4Image::BuildExifBlock(back);
    const Items backAgain = Sorted(Vs4Image::ReadExifProperties(again.data(), again.size()));
    VsFuzz::Check(std::equal(back.begin(), back.end(), backAgain.begin(), backAgain.end(), Equal),
                  "written items come back unchanged");
    return 0;
}
