#include "census/SheetSearch.h"

#include "census/SearchPixels.h"
#include "census/SheetGrid.h"
#include "census/SmoothSearch.h"
#include "census/TileEdges.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace SheetSearch {

std::uint32_t InOrder(std::uint32_t rgb, const ChannelOrder &order)
{
    const std::uint32_t channels[3] = {(rgb >> 16) & 0xFFu, (rgb >> 8) & 0xFFu, rgb & 0xFFu};
    return channels[order[0]] << 16 | channels[order[1]] << 8 | channels[order[2]];
}

QString OrderName(const ChannelOrder &order)
{
    QString name;
    for (const int c : order)
        name += QLatin1Char("RGB"[c]);
    return name;
}

QRect Placement::area(int side) const
{
    if (!smooth)
        return QRect(x, y, side * scale, side * scale);
    const double far = side * smoothScale;
    const QPoint topLeft(int(std::floor(corner.x())), int(std::floor(corner.y())));
    const QPoint end(int(std::ceil(corner.x() + far)), int(std::ceil(corner.y() + far)));
    return QRect(topLeft, QSize(end.x() - topLeft.x(), end.y() - topLeft.y()));
}

namespace {

using SearchPixels::channelDistance;
using SearchPixels::misses;
using SearchPixels::pixelAt;
using SearchPixels::Quick;
using SearchPixels::Sample;
using SearchPixels::Tolerance;

// One of the first two quick pixels of a placement must come this near for
// the pass to try it (the others, Quick).
constexpr Tolerance Trigger {32, 48};
// Pixels tried on every placement, and how many of them may be off.
constexpr int QuickSamples = 16;
constexpr int QuickMisses = 1;
// Of the quick pixels, how many are weighed for starting the pass's tries.
constexpr int TriggerChoices = 16;
// How far around a quick pixel the sheet stays within SmoothLimit of its colour.
constexpr int SmoothRadius = 3;
constexpr int SmoothLimit = 24;
// Placements ranked in full, at most.
constexpr std::size_t MostRanked = 128;
constexpr std::size_t FullyRanked = 8;
constexpr int RankingSide = 256;
// How far the tile edges may move a placement its colours found: up to half
// a tile (less a pixel), at most this.
constexpr int EdgeReach = 64;
// A whole-scale placement whose tile lines lie at a scale more than this
// share off is a smooth resampling.
constexpr double SameScale = 0.002;
// A placement whose colours a smooth curve per channel explains to within
// this share is taken for the sheet's (a heavy chain of 4:2:0, a matrix
// misread, a curve and a JPEG leaves under 1 %); of two such, one showing
// its sheet this much larger wins.
constexpr double WellExplained = 0.03;
// Two placements whose smooth curves leave this much more than any curve
// apart are told apart by it.
constexpr double ClearKink = 5e-4;
constexpr double LargerBy = 1.2;
// A sheet at a scale of 2 to 4 steps between its blocks, not inside them:
// the mean step inside is at most this share of the mean step between.
constexpr double FlatBlocks = 0.5;
// Of the steps across a sheet's tile lines at a scale of 2 to 4 and up to a
// block either side, at least this share lies at the lines themselves when
// it was scaled by whole blocks; smooth resampling spreads them.
constexpr double SharpEnough = 0.7;

// Fine bins for the pass's table: 16 levels a channel.
int fineBin(std::uint32_t rgb)
{
    return int((rgb >> 12) & 0xF00u) | int((rgb >> 8) & 0xF0u) | int((rgb >> 4) & 0xFu);
}

int coarseBin(std::uint32_t rgb)
{
    return int((rgb >> 21) & 7u) << 6 | int((rgb >> 13) & 7u) << 3 | int((rgb >> 5) & 7u);
}

// Whether any colour of the fine bin passes misses() against `expected`.
bool binMayPass(int bin, std::uint32_t expected, Tolerance tolerance)
{
    const int low[3] = {(bin >> 8) * 16, ((bin >> 4) & 15) * 16, (bin & 15) * 16};
    constexpr int weights[3] = {77, 150, 29};
    std::int64_t least = 0, most = 0;
    for (int c = 0; c < 3; ++c) {
        const int wanted = SearchPixels::channelOf(expected, c);
        const int from = std::max(low[c], wanted - tolerance.channel) - wanted;
        const int to = std::min(low[c] + 15, wanted + tolerance.channel) - wanted;
        if (from > to)
            return false;
        least += weights[c] * from;
        most += weights[c] * to;
    }
    return least <= tolerance.luma * 256 && most >= -tolerance.luma * 256;
}

// The fine bins that may pass against `expected`: `visit(bin)` for each.
template <typename Visit>
void eachBinMayPass(std::uint32_t expected, Tolerance tolerance, const Visit &visit)
{
    int from[3], to[3];
    for (int c = 0; c < 3; ++c) {
        const int wanted = SearchPixels::channelOf(expected, c);
        from[c] = std::max(0, wanted - tolerance.channel) >> 4;
        to[c] = std::min(255, wanted + tolerance.channel) >> 4;
    }
    for (int r = from[0]; r <= to[0]; ++r)
        for (int g = from[1]; g <= to[1]; ++g)
            for (int b = from[2]; b <= to[2]; ++b)
                if (const int bin = r << 8 | g << 4 | b; binMayPass(bin, expected, tolerance))
                    visit(bin);
}

// How many picture pixels fall in each fine bin, and in each coarse one.
struct Histogram
{
    std::array<std::int64_t, 4096> fine {};
    std::array<std::int64_t, 512> coarse {};
};

Histogram histogramOf(const QImage &picture)
{
    Histogram counts;
    for (int y = 0; y < picture.height(); ++y) {
        const auto *row = reinterpret_cast<const std::uint32_t *>(picture.constScanLine(y));
        for (int x = 0; x < picture.width(); ++x)
            ++counts.fine[std::size_t(fineBin(row[x]))];
    }
    for (int bin = 0; bin < 4096; ++bin)
        counts.coarse[std::size_t((bin >> 9) << 6 | ((bin >> 5) & 7) << 3 | ((bin >> 1) & 7))] +=
            counts.fine[std::size_t(bin)];
    return counts;
}

// How many picture pixels the pass would take for this colour.
std::int64_t triggerCount(const Histogram &counts, std::uint32_t colour, Tolerance tolerance)
{
    std::int64_t count = 0;
    eachBinMayPass(colour, tolerance, [&](int bin) { count += counts.fine[std::size_t(bin)]; });
    return count;
}

// How many picture pixels fall in the colour's coarse bin or its neighbours.
std::int64_t rarity(const Histogram &counts, std::uint32_t rgb)
{
    const int bin = coarseBin(rgb);
    const int r = bin >> 6, g = (bin >> 3) & 7, b = bin & 7;
    std::int64_t near = 0;
    for (int nr = std::max(0, r - 1); nr <= std::min(7, r + 1); ++nr)
        for (int ng = std::max(0, g - 1); ng <= std::min(7, g + 1); ++ng)
            for (int nb = std::max(0, b - 1); nb <= std::min(7, b + 1); ++nb)
                near += counts.coarse[std::size_t(nr << 6 | ng << 3 | nb)];
    return near;
}

// A place on a grid over the sheet that may become a quick pixel.
struct Place
{
    Sample sample;
    int roughness;
};

// What the search needs of one sheet, whatever the channel order.
struct SheetFacts
{
    SheetGrid grid;
    std::vector<Place> places;
    std::vector<Sample> ranking; // the sheet's own colours
};

std::vector<Place> placesOf(const QImage &sheet)
{
    const int size = sheet.width();
    const int grid = std::min(size, 24);
    std::vector<Place> places;
    for (int j = 0; j < grid; ++j) {
        for (int i = 0; i < grid; ++i) {
            const int x = (2 * i + 1) * size / (2 * grid);
            const int y = (2 * j + 1) * size / (2 * grid);
            const std::uint32_t colour = pixelAt(sheet, x, y);
            int roughness = 0;
            for (int ny = std::max(0, y - SmoothRadius); ny <= std::min(size - 1, y + SmoothRadius); ++ny)
                for (int nx = std::max(0, x - SmoothRadius); nx <= std::min(size - 1, x + SmoothRadius); ++nx)
                    roughness = std::max(roughness, channelDistance(colour, pixelAt(sheet, nx, ny)));
            places.push_back({{x, y, colour}, roughness});
        }
    }
    return places;
}

// The quick pixels of a sheet in one order: smooth places first (all of a
// small sheet may be rough), then the rarest in the picture. The first two
// start the pass's tries: of the rarest few, those the fewest picture
// pixels could stand for.
std::vector<Sample> quickSamples(const Histogram &counts, const std::vector<Place> &places, const ChannelOrder &order)
{
    struct Candidate
    {
        Sample sample;
        int roughness;
        std::int64_t rarity;
    };
    std::vector<Candidate> candidates;
    for (const Place &place : places) {
        const std::uint32_t colour = InOrder(place.sample.colour, order);
        candidates.push_back({{place.sample.x, place.sample.y, colour}, place.roughness, rarity(counts, colour)});
    }
    std::stable_sort(candidates.begin(), candidates.end(), [](const Candidate &one, const Candidate &two) {
        const bool smoothOne = one.roughness <= SmoothLimit;
        const bool smoothTwo = two.roughness <= SmoothLimit;
        if (smoothOne != smoothTwo)
            return smoothOne;
        return smoothOne ? one.rarity < two.rarity : one.roughness < two.roughness;
    });
    std::vector<Sample> samples;
    for (std::size_t i = 0; i < candidates.size() && samples.size() < std::size_t(QuickSamples); ++i)
        samples.push_back(candidates[i].sample);
    const std::size_t few = std::min(samples.size(), std::size_t(TriggerChoices));
    std::vector<std::int64_t> triggers(few);
    for (std::size_t i = 0; i < few; ++i)
        triggers[i] = triggerCount(counts, samples[i].colour, Trigger);
    for (std::size_t i = 0; i < std::min<std::size_t>(2, few); ++i) {
        const std::size_t least = std::size_t(std::min_element(triggers.begin() + std::ptrdiff_t(i), triggers.end())
                                              - triggers.begin());
        std::swap(samples[i], samples[least]);
        std::swap(triggers[i], triggers[least]);
    }
    return samples;
}

// The middles whose hits the pass records for the smooth search: the
// rarest, each at least a quarter of the sheet from the others so that
// two of them give the scale over a long way. (The pass keeps the hits of
// one pixel in four.)
std::vector<std::size_t> chooseMiddles(const Histogram &counts, const std::vector<Sample> &middles, int side)
{
    std::vector<std::pair<std::int64_t, std::size_t>> byCount;
    for (std::size_t i = 0; i < middles.size(); ++i)
        if (const std::int64_t count = triggerCount(counts, middles[i].colour, SmoothSearch::HitTolerance);
            count < 4 * std::int64_t(SmoothSearch::MostHits))
            byCount.emplace_back(count, i);
    std::sort(byCount.begin(), byCount.end());
    std::vector<std::size_t> chosen;
    for (const auto &ranked : byCount) {
        if (chosen.size() == SmoothSearch::Triggers)
            break;
        const std::size_t i = ranked.second;
        const bool apart = std::all_of(chosen.begin(), chosen.end(), [&](std::size_t j) {
            return std::max(std::abs(middles[i].x - middles[j].x), std::abs(middles[i].y - middles[j].y)) >= side / 4;
        });
        if (apart)
            chosen.push_back(i);
    }
    return chosen;
}

// The ranking pixels: all of a small sheet; of a large one, as many spread
// at random (the same every time), so that no phase of a codec's blocks or
// of the tiles is favoured.
std::vector<Sample> rankingSamples(const QImage &sheet)
{
    const int size = sheet.width();
    std::vector<Sample> samples;
    if (size <= RankingSide) {
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                samples.push_back({x, y, pixelAt(sheet, x, y)});
        return samples;
    }
    // One pixel at random in each cell of a RankingSide x RankingSide grid:
    // already in the picture's memory order.
    samples.reserve(std::size_t(RankingSide) * RankingSide);
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    for (int j = 0; j < RankingSide; ++j) {
        const int top = j * size / RankingSide, rows = (j + 1) * size / RankingSide - top;
        for (int i = 0; i < RankingSide; ++i) {
            const int left = i * size / RankingSide, columns = (i + 1) * size / RankingSide - left;
            state = state * 6364136223846793005u + 1442695040888963407u;
            const int x = left + int((state >> 33) % std::uint64_t(columns));
            const int y = top + int((state >> 17) % std::uint64_t(rows));
            samples.push_back({x, y, pixelAt(sheet, x, y)});
        }
    }
    return samples;
}

// Every n-th of `samples`, for a first ranking of many placements.
std::vector<Sample> everyNth(const std::vector<Sample> &samples, std::size_t n)
{
    std::vector<Sample> some;
    for (std::size_t i = 0; i < samples.size(); i += n)
        some.push_back(samples[i]);
    return some;
}

struct Ranked
{
    std::int64_t squares = 0;
    std::int64_t absolute = 0;
    std::int64_t luma = 0;
    std::int64_t count = 0;

