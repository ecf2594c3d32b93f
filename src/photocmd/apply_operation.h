// Carrying out a typed operation value on an image of this process. The
// value holds every number already read and clamped (operation_reader.h);
// applying it is one engine call, or for merges and layers a lookup and a
// draw. A worker executor takes the same values and sends them instead.
#pragma once

#include "image/base_image.h"
#include "image/status.h"
#include "photocmd/layer_set.h"
#include "photocmd/named_images.h"
#include "photocmd/operations.h"
#include "photocmd/run_in_process.h"

namespace Vs4Command {

// What an operation may reach besides its target image.
struct ApplyContext {
    NamedImageTable& namedImages;
    const MergeFileLoader& loadMergeFile;  // empty: plain LoadFromFile
    LayerSet* layers = nullptr;            // the command file's layers, else nullptr
};

// Applies `op` to `target` and answers the engine's status (Ok on success).
// A layer operation without a LayerSet answers WrongState.
Vs4Image::Status ApplyOperation(const Operation& op, Vs4Image::CBaseImage& target,
                                ApplyContext& context);

}  // namespace Vs4Command
