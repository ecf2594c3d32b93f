#include "platform/codepage.h"

#include <iconv.h>

#include <atomic>
#include <cerrno>
#include <string>

namespace Vs5Platform {

namespace {

std::atomic<int> gAnsiCodePage{kDefaultAnsiCodePage};

// 0 and 3 are the Windows names for "the ANSI code page" (of the system and
// of the thread); clients send them in code-page frames.
int ResolveCodePage(int codePage) {
    return codePage == 0 || codePage == 3 ? AnsiCodePage() : codePage;
}

std::string IconvName(int codePage) {
    if (codePage == kUtf8CodePage)
        return "UTF-8";
    return "CP" + std::to_string(codePage);
}

// Runs one conversion. On a character that cannot be converted, `onBad`
// appends a replacement to the output and the input skips `skip` bytes.
std::string Convert(iconv_t cd, std::string_view in, std::string_view replacement,
                    size_t skipUnit) {
    std::string out;
    out.resize(in.size() * 4 + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    while (srcLeft > 0) {
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        if (r != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG) {
            size_t used = dst - out.data();
            out.resize(out.size() * 2);
            dst = out.data() + used;
            dstLeft = out.size() - used;
            continue;
        }
        // EILSEQ or EINVAL: replace the offending input and go on.
        size_t used = dst - out.data();
        out.resize(used);
        out += replacement;
        size_t skip = skipUnit;
        if (skipUnit == 0) {
            // UTF-8 input: skip one whole character.
            skip = 1;
            while (skip < srcLeft && (static_cast<unsigned char>(src[skip]) & 0xC0) == 0x80)
                ++skip;
        }
        if (skip > srcLeft)
            skip = srcLeft;
        src += skip;
        srcLeft -= skip;
        out.resize(out.size() + srcLeft * 4 + 16);
        dst = out.data() + used + replacement.size();
        dstLeft = out.size() - used - replacement.size();
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(dst - out.data());
    return out;
}

}  // namespace

int AnsiCodePage() {
    return gAnsiCodePage.load(std::memory_order_relaxed);
}

void SetAnsiCodePage(int codePage) {
    bool usable = codePage != 0 && codePage != 3 && IsKnownCodePage(codePage);
    gAnsiCodePage.store(usable ? codePage : kDefaultAnsiCodePage, std::memory_order_relaxed);
}

bool IsKnownCodePage(int codePage) {
    codePage = ResolveCodePage(codePage);
    if (codePage == kUtf8CodePage)
        return true;
    iconv_t cd = iconv_open("UTF-8", IconvName(codePage).c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    iconv_close(cd);
    return true;
}

bool IsAsciiCompatibleCodePage(int codePage) {
    if (codePage == 0 || codePage == 3 || !IsKnownCodePage(codePage))
        return false;
    std::string ascii;
    for (char c = ' '; c <= '~'; ++c)
        ascii += c;
    return Utf8ToCodePage(ascii, codePage) == ascii && CodePageToUtf8(ascii, codePage) == ascii;
}

std::string Utf8ToCodePage(std::string_view utf8, int codePage) {
    codePage = ResolveCodePage(codePage);
    if (codePage == kUtf8CodePage)
        return std::string(utf8);
    iconv_t cd = iconv_open(IconvName(codePage).c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        cd = iconv_open("CP1252", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::string(utf8);
    std::string out = Convert(cd, utf8, "?", 0);
    iconv_close(cd);
    return out;
}

std::string CodePageToUtf8(std::string_view bytes, int codePage) {
    codePage = ResolveCodePage(codePage);
    if (codePage == kUtf8CodePage)
        return std::string(bytes);
    iconv_t cd = iconv_open("UTF-8", IconvName(codePage).c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        cd = iconv_open("UTF-8", "CP1252");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::string(bytes);
    std::string out = Convert(cd, bytes, "\xEF\xBF\xBD", 1);
    iconv_close(cd);
    return out;
}

}  // namespace Vs5Platform
