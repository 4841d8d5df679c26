#include "census/TileEdges.h"

#include "census/SearchPixels.h"
#include "census/SheetGrid.h"

#include <QImage>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace TileEdges {

namespace {

using SearchPixels::channelOf;
using SearchPixels::luma;

// Places read across each tile, and at most this many along a line (fewer
// for a whole scale, whose lines are sharp).
constexpr int ReadsATile = 4;
constexpr std::size_t MostReads = 96;
constexpr std::size_t MostSharpReads = 32;
// A line is read in the middle 60 % of the tiles it crosses, away from the
// other lines' blur.
constexpr double MiddleFrom = 0.2, MiddleSpan = 0.6;
// How much the steps across a line must stand out of the steps around it
// (their median), in the sum of the three channels' levels, for the line to
// be found there: this much, and this many times the median (a codec's
// noise makes steps of a few levels everywhere; a line, of hundreds).
constexpr int LeastStep = 6;
constexpr int StandsOut = 4;
// A line read along fewer of its places than this share is not used.
constexpr double LeastFound = 0.25;

// Sheet positions through the middles of the tiles between `lines`, at
// most `most` of them.
std::vector<double> middles(const std::vector<int> &lines, std::size_t most)
{
    std::vector<double> places;
    for (std::size_t t = 1; t < lines.size(); ++t) {
        const double from = lines[t - 1], width = lines[t] - lines[t - 1];
        for (int k = 0; k < ReadsATile; ++k)
            places.push_back(from + width * (MiddleFrom + MiddleSpan * (k + 0.5) / ReadsATile));
    }
    if (places.size() > most) {
        std::vector<double> fewer;
        for (std::size_t i = 0; i < most; ++i)
            fewer.push_back(places[i * places.size() / most]);
        places.swap(fewer);
    }
    return places;
}

// The picture along one row or one column: pixel i of it.
struct Track
{
    const QImage &picture;
    bool row;
    int at; // the row's y or the column's x

    int length() const { return row ? picture.width() : picture.height(); }
    std::uint32_t operator()(int i) const
    {
        return row ? SearchPixels::pixelAt(picture, i, at) : SearchPixels::pixelAt(picture, at, i);
    }
    // The brightness step between pixels i - 1 and i.
    int lumaStep(int i) const { return std::abs(luma((*this)(i)) - luma((*this)(i - 1))) / 256; }
    // The step in all three channels.
    int step(int i) const
    {
        const std::uint32_t one = (*this)(i - 1), two = (*this)(i);
        return std::abs(channelOf(two, 0) - channelOf(one, 0)) + std::abs(channelOf(two, 1) - channelOf(one, 1))
               + std::abs(channelOf(two, 2) - channelOf(one, 2));
    }
};

// Calls `read(track, lineIndex, picturePlace)` for each line of the grid,
// across (down the picture's rows, the lines being columns) then down, on
// the picture rows (columns) through the middles of the tiles. The sheet's
// position p lies at picture position origin + scale * p.
template <typename Read>
void eachRead(const QImage &picture, const SheetGrid &grid, double scale, QPointF origin, std::size_t most,
              const Read &read)
{
    for (const bool acrossLines : {true, false}) {
        const std::vector<int> &lines = acrossLines ? grid.columns : grid.rows;
        const std::vector<double> places = middles(acrossLines ? grid.rows : grid.columns, most);
        const double along = acrossLines ? origin.y() : origin.x();
        const int limit = acrossLines ? picture.height() : picture.width();
        for (const double place : places) {
            const int at = int(std::floor(along + scale * place));
            if (at < 0 || at >= limit)
                continue;
            const Track track {picture, acrossLines, at};
            for (std::size_t b = 0; b < lines.size(); ++b)
                read(track, acrossLines, b);
        }
    }
}

// Where the steps standing out of the window around `expected` have their
// middle (between pixels i - 1 and i is i), and what share of them the
// largest holds; negative when none stands out.
struct Steps
{
    double middle = -1;
    double sharpness = 1;
};

Steps middleOfSteps(const Track &track, double expected, double reach)
{
    const int from = std::max(1, int(std::floor(expected - reach)));
    const int to = std::min(track.length() - 1, int(std::ceil(expected + reach)));
    if (to - from < 2)
        return {};
    std::vector<int> steps;
    for (int i = from; i <= to; ++i)
        steps.push_back(track.step(i));
    std::vector<int> sorted = steps;
    std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(sorted.size() / 2), sorted.end());
    const int floor = sorted[sorted.size() / 2];
    const std::size_t peak = std::size_t(std::max_element(steps.begin(), steps.end()) - steps.begin());
    const int height = steps[peak] - floor;
    if (height < LeastStep || height < StandsOut * floor)
        return {};
    // The run of steps around the peak standing out by a quarter of it.
    std::size_t first = peak, last = peak;
    while (first > 0 && 4 * (steps[first - 1] - floor) >= height)
        --first;
    while (last + 1 < steps.size() && 4 * (steps[last + 1] - floor) >= height)
        ++last;
    double sum = 0, weighted = 0;
    for (std::size_t i = first; i <= last; ++i) {
        const double weight = steps[i] - floor;
        sum += weight;
        weighted += weight * double(from + int(i));
    }
    return {weighted / sum, height / sum};
}

