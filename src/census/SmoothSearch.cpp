#include "census/SmoothSearch.h"

#include "census/SheetGrid.h"
#include "census/TileEdges.h"

#include <QImage>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace SmoothSearch {

namespace {

using SearchPixels::Sample;
using SheetSearch::ChannelOrder;

// Hits are gathered in cells of this many pixels a side; touching cells
// make one blob, whose middle stands for the hit middle's place.
constexpr int Cell = 8;
constexpr std::size_t MostBlobs = 24;
// Two hits' distance gives the scale; their direction must agree with the
// middles' within this share of it (and two pixels).
constexpr double DirectionSlack = 0.12;
// Proposals within this of each other (the scale's ratio, the corner as a
// share of a tile) are one.
constexpr double SameScale = 0.03;
constexpr double SameCorner = 0.2;
constexpr std::size_t ProposalsChecked = 24;
constexpr std::size_t ProposalsFitted = 3;
// A proposal passes when at most this share of the tile middles is off.
constexpr double MiddlesMissed = 0.25;
// Places read across each tile's middle part when ranking.
constexpr int RankReads = 6;
// The largest share of a line's steps in one pixel step for a sheet
// resampled smoothly to a scale of SpreadFrom or more: at most this, and
// at most 2 / scale.
constexpr double SpreadFrom = 1.8;
constexpr double SharpestSpread = 0.85;
// A placement leaving more than this share of the capture's colours
// unexplained by a curve per channel is not the sheet, however near.
constexpr double PlausibleShare = 0.5;

struct Blob
{
    double x;
    double y;
    int count;
};

std::vector<Blob> blobsOf(const std::vector<QPoint> &hits, int width)
{
    const int across = width / Cell + 1;
    // The hits by cell.
    std::vector<std::pair<int, int>> keyed;
    keyed.reserve(hits.size());
    for (std::size_t i = 0; i < hits.size(); ++i)
        keyed.emplace_back(hits[i].y() / Cell * across + hits[i].x() / Cell, int(i));
    std::sort(keyed.begin(), keyed.end());
    struct CellSum
    {
        int key;
        int count;
        double x;
        double y;
    };
    std::vector<CellSum> cells;
    for (const auto &[key, i] : keyed) {
        if (cells.empty() || cells.back().key != key)
            cells.push_back({key, 0, 0, 0});
        ++cells.back().count;
        cells.back().x += hits[std::size_t(i)].x();
        cells.back().y += hits[std::size_t(i)].y();
    }
    // Touching cells joined.
    std::vector<std::size_t> parent(cells.size());
    std::iota(parent.begin(), parent.end(), std::size_t(0));
    const auto root = [&parent](std::size_t i) {
        while (parent[i] != i)
            i = parent[i] = parent[parent[i]];
        return i;
    };
    const auto find = [&cells](int key) {
        const auto at = std::lower_bound(cells.begin(), cells.end(), key,
                                         [](const CellSum &cell, int wanted) { return cell.key < wanted; });
        return at != cells.end() && at->key == key ? std::optional<std::size_t>(std::size_t(at - cells.begin()))
                                                   : std::nullopt;
    };
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const int key = cells[i].key, column = key % across;
        for (const int neighbour : {key - 1, key - across - 1, key - across, key - across + 1}) {
            const int neighbourColumn = ((neighbour % across) + across) % across;
            if (neighbour < 0 || std::abs(neighbourColumn - column) > 1)
                continue;
            if (const std::optional<std::size_t> j = find(neighbour))
                parent[root(i)] = root(*j);
        }
    }
    std::vector<Blob> sums(cells.size(), Blob {0, 0, 0});
    for (std::size_t i = 0; i < cells.size(); ++i) {
        Blob &sum = sums[root(i)];
        sum.x += cells[i].x;
        sum.y += cells[i].y;
        sum.count += cells[i].count;
    }
    std::vector<Blob> blobs;
    for (const Blob &sum : sums)
        if (sum.count > 0)
            blobs.push_back({sum.x / sum.count, sum.y / sum.count, sum.count});
    std::sort(blobs.begin(), blobs.end(), [](const Blob &a, const Blob &b) { return a.count > b.count; });
    if (blobs.size() > MostBlobs)
        blobs.resize(MostBlobs);
    return blobs;
}

struct Proposal
{
    double scale;
    QPointF corner;
    double votes = 1;
};

// Sheet positions across the middle part of every tile, for ranking.
std::vector<QPointF> rankingPlaces(const SheetGrid &grid)
{
    std::vector<QPointF> places;
    for (std::size_t j = 1; j < grid.rows.size(); ++j)
        for (std::size_t i = 1; i < grid.columns.size(); ++i) {
            const double left = grid.columns[i - 1], width = grid.columns[i] - left;
            const double top = grid.rows[j - 1], height = grid.rows[j] - top;
            for (int b = 0; b < RankReads; ++b)
                for (int a = 0; a < RankReads; ++a)
                    places.emplace_back(left + width * (0.2 + 0.6 * (a + 0.5) / RankReads),
                                        top + height * (0.2 + 0.6 * (b + 0.5) / RankReads));
        }
    return places;
}