    double meanSquares() const { return double(squares) / double(std::max<std::int64_t>(1, count)); }
    double meanAbsolute() const { return double(absolute) / double(std::max<std::int64_t>(1, count)); }
    double meanLumaError() const { return double(luma) / 256.0 / double(std::max<std::int64_t>(1, count)); }
};

// Brightness weighs four times as much as colour: a lossy codec keeps
// brightness at every pixel but colour only at every other (4:2:0).
void addDifference(Ranked &ranked, std::uint32_t found, std::uint32_t expected)
{
    const int dr = SearchPixels::channelOf(found, 0) - SearchPixels::channelOf(expected, 0);
    const int dg = SearchPixels::channelOf(found, 1) - SearchPixels::channelOf(expected, 1);
    const int db = SearchPixels::channelOf(found, 2) - SearchPixels::channelOf(expected, 2);
    const std::int64_t luma = 77 * dr + 150 * dg + 29 * db; // 256 times the brightness difference
    const std::int64_t blue = 256 * db - luma;
    const std::int64_t red = 256 * dr - luma;
    ranked.squares += 4 * luma * luma + blue * blue + red * red;
    ranked.absolute += std::abs(dr) + std::abs(dg) + std::abs(db);
    ranked.luma += std::abs(luma);
    ++ranked.count;
}

// Both corners of every sheet pixel's block: at a scale, a placement one
// pixel off still shows the centre of every block. The sheet lies inside
// the picture.
Ranked rank(const QImage &picture, const std::vector<Sample> &samples, int left, int top, int scale,
            const ChannelOrder &order)
{
    Ranked ranked;
    const qsizetype stride = picture.bytesPerLine() / 4;
    const auto *origin = reinterpret_cast<const std::uint32_t *>(picture.constBits()) + qsizetype(top) * stride + left;
    const qsizetype farCorner = qsizetype(scale - 1) * stride + scale - 1;
    for (const Sample &sample : samples) {
        const std::uint32_t *block = origin + qsizetype(sample.y * scale) * stride + sample.x * scale;
        const std::uint32_t expected = InOrder(sample.colour, order);
        addDifference(ranked, block[0], expected);
        if (scale > 1)
            addDifference(ranked, block[farCorner], expected);
    }
    return ranked;
}

// The same at scale 1 for a sheet partly outside the picture: the samples
// outside are left out.
Ranked rankInside(const QImage &picture, const std::vector<Sample> &samples, int left, int top,
                  const ChannelOrder &order)
{
    Ranked ranked;
    for (const Sample &sample : samples) {
        const int x = left + sample.x;
        const int y = top + sample.y;
        if (x >= 0 && y >= 0 && x < picture.width() && y < picture.height())
            addDifference(ranked, pixelAt(picture, x, y), InOrder(sample.colour, order));
    }
    return ranked;
}

// How much of the picture's colours at the placement a curve per channel
// leaves unexplained (the middle of each block). The sheet lies inside.
double unexplained(const QImage &picture, const std::vector<Sample> &samples, int left, int top, int scale,
                   const ChannelOrder &order)
{
    SearchPixels::Unexplained sums;
    for (const Sample &sample : samples)
        sums.add(pixelAt(picture, left + sample.x * scale + scale / 2, top + sample.y * scale + scale / 2),
                 InOrder(sample.colour, order));
    return sums.share();
}

// Placement::unexplained and Placement::noise of a placement at a whole
// scale, on the ranking pixels inside the tiles (a codec smears the lines)
// and inside the picture.
void explain(const QImage &picture, const SheetFacts &facts, Placement &placement)
{
    const int left = placement.x, top = placement.y, scale = placement.scale;
    const ChannelOrder &order = placement.order;
    SearchPixels::CurveFit fit;
    SearchPixels::Unexplained any;
    for (const Sample &sample : facts.ranking) {
        if (facts.grid.marginX(sample.x + 0.5) < 2.5 || facts.grid.marginY(sample.y + 0.5) < 2.5)
            continue;
        const int x = left + sample.x * scale + scale / 2, y = top + sample.y * scale + scale / 2;
        if (x >= 0 && y >= 0 && x < picture.width() && y < picture.height()) {
            const std::uint32_t found = pixelAt(picture, x, y), expected = InOrder(sample.colour, order);
            fit.add(found, expected);
            any.add(found, expected);
        }
    }
    placement.unexplained = fit.share();
    placement.noise = any.share();
}

// The mean channel difference over every picture pixel of the sheet's area
// that lies inside the picture, against the sheet in `order`: what the
// census itself measures of a capture in the sheet's own order.
double fullError(const QImage &picture, const QImage &sheet, int left, int top, int scale, const ChannelOrder &order)
{
    const int shown = sheet.width() * scale;
    const int x0 = std::max(0, left), x1 = std::min(picture.width(), left + shown);
    const int y0 = std::max(0, top), y1 = std::min(picture.height(), top + shown);
    if (x0 >= x1 || y0 >= y1)
        return std::numeric_limits<double>::infinity();
    // Shifts that put each sheet channel where the capture holds it.
    int shiftOf[3];
    for (int c = 0; c < 3; ++c)
        shiftOf[order[std::size_t(c)]] = 16 - 8 * c;
    std::int64_t sum = 0;
    for (int y = y0; y < y1; ++y) {
        const auto *found = reinterpret_cast<const std::uint32_t *>(picture.constScanLine(y));
        const auto *expected = reinterpret_cast<const std::uint32_t *>(sheet.constScanLine((y - top) / scale));
        for (int x = x0; x < x1; ++x) {
            const std::uint32_t f = found[x];
            const std::uint32_t e = expected[(x - left) / scale];
            sum += std::abs(int((f >> shiftOf[0]) & 0xFFu) - int((e >> 16) & 0xFFu))
                   + std::abs(int((f >> shiftOf[1]) & 0xFFu) - int((e >> 8) & 0xFFu))
                   + std::abs(int((f >> shiftOf[2]) & 0xFFu) - int(e & 0xFFu));
        }
    }
    return double(sum) / (3.0 * double(x1 - x0) * double(y1 - y0));
}

// A placement at a whole scale.
Placement whole(int x, int y, int scale, const ChannelOrder &order, double error = 0, bool plausible = false)
{
    Placement placement;
    placement.x = x;
    placement.y = y;
    placement.scale = scale;
    placement.error = error;
    placement.plausible = plausible;
    placement.order = order;
    return placement;
}

struct Tried
{
    int x;
    int y;
    int scale;
    int sum; // of the quick pixels' channel distances, for a first ranking
    int order = 0; // into ChannelOrders
    double score = 0;
};

// One sheet in one channel order: its quick pixels, and what the pass
// records of its tile middles for the smooth search.
struct Set
{
    int sheet;
    int order; // into ChannelOrders
    std::vector<Sample> quick;
    std::vector<std::size_t> trials;
    SmoothSearch::Hits hits;
};

// One set at one whole scale during the pass over the picture.
struct Trial
{
    std::size_t set;
    int scale;
    int shown;
    // The quick pixels' places in the shown sheet and their distance from
    // its top-left pixel in memory.
    std::vector<QPoint> places;
    std::vector<qsizetype> offsets;
    std::vector<Tried> passed;
    Tried closest {0, 0, 1, 0};
    int closestReached = -1;
};

// The quick pixels of one placement, with the one allowed miss, from
// `next` on: those before it are known, `missed` of them off, their channel
// distances summed in `sum`.
void tryPlacement(Trial &trial, const Set &set, const std::uint32_t *origin, int left, int top, std::size_t next,
                  int missed, int sum)
{
    const std::size_t samples = set.quick.size();
    std::size_t k = next;
    for (; k < samples; ++k) {
        const std::uint32_t found = origin[trial.offsets[k]];
        const std::uint32_t expected = set.quick[k].colour;
        if (misses(found, expected, Quick) && ++missed > QuickMisses)
            break;
        sum += channelDistance(found, expected);
    }
    if (k == samples)
        trial.passed.push_back({left, top, trial.scale, sum, set.order});
    else if (int(k) > trial.closestReached) {
        trial.closestReached = int(k);
        trial.closest = {left, top, trial.scale, sum, set.order};
    }
}

// What a picture pixel's colour may start: quick pixel 0 or 1 of a set
// (its placements tried at every whole scale), or a chosen tile middle of
// it (a hit kept for the smooth search).
struct Entry
{
    std::uint32_t set;
    std::uint32_t what; // 0, 1: quick pixel; 2 + k: the k-th chosen middle
};

// At most one quick pixel of a placement may be off, so one of its first
// two is on: the pass looks every picture pixel's colour up in a table of
// what it could start, and tries only those placements. A placement whose
// first quick pixel is on is tried from there, never a second time from
// its second.
void pass(const QImage &picture, std::vector<Set> &sets, std::vector<Trial> &trials)
{
    std::vector<std::vector<Entry>> perBin(4096);
    for (std::size_t s = 0; s < sets.size(); ++s) {
        const Set &set = sets[s];
        for (std::uint32_t j = 0; j < 2 && j < set.quick.size(); ++j)
            eachBinMayPass(set.quick[j].colour, Trigger,
                           [&](int bin) { perBin[std::size_t(bin)].push_back({std::uint32_t(s), j}); });
        for (std::size_t k = 0; k < set.hits.chosen.size(); ++k)
            eachBinMayPass(set.hits.middles[set.hits.chosen[k]].colour, SmoothSearch::HitTolerance, [&](int bin) {
                perBin[std::size_t(bin)].push_back({std::uint32_t(s), std::uint32_t(2 + k)});
            });
    }
    // Each bin's entries, the quick pixels' first: hits are kept on every
    // other row and column only (a blob's middle is the same), so the
    // other pixels look at the quick pixels' alone.
    std::vector<std::uint32_t> start(4097, 0), hitsFrom(4096, 0);
    std::vector<Entry> entries;
    for (int bin = 0; bin < 4096; ++bin) {
        std::vector<Entry> &here = perBin[std::size_t(bin)];
        const auto quick = std::stable_partition(here.begin(), here.end(), [](const Entry &e) { return e.what < 2; });
        start[std::size_t(bin)] = std::uint32_t(entries.size());
        hitsFrom[std::size_t(bin)] = std::uint32_t(entries.size() + std::size_t(quick - here.begin()));
        entries.insert(entries.end(), here.begin(), here.end());
    }
    start[4096] = std::uint32_t(entries.size());

    const int width = picture.width();
    const int height = picture.height();
    const qsizetype stride = picture.bytesPerLine() / 4;
    const auto *bits = reinterpret_cast<const std::uint32_t *>(picture.constBits());
    for (int y = 0; y < height; ++y) {
        const std::uint32_t *row = bits + qsizetype(y) * stride;
        for (int x = 0; x < width; ++x) {
            const int bin = fineBin(row[x]);
            const std::uint32_t end = ((x | y) & 1) == 0 ? start[std::size_t(bin) + 1] : hitsFrom[std::size_t(bin)];
            for (std::uint32_t e = start[std::size_t(bin)]; e < end; ++e) {
                const Entry entry = entries[e];
                Set &set = sets[entry.set];
                if (entry.what >= 2) {
                    std::vector<QPoint> &hits = set.hits.at[entry.what - 2];
                    const std::uint32_t middle = set.hits.middles[set.hits.chosen[entry.what - 2]].colour;
                    if (hits.size() < SmoothSearch::MostHits && !misses(row[x], middle, SmoothSearch::HitTolerance))
                        hits.emplace_back(x, y);
                    continue;
                }
                const std::size_t j = entry.what;
                if (misses(row[x], set.quick[j].colour, Trigger))
                    continue;
                const int distance = channelDistance(row[x], set.quick[j].colour);
                for (const std::size_t t : set.trials) {
                    Trial &trial = trials[t];
                    const int left = x - trial.places[j].x();
                    const int top = y - trial.places[j].y();
                    if (left < 0 || top < 0 || left + trial.shown > width || top + trial.shown > height)
                        continue;
                    const std::uint32_t *origin = bits + qsizetype(top) * stride + left;
                    if (j == 0) {
                        tryPlacement(trial, set, origin, left, top, 1, 0, distance);
                        continue;
                    }
                    const std::uint32_t first = origin[trial.offsets[0]];
                    if (!misses(first, set.quick[0].colour, Trigger))
                        continue; // tried from there
                    tryPlacement(trial, set, origin, left, top, 2, 1,
                                 distance + channelDistance(first, set.quick[0].colour));
                }
            }
        }
    }
}

// The placements ranked, the same spot's neighbours once: one spot's many
// neighbours must not crowd out another spot.
std::vector<Tried> spread(std::vector<Tried> passed, std::size_t most)
{
    std::sort(passed.begin(), passed.end(), [](const Tried &one, const Tried &two) { return one.sum < two.sum; });
    std::vector<Tried> kept;
    for (const Tried &tried : passed) {
        if (kept.size() == most)
            break;
        const bool near = std::any_of(kept.begin(), kept.end(), [&tried](const Tried &other) {
            return other.scale == tried.scale && other.order == tried.order && std::abs(other.x - tried.x) <= 2
                   && std::abs(other.y - tried.y) <= 2;
        });
        if (!near)
            kept.push_back(tried);
    }
    return kept;
}

// Whether the sheet at a whole scale of 2 or more shows flat blocks: along
// its ramps, the mean brightness step between two pixels of one block is
// small beside the mean step from a block to the next (means of signed
// steps, which a codec's noise leaves alone; brightness, which a codec
// keeps at every pixel where it halves the colour's resolution). Where they
// are alike, the sheet was resampled smoothly, or the picture shows another
// sheet that steps at every pixel (1million in another order is much like
// 256killo at scale 2).
bool flatBlocks(const QImage &picture, const SheetFacts &facts, int left, int top, int scale)
{
    using SearchPixels::luma;
    std::int64_t insideAcross = 0, insideDown = 0, betweenAcross = 0, betweenDown = 0;
    for (const Sample &sample : facts.ranking) {
        if (facts.grid.marginX(sample.x + 0.5) < 2.5 || facts.grid.marginY(sample.y + 0.5) < 2.5)
            continue; // its next block lies in another tile
        const int x = left + sample.x * scale, y = top + sample.y * scale;
        const int here = luma(pixelAt(picture, x, y));
        insideAcross += luma(pixelAt(picture, x + 1, y)) - here;
        insideDown += luma(pixelAt(picture, x, y + 1)) - here;
        betweenAcross += luma(pixelAt(picture, x + scale, y)) - luma(pixelAt(picture, x + scale - 1, y));
        betweenDown += luma(pixelAt(picture, x, y + scale)) - luma(pixelAt(picture, x, y + scale - 1));
    }
    return double(std::abs(insideAcross) + std::abs(insideDown))
           <= FlatBlocks * double(std::abs(betweenAcross) + std::abs(betweenDown));
}

// Whether the sheet at a whole scale of 2 or more was scaled by whole blocks
// (nearest neighbour): its blocks are flat, or (a lossy codec smooths the
// small steps between blocks) its tile lines are sharp.
bool wholeBlocks(const QImage &picture, const SheetFacts &facts, int left, int top, int scale)
{
    return flatBlocks(picture, facts, left, top, scale)
           || TileEdges::SharpShare(picture, facts.grid, left, top, scale) >= SharpEnough;
}

// The best of the placements that passed the quick pixels. A curve per
// channel explains a placement moved along the ramps inside the tiles
// nearly as well as the right one, and the place where the colours come
// nearest may be off when they changed: so the best few by what the curves
// leave unexplained are each moved to where the sheet's tile edges meet the
// picture's steps, and then ranked again (one a whole tile off shows its
// last tiles on whatever lies beside the sheet).
Placement ranked(const QImage &picture, const QImage &sheet, const SheetFacts &facts, std::vector<Tried> passed)
{
    passed = spread(std::move(passed), MostRanked);
    // Many placements are first ranked on a few thousand of the ranking pixels.
    if (passed.size() > FullyRanked) {
        const std::vector<Sample> few = everyNth(facts.ranking, std::max<std::size_t>(1, facts.ranking.size() / 4096));
        for (Tried &tried : passed)
            tried.score =
                unexplained(picture, few, tried.x, tried.y, tried.scale, ChannelOrders[std::size_t(tried.order)]);
        std::nth_element(passed.begin(), passed.begin() + FullyRanked, passed.end(),
                         [](const Tried &one, const Tried &two) { return one.score < two.score; });
        passed.resize(FullyRanked);
    }
    std::vector<Tried> moved;
    const std::vector<Sample> few = everyNth(facts.ranking, std::max<std::size_t>(1, facts.ranking.size() / 1024));
    for (const Tried &tried : passed) {
        Tried at = tried;
        const int shown = sheet.width() * tried.scale;
        const auto inside = [&](int x, int y) {
            return x >= 0 && y >= 0 && x + shown <= picture.width() && y + shown <= picture.height();
        };
        // A lossless capture is where the sheet is exact: up to a block
        // from where its quick pixels (in the blocks' middles) put it.
        bool exact = false;
        const ChannelOrder &order = ChannelOrders[std::size_t(tried.order)];
        for (int dy = 1 - tried.scale; dy < tried.scale && !exact && tried.sum == 0; ++dy)
            for (int dx = 1 - tried.scale; dx < tried.scale && !exact; ++dx) {
                const int x = tried.x + dx, y = tried.y + dy;
                if (inside(x, y) && rank(picture, few, x, y, tried.scale, order).squares == 0
                    && rank(picture, facts.ranking, x, y, tried.scale, order).squares == 0) {
                    exact = true;
                    at.x = x;
                    at.y = y;
                }
            }
        const int reach = exact ? 0 : std::min(EdgeReach, (tried.scale * facts.grid.narrowest()) / 2 - 1);
        if (reach > 0) {
            const QPoint shift = TileEdges::BestShift(picture, facts.grid, tried.x, tried.y, tried.scale, reach);
            const int x = tried.x + shift.x(), y = tried.y + shift.y();
            if (inside(x, y)) {
                at.x = x;
                at.y = y;
            }
        }
        const bool known = std::any_of(moved.begin(), moved.end(), [&at](const Tried &other) {
            return other.x == at.x && other.y == at.y && other.scale == at.scale && other.order == at.order;
        });
        if (!known) {
            // An exact one ranks first.
            at.score = exact ? -1 : unexplained(picture, facts.ranking, at.x, at.y, at.scale, order);
            moved.push_back(at);
        }
    }
    const Tried best = *std::min_element(moved.begin(), moved.end(),
                                         [](const Tried &one, const Tried &two) { return one.score < two.score; });
    Placement found = whole(best.x, best.y, best.scale, ChannelOrders[std::size_t(best.order)]);
    found.error = fullError(picture, sheet, found.x, found.y, found.scale, found.order);
    found.plausible =
        rank(picture, facts.ranking, found.x, found.y, found.scale, found.order).meanLumaError() <= PlausibleError
        && (found.scale == 1 || wholeBlocks(picture, facts, found.x, found.y, found.scale));
    explain(picture, facts, found);
    return found;
}

// The full error's way downhill from `from`, one pixel at a time, among the
// placements `allowed` admits.
template <typename Allowed>
Placement settle(const QImage &picture, const QImage &sheet, Placement from, const Allowed &allowed)
{
    Placement best = from;
    best.error = fullError(picture, sheet, best.x, best.y, best.scale, best.order);
    for (bool moved = true; moved;) {
        moved = false;
        const Placement centre = best;
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                const int x = centre.x + dx;
                const int y = centre.y + dy;
                if ((dx == 0 && dy == 0) || !allowed(x, y))
                    continue;
                const double error = fullError(picture, sheet, x, y, centre.scale, centre.order);
                if (error < best.error) {
                    best.x = x;
                    best.y = y;
                    best.error = error;
                    moved = true;
                }
            }
        }
    }
    return best;
}

