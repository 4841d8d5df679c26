#include "video/YcbcrPlanes.h"

#include <QImage>

#include <algorithm>
#include <cmath>

namespace YcbcrPlanes {

namespace {

struct Weights
{
    double red;
    double blue;
};

Weights weightsOf(VideoFrames::Matrix matrix)
{
    switch (matrix) {
    case VideoFrames::Matrix::Bt601: return {0.299, 0.114};
    case VideoFrames::Matrix::Bt2020: return {0.2627, 0.0593};
    default: return {0.2126, 0.0722};
    }
}

} // namespace

Planes Make(const QImage &sheet, const VideoFrames::YcbcrRecipe &recipe)
{
    Planes planes;
    const int w = sheet.width(), h = sheet.height();
    planes.width = w;
    planes.height = h;
    planes.chromaWidth = -((-w) >> recipe.chromaShiftX);
    planes.chromaHeight = -((-h) >> recipe.chromaShiftY);
    const Weights k = weightsOf(recipe.matrix);
    const double kg = 1.0 - k.red - k.blue;
    const int top = (1 << recipe.bits) - 1;
    const double step = double(1 << (recipe.bits - 8));
    // Y' and the colour differences from 0 to 1 (and -0.5 to 0.5) to codes.
    const double lumaScale = recipe.fullRange ? top : 219.0 * step;
    const double lumaOffset = recipe.fullRange ? 0.0 : 16.0 * step;
    const double chromaScale = recipe.fullRange ? top : 224.0 * step;
    const double chromaOffset = recipe.fullRange ? double(1 << (recipe.bits - 1)) : 128.0 * step;
    const auto code = [top](double value) { return std::uint16_t(std::clamp(std::lround(value), 0L, long(top))); };

    planes.y.resize(std::size_t(w) * std::size_t(h));
    // The colour differences at every pixel first, then shared as sited.
    std::vector<double> cb(planes.y.size()), cr(planes.y.size());
    for (int row = 0; row < h; ++row) {
        const auto *line = reinterpret_cast<const QRgb *>(sheet.constScanLine(row));
        for (int x = 0; x < w; ++x) {
            const double r = qRed(line[x]) / 255.0, g = qGreen(line[x]) / 255.0, b = qBlue(line[x]) / 255.0;
            const double luma = k.red * r + kg * g + k.blue * b;
            const std::size_t at = std::size_t(row) * std::size_t(w) + std::size_t(x);
            planes.y[at] = code(lumaOffset + lumaScale * luma);
            cb[at] = (b - luma) / (2.0 * (1.0 - k.blue));
            cr[at] = (r - luma) / (2.0 * (1.0 - k.red));
        }
    }

    const int across = 1 << recipe.chromaShiftX, down = 1 << recipe.chromaShiftY;
    const auto shared = [&](const std::vector<double> &full, int cx, int cy) {
        double sum = 0, weight = 0;
        for (int dy = 0; dy < down; ++dy) {
            const int row = std::min(cy * down + dy, h - 1);
            const double *line = full.data() + std::size_t(row) * std::size_t(w);
            const int x = cx * across;
            if (across == 1) {
                sum += line[x];
                weight += 1;
            } else {
                sum += line[std::max(x - 1, 0)] + 2 * line[x] + line[std::min(x + 1, w - 1)];
                weight += 4;
            }
        }
        return sum / weight;
    };
    const std::size_t chromaSamples = std::size_t(planes.chromaWidth) * std::size_t(planes.chromaHeight);
    planes.cb.resize(chromaSamples);
    planes.cr.resize(chromaSamples);
    for (int cy = 0; cy < planes.chromaHeight; ++cy)
        for (int cx = 0; cx < planes.chromaWidth; ++cx) {
            const std::size_t at = std::size_t(cy) * std::size_t(planes.chromaWidth) + std::size_t(cx);
            planes.cb[at] = code(chromaOffset + chromaScale * shared(cb, cx, cy));
            planes.cr[at] = code(chromaOffset + chromaScale * shared(cr, cx, cy));
        }
    return planes;
}

} // namespace YcbcrPlanes
