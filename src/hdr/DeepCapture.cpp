#include "hdr/DeepCapture.h"

#include "picture/PictureDepth.h"

#include <algorithm>
#include <cmath>

namespace DeepCapture {

namespace {

// A picture's channel at (x, y) as 0 to 1, whichever its depth.
class Pixels
{
public:
    explicit Pixels(const QImage &picture)
        : picture_(picture)
        , deep_(PictureDepth::Deep(picture))
    { }

    Rgb at(int x, int y) const
    {
        if (deep_) {
            const QRgba64 p = reinterpret_cast<const QRgba64 *>(picture_.constScanLine(y))[x];
            return {p.red() / 65535.0, p.green() / 65535.0, p.blue() / 65535.0};
        }
        const QRgb p = reinterpret_cast<const QRgb *>(picture_.constScanLine(y))[x];
        return {qRed(p) / 255.0, qGreen(p) / 255.0, qBlue(p) / 255.0};
    }
    // The brightest channel, for telling white from black.
    double level(int x, int y) const
    {
        const Rgb v = at(x, y);
        return std::max({v[0], v[1], v[2]});
    }
    int width() const { return picture_.width(); }
    int height() const { return picture_.height(); }
    bool deep() const { return deep_; }

private:
    const QImage &picture_;
    bool deep_;
};

// The mean brightest channel over the middle of a block of cells.
double blockLevel(const Pixels &pixels, QPoint offset, int cellSize, int column, int row, int cells)
{
    const int margin = cellSize / 4;
    const int x0 = offset.x() + column * cellSize + margin, y0 = offset.y() + row * cellSize + margin;
    const int side = cells * cellSize - 2 * margin;
    double sum = 0;
    for (int y = y0; y < y0 + side; ++y)
        for (int x = x0; x < x0 + side; ++x)
            sum += pixels.level(x, y);
    return sum / (double(side) * side);
}

// The recipe the identity strip at `row` holds, read bit by bit: each bit's
// block brighter or darker than the block after it.
std::optional<DeepSheet::Recipe> identityAt(const Pixels &pixels, QPoint offset, int cellSize, int row)
{
    std::array<bool, DeepSheet::IdentityBits> bits {};
    for (int bit = 0; bit < DeepSheet::IdentityBits; ++bit) {
        const int column = 8 + 2 * DeepSheet::IdentityBlock * bit;
        const double first = blockLevel(pixels, offset, cellSize, column, row, DeepSheet::IdentityBlock);
        const double second =
            blockLevel(pixels, offset, cellSize, column + DeepSheet::IdentityBlock, row, DeepSheet::IdentityBlock);
        if (std::abs(first - second) < 0.05)
            return std::nullopt;
        bits[std::size_t(bit)] = first > second;
    }
    return DeepSheet::RecipeOf(bits);
}

std::optional<Placement> placementAt(const Pixels &pixels, QPoint offset, int cellSize)
{
    if (offset.x() < 0 || offset.y() < 0 || offset.x() + DeepSheet::Columns * cellSize > pixels.width()
        || offset.y() + DeepSheet::Rows * cellSize > pixels.height())
        return std::nullopt;
    for (const int row : {1, DeepSheet::Rows - 5})
        if (const std::optional<DeepSheet::Recipe> recipe = identityAt(pixels, offset, cellSize, row))
            return Placement {offset, cellSize, *recipe};
    return std::nullopt;
}

} // namespace

std::optional<Placement> Find(const QImage &picture)
{
    const Pixels pixels(picture);
    for (const int cellSize : {8, 4})
        if (std::optional<Placement> found = placementAt(pixels, QPoint(0, 0), cellSize))
            return found;

    // Elsewhere: the top-left landmark is a white square of 6 x 6 cells with
    // black to its right (the strip begins two cells on). Bright and dark
    // are told apart halfway between the picture's extremes.
    const int w = picture.width(), h = picture.height();
    double low = 1, high = 0;
    for (int y = 0; y < h; y += 3)
        for (int x = 0; x < w; x += 3) {
            const double v = pixels.level(x, y);
            low = std::min(low, v);
            high = std::max(high, v);
        }
    if (high - low < 0.1)
        return std::nullopt;
    const double threshold = (low + high) / 2;
    std::vector<int> bright(std::size_t(w + 1) * std::size_t(h + 1), 0);
    const auto sum = [&](int x, int y) -> int & { return bright[std::size_t(y) * std::size_t(w + 1) + std::size_t(x)]; };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            sum(x + 1, y + 1) = sum(x, y + 1) + sum(x + 1, y) - sum(x, y) + (pixels.level(x, y) > threshold);
    const auto count = [&](int x, int y, int across, int down) {
        return sum(x + across, y + down) - sum(x, y + down) - sum(x + across, y) + sum(x, y);
    };
    for (const int cellSize : {8, 4}) {
        const int side = 6 * cellSize, gap = 2 * cellSize;
        for (int y = 0; y + DeepSheet::Rows * cellSize <= h; ++y)
            for (int x = 0; x + DeepSheet::Columns * cellSize <= w; ++x) {
                if (count(x, y, side, side) < side * side * 95 / 100 || count(x + side, y, gap, side) > gap * side / 20)
                    continue;
                // The square's top-left corner: nothing bright just above or
                // to the left of it.
                if ((x > 0 && count(x - 1, y, 1, side) > side / 2) || (y > 0 && count(x, y - 1, side, 1) > side / 2))
                    continue;
                if (std::optional<Placement> found = placementAt(pixels, QPoint(x, y), cellSize))
                    return found;
            }
    }
    return std::nullopt;
}

Cells Read(const QImage &picture, const Placement &placement)
{
    const Pixels pixels(picture);
    const std::vector<DeepSheet::Step> &steps = DeepSheet::Steps();
    Cells cells;
    cells.depth = pixels.deep() ? 16 : 8;
    cells.mean.reserve(steps.size());
    cells.spread.reserve(steps.size());
    const int cellSize = placement.cellSize, margin = cellSize / 4;
    for (const DeepSheet::Step &step : steps) {
        const int x0 = placement.offset.x() + step.column * cellSize + margin;
        const int y0 = placement.offset.y() + step.row * cellSize + margin;
        const int side = step.cells * cellSize - 2 * margin;
        Rgb sum {}, squares {};
        for (int y = y0; y < y0 + side; ++y)
            for (int x = x0; x < x0 + side; ++x) {
                const Rgb v = pixels.at(x, y);
                for (std::size_t c = 0; c < 3; ++c) {
                    sum[c] += v[c];
                    squares[c] += v[c] * v[c];
                }
            }
        const double n = double(side) * side;
        Rgb mean;
        double spread = 0;
        for (std::size_t c = 0; c < 3; ++c) {
            mean[c] = sum[c] / n;
            spread = std::max(spread, std::sqrt(std::max(squares[c] / n - mean[c] * mean[c], 0.0)));
        }
        cells.mean.push_back(mean);
        cells.spread.push_back(spread);
    }
    return cells;
}

} // namespace DeepCapture
