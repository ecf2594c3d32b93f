// The EXIF reader and writer: a block read into items, written back, read
// and written again. The second writing must give the bytes of the first:
// whatever the writer keeps, the reader reads back unchanged.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_support.h"
#include "image/metadata/exif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const bool withThumbnail = size == 0 || (data[0] & 1) == 0;
    const std::vector<Vs4Image::PropertyItem> items =
        Vs4Image::ReadExifProperties(data, size, withThumbnail);
    const std::vector<uint8_t> block = Vs4Image::BuildExifBlock(items);
    if (block.empty())
        return 0;
    VsFuzz::Check(block.size() <= 65533, "block fits one segment");
    const std::vector<Vs4Image::PropertyItem> again =
        Vs4Image::ReadExifProperties(block.data(), block.size());
    const std::vector<uint8_t> second = Vs4Image::BuildExifBlock(again);
    VsFuzz::Check(second == block, "a written block reads back as written");
    return 0;
}
