// EXIF metadata as property items: id, EXIF type (1 byte, 2 ASCII, 3 short,
// 4 long, 5 rational, 7 undefined, 8 signed short, 9 signed long,
// 10 signed rational, 11 float, 12 double) and the value bytes, in
// little-endian order whatever the byte order of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/base_image.h"

namespace Vs4Image {

// Items of an EXIF block: `data` starts with "Exif\0\0" followed by a TIFF
// header (the body of a JPEG APP1 segment). Entries of the main image, the
// EXIF and the GPS directories are kept; a broken block gives no items.
std::vector<PropertyItem> ReadExifProperties(const uint8_t* data, size_t size);

// Builds the body of an APP1 segment ("Exif\0\0" + little-endian TIFF) from
// items; empty when there is nothing to write or the block would not fit in
// one segment (65533 bytes).
std::vector<uint8_t> BuildExifBlock(const std::vector<PropertyItem>& items);

}  // namespace Vs4Image
