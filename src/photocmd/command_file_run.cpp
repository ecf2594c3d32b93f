#include "photocmd/command_file_run.h"

#include "photocmd/fill_template.h"
#include "photocmd/result_codes.h"

namespace Vs4Command {

int RunCommandFileLines(const CommandFile& file, const ParamMap& request,
                        const std::function<int(const ParamMap& line)>& runLine) {
    ParamMap line;
    if (!FillTemplate(file, 0, request, line))
        return kResultUnknownOperation;
    for (int index = 1;; ++index) {
        int result = runLine(line);
        if (result != kResultOk)
            return result;
        line.Clear();
        if (!FillTemplate(file, index, request, line))
            return kResultOk;
    }
}

}  // namespace Vs4Command
