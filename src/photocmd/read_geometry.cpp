// Readers of the operations that change the image's geometry or draw another
// image onto it: thumb, resize, frame, merge, crop, autocrop, rotate, flip.
#include <algorithm>

#include "image/status.h"
#include "photocmd/number_text.h"
#include "photocmd/param_readers.h"
#include "photocmd/read_ops.h"
#include "photocmd/safe_name.h"
#include "platform/text.h"

namespace Vs4Command {

using Vs4Image::FileNotFound;
using Vs4Image::InvalidParameter;

int32_t ReadWidth(const ReaderInput& in) {
    return Clamp32(GetIntEither(in.params, "width", "w", 0), 0, in.settings.maxResizeWidth);
}

int32_t ReadHeight(const ReaderInput& in) {
    return Clamp32(GetIntEither(in.params, "height", "h", 0), 0, in.settings.maxResizeHeight);
}

int32_t ReadItpMode(const ReaderInput& in, int32_t defaultMode) {
    return Clamp32(GetInt(in.params, "itpmode", defaultMode), 0, 7);
}

bool PathInFolder(const std::string& folder, const std::string& file, std::string& path) {
    if (!StaysInsideFolder(file))
        return false;
    path = folder + "/" + file;
    return true;
}

namespace {

// The resize path shared by thumb and resize: a positive scale (percent of
// the current width) replaces the asked sizes. The product is taken in 64
// bits so that a large scale clamps to the bound instead of wrapping.
ResizeOp ReadResizeOp(const ReaderInput& in, int32_t defaultItpMode, bool noEnlarge) {
    ResizeOp r;
    r.width = ReadWidth(in);
    r.height = ReadHeight(in);
    r.itpMode = ReadItpMode(in, defaultItpMode);
    r.noEnlarge = noEnlarge;
    int32_t scale = GetIntEither(in.params, "scale", "s", 0);
    if (scale > 0) {
        // At least one pixel: a small scale of a narrow image still resizes.
        int64_t width = std::max<int64_t>(1, int64_t{in.currentWidth} * scale / 100);
        r.width = Clamp32(width, 1, std::max(1, in.settings.maxResizeWidth));
        r.height = 0;
        r.noEnlarge = false;
    }
    return r;
}

}  // namespace

int ReadThumb(const ReaderInput& in, Operation& op) {
    if (GetBool(in.params, "fit", false)) {
        FitOp f;
        f.width = ReadWidth(in);
        f.height = ReadHeight(in);
        if (f.width >= 1 && f.height >= 1) {
            f.contain = GetBool(in.params, "ws", true);
            f.itpMode = ReadItpMode(in, 7);
            f.bgColor = GetColor(in.params, "bgcolor", 0xFFFFFFFF);
            op = f;
            return 0;
        }
    }
    op = ReadResizeOp(in, 7, GetBool(in.params, "noenlarge", false));
    return 0;
}

int ReadResize(const ReaderInput& in, Operation& op) {
    op = ReadResizeOp(in, 2, false);
    return 0;
}

int ReadFrame(const ReaderInput& in, Operation& op) {
    FrameOp f;
    f.name = GetString(in.params, "name");
    if (f.name.empty())
        return FileNotFound;
    // A name that climbs out of the frame folder is answered like a template
    // that cannot be read.
    if (!StaysInsideFolder(f.name))
        return InvalidParameter;
    f.folder = in.folders.frameFolder;
    op = std::move(f);
    return 0;
}

namespace {

// The overlay of an in-process merge: a named image, an absolute path, a name
// in the image folder, or (two characters or fewer) no path at all.
int ReadInProcessMergeSource(const ReaderInput& in, const std::string& file, MergeOp& m) {
    std::string imgno = GetString(in.params, "imgno");
    if (!imgno.empty()) {
        m.source = MergeOp::Source::NamedImage;
        m.imageName = std::move(imgno);
        return 0;
    }
    if (Vs5Platform::Utf16Length(file) <= 2)
        return 0;
    if (file[0] == '/') {
        m.path = file;
        return 0;
    }
    return PathInFolder(in.folders.imageFolder, file, m.path) ? 0 : FileNotFound;
}

}  // namespace

int ReadMerge(const ReaderInput& in, Operation& op) {
    MergeOp m;
    m.alpha = Clamp32(GetIntEither(in.params, "alpha", "a", 255), 0, 255);
    m.x = Clamp32(GetInt(in.params, "x", 0), 0, in.settings.maxResizeWidth);
    m.y = Clamp32(GetInt(in.params, "y", 0), 0, in.settings.maxResizeHeight);
    m.align = GetString(in.params, "align");
    m.valign = GetString(in.params, "valign");
    m.itpMode = ReadItpMode(in, 7);
    m.fit = GetBool(in.params, "fit", false);
    std::string file = GetString(in.params, "file");
    int status = 0;
    if (IsInProcess(in.runner))
        status = ReadInProcessMergeSource(in, file, m);
    else if (!PathInFolder(in.folders.imageFolder, file, m.path))
        status = FileNotFound;
    if (status == 0)
        op = std::move(m);
    return status;
}

int ReadCrop(const ReaderInput& in, Operation& op) {
    const int64_t wb = in.settings.maxResizeWidth;
    const int64_t hb = in.settings.maxResizeHeight;
    int64_t x = ClampInt(GetInt(in.params, "x", -1), -1, wb);
    int64_t y = ClampInt(GetInt(in.params, "y", -1), -1, hb);
    int64_t width = ClampInt(GetIntEither(in.params, "width", "w", 0), -wb, wb);
    int64_t height = ClampInt(GetIntEither(in.params, "height", "h", 0), -hb, hb);
    if (x == -1 || y == -1) {
        x = (in.currentWidth - width) / 2;
        y = (in.currentHeight - height) / 2;
    }
    // A size below 1 counts back from the right or bottom edge.
    if (width < 1)
        width = width + in.currentWidth - x;
    if (height < 1)
        height = height + in.currentHeight - y;
    constexpr int64_t kMin = INT32_MIN, kMax = INT32_MAX;
    CropOp c;
    c.x = Clamp32(x, kMin, kMax);
    c.y = Clamp32(y, kMin, kMax);
    c.width = Clamp32(width, kMin, kMax);
    c.height = Clamp32(height, kMin, kMax);
    c.bgColor = GetColor(in.params, "bgcolor", 0xFFFFFFFF);
    op = c;
    return 0;
}

int ReadAutoCrop(const ReaderInput& in, Operation& op) {
    AutoCropOp a;
    a.bgColor = GetColor(in.params, "bgcolor", 0xFFFFFFFF);
    a.left = Clamp32(GetInt(in.params, "marginleft", 0), 0, 256);
    a.top = Clamp32(GetInt(in.params, "margintop", 0), 0, 256);
    a.right = Clamp32(GetInt(in.params, "marginright", 0), 0, 256);
    a.bottom = Clamp32(GetInt(in.params, "marginbottom", 0), 0, 256);
    op = a;
    return 0;
}

int ReadRotate(const ReaderInput& in, Operation& op) {
    RotateOp r;
    r.degrees = Clamp32(GetIntEither(in.params, "degree", "angle", 0), 0, 360);
    r.bgColor = GetColor(in.params, "bgcolor", 0xFFFFFFFF);
    op = r;
    return 0;
}

int ReadFlip(const ReaderInput& in, Operation& op) {
    op = FlipOp{GetBool(in.params, "horizontal", false), GetBool(in.params, "vertical", false)};
    return 0;
}

}  // namespace Vs4Command
