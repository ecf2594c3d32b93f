// Readers of the layer operations of command files. Layer names in `name`,
// `from` and `to` are trimmed and lower-cased; `method` is only lower-cased.
#include "image/status.h"
#include "photocmd/number_text.h"
#include "photocmd/param_readers.h"
#include "photocmd/read_ops.h"
#include "platform/text.h"

namespace Vs4Command {

namespace {

std::string ReadLayerName(const ReaderInput& in, const char* key) {
    return Vs5Platform::AsciiLower(Vs5Platform::TrimBlanks(GetString(in.params, key)));
}

int32_t ReadAlpha(const ReaderInput& in) {
    return Clamp32(GetIntEither(in.params, "alpha", "a", 255), 0, 255);
}

}  // namespace

int ReadLayerNew(const ReaderInput& in, Operation& op) {
    LayerNewOp l;
    l.name = ReadLayerName(in, "name");
    l.alpha = ReadAlpha(in);
    l.bgColor = GetColor(in.params, "bgcolor", 0);
    std::string file = GetString(in.params, "file");
    // A file outside the image folder is answered as a file that is not there.
    if (!file.empty() && !PathInFolder(in.folders.imageFolder, file, l.path))
        return Vs4Image::FileNotFound;
    op = std::move(l);
    return 0;
}

int ReadLayerCopy(const ReaderInput& in, Operation& op) {
    op = LayerCopyOp{ReadLayerName(in, "from"), ReadLayerName(in, "name"), ReadAlpha(in)};
    return 0;
}

int ReadLayerBlend(const ReaderInput& in, Operation& op) {
    op = LayerBlendOp{ReadLayerName(in, "from"), ReadLayerName(in, "to"),
                      GetLowerString(in.params, "method"), ReadAlpha(in)};
    return 0;
}

}  // namespace Vs4Command
