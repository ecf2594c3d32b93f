// Where a new result file goes: its extension follows the source's extension
// through the five target settings, its sub-folder follows a counter.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "config/settings.h"

// The target extension for a source path, chosen by the source's extension
// (from its last dot, compared without case).
const std::string& TargetExtension(std::string_view sourcePath, const Settings& settings);

// The sub-folder number for a counter value. A sub-folder count below 1 is
// taken as 1, so every result then goes to sub-folder 0.
uint32_t SubFolderNumber(uint32_t counterValue, int subFolders);

// "cache%04u": the name of a numbered sub-folder.
std::string SubFolderName(uint32_t number);
