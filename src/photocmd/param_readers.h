// Typed readers of a ParamMap. Callers pass lower-case keys; a missing key
// gives the default. Values keep their case.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "photocmd/param_map.h"

namespace Vs4Command {

// The value, or an empty string.
std::string GetString(const ParamMap& map, std::string_view key);
// The value with A-Z lower-cased, or an empty string.
std::string GetLowerString(const ParamMap& map, std::string_view key);
// The value read as a decimal integer (trailing text ignored, "12px" is 12).
int32_t GetInt(const ParamMap& map, std::string_view key, int32_t defaultValue);
// GetInt of `key` when present, else of `alias` when present, else the default.
int32_t GetIntEither(const ParamMap& map, std::string_view key, std::string_view alias,
                     int32_t defaultValue);
// The value read as a decimal number in double precision, narrowed to float.
float GetFloat(const ParamMap& map, std::string_view key, float defaultValue);
// True when the value begins with "T" or "t"; "1" is false.
bool GetBool(const ParamMap& map, std::string_view key, bool defaultValue);
// ParseColor of the value.
uint32_t GetColor(const ParamMap& map, std::string_view key, uint32_t defaultValue);

// An ARGB colour from "RRGGBB" or "AARRGGBB", one leading "#" allowed. Any
// other length gives opaque white; a character that is not a hexadecimal
// digit counts as 0.
uint32_t ParseColor(std::string_view text);

// A text value as the client meant it. The value goes to the ANSI code page,
// is decoded like a URL query (DecodeQueryBytes), and the bytes come back as
// UTF-8 when `utf8` is set, else from the ANSI code page. So a client sends
// non-ASCII text as percent-encoded UTF-8 with utf8=true.
std::string GetText(const ParamMap& map, std::string_view key, bool utf8);

// "+" becomes a blank; "%" and two hexadecimal digits become that byte; "%"
// before two characters that are not both hexadecimal digits is dropped and
// the next character is copied as it is; "%" near the end stays.
std::string DecodeQueryBytes(std::string_view bytes);

}  // namespace Vs4Command
