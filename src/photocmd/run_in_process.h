// The in-process runners (EXEC2 and the vistrel-img tool): a command, or a
// command file with its layers, applied directly to images of this process.
//
// RunCommandInProcess reads the command with ReadOperation(params, image
// width, image height, settings, folders, Runner::InProcess); a reading that
// is not kResultOk is the answer. Otherwise ApplyOperation (apply_operation.h)
// carries the value out on the image, and its status s becomes
// ResultFromStatus(s).
//
// RunCommandFileInProcess makes a LayerSet over the image and drives the
// lines with RunCommandFileLines. Each filled line names its target with
// `layer` (GetLowerString; LayerSet::Target), is read with
// Runner::InProcessFile and the target's size, and is applied to the target
// with the LayerSet at hand for the layer operations. The layers go with the
// run whatever its outcome; only the image itself keeps the changes.
#pragma once

#include <functional>
#include <string>

#include "config/settings.h"
#include "image/base_image.h"
#include "photocmd/command_file_store.h"
#include "photocmd/deferred_source.h"
#include "photocmd/named_images.h"
#include "photocmd/operation_reader.h"
#include "photocmd/param_map.h"

namespace Vs4Command {

// Loads the overlay of a file merge into `image`. EXEC2 wraps the load in the
// impersonation configured for the path; empty means a plain LoadFromFile.
using MergeFileLoader =
    std::function<Vs4Image::Status(const std::string& path, Vs4Image::CBaseImage& image)>;

// What an in-process run needs besides the image and the command.
struct InProcessContext {
    NamedImageTable& namedImages;  // the connection's images, for merge's imgno
    const Settings& settings;      // size bounds
    const OperationFolders& folders;
    MergeFileLoader loadMergeFile;
};

int RunCommandInProcess(InProcessContext& context, Vs4Image::CBaseImage& image,
                        const ParamMap& params);
// The same on an image whose picture may still wait encoded in `source`: the
// command is read against the picture's size and the picture decoded for it
// (reduced for a downscale) before it runs; a failed decode is the answer.
int RunCommandInProcess(InProcessContext& context, DeferredSource& source,
                        Vs4Image::CBaseImage& image, const ParamMap& params);

int RunCommandFileInProcess(InProcessContext& context, Vs4Image::CBaseImage& image,
                            const CommandFile& file, const ParamMap& request);

// The same with a plain file load for merges.
int RunCommandInProcess(NamedImageTable& namedImages, Vs4Image::CBaseImage& image,
                        const ParamMap& params, const Settings& settings,
                        const OperationFolders& folders);

int RunCommandFileInProcess(NamedImageTable& namedImages, Vs4Image::CBaseImage& image,
                            const CommandFile& file, const ParamMap& request,
                            const Settings& settings, const OperationFolders& folders);

}  // namespace Vs4Command
