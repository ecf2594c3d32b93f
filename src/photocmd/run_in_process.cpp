#include "photocmd/run_in_process.h"

#include "photocmd/apply_operation.h"
#include "photocmd/command_file_run.h"
#include "photocmd/param_readers.h"

namespace Vs4Command {

int RunCommandInProcess(InProcessContext& context, Vs4Image::CBaseImage& image,
                        const ParamMap& params) {
    DeferredSource decoded;
    return RunCommandInProcess(context, decoded, image, params);
}

int RunCommandInProcess(InProcessContext& context, DeferredSource& source,
                        Vs4Image::CBaseImage& image, const ParamMap& params) {
    OperationReading reading = ReadOperation(params, source.width(image), source.height(image),
                                             context.settings, context.folders, Runner::InProcess);
    if (reading.result != kResultOk)
        return reading.result;
    if (Vs4Image::Status s = source.Realize(image, &reading.op); s != Vs4Image::Ok)
        return ResultFromStatus(s);
    ApplyContext apply{context.namedImages, context.loadMergeFile, nullptr};
    return ResultFromStatus(ApplyOperation(reading.op, image, apply));
}

int RunCommandFileInProcess(InProcessContext& context, Vs4Image::CBaseImage& image,
                            const CommandFile& file, const ParamMap& request) {
    LayerSet layers(image);
    ApplyContext apply{context.namedImages, context.loadMergeFile, &layers};
    return RunCommandFileLines(file, request, [&](const ParamMap& line) {
        Vs4Image::CBaseImage& target = layers.Target(GetLowerString(line, "layer"));
        OperationReading reading =
            ReadOperation(line, target.width(), target.height(), context.settings, context.folders,
                          Runner::InProcessFile);
        if (reading.result != kResultOk)
            return reading.result;
        return ResultFromStatus(ApplyOperation(reading.op, target, apply));
    });
}

int RunCommandInProcess(NamedImageTable& namedImages, Vs4Image::CBaseImage& image,
                        const ParamMap& params, const Settings& settings,
                        const OperationFolders& folders) {
    InProcessContext context{namedImages, settings, folders, {}};
    return RunCommandInProcess(context, image, params);
}

int RunCommandFileInProcess(NamedImageTable& namedImages, Vs4Image::CBaseImage& image,
                            const CommandFile& file, const ParamMap& request,
                            const Settings& settings, const OperationFolders& folders) {
    InProcessContext context{namedImages, settings, folders, {}};
    return RunCommandFileInProcess(context, image, file, request);
}

}  // namespace Vs4Command