struct Score
{
    double share = 1;
    double curve = 1;
    double error = std::numeric_limits<double>::infinity();
    double lumaError = std::numeric_limits<double>::infinity();
};

// The capture against the sheet resampled, on the places inside the tiles
// that the placement keeps intact.
Score score(const QImage &picture, const QImage &sheet, const SheetGrid &grid, const ChannelOrder &order,
            double scale, QPointF corner, const std::vector<QPointF> &places)
{
    SearchPixels::Unexplained unexplained;
    SearchPixels::CurveFit curve;
    const double margin = Margin(scale);
    std::int64_t count = 0, channels = 0, luma = 0;
    for (const QPointF &place : places) {
        const int x = int(std::floor(corner.x() + scale * place.x()));
        const int y = int(std::floor(corner.y() + scale * place.y()));
        if (x < 0 || y < 0 || x >= picture.width() || y >= picture.height())
            continue;
        // Where the pixel's own middle lies on the sheet.
        const double sx = (x + 0.5 - corner.x()) / scale, sy = (y + 0.5 - corner.y()) / scale;
        if (grid.marginX(sx) < margin || grid.marginY(sy) < margin)
            continue;
        const std::uint32_t expected = SheetSearch::InOrder(SearchPixels::between(sheet, sx, sy), order);
        const std::uint32_t found = SearchPixels::pixelAt(picture, x, y);
        unexplained.add(found, expected);
        curve.add(found, expected);
        for (int c = 0; c < 3; ++c)
            channels += std::abs(SearchPixels::channelOf(found, c) - SearchPixels::channelOf(expected, c));
        luma += std::abs(SearchPixels::luma(found) - SearchPixels::luma(expected));
        ++count;
    }
    // Too few places inside the tiles to say (a small sheet made smaller
    // keeps almost none intact).
    if (count < 16)
        return {};
    return {unexplained.share(), curve.share(), double(channels) / (3.0 * double(count)),
            double(luma) / 256.0 / double(count)};
}

SheetSearch::Placement placementOf(const ChannelOrder &order, double scale, QPointF corner, const Score &score)
{
    SheetSearch::Placement placement;
    placement.x = int(std::floor(corner.x()));
    placement.y = int(std::floor(corner.y()));
    placement.error = score.error;
    placement.plausible = score.lumaError <= SheetSearch::PlausibleError && score.share <= PlausibleShare;
    placement.unexplained = score.curve;
    placement.noise = score.share;
    placement.order = order;
    placement.smooth = true;
    placement.smoothScale = scale;
    placement.corner = corner;
    return placement;
}

// Whether the lines' steps are spread as a sheet resampled smoothly to the
// fitted scale spreads them: over about as many pixels as the scale. A
// picture with sharp lines is not one (64kilo is 4096 four times as large
// in another order, but for its sharp tile edges).
bool spread(const TileEdges::Smooth &fit)
{
    return fit.scale < SpreadFrom || fit.sharpness <= std::min(SharpestSpread, 2.0 / fit.scale);
}

bool inside(const QImage &picture, int side, double scale, QPointF corner)
{
    constexpr double Slack = 1.0; // a fit a fraction off at the picture's edge
    return corner.x() >= -Slack && corner.y() >= -Slack && corner.x() + scale * side <= picture.width() + Slack
           && corner.y() + scale * side <= picture.height() + Slack;
}

} // namespace

double Margin(double scale)
{
    return 3.5 * std::max(1.0, 1.0 / scale) - 0.5;
}

std::vector<Sample> Middles(const QImage &sheet, const SheetGrid &grid, const ChannelOrder &order)
{
    std::vector<Sample> middles;
    for (std::size_t j = 1; j < grid.rows.size(); ++j)
        for (std::size_t i = 1; i < grid.columns.size(); ++i) {
            const int x = (grid.columns[i - 1] + grid.columns[i]) / 2, y = (grid.rows[j - 1] + grid.rows[j]) / 2;
            middles.push_back({x, y, SheetSearch::InOrder(SearchPixels::pixelAt(sheet, x, y), order)});
        }
    return middles;
}