// A picture within a few pixels of the sheet's size, the sheet shifted by
// up to MaxShift pixels (a quarter of a small sheet) either way, partly
// outside it, in every channel order. When the best shift is the placement
// `known` already found, that placement stands.
Placement shifted(const QImage &picture, const QImage &sheet, const SheetFacts &facts,
                  const std::optional<Placement> &known)
{
    const std::vector<Sample> &ranking = facts.ranking;
    const int side = sheet.width();
    const int reach = std::min(MaxShift, side / 4);
    const int lowX = std::min(0, picture.width() - side) - reach, highX = std::max(0, picture.width() - side) + reach;
    const int lowY = std::min(0, picture.height() - side) - reach,
              highY = std::max(0, picture.height() - side) + reach;
    // A first ranking of every shift on about a thousand pixels.
    const std::vector<Sample> few = everyNth(ranking, std::max<std::size_t>(1, ranking.size() / 1024));
    std::vector<Tried> tried;
    for (int order = 0; order < int(ChannelOrders.size()); ++order)
        for (int y = lowY; y <= highY; ++y)
            for (int x = lowX; x <= highX; ++x)
                tried.push_back({x, y, 1, 0, order,
                                 rankInside(picture, few, x, y, ChannelOrders[std::size_t(order)]).meanSquares()});
    const std::size_t kept = std::min(FullyRanked, tried.size());
    std::partial_sort(tried.begin(), tried.begin() + std::ptrdiff_t(kept), tried.end(),
                      [](const Tried &one, const Tried &two) { return one.score < two.score; });
    Tried best = tried.front();
    double bestScore = std::numeric_limits<double>::infinity();
    // The few best by the measure the final placement is chosen by.
    for (std::size_t i = 0; i < kept; ++i) {
        const double score =
            rankInside(picture, ranking, tried[i].x, tried[i].y, ChannelOrders[std::size_t(tried[i].order)])
                .meanAbsolute();
        if (score < bestScore) {
            bestScore = score;
            best = tried[i];
        }
    }
    const ChannelOrder &order = ChannelOrders[std::size_t(best.order)];
    if (known && known->scale == 1 && !known->smooth && known->x == best.x && known->y == best.y
        && known->order == order)
        return *known;
    Placement found = settle(picture, sheet, whole(best.x, best.y, 1, order), [=](int x, int y) {
        return x >= lowX && x <= highX && y >= lowY && y <= highY;
    });
    found.plausible = rankInside(picture, ranking, found.x, found.y, order).meanLumaError() <= PlausibleError;
    explain(picture, facts, found);
    return found;
}