double median(std::vector<double> values)
{
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(values.size() / 2), values.end());
    return values[values.size() / 2];
}

struct Found
{
    bool across; // a line between columns
    double sheet;
    double picture;
};

// The least-squares scale and corner through the lines found: picture =
// corner + scale * sheet, one scale for both directions.
std::optional<TileEdges::Smooth> straightLine(const std::vector<Found> &found)
{
    // Unknowns (cx, cy, s): the normal equations.
    std::array<std::array<double, 4>, 3> m {};
    int across = 0, down = 0;
    for (const Found &f : found) {
        const std::array<double, 3> row {f.across ? 1.0 : 0.0, f.across ? 0.0 : 1.0, f.sheet};
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j)
                m[std::size_t(i)][std::size_t(j)] += row[std::size_t(i)] * row[std::size_t(j)];
            m[std::size_t(i)][3] += row[std::size_t(i)] * f.picture;
        }
        (f.across ? across : down) += 1;
    }
    if (across < 2 || down < 2)
        return std::nullopt;
    // Gaussian elimination with partial pivoting.
    for (int c = 0; c < 3; ++c) {
        int pivot = c;
        for (int r = c + 1; r < 3; ++r)
            if (std::abs(m[std::size_t(r)][std::size_t(c)]) > std::abs(m[std::size_t(pivot)][std::size_t(c)]))
                pivot = r;
        std::swap(m[std::size_t(c)], m[std::size_t(pivot)]);
        if (std::abs(m[std::size_t(c)][std::size_t(c)]) < 1e-12)
            return std::nullopt;
        for (int r = 0; r < 3; ++r) {
            if (r == c)
                continue;
            const double f = m[std::size_t(r)][std::size_t(c)] / m[std::size_t(c)][std::size_t(c)];
            for (int k = c; k < 4; ++k)
                m[std::size_t(r)][std::size_t(k)] -= f * m[std::size_t(c)][std::size_t(k)];
        }
    }
    const double cx = m[0][3] / m[0][0], cy = m[1][3] / m[1][1], s = m[2][3] / m[2][2];
    if (!(s > 0))
        return std::nullopt;
    return TileEdges::Smooth {s, QPointF(cx, cy)};
}

} // namespace

QPoint BestShift(const QImage &picture, const SheetGrid &grid, int x, int y, int scale, int reach)
{
    const int span = 2 * reach + 1;
    std::vector<std::int64_t> across(std::size_t(span), 0), down(std::size_t(span), 0);
    eachRead(picture, grid, scale, QPointF(x, y), MostSharpReads, [&](const Track &track, bool acrossLines, std::size_t b) {
        const int line = (acrossLines ? x : y) + scale * (acrossLines ? grid.columns : grid.rows)[b];
        // A line some shift would read outside the picture is left out for all.
        if (line - reach < 1 || line + reach >= track.length())
            return;
        std::vector<std::int64_t> &scores = acrossLines ? across : down;
        for (int d = -reach; d <= reach; ++d)
            scores[std::size_t(d + reach)] += track.lumaStep(line + d);
    });
    const auto best = [reach](const std::vector<std::int64_t> &scores) {
        int chosen = 0; // ties stay where the colours put it
        for (int d = -reach; d <= reach; ++d)
            if (scores[std::size_t(d + reach)] > scores[std::size_t(chosen + reach)])
                chosen = d;
        return chosen;
    };
    return QPoint(best(across), best(down));
}

