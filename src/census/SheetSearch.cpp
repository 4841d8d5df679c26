#include "census/SheetSearch.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <vector>

namespace SheetSearch {

namespace {

constexpr int MaxScale = 4;
// Pixels tried on every placement, and how many of them may be off.
constexpr int QuickSamples = 16;
constexpr int QuickMisses = 1;
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

// The quick pixels: smooth places of the sheet, rarest colours in the
// picture first (rarity: how many picture pixels fall in the colour's
// coarse bin or its neighbours).
std::vector<Sample> quickSamples(const QImage &picture, const QImage &sheet)
{
    std::array<std::int64_t, 512> counts {};
    for (int y = 0; y < picture.height(); ++y) {
        const auto *row = reinterpret_cast<const std::uint32_t *>(picture.constScanLine(y));
        for (int x = 0; x < picture.width(); ++x)
            ++counts[std::size_t(coarseBin(row[x]))];
    }
    const auto rarity = [&counts](std::uint32_t rgb) {
        const int bin = coarseBin(rgb);
        const int r = bin >> 6, g = (bin >> 3) & 7, b = bin & 7;
        std::int64_t near = 0;
        for (int nr = std::max(0, r - 1); nr <= std::min(7, r + 1); ++nr)
            for (int ng = std::max(0, g - 1); ng <= std::min(7, g + 1); ++ng)
                for (int nb = std::max(0, b - 1); nb <= std::min(7, b + 1); ++nb)
                    near += counts[std::size_t(nr << 6 | ng << 3 | nb)];
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
    samples.reserve(std::size_t(RankingSide) * RankingSide);
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    for (int i = 0; i < RankingSide * RankingSide; ++i) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        const int x = int((state >> 33) % std::uint64_t(size));
        const int y = int((state >> 11) % std::uint64_t(size));
        samples.push_back({x, y, sheetPixel(sheet, x, y)});
    }
    // Read in the picture's memory order.
    std::sort(samples.begin(), samples.end(),
              [](const Sample &one, const Sample &two) { return one.y != two.y ? one.y < two.y : one.x < two.x; });
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
// pixel off still shows the centre of every block.
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

double meanError(const Ranked &ranked)
{
    return double(ranked.absolute) / (3.0 * double(std::max<std::int64_t>(1, ranked.count)));
}

double meanLumaError(const Ranked &ranked)
{
    return double(ranked.luma) / 256.0 / double(std::max<std::int64_t>(1, ranked.count));
}

struct Tried
{
    int x;
    int y;
    int scale;
    int sum; // of the quick pixels' channel distances, for a first ranking
    std::int64_t squares = 0;
};

} // namespace

Placement Find(const QImage &picture, const QImage &sheet)
{
    const std::vector<Sample> quick = quickSamples(picture, sheet);
    const int size = sheet.width();
    const qsizetype stride = picture.bytesPerLine() / 4;
    const auto *bits = reinterpret_cast<const std::uint32_t *>(picture.constBits());

    const int width = picture.width();
    const int height = picture.height();
    std::vector<Tried> passed;
    Tried closest {0, 0, 1, std::numeric_limits<int>::max(), 0};
    int closestReached = -1;
    for (int scale = 1; scale <= MaxScale; ++scale) {
        const int shown = size * scale;
        if (shown > width || shown > height)
            break;
        std::vector<qsizetype> offsets;
        for (const Sample &sample : quick)
            offsets.push_back(qsizetype(sample.y * scale + scale / 2) * stride + sample.x * scale + scale / 2);
        const int samples = int(quick.size());

        for (int top = 0; top + shown <= height; ++top) {
            const std::uint32_t *row = bits + qsizetype(top) * stride;
            for (int left = 0; left + shown <= width; ++left) {
                const std::uint32_t *origin = row + left;
                int misses = 0;
                int sum = 0;
                int k = 0;
                for (; k < samples; ++k) {
                    const std::uint32_t found = origin[offsets[std::size_t(k)]];
                    const std::uint32_t expected = quick[std::size_t(k)].colour;
                    if (quickMiss(found, expected)) {
                        if (++misses > QuickMisses)
                            break;
                    }
                    sum += channelDistance(found, expected);
                }
                if (k == samples)
                    passed.push_back({left, top, scale, sum, 0});
                else if (k > closestReached) {
                    closestReached = k;
                    closest = {left, top, scale, sum, 0};
                }
            }
        }
    }

    const std::vector<Sample> ranking = rankingSamples(sheet);
    if (passed.empty()) {
        return {closest.x, closest.y, closest.scale,
                meanError(rank(picture, ranking, closest.x, closest.y, closest.scale)), false};
    }
    if (passed.size() > MostRanked) {
        std::nth_element(passed.begin(), passed.begin() + MostRanked, passed.end(),
                         [](const Tried &one, const Tried &two) { return one.sum < two.sum; });
        passed.resize(MostRanked);
    }
    // Many placements are first ranked on a few of the ranking pixels.
    if (passed.size() > FullyRanked) {
        const std::vector<Sample> few = everyNth(ranking, 8);
        for (Tried &tried : passed)
            tried.squares = rank(picture, few, tried.x, tried.y, tried.scale).squares;
        std::nth_element(passed.begin(), passed.begin() + FullyRanked, passed.end(),
                         [](const Tried &one, const Tried &two) { return one.squares < two.squares; });
        passed.resize(FullyRanked);
    }
    Tried best = passed.front();
    Ranked bestRanked = rank(picture, ranking, best.x, best.y, best.scale);
    for (const Tried &tried : passed) {
        const Ranked ranked = rank(picture, ranking, tried.x, tried.y, tried.scale);
        if (ranked.squares < bestRanked.squares) {
            best = tried;
            bestRanked = ranked;
        }
    }
    // Then downhill to the best of its neighbours, one pixel at a time.
    const int bestShown = size * best.scale;
    for (bool moved = true; moved;) {
        moved = false;
        const Tried centre = best;
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                const int x = centre.x + dx;
                const int y = centre.y + dy;
                if ((dx == 0 && dy == 0) || x < 0 || y < 0 || x + bestShown > width || y + bestShown > height)
                    continue;
                const Ranked ranked = rank(picture, ranking, x, y, centre.scale);
                if (ranked.squares < bestRanked.squares) {
                    best = {x, y, centre.scale, 0, 0};
                    bestRanked = ranked;
                    moved = true;
                }
            }
        }
    }
    return {best.x, best.y, best.scale, meanError(bestRanked), meanLumaError(bestRanked) <= PlausibleError};
}

} // namespace SheetSearch
