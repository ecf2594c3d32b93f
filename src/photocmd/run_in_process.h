// The in-process runners (EXEC2). Declared here so that callers can be
// written against them; they are defined once the image engine offers every
// operation they call.
//
// How they work:
// - RunCommandInProcess reads the command with ReadOperation(params, image
//   width, image height, settings snapshot, folders, Runner::InProcess). A
//   reading that is not kResultOk is the answer. Otherwise std::visit applies
//   the value to the image, one small function per operation value calling
//   the engine with the value's fields (ResizeOp -> Resize, FitOp -> FitInto,
//   CropOp -> Crop, ...); MergeOp takes its overlay from FindMergeSource
//   (NamedImage) or loads `path` (File, impersonating the account configured
//   for it) and places it with PlaceMerge; ReloadOp restores the pristine
//   copy. The engine's status s becomes ResultFromStatus(s).
// - RunCommandFileInProcess makes a LayerSet over the image and drives the
//   lines with RunCommandFileLines. For each filled line it reads `layer`
//   with GetLowerString, takes LayerSet::Target as the line's image,
//   and reads the line with Runner::InProcessFile and that target's size.
//   The layer values go to the LayerSet (NewLayer, NewCopyTarget, BlendPair)
//   before the engine draws. The LayerSet goes with the run in every case.
#pragma once

#include "config/settings.h"
#include "image/base_image.h"
#include "photocmd/command_file_store.h"
#include "photocmd/named_images.h"
#include "photocmd/operation_reader.h"
#include "photocmd/param_map.h"

namespace Vs4Command {

int RunCommandInProcess(NamedImageTable& namedImages, Vs4Image::CBaseImage& image,
                        const ParamMap& params, const Settings& settings,
                        const OperationFolders& folders);

int RunCommandFileInProcess(NamedImageTable& namedImages, Vs4Image::CBaseImage& image,
                            const CommandFile& file, const ParamMap& request,
                            const Settings& settings, const OperationFolders& folders);

}  // namespace Vs4Command
