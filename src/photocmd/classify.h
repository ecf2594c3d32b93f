// Deciding whether a command names a built-in operation or a command file.
#pragma once

#include <string>
#include <string_view>

#include "photocmd/command_file_store.h"
#include "photocmd/param_map.h"

namespace Vs4Command {

// The built-in operation names, each followed by a comma. The layer
// operations are not here: they are reachable from command files only.
constexpr std::string_view kBuiltInOperations =
    "thumb,thumbnail,resize,frame,merge,crop,autocrop,rotate,flip,adjust,adjustrgb,autolevel,"
    "negative,sepia,blur,smooth,sharpen,gray,jitter,noise,oilpaint,text,encode,__reload,__captcha,";

// True when `cmd` followed by "," occurs anywhere in the list. This is a
// substring test on purpose: an absent cmd, or a fragment such as "umb",
// counts as built in and the runner then refuses it as unknown (101).
bool IsBuiltInCommand(std::string_view lowerCmd);

struct CommandClass {
    bool isCommandFile = false;
    // When isCommandFile: the file, or nullptr when it was not found (the
    // handler answers 103), and the file's version tag.
    const CommandFile* file = nullptr;
    std::string versionTag;
};

CommandClass ClassifyCommand(const ParamMap& map, CommandFileStore& store);
// Through the process-wide store.
CommandClass ClassifyCommand(const ParamMap& map);

}  // namespace Vs4Command
