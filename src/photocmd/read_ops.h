// The per-operation readers behind ReadOperation. Each fills `op` and
// returns an image status (0 when the operation can run).
#pragma once

#include "photocmd/operation_reader.h"

namespace Vs4Command {

int ReadThumb(const ReaderInput& in, Operation& op);
int ReadResize(const ReaderInput& in, Operation& op);
int ReadFrame(const ReaderInput& in, Operation& op);
int ReadMerge(const ReaderInput& in, Operation& op);
int ReadCrop(const ReaderInput& in, Operation& op);
int ReadAutoCrop(const ReaderInput& in, Operation& op);
int ReadRotate(const ReaderInput& in, Operation& op);
int ReadFlip(const ReaderInput& in, Operation& op);

int ReadText(const ReaderInput& in, Operation& op);
int ReadAdjust(const ReaderInput& in, Operation& op);
int ReadAdjustRgb(const ReaderInput& in, Operation& op);
int ReadAutoLevel(const ReaderInput& in, Operation& op);
int ReadNegative(const ReaderInput& in, Operation& op);
int ReadSepia(const ReaderInput& in, Operation& op);
int ReadGray(const ReaderInput& in, Operation& op);
int ReadBlur(const ReaderInput& in, Operation& op);
int ReadSmooth(const ReaderInput& in, Operation& op);
int ReadSharpen(const ReaderInput& in, Operation& op);
int ReadJitter(const ReaderInput& in, Operation& op);
int ReadNoise(const ReaderInput& in, Operation& op);
int ReadOilPaint(const ReaderInput& in, Operation& op);
int ReadCaptcha(const ReaderInput& in, Operation& op);
int ReadReload(const ReaderInput& in, Operation& op);

int ReadLayerNew(const ReaderInput& in, Operation& op);
int ReadLayerCopy(const ReaderInput& in, Operation& op);
int ReadLayerBlend(const ReaderInput& in, Operation& op);

// Shared readings of sizes and files.
int32_t ReadWidth(const ReaderInput& in);   // width or w, 0..width bound
int32_t ReadHeight(const ReaderInput& in);  // height or h, 0..height bound
int32_t ReadItpMode(const ReaderInput& in, int32_t defaultMode);
// "<folder>/<file>"; false when `file` would leave the folder.
bool PathInFolder(const std::string& folder, const std::string& file, std::string& path);

}  // namespace Vs4Command