double SharpShare(const QImage &picture, const SheetGrid &grid, int x, int y, int scale)
{
    std::int64_t atLines = 0, around = 0;
    eachRead(picture, grid, scale, QPointF(x, y), MostSharpReads,
             [&](const Track &track, bool acrossLines, std::size_t b) {
                 const std::vector<int> &lines = acrossLines ? grid.columns : grid.rows;
                 if (b == 0 || b + 1 == lines.size())
                     return; // the sheet's own edges meet whatever lies around it
                 const int line = (acrossLines ? x : y) + scale * lines[b];
                 atLines += track.lumaStep(line);
                 for (int d = 1 - scale; d < scale; ++d)
                     around += track.lumaStep(line + d);
             });
    return around > 0 ? double(atLines) / double(around) : 1.0;
}

std::optional<Smooth> FitSmooth(const QImage &picture, const SheetGrid &grid, double scale, QPointF corner)
{
    Smooth fit {scale, corner, 1};
    // First nearly half a tile either way, for the few per cent a scale from
    // two hits may be off, then near the lines the first fit put in place.
    const double reaches[] = {0.45 * scale * grid.narrowest(), std::min(0.45 * scale * grid.narrowest(), 2.0 + scale)};
    for (const double reach : reaches) {
        std::vector<std::vector<double>> across(grid.columns.size()), down(grid.rows.size());
        std::vector<double> sharpness;
        std::size_t readsAcross = 0, readsDown = 0;
        eachRead(picture, grid, fit.scale, fit.corner, MostReads, [&](const Track &track, bool acrossLines, std::size_t b) {
            const double expected = (acrossLines ? fit.corner.x() : fit.corner.y())
                                    + fit.scale * (acrossLines ? grid.columns : grid.rows)[b];
            if (b == 0)
                ++(acrossLines ? readsAcross : readsDown);
            const Steps at = middleOfSteps(track, expected, reach);
            if (at.middle >= 0) {
                (acrossLines ? across : down)[b].push_back(at.middle);
                sharpness.push_back(at.sharpness);
            }
        });
        std::vector<Found> found;
        for (const bool acrossLines : {true, false}) {
            const std::vector<std::vector<double>> &places = acrossLines ? across : down;
            const std::size_t reads = acrossLines ? readsAcross : readsDown;
            for (std::size_t b = 0; b < places.size(); ++b)
                if (!places[b].empty() && double(places[b].size()) >= LeastFound * double(reads))
                    found.push_back({acrossLines, double((acrossLines ? grid.columns : grid.rows)[b]),
                                     median(places[b])});
        }
        std::optional<Smooth> line = straightLine(found);
        if (!line)
            return std::nullopt;
        // Lines found far off the others' fit (a window edge beside the
        // sheet, a tile whose step a curve flattened) are left out, the
        // farthest first: one far off pulls the fit from all the others.
        for (;;) {
            const auto off = [&line](const Found &f) {
                return std::abs(f.picture - (f.across ? line->corner.x() : line->corner.y()) - line->scale * f.sheet);
            };
            const auto farthest = std::max_element(
                found.begin(), found.end(), [&off](const Found &one, const Found &two) { return off(one) < off(two); });
            if (off(*farthest) <= std::max(0.75, 0.1 * line->scale))
                break;
            found.erase(farthest);
            line = straightLine(found);
            if (!line)
                return std::nullopt;
        }
        fit = *line;
        fit.sharpness = median(sharpness);
    }
    return fit;
}

} // namespace TileEdges
