#include "cache/cache_key.h"

#include <openssl/evp.h>

#include <cinttypes>
#include <cstdio>
#include <vector>

#include "platform/text.h"

std::string DigestText(std::string_view utf8) {
    std::u16string units = Vs5Platform::Utf8ToUtf16(utf8);
    // Byte order is fixed here rather than taken from the machine.
    std::vector<unsigned char> bytes;
    bytes.reserve(units.size() * 2);
    for (char16_t u : units) {
        bytes.push_back(static_cast<unsigned char>(u & 0xFF));
        bytes.push_back(static_cast<unsigned char>(u >> 8));
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &digestLength, EVP_md5(), nullptr) != 1)
        return std::string();
    // 16 bytes encode to 24 characters plus the terminator EVP_EncodeBlock writes.
    unsigned char text[32];
    int textLength = EVP_EncodeBlock(text, digest, static_cast<int>(digestLength));
    return std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(textLength));
}

std::string FormatCacheKey(Vs5Platform::FileTime sourceTime, std::string_view sourcePath,
                           std::string_view defaultCommand, std::string_view requestCommand) {
    char head[32];
    snprintf(head, sizeof(head), "%" PRIu64, static_cast<uint64_t>(sourceTime));
    std::string key = head;
    for (std::string_view part : {sourcePath, defaultCommand, requestCommand}) {
        key += ':';
        key += DigestText(part);
    }
    return key;
}