// Whether a placement at scale 1 is at least as good as each of its
// neighbours (partly outside the picture, too) on the ranking pixels' mean
// channel difference: a sheet cropped a few pixels off is not.
bool bestOfNeighbours(const QImage &picture, const std::vector<Sample> &ranking, const Placement &placement)
{
    if (placement.scale != 1 || placement.smooth)
        return true;
    const auto meanOf = [&](int x, int y) { return rankInside(picture, ranking, x, y, placement.order).meanAbsolute(); };
    const double here = meanOf(placement.x, placement.y);
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if ((dx != 0 || dy != 0) && meanOf(placement.x + dx, placement.y + dy) < here)
                return false;
    return true;
}

bool nearSize(const QImage &picture, int side)
{
    return std::abs(picture.width() - side) <= MaxShift && std::abs(picture.height() - side) <= MaxShift;
}

// Whether `one` is a better answer than `two`. Of two that pass: where one
// shows its sheet notably larger and a smooth curve explains it well, that
// one (a small sheet matches a part of a larger one, in some order, as well
// as the larger matches itself); else the one a smooth curve explains
// clearly better beyond the noise (its colours may have changed more than
// the other's); then the nearer, then the larger. Of two that do not, the nearer.
bool better(const Placement &one, int oneSide, const Placement &two, int twoSide)
{
    if (one.plausible != two.plausible)
        return one.plausible;
    const double oneShown = oneSide * (one.smooth ? one.smoothScale : one.scale);
    const double twoShown = twoSide * (two.smooth ? two.smoothScale : two.scale);
    if (one.plausible) {
        const bool oneWell = one.unexplained <= WellExplained, twoWell = two.unexplained <= WellExplained;
        if (oneWell && twoWell && std::max(oneShown, twoShown) > LargerBy * std::min(oneShown, twoShown))
            return oneShown > twoShown;
        if (oneWell != twoWell)
            return oneWell;
        // What a smooth curve leaves beyond the noise, where the two
        // clearly differ.
        const double oneKink = one.unexplained - one.noise, twoKink = two.unexplained - two.noise;
        if (std::abs(oneKink - twoKink) > ClearKink)
            return oneKink < twoKink;
    }
    constexpr double Same = 1e-9;
    if (std::abs(one.error - two.error) > Same)
        return one.error < two.error;
    return oneShown > twoShown;
}

