// Property items to an EXIF block (the body of a JPEG APP1 segment), with
// libexif, little-endian.
#include <libexif/exif-data.h>

#include <cstdlib>
#include <cstring>

#include "image/metadata/exif.h"

namespace Vs4Image {

namespace {

constexpr size_t kMaxSegmentBody = 65533;

// Tags that describe the pixel data of the file they came from (strips,
// tiles, sample layout, thumbnails) or link directories: meaningless in a
// new file, so they are not written.
bool IsLayoutTag(uint32_t id) {
    switch (id) {
        case 0x0100:
        case 0x0101:
        case 0x0102:
        case 0x0103:
        case 0x0106:
        case 0x0111:
        case 0x0115:
        case 0x0116:
        case 0x0117:
        case 0x011C:
        case 0x0140:
        case 0x0142:
        case 0x0143:
        case 0x0144:
        case 0x0145:
        case 0x0152:
        case 0x0153:
        case 0x0201:
        case 0x0202:
        case 0x8769:
        case 0x8825:
        case 0xA005:
        case 0x014A:
            return true;
        default:
            return false;
    }
}

ExifIfd IfdFor(uint32_t id) {
    if (id < 0x20)
        return EXIF_IFD_GPS;
    if (exif_tag_get_name_in_ifd(static_cast<ExifTag>(id), EXIF_IFD_0) != nullptr)
        return EXIF_IFD_0;
    if (exif_tag_get_name_in_ifd(static_cast<ExifTag>(id), EXIF_IFD_EXIF) != nullptr)
        return EXIF_IFD_EXIF;
    return id < 0x8000 ? EXIF_IFD_0 : EXIF_IFD_EXIF;
}

// Thumbnail tags that locate its picture in the file it came from; the
// picture goes along as kThumbnailData and libexif writes fresh ones.
bool IsThumbnailLocation(uint32_t tag) {
    return tag == 0x0111 || tag == 0x0117 || tag == 0x0144 || tag == 0x0145 || tag == 0x0201 ||
           tag == 0x0202;
}

// The directory an item goes into, or EXIF_IFD_COUNT when it is not written.
ExifIfd DirectoryOf(const PropertyItem& item) {
    const uint32_t tag = item.id & 0xFFFF;
    switch (item.id & ~0xFFFFu) {
        case 0:
            return IsLayoutTag(tag) ? EXIF_IFD_COUNT : IfdFor(tag);
        case kThumbnailIds:
            return IsThumbnailLocation(tag) ? EXIF_IFD_COUNT : EXIF_IFD_1;
        case kInteropIds:
            return EXIF_IFD_INTEROPERABILITY;
        default:
            return EXIF_IFD_COUNT;
    }
}

bool SetThumbnail(ExifData* ed, const std::vector<uint8_t>& picture) {
    free(ed->data);
    ed->data = static_cast<unsigned char*>(malloc(picture.size()));
    ed->size = ed->data ? static_cast<unsigned>(picture.size()) : 0;
    if (ed->data)
        memcpy(ed->data, picture.data(), picture.size());
    return ed->data != nullptr;
}

bool AddItem(ExifData* ed, const PropertyItem& item) {
    if (item.type < EXIF_FORMAT_BYTE || item.type > EXIF_FORMAT_DOUBLE)
        return true;
    const unsigned unit = exif_format_get_size(static_cast<ExifFormat>(item.type));
    if (unit == 0 || item.value.empty() || item.value.size() % unit != 0)
        return true;
    if (item.id == kThumbnailData)
        return SetThumbnail(ed, item.value);
    const ExifIfd ifd = DirectoryOf(item);
    if (ifd == EXIF_IFD_COUNT)
        return true;
    ExifEntry* e = exif_entry_new();
    if (e == nullptr)
        return false;
    e->data = static_cast<unsigned char*>(malloc(item.value.size()));
    if (e->data == nullptr) {
        exif_entry_unref(e);
        return false;
    }
    memcpy(e->data, item.value.data(), item.value.size());
    e->size = static_cast<unsigned>(item.value.size());
    e->tag = static_cast<ExifTag>(item.id & 0xFFFF);
    e->format = static_cast<ExifFormat>(item.type);
    e->components = item.value.size() / unit;
    exif_content_add_entry(ed->ifd[ifd], e);
    exif_entry_unref(e);
    return true;
}

std::vector<uint8_t> BuildBlock(const std::vector<PropertyItem>& items, bool withThumbnail) {
    std::vector<uint8_t> block;
    ExifData* ed = exif_data_new();
    if (ed == nullptr)
        return block;
    exif_data_unset_option(ed, EXIF_DATA_OPTION_IGNORE_UNKNOWN_TAGS);
    exif_data_unset_option(ed, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_set_byte_order(ed, EXIF_BYTE_ORDER_INTEL);
    bool ok = true;
    for (const PropertyItem& item : items)
        if (withThumbnail || (item.id & ~0xFFFFu) != kThumbnailIds)
            ok = ok && AddItem(ed, item);
    unsigned char* buffer = nullptr;
    unsigned int size = 0;
    if (ok)
        exif_data_save_data(ed, &buffer, &size);
    if (buffer != nullptr && size > 6 && size <= kMaxSegmentBody)
        block.assign(buffer, buffer + size);
    free(buffer);
    exif_data_unref(ed);
    return block;
}

}  // namespace

std::vector<uint8_t> BuildExifBlock(const std::vector<PropertyItem>& items) {
    std::vector<uint8_t> block = BuildBlock(items, true);
    if (block.empty())
        block = BuildBlock(items, false);
    return block;
}

}  // namespace Vs4Image
