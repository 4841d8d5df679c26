#include "census/SheetGrid.h"

#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace {

// A step between neighbours this much larger or smaller than the steps on
// both sides of it is a jump: the levels of the small sheets are spaced
// unevenly by a level (0, 18, 36, 55, ...), never by more.
constexpr int JumpTolerance = 2;
// Lines run straight across a sheet, so a few rows (columns) find them all.
constexpr int LinesRead = 32;

int channel(std::uint32_t rgb, int c)
{
    return int(rgb >> (16 - 8 * c)) & 0xFF;
}

// The lines along a row (or column) of `length` pixels, `at(i)` its pixel i.
template <typename At>
void addLines(int length, const At &at, std::vector<bool> &line)
{
    for (int i = 1; i < length; ++i)
        for (int c = 0; c < 3; ++c) {
            const int step = channel(at(i), c) - channel(at(i - 1), c);
            const bool unlikeBefore =
                i < 2 || std::abs(step - (channel(at(i - 1), c) - channel(at(i - 2), c))) > JumpTolerance;
            const bool unlikeAfter =
                i + 1 >= length || std::abs(step - (channel(at(i + 1), c) - channel(at(i), c))) > JumpTolerance;
            if (unlikeBefore && unlikeAfter && (i >= 2 || i + 1 < length)) {
                line[std::size_t(i)] = true;
                break;
            }
        }
}

std::vector<int> linesOf(const std::vector<bool> &line, int length)
{
    std::vector<int> lines {0};
    for (int i = 1; i < length; ++i)
        if (line[std::size_t(i)])
            lines.push_back(i);
    lines.push_back(length);
    return lines;
}

} // namespace

SheetGrid SheetGrid::Of(const QImage &sheet)
{
    const int w = sheet.width(), h = sheet.height();
    std::vector<bool> across(std::size_t(std::max(w, 1)), false), down(std::size_t(std::max(h, 1)), false);
    const auto pixel = [&sheet](int x, int y) {
        return reinterpret_cast<const std::uint32_t *>(sheet.constScanLine(y))[x] & 0xFFFFFFu;
    };
    for (int k = 0; k < std::min(h, LinesRead); ++k) {
        const int y = (2 * k + 1) * h / (2 * std::min(h, LinesRead));
        addLines(w, [&](int x) { return pixel(x, y); }, across);
    }
    for (int k = 0; k < std::min(w, LinesRead); ++k) {
        const int x = (2 * k + 1) * w / (2 * std::min(w, LinesRead));
        addLines(h, [&](int y) { return pixel(x, y); }, down);
    }
    return {linesOf(across, w), linesOf(down, h)};
}

int SheetGrid::narrowest() const
{
    int narrowest = std::numeric_limits<int>::max();
    for (const std::vector<int> *lines : {&columns, &rows})
        for (std::size_t i = 1; i < lines->size(); ++i)
            narrowest = std::min(narrowest, (*lines)[i] - (*lines)[i - 1]);
    return narrowest;
}

double SheetGrid::marginOf(const std::vector<int> &lines, double position)
{
    const auto next = std::upper_bound(lines.begin(), lines.end(), position);
    if (next == lines.begin() || next == lines.end())
        return -1; // outside the sheet
    return std::min(position - *(next - 1), *next - position);
}