// Whether a smooth placement is the whole-scale one: the same scale within
// SameScale, the same corner within half a pixel, the same order.
bool sameAsWhole(const Placement &smooth, const Placement &whole)
{
    return std::abs(smooth.smoothScale / whole.scale - 1) <= SameScale && std::abs(smooth.corner.x() - whole.x) <= 0.5
           && std::abs(smooth.corner.y() - whole.y) <= 0.5 && smooth.order == whole.order;
}

// A sheet the smooth search found at a whole scale, its corner within half a
// pixel of a pixel's edge, is shown at that scale: colours changed too much
// for the quick pixels (primaries converted and clipped) leave it to the
// smooth search's tile middles. Placed by its tile edges and measured pixel
// for pixel there, where it is plausible.
std::optional<Placement> onWholeScale(const QImage &picture, const QImage &sheet, const SheetFacts &facts,
                                      const Placement &smooth)
{
    const int scale = int(std::lround(smooth.smoothScale));
    const int x = int(std::lround(smooth.corner.x())), y = int(std::lround(smooth.corner.y()));
    const int shown = sheet.width() * scale;
    if (scale < 1 || scale > MaxScale || std::abs(smooth.smoothScale / scale - 1) > SameScale || x < 0 || y < 0
        || x + shown > picture.width() || y + shown > picture.height())
        return std::nullopt;
    const int order = int(std::find(ChannelOrders.begin(), ChannelOrders.end(), smooth.order) - ChannelOrders.begin());
    const Placement found = ranked(picture, sheet, facts, {Tried {x, y, scale, 0, order}});
    return found.plausible ? std::optional<Placement>(found) : std::nullopt;
}

