#include "photocmd/classify.h"

#include "photocmd/param_readers.h"

namespace Vs4Command {

bool IsBuiltInCommand(std::string_view lowerCmd) {
    std::string probe(lowerCmd);
    probe += ',';
    return kBuiltInOperations.find(probe) != std::string_view::npos;
}

CommandClass ClassifyCommand(const ParamMap& map, CommandFileStore& store) {
    CommandClass result;
    std::string cmd = GetLowerString(map, "cmd");
    if (IsBuiltInCommand(cmd))
        return result;
    result.isCommandFile = true;
    result.file = FindCommandFile(store, cmd);
    if (result.file)
        result.versionTag = result.file->versionTag;
    return result;
}

CommandClass ClassifyCommand(const ParamMap& map) {
    return ClassifyCommand(map, CommandFileStore::Instance());
}

}  // namespace Vs4Command
