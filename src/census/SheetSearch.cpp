#include "census/SheetSearch.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace SheetSearch {

namespace {

// Pixels tried on every placement, and how many of them may be off.
constexpr int QuickSamples = 16;
constexpr int QuickMisses = 1;
// Of the quick pixels, how many are weighed for starting the pass's tries.
constexpr int TriggerChoices = 16;
// A quick pixel is off when its brightness differs by more than the first,
// or a channel by more than the second (see quickMiss()).
constexpr int QuickLumaTolerance = 32;
constexpr int QuickTolerance = 96;
// How far around a quick pixel the sheet stays within SmoothLimit of its colour.
constexpr int SmoothRadius = 3;
constexpr int SmoothLimit = 24;
// Placements ranked in full, at most.
constexpr std::size_t MostRanked = 128;
constexpr std::size_t FullyRanked = 8;
constexpr int RankingSide = 256;

struct Sample
{
    int x;
    int y;
    std::uint32_t colour;
};

// How far a quick pixel is off: its brightness, or any channel by far.
bool quickMiss(std::uint32_t found, std::uint32_t expected)
{
    const int dr = int((found >> 16) & 0xFFu) - int((expected >> 16) & 0xFFu);
    const int dg = int((found >> 8) & 0xFFu) - int((expected >> 8) & 0xFFu);
    const int db = int(found & 0xFFu) - int(expected & 0xFFu);
    const int luma = 77 * dr + 150 * dg + 29 * db;
    return std::abs(luma) > QuickLumaTolerance * 256 || std::abs(dr) > QuickTolerance || std::abs(dg) > QuickTolerance
           || std::abs(db) > QuickTolerance;
}

int channelDistance(std::uint32_t one, std::uint32_t two)
{
    const int dr = std::abs(int((one >> 16) & 0xFFu) - int((two >> 16) & 0xFFu));
    const int dg = std::abs(int((one >> 8) & 0xFFu) - int((two >> 8) & 0xFFu));
    const int db = std::abs(int(one & 0xFFu) - int(two & 0xFFu));
    return std::max({dr, dg, db});
}

std::uint32_t sheetPixel(const QImage &sheet, int x, int y)
{
    return reinterpret_cast<const std::uint32_t *>(sheet.constScanLine(y))[x] & 0xFFFFFFu;
}

int coarseBin(std::uint32_t rgb)
{
    return int((rgb >> 21) & 7u) << 6 | int((rgb >> 13) & 7u) << 3 | int((rgb >> 5) & 7u);
}

// Fine bins for the pass's table: 16 levels a channel.
int fineBin(std::uint32_t rgb)
{
    return int((rgb >> 12) & 0xF00u) | int((rgb >> 8) & 0xF0u) | int((rgb >> 4) & 0xFu);
}

// Whether any colour of the fine bin passes quickMiss() against `expected`.
bool binMayPass(int bin, std::uint32_t expected)
{
    const int low[3] = {(bin >> 8) * 16, ((bin >> 4) & 15) * 16, (bin & 15) * 16};
    const int wanted[3] = {int((expected >> 16) & 0xFFu), int((expected >> 8) & 0xFFu), int(expected & 0xFFu)};
    constexpr int weights[3] = {77, 150, 29};
    std::int64_t least = 0, most = 0;
    for (int c = 0; c < 3; ++c) {
        const int from = std::max(low[c], wanted[c] - QuickTolerance) - wanted[c];
        const int to = std::min(low[c] + 15, wanted[c] + QuickTolerance) - wanted[c];
        if (from > to)
            return false;
        least += weights[c] * from;
        most += weights[c] * to;
    }
    return least <= QuickLumaTolerance * 256 && most >= -QuickLumaTolerance * 256;
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

// How many picture pixels the pass would try as the place of a quick pixel
// of this colour.
std::int64_t triggerCount(const Histogram &counts, std::uint32_t colour)
{
    std::int64_t count = 0;
    for (int bin = 0; bin < 4096; ++bin)
        if (counts.fine[std::size_t(bin)] != 0 && binMayPass(bin, colour))
            count += counts.fine[std::size_t(bin)];
    return count;
}

// The quick pixels: smooth places of the sheet, rarest colours in the
// picture first (rarity: how many picture pixels fall in the colour's
// coarse bin or its neighbours).
std::vector<Sample> quickSamples(const Histogram &counts, const QImage &sheet)
{
    const auto rarity = [&counts](std::uint32_t rgb) {
        const int bin = coarseBin(rgb);
        const int r = bin >> 6, g = (bin >> 3) & 7, b = bin & 7;
        std::int64_t near = 0;
        for (int nr = std::max(0, r - 1); nr <= std::min(7, r + 1); ++nr)
            for (int ng = std::max(0, g - 1); ng <= std::min(7, g + 1); ++ng)
                for (int nb = std::max(0, b - 1); nb <= std::min(7, b + 1); ++nb)
                    near += counts.coarse[std::size_t(nr << 6 | ng << 3 | nb)];
        return near;
    };

    const int size = sheet.width();
    const int grid = std::min(size, 24);
    struct Candidate
    {
        Sample sample;
        int roughness;
        std::int64_t rarity;
    };
    std::vector<Candidate> candidates;
    for (int j = 0; j < grid; ++j) {
        for (int i = 0; i < grid; ++i) {
            const int x = (2 * i + 1) * size / (2 * grid);
            const int y = (2 * j + 1) * size / (2 * grid);
            const std::uint32_t colour = sheetPixel(sheet, x, y);
            int roughness = 0;
            for (int ny = std::max(0, y - SmoothRadius); ny <= std::min(size - 1, y + SmoothRadius); ++ny)
                for (int nx = std::max(0, x - SmoothRadius); nx <= std::min(size - 1, x + SmoothRadius); ++nx)
                    roughness = std::max(roughness, channelDistance(colour, sheetPixel(sheet, nx, ny)));
            candidates.push_back({{x, y, colour}, roughness, rarity(colour)});
        }
    }
    // Smooth places first (all of a small sheet may be rough), then the rarest.
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
    // The first two start the pass's tries: of the rarest few, those the
    // fewest picture pixels could stand for.
    const std::size_t few = std::min(samples.size(), std::size_t(TriggerChoices));
    std::vector<std::int64_t> triggers(few);
    for (std::size_t i = 0; i < few; ++i)
        triggers[i] = triggerCount(counts, samples[i].colour);
    for (std::size_t i = 0; i < std::min<std::size_t>(2, few); ++i) {
        const std::size_t least = std::size_t(std::min_element(triggers.begin() + std::ptrdiff_t(i), triggers.end())
                                              - triggers.begin());
        std::swap(samples[i], samples[least]);
        std::swap(triggers[i], triggers[least]);
    }
    return samples;
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
                samples.push_back({x, y, sheetPixel(sheet, x, y)});
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
            samples.push_back({x, y, sheetPixel(sheet, x, y)});
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
    double meanLumaError() const { return double(luma) / 256.0 / double(std::max<std::int64_t>(1, count)); }
};

// The ranking weighs brightness four times as much as colour: a lossy codec
// keeps brightness at every pixel but colour only at every other (4:2:0),
// and on a sheet whose neighbours differ by large steps the colour a JPEG
// gives back may be closer to a neighbour's than to the pixel's own.
void addDifference(Ranked &ranked, std::uint32_t found, std::uint32_t expected)
{
    const int dr = int((found >> 16) & 0xFFu) - int((expected >> 16) & 0xFFu);
    const int dg = int((found >> 8) & 0xFFu) - int((expected >> 8) & 0xFFu);
    const int db = int(found & 0xFFu) - int(expected & 0xFFu);
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
Ranked rank(const QImage &picture, const std::vector<Sample> &samples, int left, int top, int scale)
{
    Ranked ranked;
    const qsizetype stride = picture.bytesPerLine() / 4;
    const auto *origin = reinterpret_cast<const std::uint32_t *>(picture.constBits()) + qsizetype(top) * stride + left;
    const qsizetype farCorner = qsizetype(scale - 1) * stride + scale - 1;
    for (const Sample &sample : samples) {
        const std::uint32_t *block = origin + qsizetype(sample.y * scale) * stride + sample.x * scale;
        addDifference(ranked, block[0], sample.colour);
        if (scale > 1)
            addDifference(ranked, block[farCorner], sample.colour);
    }
    return ranked;
}

// The same at scale 1 for a sheet partly outside the picture: the samples
// outside are left out.
Ranked rankInside(const QImage &picture, const std::vector<Sample> &samples, int left, int top)
{
    Ranked ranked;
    for (const Sample &sample : samples) {
        const int x = left + sample.x;
        const int y = top + sample.y;
        if (x >= 0 && y >= 0 && x < picture.width() && y < picture.height())
            addDifference(ranked, reinterpret_cast<const std::uint32_t *>(picture.constScanLine(y))[x], sample.colour);
    }
    return ranked;
}

// The mean channel difference over every picture pixel of the sheet's area
// that lies inside the picture: what the census itself measures.
double fullError(const QImage &picture, const QImage &sheet, int left, int top, int scale)
{
    const int shown = sheet.width() * scale;
    const int x0 = std::max(0, left), x1 = std::min(picture.width(), left + shown);
    const int y0 = std::max(0, top), y1 = std::min(picture.height(), top + shown);
    if (x0 >= x1 || y0 >= y1)
        return std::numeric_limits<double>::infinity();
    std::int64_t sum = 0;
    for (int y = y0; y < y1; ++y) {
        const auto *found = reinterpret_cast<const std::uint32_t *>(picture.constScanLine(y));
        const auto *expected = reinterpret_cast<const std::uint32_t *>(sheet.constScanLine((y - top) / scale));
        for (int x = x0; x < x1; ++x) {
            const std::uint32_t f = found[x];
            const std::uint32_t e = expected[(x - left) / scale];
            sum += std::abs(int((f >> 16) & 0xFFu) - int((e >> 16) & 0xFFu))
                   + std::abs(int((f >> 8) & 0xFFu) - int((e >> 8) & 0xFFu)) + std::abs(int(f & 0xFFu) - int(e & 0xFFu));
        }
    }
    return double(sum) / (3.0 * double(x1 - x0) * double(y1 - y0));
}

struct Tried
{
    int x;
    int y;
    int scale;
    int sum; // of the quick pixels' channel distances, for a first ranking
    double score = 0;
};

// One sheet at one scale during the pass over the picture.
struct Trial
{
    int sheet;
    int scale;
    int shown;
    // The quick pixels' places in the shown sheet, their distance from its
    // top-left pixel in memory, and their colours.
    std::vector<QPoint> places;
    std::vector<qsizetype> offsets;
    std::vector<std::uint32_t> colours;
    std::vector<Tried> passed;
    Tried closest {0, 0, 1, 0};
    int closestReached = -1;
};

// The quick pixels of one placement, with the one allowed miss.
void tryPlacement(Trial &trial, const std::uint32_t *origin, int left, int top)
{
    const int samples = int(trial.colours.size());
    int misses = 0;
    int sum = 0;
    int k = 0;
    for (; k < samples; ++k) {
        const std::uint32_t found = origin[trial.offsets[std::size_t(k)]];
        const std::uint32_t expected = trial.colours[std::size_t(k)];
        if (quickMiss(found, expected) && ++misses > QuickMisses)
            break;
        sum += channelDistance(found, expected);
    }
    if (k == samples)
        trial.passed.push_back({left, top, trial.scale, sum});
    else if (k > trial.closestReached) {
        trial.closestReached = k;
        trial.closest = {left, top, trial.scale, sum};
    }
}

// At most one quick pixel of a placement may be off, so one of its first
// two is on: the pass looks every picture pixel's colour up in a table of
// which trials' first or second quick pixel it could be, and tries only
// those placements. A placement whose first quick pixel is on is tried from
// there, never a second time from its second.
constexpr std::size_t TrialsAPass = 32;

void pass(const QImage &picture, std::vector<Trial> &trials, std::size_t first, std::size_t end)
{
    std::vector<std::uint64_t> triggers(4096, 0);
    for (std::size_t t = first; t < end; ++t)
        for (std::size_t j = 0; j < 2 && j < trials[t].colours.size(); ++j)
            for (int bin = 0; bin < 4096; ++bin)
                if (binMayPass(bin, trials[t].colours[j]))
                    triggers[std::size_t(bin)] |= std::uint64_t(1) << (2 * (t - first) + j);

    const int width = picture.width();
    const int height = picture.height();
    const qsizetype stride = picture.bytesPerLine() / 4;
    const auto *bits = reinterpret_cast<const std::uint32_t *>(picture.constBits());
    for (int y = 0; y < height; ++y) {
        const std::uint32_t *row = bits + qsizetype(y) * stride;
        for (int x = 0; x < width; ++x) {
            std::uint64_t mask = triggers[std::size_t(fineBin(row[x]))];
            while (mask) {
                const int bit = std::countr_zero(mask);
                mask &= mask - 1;
                Trial &trial = trials[first + std::size_t(bit >> 1)];
                const std::size_t j = std::size_t(bit & 1);
                const int left = x - trial.places[j].x();
                const int top = y - trial.places[j].y();
                if (left < 0 || top < 0 || left + trial.shown > width || top + trial.shown > height
                    || quickMiss(row[x], trial.colours[j]))
                    continue;
                const std::uint32_t *origin = bits + qsizetype(top) * stride + left;
                if (j == 1 && !quickMiss(origin[trial.offsets[0]], trial.colours[0]))
                    continue;
                tryPlacement(trial, origin, left, top);
            }
        }
    }
}

// The full error's way downhill from `from`, one pixel at a time, among the
// placements `allowed` admits.
template <typename Allowed>
Placement settle(const QImage &picture, const QImage &sheet, Placement from, const Allowed &allowed)
{
    Placement best = from;
    best.error = fullError(picture, sheet, best.x, best.y, best.scale);
    for (bool moved = true; moved;) {
        moved = false;
        const Placement centre = best;
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                const int x = centre.x + dx;
                const int y = centre.y + dy;
                if ((dx == 0 && dy == 0) || !allowed(x, y))
                    continue;
                const double error = fullError(picture, sheet, x, y, centre.scale);
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

// The best of the placements that passed the quick pixels.
Placement ranked(const QImage &picture, const QImage &sheet, const std::vector<Sample> &ranking,
                 std::vector<Tried> passed)
{
    if (passed.size() > MostRanked) {
        std::nth_element(passed.begin(), passed.begin() + MostRanked, passed.end(),
                         [](const Tried &one, const Tried &two) { return one.sum < two.sum; });
        passed.resize(MostRanked);
    }
    // Many placements are first ranked on a few of the ranking pixels.
    if (passed.size() > FullyRanked) {
        const std::vector<Sample> few = everyNth(ranking, 8);
        for (Tried &tried : passed)
            tried.score = rank(picture, few, tried.x, tried.y, tried.scale).meanSquares();
        std::nth_element(passed.begin(), passed.begin() + FullyRanked, passed.end(),
                         [](const Tried &one, const Tried &two) { return one.score < two.score; });
        passed.resize(FullyRanked);
    }
    Tried best = passed.front();
    Ranked bestRanked = rank(picture, ranking, best.x, best.y, best.scale);
    for (const Tried &tried : passed) {
        const Ranked r = rank(picture, ranking, tried.x, tried.y, tried.scale);
        if (r.squares < bestRanked.squares) {
            best = tried;
            bestRanked = r;
        }
    }
    // Then downhill to the best of its neighbours, one pixel at a time; and
    // last by the full error, which a brightness-weighted sample may get a
    // row wrong next to a light edge that a codec smeared into the sheet.
    const int shown = sheet.width() * best.scale;
    const auto inside = [&picture, shown](int x, int y) {
        return x >= 0 && y >= 0 && x + shown <= picture.width() && y + shown <= picture.height();
    };
    for (bool moved = true; moved;) {
        moved = false;
        const Tried centre = best;
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                const int x = centre.x + dx;
                const int y = centre.y + dy;
                if ((dx == 0 && dy == 0) || !inside(x, y))
                    continue;
                const Ranked r = rank(picture, ranking, x, y, centre.scale);
                if (r.squares < bestRanked.squares) {
                    best = {x, y, centre.scale, 0};
                    bestRanked = r;
                    moved = true;
                }
            }
        }
    }
    Placement found = settle(picture, sheet, {best.x, best.y, best.scale, 0, false}, inside);
    found.plausible = rank(picture, ranking, found.x, found.y, found.scale).meanLumaError() <= PlausibleError;
    return found;
}

// A picture within a few pixels of the sheet's size, the sheet shifted by
// up to MaxShift pixels (a quarter of a small sheet) either way, partly
// outside it. When the best shift is the placement `known` already found,
// that placement stands.
Placement shifted(const QImage &picture, const QImage &sheet, const std::vector<Sample> &ranking,
                  const std::optional<Placement> &known)
{
    const int side = sheet.width();
    const int reach = std::min(MaxShift, side / 4);
    const int lowX = std::min(0, picture.width() - side) - reach, highX = std::max(0, picture.width() - side) + reach;
    const int lowY = std::min(0, picture.height() - side) - reach,
              highY = std::max(0, picture.height() - side) + reach;
    // A first ranking of every shift on about a thousand pixels.
    const std::vector<Sample> few = everyNth(ranking, std::max<std::size_t>(1, ranking.size() / 1024));
    std::vector<Tried> tried;
    for (int y = lowY; y <= highY; ++y)
        for (int x = lowX; x <= highX; ++x)
            tried.push_back({x, y, 1, 0, rankInside(picture, few, x, y).meanSquares()});
    const std::size_t kept = std::min(FullyRanked, tried.size());
    std::partial_sort(tried.begin(), tried.begin() + std::ptrdiff_t(kept), tried.end(),
                      [](const Tried &one, const Tried &two) { return one.score < two.score; });
    Tried best = tried.front();
    double bestScore = std::numeric_limits<double>::infinity();
    // The few best by the measure the final placement is chosen by.
    for (std::size_t i = 0; i < kept; ++i) {
        const Ranked r = rankInside(picture, ranking, tried[i].x, tried[i].y);
        const double score = double(r.absolute) / double(std::max<std::int64_t>(1, r.count));
        if (score < bestScore) {
            bestScore = score;
            best = tried[i];
        }
    }
    if (known && known->scale == 1 && known->x == best.x && known->y == best.y)
        return *known;
    Placement found = settle(picture, sheet, {best.x, best.y, 1, 0, false}, [=](int x, int y) {
        return x >= lowX && x <= highX && y >= lowY && y <= highY;
    });
    found.plausible = rankInside(picture, ranking, found.x, found.y).meanLumaError() <= PlausibleError;
    return found;
}

// Whether a placement at scale 1 is at least as good as each of its
// neighbours (partly outside the picture, too) on the ranking pixels' mean
// channel difference: a sheet cropped a few pixels off is not.
bool bestOfNeighbours(const QImage &picture, const std::vector<Sample> &ranking, const Placement &placement)
{
    if (placement.scale != 1)
        return true;
    const auto meanOf = [&](int x, int y) {
        const Ranked r = rankInside(picture, ranking, x, y);
        return double(r.absolute) / double(std::max<std::int64_t>(1, r.count));
    };
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

// Whether `one` is a better answer than `two`.
bool better(const Placement &one, int oneSide, const Placement &two, int twoSide)
{
    if (one.plausible != two.plausible)
        return one.plausible;
    constexpr double Same = 1e-9;
    if (std::abs(one.error - two.error) > Same)
        return one.error < two.error;
    return qint64(oneSide) * one.scale > qint64(twoSide) * two.scale;
}

} // namespace

Match FindAny(const QImage &picture, const std::vector<QImage> &sheets)
{
    const int width = picture.width();
    const int height = picture.height();
    const Histogram counts = histogramOf(picture);
    std::vector<std::vector<Sample>> rankings(sheets.size());
    std::vector<std::optional<Placement>> results(sheets.size());

    std::vector<Trial> trials;
    for (std::size_t s = 0; s < sheets.size(); ++s) {
        const QImage &sheet = sheets[s];
        const int side = sheet.width();
        if (side > width + MaxShift || side > height + MaxShift || sheet.isNull())
            continue;
        rankings[s] = rankingSamples(sheet);
        // A sheet of the picture's own size has one placement to try.
        if (side == width && side == height) {
            results[s] = ranked(picture, sheet, rankings[s], {{0, 0, 1, 0}});
            continue;
        }
        const std::vector<Sample> quick = quickSamples(counts, sheet);
        for (int scale = 1; scale <= MaxScale && side * scale <= width && side * scale <= height; ++scale) {
            Trial trial {int(s), scale, side * scale, {}, {}, {}, {}};
            trial.closest.scale = scale;
            for (const Sample &sample : quick) {
                const QPoint place(sample.x * scale + scale / 2, sample.y * scale + scale / 2);
                trial.places.push_back(place);
                trial.offsets.push_back(qsizetype(place.y()) * (picture.bytesPerLine() / 4) + place.x());
                trial.colours.push_back(sample.colour);
            }
            trials.push_back(std::move(trial));
        }
    }
    for (std::size_t first = 0; first < trials.size(); first += TrialsAPass)
        pass(picture, trials, first, std::min(trials.size(), first + TrialsAPass));

    for (std::size_t s = 0; s < sheets.size(); ++s) {
        const QImage &sheet = sheets[s];
        if (rankings[s].empty() || results[s])
            continue;
        std::vector<Tried> passed;
        Tried closest {0, 0, 1, 0};
        int closestReached = -2;
        bool tried = false;
        for (const Trial &trial : trials) {
            if (trial.sheet != int(s))
                continue;
            tried = true;
            passed.insert(passed.end(), trial.passed.begin(), trial.passed.end());
            if (trial.closestReached > closestReached) {
                closestReached = trial.closestReached;
                closest = trial.closest;
            }
        }
        if (!passed.empty())
            results[s] = ranked(picture, sheet, rankings[s], std::move(passed));
        else if (tried)
            results[s] = Placement {closest.x, closest.y, closest.scale,
                                    fullError(picture, sheet, closest.x, closest.y, closest.scale), false};
    }
    // Cropped a few pixels off: the sheet shifted, partly outside. A smooth
    // sheet shifted by a few pixels may still pass for plausible 1:1, so
    // the shifts are tried whenever a sheet of about the picture's size is
    // not found exact.
    for (std::size_t s = 0; s < sheets.size(); ++s) {
        const int side = sheets[s].width();
        if (rankings[s].empty() || !nearSize(picture, side)
            || (results[s] && results[s]->plausible && bestOfNeighbours(picture, rankings[s], *results[s])))
            continue;
        const Placement found = shifted(picture, sheets[s], rankings[s], results[s]);
        if (!results[s] || better(found, side, *results[s], side))
            results[s] = found;
    }

    Match match;
    for (std::size_t s = 0; s < sheets.size(); ++s) {
        if (!results[s])
            continue;
        if (match.sheet < 0
            || better(*results[s], sheets[s].width(), match.placement, sheets[std::size_t(match.sheet)].width())) {
            match.sheet = int(s);
            match.placement = *results[s];
        }
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
        const Placement here {x, y, scale, fullError(picture, sheets[s], x, y, scale),
                              rank(picture, rankingSamples(sheets[s]), x, y, scale).meanLumaError() <= PlausibleError};
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