bool fitsSmoothly(const QImage &picture, int side)
{
    return side * SmallestSmoothScale <= std::min(picture.width(), picture.height());
}

} // namespace

bool MayHold(QSize size, int side)
{
    return std::min(size.width(), size.height()) + MaxShift >= side
           || std::min(size.width(), size.height()) >= side * SmallestSmoothScale;
}

Match FindAny(const QImage &picture, const std::vector<QImage> &sheets)
{
    const int width = picture.width();
    const int height = picture.height();
    const Histogram counts = histogramOf(picture);
    std::vector<SheetFacts> facts(sheets.size());
    std::vector<std::optional<Placement>> results(sheets.size());

    std::vector<Set> sets;
    std::vector<Trial> trials;
    for (std::size_t s = 0; s < sheets.size(); ++s) {
        const QImage &sheet = sheets[s];
        const int side = sheet.width();
        const bool smoothly = fitsSmoothly(picture, side);
        if (sheet.isNull() || side < 2 || (!smoothly && (side > width + MaxShift || side > height + MaxShift)))
            continue;
        facts[s].ranking = rankingSamples(sheet);
        facts[s].grid = SheetGrid::Of(sheet);
        facts[s].places = placesOf(sheet);
        // A sheet of the picture's own size has one placement to try.
        if (side == width && side == height) {
            std::vector<Tried> one;
            for (int order = 0; order < int(ChannelOrders.size()); ++order)
                one.push_back({0, 0, 1, 0, order});
            results[s] = ranked(picture, sheet, facts[s], std::move(one));
            continue;
        }
        for (int order = 0; order < int(ChannelOrders.size()); ++order) {
            Set set {int(s), order, quickSamples(counts, facts[s].places, ChannelOrders[std::size_t(order)]), {}, {}};
            for (int scale = 1; scale <= MaxScale && side * scale <= width && side * scale <= height; ++scale) {
                Trial trial {sets.size(), scale, side * scale, {}, {}, {}, {0, 0, scale, 0, order}};
                for (const Sample &sample : set.quick) {
                    const QPoint place(sample.x * scale + scale / 2, sample.y * scale + scale / 2);
                    trial.places.push_back(place);
                    trial.offsets.push_back(qsizetype(place.y()) * (picture.bytesPerLine() / 4) + place.x());
                }
                set.trials.push_back(trials.size());
                trials.push_back(std::move(trial));
            }
            if (smoothly) {
                set.hits.order = ChannelOrders[std::size_t(order)];
                set.hits.middles = SmoothSearch::Middles(sheet, facts[s].grid, ChannelOrders[std::size_t(order)]);
                set.hits.chosen = chooseMiddles(counts, set.hits.middles, side);
                set.hits.at.resize(set.hits.chosen.size());
            }
            sets.push_back(std::move(set));
        }
    }
    pass(picture, sets, trials);

    for (std::size_t s = 0; s < sheets.size(); ++s) {
        const QImage &sheet = sheets[s];
        if (facts[s].ranking.empty() || results[s])
            continue;
        std::vector<Tried> passed;
        Tried closest {0, 0, 1, 0};
        int closestReached = -2;
        bool tried = false;
        for (const Trial &trial : trials) {
            if (sets[trial.set].sheet != int(s))
                continue;
            tried = true;
            passed.insert(passed.end(), trial.passed.begin(), trial.passed.end());
            if (trial.closestReached > closestReached) {
                closestReached = trial.closestReached;
                closest = trial.closest;
            }
        }
        if (!passed.empty()) {
            results[s] = ranked(picture, sheet, facts[s], std::move(passed));
        } else if (tried) {
            const ChannelOrder &order = ChannelOrders[std::size_t(closest.order)];
            results[s] = whole(closest.x, closest.y, closest.scale, order,
                               fullError(picture, sheet, closest.x, closest.y, closest.scale, order));
        }
    }
    // Cropped a few pixels off: the sheet shifted, partly outside. A smooth
    // sheet shifted by a few pixels may still pass for plausible 1:1, so
    // the shifts are tried whenever a sheet of about the picture's size is
    // not found exact.
    for (std::size_t s = 0; s < sheets.size(); ++s) {
        const int side = sheets[s].width();
        if (facts[s].ranking.empty() || !nearSize(picture, side)
            || (results[s] && results[s]->plausible && bestOfNeighbours(picture, facts[s].ranking, *results[s])))
            continue;
        const Placement found = shifted(picture, sheets[s], facts[s], results[s]);
        // A capture whose colours changed a lot (a gamma, channels swapped)
        // can match a shifted smooth sheet a little better than its own
        // place; a sheet really cropped off matches its shift far better.
        const bool clearlyShifted = !results[s] || results[s]->scale != 1 || found.error < results[s]->error / 2;
        if (!results[s] || (clearlyShifted && better(found, side, *results[s], side)))
            results[s] = found;
    }

    const auto bestOf = [&sheets](const std::vector<std::optional<Placement>> &found) {
        Match match;
        for (std::size_t s = 0; s < sheets.size(); ++s) {
            if (!found[s])
                continue;
            if (match.sheet < 0
                || better(*found[s], sheets[s].width(), match.placement, sheets[std::size_t(match.sheet)].width())) {
                match.sheet = int(s);
                match.placement = *found[s];
            }
        }
        return match;
    };
    Match match = bestOf(results);

    // A sheet at a whole scale whose tile lines lie at another scale in the
    // picture (1.02, say: a sheet resampled by a little still passes for
    // 1:1) is that resampling. A sheet found exact, pixel for pixel, is not.
    if (match.sheet >= 0 && match.placement.plausible && !match.placement.smooth && match.placement.error > 0) {
        const std::size_t s = std::size_t(match.sheet);
        const Placement &found = match.placement;
        if (picture.rect().contains(found.area(sheets[s].width()))) {
            const std::optional<TileEdges::Smooth> fit =
                TileEdges::FitSmooth(picture, facts[s].grid, found.scale, QPointF(found.x, found.y));
            if (fit && std::abs(fit->scale / found.scale - 1) > SameScale) {
                results[s]->plausible = false;
                const std::optional<Placement> smooth =
                    SmoothSearch::At(picture, sheets[s], facts[s].grid, found.order, fit->scale, fit->corner);
                if (smooth && better(*smooth, sheets[s].width(), *results[s], sheets[s].width()))
                    results[s] = smooth;
                match = bestOf(results);
            }
        }
    }
    // Smoothly resampled: looked for unless a whole scale explains the
    // picture. Another sheet resampled may explain it better than one found
    // plausible: 1million made half as large is much like 256killo in
    // another order.
    if (match.sheet < 0 || !match.placement.plausible || match.placement.error > 0) {
        for (std::size_t s = 0; s < sheets.size(); ++s) {
            std::vector<const SmoothSearch::Hits *> orders;
            for (const Set &set : sets)
                if (set.sheet == int(s) && set.hits.chosen.size() >= 2)
                    orders.push_back(&set.hits);
            if (orders.empty())
                continue;
            std::optional<Placement> found = SmoothSearch::Place(picture, sheets[s], facts[s].grid, orders);
            if (!found)
                continue;
            if (std::optional<Placement> whole = onWholeScale(picture, sheets[s], facts[s], *found))
                found = whole;
            // The sheet found at a whole scale stands there: it is measured
            // pixel for pixel.
            if (results[s] && results[s]->plausible && !results[s]->smooth && sameAsWhole(*found, *results[s]))
                continue;
            if (!results[s] || better(*found, sheets[s].width(), *results[s], sheets[s].width()))
                results[s] = found;
        }
        match = bestOf(results);
    }
    return match;
}