std::optional<SheetSearch::Placement> Place(const QImage &picture, const QImage &sheet, const SheetGrid &grid,
                                            const std::vector<const Hits *> &orders)
{
    const int side = sheet.width();
    const double tile = grid.narrowest();

    // Every two hits of two middles (in any order) that lie as the middles do.
    std::vector<Proposal> proposals;
    for (const Hits *hits : orders) {
        std::vector<std::vector<Blob>> blobs;
        for (const std::vector<QPoint> &at : hits->at)
            blobs.push_back(at.size() < MostHits ? blobsOf(at, picture.width()) : std::vector<Blob> {});
        for (std::size_t a = 0; a < hits->chosen.size(); ++a)
            for (std::size_t b = a + 1; b < hits->chosen.size(); ++b) {
                const Sample &one = hits->middles[hits->chosen[a]], &two = hits->middles[hits->chosen[b]];
                const QPointF w(two.x - one.x, two.y - one.y);
                const double apart = std::hypot(w.x(), w.y());
                for (const Blob &p : blobs[a])
                    for (const Blob &q : blobs[b]) {
                        const QPointF v(q.x - p.x, q.y - p.y);
                        const double distance = std::hypot(v.x(), v.y());
                        const double scale = distance / apart;
                        if (scale < 0.9 * SheetSearch::SmallestSmoothScale
                            || scale > 1.1 * SheetSearch::LargestSmoothScale)
                            continue;
                        const QPointF off = v - scale * w;
                        if (std::hypot(off.x(), off.y()) > DirectionSlack * distance + 2)
                            continue;
                        const QPointF corner =
                            QPointF(p.x + 0.5, p.y + 0.5) - scale * QPointF(one.x + 0.5, one.y + 0.5);
                        if (!inside(picture, side, scale, corner))
                            continue;
                        const auto same = std::find_if(proposals.begin(), proposals.end(), [&](const Proposal &known) {
                            const QPointF d = known.corner - corner;
                            return std::abs(known.scale / scale - 1) < SameScale
                                   && std::max(std::abs(d.x()), std::abs(d.y()))
                                          < std::max(2.0, SameCorner * scale * tile);
                        });
                        if (same == proposals.end()) {
                            proposals.push_back({scale, corner});
                        } else {
                            same->scale = (same->scale * same->votes + scale) / (same->votes + 1);
                            same->corner = (same->corner * same->votes + corner) / (same->votes + 1);
                            same->votes += 1;
                        }
                    }
            }
    }
    std::stable_sort(proposals.begin(), proposals.end(),
                     [](const Proposal &a, const Proposal &b) { return a.votes > b.votes; });
    if (proposals.size() > ProposalsChecked)
        proposals.resize(ProposalsChecked);

    // Checked on every tile's middle in each order, then ranked on the
    // tiles' insides in the orders that pass.
    const std::vector<QPointF> places = rankingPlaces(grid);
    struct Ranked
    {
        Proposal proposal;
        std::vector<const Hits *> passing;
        double share;
    };
    std::vector<Ranked> ranked;
    for (const Proposal &proposal : proposals) {
        Ranked candidate {proposal, {}, 1};
        for (const Hits *hits : orders) {
            std::size_t missed = 0;
            for (const Sample &middle : hits->middles) {
                const int x = int(std::floor(proposal.corner.x() + proposal.scale * (middle.x + 0.5)));
                const int y = int(std::floor(proposal.corner.y() + proposal.scale * (middle.y + 0.5)));
                const bool in = x >= 0 && y >= 0 && x < picture.width() && y < picture.height();
                missed += !in || SearchPixels::misses(SearchPixels::pixelAt(picture, x, y), middle.colour,
                                                      SearchPixels::Quick);
            }
            if (double(missed) > MiddlesMissed * double(hits->middles.size()))
                continue;
            candidate.passing.push_back(hits);
            candidate.share = std::min(
                candidate.share,
                score(picture, sheet, grid, hits->order, proposal.scale, proposal.corner, places).share);
        }
        if (!candidate.passing.empty())
            ranked.push_back(std::move(candidate));
    }
    std::sort(ranked.begin(), ranked.end(), [](const Ranked &a, const Ranked &b) { return a.share < b.share; });
    if (ranked.size() > ProposalsFitted)
        ranked.resize(ProposalsFitted);

    // Each of the best few fitted to the tile edges (whatever the order),
    // then measured in each order that passed.
    std::optional<SheetSearch::Placement> best;
    double bestShare = 1;
    for (const Ranked &candidate : ranked) {
        // The fit is taken whatever the colours say: they barely tell a
        // place moved along the ramps from the right one. Without it the
        // place is a guess.
        const std::optional<TileEdges::Smooth> fit =
            TileEdges::FitSmooth(picture, grid, candidate.proposal.scale, candidate.proposal.corner);
        if (!fit || fit->scale < 0.9 * SheetSearch::SmallestSmoothScale
            || fit->scale > 1.1 * SheetSearch::LargestSmoothScale || !inside(picture, side, fit->scale, fit->corner)
            || !spread(*fit))
            continue;
        for (const Hits *hits : candidate.passing) {
            const Score s = score(picture, sheet, grid, hits->order, fit->scale, fit->corner, places);
            if (!std::isfinite(s.error) || (best && s.share >= bestShare))
                continue;
            best = placementOf(hits->order, fit->scale, fit->corner, s);
            bestShare = s.share;
        }
    }
    return best;
}

std::optional<SheetSearch::Placement> At(const QImage &picture, const QImage &sheet, const SheetGrid &grid,
                                         const ChannelOrder &order, double scale, QPointF corner)
{
    const Score s = score(picture, sheet, grid, order, scale, corner, rankingPlaces(grid));
    if (!std::isfinite(s.error))
        return std::nullopt;
    return placementOf(order, scale, corner, s);
}

} // namespace SmoothSearch
