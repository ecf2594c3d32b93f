// Metadata items of a named image as the text EXEC2 answers: ASCII items as
// text, the first value of integer items, every pair of rational items.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "image/base_image.h"

namespace Vs4Command {

// Whether ASCII item bytes are taken to be UTF-8. Each lead byte of a
// multi-byte sequence needs its continuation bytes (10xxxxxx) inside `size`,
// and a three-byte sequence must not encode a value below 0x800; the first
// malformed sequence gives false. True as soon as three well-formed
// multi-byte sequences were seen, or at the end after at least one. Text
// without any multi-byte sequence is not UTF-8 (it reads the same either way
// when it is plain ASCII).
bool LooksLikeUtf8(const uint8_t* bytes, size_t size);

// The text of one item by its type: ASCII (2) as text, up to its first NUL,
// from UTF-8 or the ANSI code page; SHORT (3), LONG (4) and SLONG (9) as
// their first value; RATIONAL (5) and SRATIONAL (10) as every
// "numerator/denominator" pair, separated by one blank. Unsigned types print
// unsigned, signed ones signed. Any other type, or too few bytes for one
// value, gives empty text.
std::string FormatProperty(const Vs4Image::PropertyItem& item);

// FormatProperty of the image's first item with that id; empty without one.
std::string PropertyText(const Vs4Image::CBaseImage& image, uint32_t id);

}  // namespace Vs4Command