Match FindAt(const QImage &picture, const std::vector<QImage> &sheets, int x, int y, int scale)
{
    Match match;
    for (std::size_t s = 0; s < sheets.size(); ++s) {
        const int shown = sheets[s].width() * scale;
        if (sheets[s].isNull() || x < 0 || y < 0 || x + shown > picture.width() || y + shown > picture.height())
            continue;
        SheetFacts facts;
        facts.ranking = rankingSamples(sheets[s]);
        facts.grid = SheetGrid::Of(sheets[s]);
        const std::vector<Sample> &ranking = facts.ranking;
        // The order in which the capture's colours follow the sheet's best.
        const ChannelOrder *order = &ChannelOrders[0];
        double least = std::numeric_limits<double>::infinity();
        for (const ChannelOrder &candidate : ChannelOrders)
            if (const double share = unexplained(picture, ranking, x, y, scale, candidate); share < least) {
                least = share;
                order = &candidate;
            }
        Placement here = whole(x, y, scale, *order, fullError(picture, sheets[s], x, y, scale, *order),
                               rank(picture, ranking, x, y, scale, *order).meanLumaError() <= PlausibleError);
        explain(picture, facts, here);
        if (match.sheet < 0
            || better(here, sheets[s].width(), match.placement, sheets[std::size_t(match.sheet)].width())) {
            match.sheet = int(s);
            match.placement = here;
        }
    }
    return match;
}

Placement Find(const QImage &picture, const QImage &sheet)
{
    return FindAny(picture, {sheet}).placement;
}

} // namespace SheetSearch
