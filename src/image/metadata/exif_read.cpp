// EXIF blocks to property items, with libexif.
#include <libexif/exif-data.h>

#include <algorithm>

#include "image/metadata/exif.h"

namespace Vs4Image {

namespace {

// Size of the unit whose bytes are swapped for a type: rationals are two longs.
int SwapUnit(ExifFormat format) {
    switch (format) {
        case EXIF_FORMAT_SHORT:
        case EXIF_FORMAT_SSHORT:
            return 2;
        case EXIF_FORMAT_LONG:
        case EXIF_FORMAT_SLONG:
        case EXIF_FORMAT_RATIONAL:
        case EXIF_FORMAT_SRATIONAL:
        case EXIF_FORMAT_FLOAT:
            return 4;
        case EXIF_FORMAT_DOUBLE:
            return 8;
        default:
            return 1;
    }
}

void AddEntries(ExifContent* content, uint32_t idBase, bool bigEndian,
                std::vector<PropertyItem>& items) {
    if (content == nullptr)
        return;
    for (unsigned i = 0; i < content->count; ++i) {
        const ExifEntry* e = content->entries[i];
        if (e == nullptr || e->data == nullptr || e->size == 0)
            continue;
        if (e->format < EXIF_FORMAT_BYTE || e->format > EXIF_FORMAT_DOUBLE)
            continue;
        PropertyItem item;
        item.id = idBase | e->tag;
        item.type = static_cast<uint16_t>(e->format);
        item.value.assign(e->data, e->data + e->size);
        const int unit = SwapUnit(e->format);
        if (bigEndian && unit > 1) {
            for (size_t at = 0; at + unit <= item.value.size(); at += unit)
                std::reverse(item.value.begin() + at, item.value.begin() + at + unit);
        }
        items.push_back(std::move(item));
    }
}

}  // namespace

std::vector<PropertyItem> ReadExifProperties(const uint8_t* data, size_t size, bool withThumbnail) {
    std::vector<PropertyItem> items;
    if (data == nullptr || size <= 6)
        return items;
    ExifData* ed = exif_data_new();
    if (ed == nullptr)
        return items;
    // Keep what the file has: no unknown tag dropped, no mandatory tag invented.
    exif_data_unset_option(ed, EXIF_DATA_OPTION_IGNORE_UNKNOWN_TAGS);
    exif_data_unset_option(ed, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(ed, data, static_cast<unsigned>(std::min<size_t>(size, 0xFFFFFFFF)));
    const bool bigEndian = exif_data_get_byte_order(ed) == EXIF_BYTE_ORDER_MOTOROLA;
    AddEntries(ed->ifd[EXIF_IFD_0], 0, bigEndian, items);
    AddEntries(ed->ifd[EXIF_IFD_EXIF], 0, bigEndian, items);
    AddEntries(ed->ifd[EXIF_IFD_GPS], 0, bigEndian, items);
    AddEntries(ed->ifd[EXIF_IFD_INTEROPERABILITY], kInteropIds, bigEndian, items);
    if (withThumbnail) {
        AddEntries(ed->ifd[EXIF_IFD_1], kThumbnailIds, bigEndian, items);
        if (ed->data != nullptr && ed->size > 0) {
            PropertyItem thumbnail;
            thumbnail.id = kThumbnailData;
            thumbnail.type = EXIF_FORMAT_UNDEFINED;
            thumbnail.value.assign(ed->data, ed->data + ed->size);
            items.push_back(std::move(thumbnail));
        }
    }
    exif_data_unref(ed);
    return items;
}

}  // namespace Vs4Image
