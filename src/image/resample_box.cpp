#include "image/resample_box.h"

#include <algorithm>

namespace Vs4Image {

namespace {

// Adds one source row to per-column totals: blue, green, red weighted by
// alpha, and alpha. The columns are summed into blocks once per block row.
void AddRow(const uint8_t* src, int width, uint32_t* columns) {
    for (int x = 0; x < width; ++x, src += 4, columns += 4) {
        const uint32_t a = src[3];
        columns[0] += src[0] * a;
        columns[1] += src[1] * a;
        columns[2] += src[2] * a;
        columns[3] += a;
    }
}

// Column totals into block totals. A block of 64 x 64 pixels stays below 2^32.
void SumBlocks(const uint32_t* columns, int width, int factorX, uint32_t* sums) {
    for (int start = 0; start < width; start += factorX, sums += 4) {
        const int end = std::min(start + factorX, width);
        uint32_t total[4] = {0, 0, 0, 0};
        for (int x = start; x < end; ++x)
            for (int c = 0; c < 4; ++c)
                total[c] += columns[x * 4 + c];
        for (int c = 0; c < 4; ++c)
            sums[c] = total[c];
    }
}

void FinishRow(const uint32_t* sums, int outWidth, int width, int factorX, int rows, uint8_t* out) {
    for (int x = 0; x < outWidth; ++x, sums += 4, out += 4) {
        const uint32_t columns = static_cast<uint32_t>(std::min(factorX, width - x * factorX));
        const uint32_t count = columns * static_cast<uint32_t>(rows);
        const uint32_t alphaSum = sums[3];
        if (alphaSum == 0) {
            out[0] = out[1] = out[2] = out[3] = 0;
            continue;
        }
        out[3] = static_cast<uint8_t>((alphaSum + count / 2) / count);
        for (int c = 0; c < 3; ++c)
            out[c] = static_cast<uint8_t>((sums[c] + alphaSum / 2) / alphaSum);
    }
}

}  // namespace

PixelView BoxShrink(const PixelView& source, int factorX, int factorY,
                    std::vector<uint8_t>& storage) {
    factorX = std::clamp(factorX, 1, kMaxBoxFactor);
    factorY = std::clamp(factorY, 1, kMaxBoxFactor);
    const int outWidth = (source.width + factorX - 1) / factorX;
    const int outHeight = (source.height + factorY - 1) / factorY;
    storage.assign(static_cast<size_t>(outWidth) * outHeight * 4, 0);
    std::vector<uint32_t> columns(static_cast<size_t>(source.width) * 4);
    std::vector<uint32_t> sums(static_cast<size_t>(outWidth) * 4);
    const PixelView out{storage.data(), outWidth, outHeight, static_cast<ptrdiff_t>(outWidth) * 4};
    for (int y = 0; y < outHeight; ++y) {
        std::fill(columns.begin(), columns.end(), 0);
        const int first = y * factorY, rows = std::min(factorY, source.height - first);
        for (int r = 0; r < rows; ++r)
            AddRow(source.row(first + r), source.width, columns.data());
        SumBlocks(columns.data(), source.width, factorX, sums.data());
        FinishRow(sums.data(), outWidth, source.width, factorX, rows, out.row(y));
    }
    return out;
}

}  // namespace Vs4Image
