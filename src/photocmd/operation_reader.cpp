#include "photocmd/operation_reader.h"

#include <array>

#include "photocmd/param_readers.h"
#include "photocmd/read_ops.h"

namespace Vs4Command {

namespace {

using Reader = int (*)(const ReaderInput&, Operation&);

// Where an operation may run.
enum : unsigned {
    kWorker = 1u << static_cast<unsigned>(Runner::Worker),
    kInProcess = 1u << static_cast<unsigned>(Runner::InProcess),
    kWorkerFile = 1u << static_cast<unsigned>(Runner::WorkerFile),
    kInProcessFile = 1u << static_cast<unsigned>(Runner::InProcessFile),
    kEverywhere = kWorker | kInProcess | kWorkerFile | kInProcessFile,
    kFilesOnly = kWorkerFile | kInProcessFile,
};

struct OperationEntry {
    std::string_view name;
    unsigned runners;
    Reader read;
};

// Every operation a runner can run. "encode" is missing on purpose: EXEC and
// EXEC2 handle it before a runner is reached, elsewhere it is unknown.
constexpr std::array kOperations = {
    OperationEntry{"thumb", kEverywhere, ReadThumb},
    OperationEntry{"thumbnail", kEverywhere, ReadThumb},
    OperationEntry{"resize", kEverywhere, ReadResize},
    OperationEntry{"frame", kEverywhere, ReadFrame},
    OperationEntry{"merge", kEverywhere, ReadMerge},
    OperationEntry{"crop", kEverywhere, ReadCrop},
    OperationEntry{"autocrop", kEverywhere, ReadAutoCrop},
    OperationEntry{"rotate", kEverywhere, ReadRotate},
    OperationEntry{"flip", kEverywhere, ReadFlip},
    OperationEntry{"text", kEverywhere, ReadText},
    OperationEntry{"adjust", kEverywhere, ReadAdjust},
    OperationEntry{"adjustrgb", kEverywhere, ReadAdjustRgb},
    OperationEntry{"autolevel", kEverywhere, ReadAutoLevel},
    OperationEntry{"negative", kEverywhere, ReadNegative},
    OperationEntry{"sepia", kEverywhere, ReadSepia},
    OperationEntry{"blur", kEverywhere, ReadBlur},
    OperationEntry{"smooth", kEverywhere, ReadSmooth},
    OperationEntry{"sharpen", kEverywhere, ReadSharpen},
    OperationEntry{"gray", kEverywhere, ReadGray},
    OperationEntry{"jitter", kEverywhere, ReadJitter},
    OperationEntry{"noise", kEverywhere, ReadNoise},
    OperationEntry{"oilpaint", kEverywhere, ReadOilPaint},
    OperationEntry{"__captcha", kInProcess | kInProcessFile, ReadCaptcha},
    OperationEntry{"__reload", kInProcess, ReadReload},
    OperationEntry{"layernew", kFilesOnly, ReadLayerNew},
    OperationEntry{"layercopy", kFilesOnly, ReadLayerCopy},
    OperationEntry{"layerblend", kFilesOnly, ReadLayerBlend},
};

const OperationEntry* FindEntry(Runner runner, std::string_view cmd) {
    unsigned bit = 1u << static_cast<unsigned>(runner);
    for (const OperationEntry& e : kOperations)
        if (e.name == cmd)
            return (e.runners & bit) ? &e : nullptr;
    return nullptr;
}

}  // namespace

bool RunnerAccepts(Runner runner, std::string_view cmd) {
    return FindEntry(runner, cmd) != nullptr;
}

OperationReading ReadOperation(const ParamMap& params, int32_t currentWidth, int32_t currentHeight,
                               const Settings& settings, const OperationFolders& folders,
                               Runner runner) {
    OperationReading reading;
    const OperationEntry* entry = FindEntry(runner, GetLowerString(params, "cmd"));
    if (!entry) {
        reading.result = kResultUnknownOperation;
        return reading;
    }
    ReaderInput in{params, currentWidth, currentHeight, settings, folders, runner};
    reading.result = ResultFromStatus(entry->read(in, reading.op));
    return reading;
}

}  // namespace Vs4Command
