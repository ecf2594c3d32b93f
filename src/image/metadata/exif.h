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

// Entries of the main image, EXIF and GPS directories keep their tag as the
// item id. Entries of the thumbnail directory (IFD1) and of the
// interoperability directory would clash with those tags, so their ids carry
// the directory above the tag: kThumbnailIds | tag and kInteropIds | tag. The
// thumbnail picture itself (the JPEG bytes IFD1 points at) is the item
// kThumbnailData, type 7.
constexpr uint32_t kThumbnailIds = 0x10000;
constexpr uint32_t kInteropIds = 0x20000;
constexpr uint32_t kThumbnailData = kThumbnailIds | 0x0201;

// Items of an EXIF block: `data` starts with "Exif\0\0" followed by a TIFF
// header (the body of a JPEG APP1 segment). Every entry that libexif reads is
// kept; a broken block gives no items. `withThumbnail` is false for a TIFF
// file seen as an EXIF block, whose second directory is its second page.
std::vector<PropertyItem> ReadExifProperties(const uint8_t* data, size_t size,
                                             bool withThumbnail = true);

// Builds the body of an APP1 segment ("Exif\0\0" + little-endian TIFF) from
// items; empty when there is nothing to write or the block would not fit in
// one segment (65533 bytes). When only the thumbnail makes it too large, the
// block is written without the thumbnail.
std::vector<uint8_t> BuildExifBlock(const std::vector<PropertyItem>& items);

}  // namespace Vs4Image
