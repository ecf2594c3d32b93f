#include "cache/cache_key.h"

#include <openssl/evp.h>

#include <bit>
#include <charconv>
#include <memory>
#include <vector>

#include "platform/text.h"

namespace {

// MD5 looked up once: a digest by EVP_md5() asks the provider tables for the
// algorithm again, under their lock, at every call. Each thread keeps one
// context, so that a digest allocates nothing.
const EVP_MD* Md5() {
    static EVP_MD* fetched = EVP_MD_fetch(nullptr, "MD5", nullptr);
    return fetched != nullptr ? fetched : EVP_md5();
}

struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

bool Md5Of(const void* data, size_t size, unsigned char* digest, unsigned int& length) {
    thread_local std::unique_ptr<EVP_MD_CTX, ContextFree> context(EVP_MD_CTX_new());
    EVP_MD_CTX* c = context.get();
    return c != nullptr && EVP_DigestInit_ex2(c, Md5(), nullptr) == 1 &&
           EVP_DigestUpdate(c, data, size) == 1 && EVP_DigestFinal_ex(c, digest, &length) == 1;
}

}  // namespace

std::string DigestText(std::string_view utf8) {
    std::u16string units = Vs5Platform::Utf8ToUtf16(utf8);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    bool digested;
    // The units are hashed as little-endian bytes whatever the machine's order.
    if constexpr (std::endian::native == std::endian::little) {
        digested = Md5Of(units.data(), units.size() * 2, digest, digestLength);
    } else {
        std::vector<unsigned char> bytes;
        bytes.reserve(units.size() * 2);
        for (char16_t u : units) {
            bytes.push_back(static_cast<unsigned char>(u & 0xFF));
            bytes.push_back(static_cast<unsigned char>(u >> 8));
        }
        digested = Md5Of(bytes.data(), bytes.size(), digest, digestLength);
    }
    if (!digested)
        return std::string();
    // 16 bytes encode to 24 characters plus the terminator EVP_EncodeBlock writes.
    unsigned char text[32];
    int textLength = EVP_EncodeBlock(text, digest, static_cast<int>(digestLength));
    return std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(textLength));
}

std::string FormatCacheKey(Vs5Platform::FileTime sourceTime, std::string_view sourcePath,
                           std::string_view defaultCommand, std::string_view requestCommand) {
    char head[24];
    const std::to_chars_result end =
        std::to_chars(head, head + sizeof(head), static_cast<uint64_t>(sourceTime));
    std::string key(head, end.ptr);
    for (std::string_view part : {sourcePath, defaultCommand, requestCommand}) {
        key += ':';
        key += DigestText(part);
    }
    return key;
}
