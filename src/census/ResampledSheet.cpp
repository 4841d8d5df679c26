#include "census/ResampledSheet.h"

#include "census/SearchPixels.h"
#include "census/SheetGrid.h"
#include "census/SmoothSearch.h"

#include <cmath>
#include <cstring>

namespace {

// The picture pixels along one direction whose middles lie inside a tile.
std::vector<int> insideTiles(int length, double corner, double scale, const SheetGrid &grid, bool across,
                             double margin)
{
    std::vector<int> inside;
    const int side = across ? grid.columns.back() : grid.rows.back();
    const int first = std::max(0, int(std::floor(corner)));
    const int last = std::min(length - 1, int(std::ceil(corner + scale * side)));
    for (int i = first; i <= last; ++i) {
        const double place = (i + 0.5 - corner) / scale;
        if ((across ? grid.marginX(place) : grid.marginY(place)) >= margin)
            inside.push_back(i);
    }
    return inside;
}

} // namespace

ResampledSheet ResampledSheet::Take(const QImage &picture, const QImage &sheet, double scale, QPointF corner)
{
    ResampledSheet taken;
    const SheetGrid grid = SheetGrid::Of(sheet);
    const double margin = SmoothSearch::Margin(scale);
    taken.columns = insideTiles(picture.width(), corner.x(), scale, grid, true, margin);
    taken.rows = insideTiles(picture.height(), corner.y(), scale, grid, false, margin);
    if (taken.columns.empty() || taken.rows.empty())
        return taken;
    const QSize size(int(taken.columns.size()), int(taken.rows.size()));
    QImage captured(size, picture.format());
    QImage expected(size, QImage::Format_RGB32);
    if (captured.isNull() || expected.isNull())
        return taken;
    const int bytes = picture.depth() / 8;
    for (int j = 0; j < size.height(); ++j) {
        const int y = taken.rows[std::size_t(j)];
        const uchar *from = picture.constScanLine(y);
        uchar *to = captured.scanLine(j);
        auto *sheetRow = reinterpret_cast<std::uint32_t *>(expected.scanLine(j));
        const double sy = (y + 0.5 - corner.y()) / scale;
        for (int i = 0; i < size.width(); ++i) {
            const int x = taken.columns[std::size_t(i)];
            std::memcpy(to + std::size_t(i) * bytes, from + std::size_t(x) * bytes, std::size_t(bytes));
            sheetRow[i] = 0xFF000000u | SearchPixels::between(sheet, (x + 0.5 - corner.x()) / scale, sy);
        }
    }
    taken.captured = captured;
    taken.expected = expected;
    return taken;
}
