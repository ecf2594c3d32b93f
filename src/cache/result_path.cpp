#include "cache/result_path.h"

#include <cstdio>

#include "platform/text.h"

const std::string& TargetExtension(std::string_view sourcePath, const Settings& settings) {
    size_t dot = sourcePath.rfind('.');
    if (dot == std::string_view::npos)
        return settings.imageDefaultTarget;
    std::string_view ext = sourcePath.substr(dot);
    using Vs5Platform::EqualsNoCase;
    if (EqualsNoCase(ext, ".jpg") || EqualsNoCase(ext, ".jpeg"))
        return settings.imageJpegTarget;
    if (EqualsNoCase(ext, ".png"))
        return settings.imagePngTarget;
    if (EqualsNoCase(ext, ".bmp"))
        return settings.imageBmpTarget;
    if (EqualsNoCase(ext, ".gif"))
        return settings.imageGifTarget;
    if (EqualsNoCase(ext, ".tif") || EqualsNoCase(ext, ".tiff"))
        return settings.imageTifTarget;
    return settings.imageDefaultTarget;
}

uint32_t SubFolderNumber(uint32_t counterValue, int subFolders) {
    return counterValue % static_cast<uint32_t>(subFolders < 1 ? 1 : subFolders);
}

std::string SubFolderName(uint32_t number) {
    char name[32];
    snprintf(name, sizeof(name), "cache%04u", number);
    return name;
}
