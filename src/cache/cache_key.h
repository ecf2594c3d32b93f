// Cache keys: "<last-write time>:<digest>:<digest>:<digest>". A key names one
// version of a source file processed by one pair of commands, so a changed
// source or a different command never finds an old result.
#pragma once

#include <string>
#include <string_view>

#include "platform/file_time.h"

// Keys are at most 95 characters: 20 digits, three colons, three digests.
constexpr size_t kMaxCacheKeyLength = 95;

// MD5 of the text's UTF-16LE code units (no terminator), in standard Base64
// with padding: always 24 characters ending in "==".
std::string DigestText(std::string_view utf8);

// Formats a key from the source's last-write time and the three texts.
std::string FormatCacheKey(Vs5Platform::FileTime sourceTime, std::string_view sourcePath,
                           std::string_view defaultCommand, std::string_view requestCommand);
