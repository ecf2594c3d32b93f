// Loading and saving of the image object.
#include <algorithm>
#include <cctype>

#include "image/base_image.h"
#include "image/codecs/codec.h"

namespace Vs4Image {

namespace {

enum class Encoder { None, Jpeg, Png, Bmp };

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

Encoder EncoderForName(const std::string& name) {
    const std::string n = Lower(name);
    if (n == "jpg" || n == "jpeg")
        return Encoder::Jpeg;
    if (n == "png")
        return Encoder::Png;
    if (n == "bmp")
        return Encoder::Bmp;
    return Encoder::None;
}

// The extension of the file name part of `path`, without the dot; false when
// the path has no file name to split off.
bool SplitExtension(const std::string& path, std::string& extension) {
    const size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || path.size() > 4096)
        return false;
    const size_t dot = name.find_last_of('.');
    extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    return true;
}

}  // namespace

Status CBaseImage::LoadFromFile(const std::string& path, const DecodeHint& hint) {
    Clear();
    std::vector<uint8_t> bytes;
    if (Status s = ReadWholeFile(path, bytes); s != Ok)
        return s;
    return LoadFromMemory(bytes.data(),
                          static_cast<uint32_t>(std::min<size_t>(bytes.size(), UINT32_MAX)), hint);
}

Status CBaseImage::LoadFromMemory(const uint8_t* bytes, uint32_t length, const DecodeHint& hint) {
    Clear();
    if (bytes == nullptr || length == 0)
        return UnknownImageFormat;
    DecodedImage decoded;
    if (Status s = DecodeImage(bytes, length, hint, decoded); s != Ok)
        return s;
    SetProperties(std::move(decoded.properties));
    AdoptLoaded(std::move(decoded.bitmap));
    return Ok;
}

namespace {

Status Encode(const CBaseImage& image, Encoder encoder, uint32_t quality, uint32_t keepMetadata,
              std::vector<uint8_t>& out) {
    switch (encoder) {
        case Encoder::Jpeg: {
            const bool withMetadata = keepMetadata != 0 && !image.properties().empty();
            return EncodeJpeg(image.view(), static_cast<int>(std::min<uint32_t>(quality, 100)),
                              withMetadata ? &image.properties() : nullptr, out);
        }
        case Encoder::Png:
            return EncodePng(image.view(), out);
        case Encoder::Bmp:
            return EncodeBmp(image.view(), out);
        case Encoder::None:
            break;
    }
    return InvalidParameter;
}

}  // namespace

Status CBaseImage::SaveToFile(const std::string& path, uint32_t quality, uint32_t keepMetadata) {
    if (!HasBitmap())
        return WrongState;
    std::string extension;
    if (!SplitExtension(path, extension))
        return InvalidParameter;
    const Encoder encoder = EncoderForName(extension);
    if (encoder == Encoder::None)
        return InvalidParameter;
    std::vector<uint8_t> bytes;
    if (Status s = Encode(*this, encoder, quality, keepMetadata, bytes); s != Ok)
        return s;
    return WriteWholeFile(path, bytes);
}

Status CBaseImage::SaveToStream(const std::string& format, uint32_t quality, uint32_t keepMetadata,
                                std::vector<uint8_t>& stream) {
    if (!HasBitmap())
        return WrongState;
    const Encoder encoder = EncoderForName(format);
    if (encoder == Encoder::None)
        return InvalidParameter;
    return Encode(*this, encoder, quality, keepMetadata, stream);
}

int CBaseImage::GetEncoderClsid(const std::string& mimeType) {
    static const char* const kEncoders[] = {"image/bmp", "image/jpeg", "image/png"};
    for (int i = 0; i < 3; ++i)
        if (mimeType == kEncoders[i])
            return i;
    return -1;
}

}  // namespace Vs4Image
