#include "census/ErrorMeasures.h"
#include "picture/PictureDepth.h"

#include "colour/Ciede2000.h"
#include "picture/RowBands.h"

#include <QImage>
#include <QRgba64>
#include <QString>

#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <array>
#include <cmath>
#include <memory>
#include <limits>
#include <type_traits>

namespace {

// What one band of rows adds up to.
struct Partial
{
    std::int64_t differing = 0;
    std::uint32_t maxDifference = 0; // in the picture's own steps
    double sumAbs = 0;
    double sumSquares = 0;
    double sumDe = 0;
    double maxDe = 0;
    // Pixels beyond 1, 2 and 4 levels.
    std::int64_t beyond[3] = {};
};

struct Channels
{
    std::uint32_t red;
    std::uint32_t green;
    std::uint32_t blue;
};

Channels channelsOf(std::uint32_t rgb)
{
    return {(rgb >> 16) & 0xFFu, (rgb >> 8) & 0xFFu, rgb & 0xFFu};
}

Channels channelsOf(QRgba64 pixel)
{
    return {pixel.red(), pixel.green(), pixel.blue()};
}

std::uint32_t distance(std::uint32_t one, std::uint32_t two)
{
    return one > two ? one - two : two - one;
}

// A row of colours in linear light and in CIELAB, one array a channel.
struct LabRow
{
    explicit LabRow(int width)
        : red(std::size_t(width)), green(red.size()), blue(red.size()), L(red.size()), a(red.size()), b(red.size())
    {
    }

    template <typename Pixel>
    void setLinear(std::size_t i, Pixel pixel, std::uint32_t step, const std::vector<double> &linear)
    {
        const Channels c = channelsOf(pixel);
        red[i] = linear[c.red * step];
        green[i] = linear[c.green * step];
        blue[i] = linear[c.blue * step];
    }

    void convert(std::size_t first, std::size_t count)
    {
        Ciede2000::FromLinear(&red[first], &green[first], &blue[first], count, &L[first], &a[first], &b[first]);
    }

    Ciede2000::LabColumns columns() const { return {L.data(), a.data(), b.data()}; }

    std::vector<double> red, green, blue, L, a, b;
};

// The CIELAB of a sheet row, converted a stretch at a time when a picture
// pixel first differs there, and kept for every picture row showing it: each
// sheet pixel is converted at most once.
class SheetRowLab
{
public:
    SheetRowLab(int width, std::uint32_t step, const std::vector<double> &linear)
        : lab_(width), ready_(std::size_t((width + Stretch - 1) / Stretch)), step_(step), linear_(linear)
    {
    }

    void startRow(const std::uint32_t *row, int sheetY)
    {
        if (sheetY == rowY_)
            return;
        row_ = row;
        rowY_ = sheetY;
        std::fill(ready_.begin(), ready_.end(), false);
    }

    // The CIELAB of the sheet pixel x of the row, converted if it was not yet.
    const LabRow &need(int x)
    {
        const std::size_t stretch = std::size_t(x / Stretch);
        if (!ready_[stretch]) {
            ready_[stretch] = true;
            const std::size_t first = stretch * Stretch;
            const std::size_t count = std::min<std::size_t>(Stretch, lab_.red.size() - first);
            for (std::size_t i = first; i < first + count; ++i)
                lab_.setLinear(i, row_[i], step_, linear_);
            lab_.convert(first, count);
        }
        return lab_;
    }

    const LabRow &needAll()
    {
        for (std::size_t stretch = 0; stretch < ready_.size(); ++stretch)
            need(int(stretch) * Stretch);
        return lab_;
    }

private:
    static constexpr int Stretch = 64;
    LabRow lab_;
    std::vector<bool> ready_;
    const std::uint32_t *row_ = nullptr;
    int rowY_ = -1;
    const std::uint32_t step_;
    const std::vector<double> &linear_;
};

// Differing pairs waiting for their CIEDE2000 difference, worked out many at
// a time: the sheet's side in CIELAB, the picture's in linear light, and how
// many neighbouring pixels in a row each pair stands for (neighbours of a
// scaled or flat picture often repeat the pair).
class PairBatch
{
public:
    template <typename Pixel>
    void add(const LabRow &sheet, int sheetX, Pixel found, const std::vector<double> &linear, Partial &part)
    {
        if (count_ == Size)
            flush(part);
        const std::size_t i = std::size_t(sheetX);
        sheetL_[count_] = sheet.L[i];
        sheetA_[count_] = sheet.a[i];
        sheetB_[count_] = sheet.b[i];
        const Channels c = channelsOf(found);
        red_[count_] = linear[c.red];
        green_[count_] = linear[c.green];
        blue_[count_] = linear[c.blue];
        repeats_[count_] = 1;
        ++count_;
    }

    // The pair added last stands for one more pixel; false when there is none to repeat.
    bool repeatLast()
    {
        if (count_ == 0)
            return false;
        ++repeats_[count_ - 1];
        return true;
    }

    void flush(Partial &part)
    {
        Ciede2000::FromLinear(red_.data(), green_.data(), blue_.data(), count_, foundL_.data(), foundA_.data(),
                              foundB_.data());
        Ciede2000::Differences({sheetL_.data(), sheetA_.data(), sheetB_.data()},
                               {foundL_.data(), foundA_.data(), foundB_.data()}, count_, differences_.data());
        for (std::size_t i = 0; i < count_; ++i) {
            part.sumDe += repeats_[i] * differences_[i];
            part.maxDe = std::max(part.maxDe, differences_[i]);
        }
        count_ = 0;
    }

private:
    static constexpr std::size_t Size = 512;
    using Column = std::array<double, Size>;
    std::size_t count_ = 0;
    Column sheetL_ {}, sheetA_ {}, sheetB_ {}, red_ {}, green_ {}, blue_ {}, foundL_ {}, foundA_ {}, foundB_ {},
        differences_ {}, repeats_ {};
};

// What one row's channel differences add up to.
struct RowSums
{
    std::uint64_t abs = 0;
    std::uint64_t squares = 0;
    std::uint32_t largest = 0;
    int differing = 0;
    int beyond[3] = {}; // pixels beyond 1, 2 and 4 levels
};

// An 8-bit row shown 1:1 against the sheet's: the largest channel
// difference of each pixel into `largestAt`, and the row's sums. Four
// pixels at a time where SSE2 is there (every x86-64 processor), with the
// same results as the plain loop that does the rest.
RowSums channelDifferencesRow(const std::uint32_t *found, const std::uint32_t *expected, int width,
                              std::uint32_t *__restrict largestAt)
{
    RowSums sums;
    int x = 0;
#if defined(__SSE2__)
    const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
    const __m128i low = _mm_set1_epi32(0xFF);
    const __m128i zero = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi32(1), two = _mm_set1_epi32(2), four = _mm_set1_epi32(4);
    __m128i abs = zero, squares = zero, largest = zero, differing = zero, beyond1 = zero, beyond2 = zero,
            beyond4 = zero;
    for (; x + 4 <= width; x += 4) {
        const __m128i f = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(found + x)), colour);
        const __m128i e = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(expected + x)), colour);
        const __m128i d = _mm_or_si128(_mm_subs_epu8(f, e), _mm_subs_epu8(e, f));
        abs = _mm_add_epi64(abs, _mm_sad_epu8(d, zero));
        const __m128i lo = _mm_unpacklo_epi8(d, zero);
        const __m128i hi = _mm_unpackhi_epi8(d, zero);
        // At most 4 * 255^2 a lane a step: a row of 4096 pixels stays below 2^31.
        squares = _mm_add_epi32(squares, _mm_add_epi32(_mm_madd_epi16(lo, lo), _mm_madd_epi16(hi, hi)));
        __m128i most = _mm_max_epu8(d, _mm_srli_epi32(d, 8));
        most = _mm_and_si128(_mm_max_epu8(most, _mm_srli_epi32(d, 16)), low);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(largestAt + x), most);
        largest = _mm_max_epi16(largest, most);
        differing = _mm_sub_epi32(differing, _mm_cmpgt_epi32(most, zero));
        beyond1 = _mm_sub_epi32(beyond1, _mm_cmpgt_epi32(most, one));
        beyond2 = _mm_sub_epi32(beyond2, _mm_cmpgt_epi32(most, two));
        beyond4 = _mm_sub_epi32(beyond4, _mm_cmpgt_epi32(most, four));
    }
    const auto lanes = [](__m128i v) {
        alignas(16) std::uint32_t each[4];
        _mm_store_si128(reinterpret_cast<__m128i *>(each), v);
        return std::array<std::uint32_t, 4> {each[0], each[1], each[2], each[3]};
    };
    for (std::uint32_t v : lanes(squares))
        sums.squares += v;
    const std::array<std::uint32_t, 4> absLanes = lanes(abs);
    sums.abs = std::uint64_t(absLanes[0]) + absLanes[2];
    for (std::uint32_t v : lanes(largest))
        sums.largest = std::max(sums.largest, v);
    for (std::uint32_t v : lanes(differing))
        sums.differing += int(v);
    for (std::uint32_t v : lanes(beyond1))
        sums.beyond[0] += int(v);
    for (std::uint32_t v : lanes(beyond2))
        sums.beyond[1] += int(v);
    for (std::uint32_t v : lanes(beyond4))
        sums.beyond[2] += int(v);
#endif
    for (; x < width; ++x) {
        const Channels f = channelsOf(found[x]);
        const Channels e = channelsOf(expected[x]);
        const std::uint32_t dr = distance(f.red, e.red);
        const std::uint32_t dg = distance(f.green, e.green);
        const std::uint32_t db = distance(f.blue, e.blue);
        const std::uint32_t most = std::max({dr, dg, db});
        largestAt[x] = most;
        sums.largest = std::max(sums.largest, most);
        sums.differing += most != 0;
        sums.beyond[0] += most > 1;
        sums.beyond[1] += most > 2;
        sums.beyond[2] += most > 4;
        sums.abs += dr + dg + db;
        sums.squares += std::uint64_t(dr) * dr + std::uint64_t(dg) * dg + std::uint64_t(db) * db;
    }
    return sums;
}

// The rows [firstRow, endRow) of the area, counted from its top. A deep
// picture (Pixel = QRgba64) is measured in 16-bit steps, the sheet's levels
// times 257. Without `de2000` only the channel differences are taken.
template <typename Pixel>
void measureRows(const QImage &picture, QPoint origin, int scale, const QImage &sheet, int firstRow, int endRow,
                 const std::vector<double> &linear, Partial &part, std::uint16_t *worst, bool de2000)
{
    constexpr bool Deep = std::is_same_v<Pixel, QRgba64>;
    constexpr std::uint32_t SheetStep = Deep ? 257 : 1;
    constexpr std::uint32_t WorstStep = Deep ? 1 : 257;
    const int width = sheet.width() * scale;
    const int sheetWidth = sheet.width();

    SheetRowLab sheetLab(sheetWidth, SheetStep, linear);
    // The largest channel difference of each pixel of the row.
    std::vector<std::uint32_t> largestOf(std::size_t(width), 0);
    // A row in which half the pixels or more differ is converted and measured whole.
    LabRow foundLab(scale == 1 ? width : 0);
    std::vector<double> differences(scale == 1 ? std::size_t(width) : 0);
    auto batch = std::make_unique<PairBatch>();
    Pixel lastFound {};
    std::uint32_t lastExpected = 0;
    for (int y = firstRow; y < endRow; ++y) {
        const int sheetY = y / scale;
        const auto *expectedRow = reinterpret_cast<const std::uint32_t *>(sheet.constScanLine(sheetY));
        const auto *foundRow = reinterpret_cast<const Pixel *>(picture.constScanLine(origin.y() + y)) + origin.x();
        sheetLab.startRow(expectedRow, sheetY);

        // The channel differences, without a branch: an identical pixel adds nothing.
        std::uint64_t rowAbs = 0;
        std::uint64_t rowSquares = 0;
        std::uint32_t rowLargest = 0;
        int rowDiffering = 0;
        int rowBeyond[3] = {};
        std::uint32_t *__restrict largestAt = largestOf.data();
        const auto channelPass = [&](auto sheetXOf) {
            for (int x = 0; x < width; ++x) {
                const Channels f = channelsOf(foundRow[x]);
                const Channels e = channelsOf(expectedRow[sheetXOf(x)]);
                const std::uint32_t dr = distance(f.red, e.red * SheetStep);
                const std::uint32_t dg = distance(f.green, e.green * SheetStep);
                const std::uint32_t db = distance(f.blue, e.blue * SheetStep);
                const std::uint32_t largest = std::max({dr, dg, db});
                largestAt[x] = largest;
                rowLargest = std::max(rowLargest, largest);
                rowDiffering += largest != 0;
                rowBeyond[0] += largest > SheetStep;
                rowBeyond[1] += largest > 2 * SheetStep;
                rowBeyond[2] += largest > 4 * SheetStep;
                rowAbs += dr + dg + db;
                rowSquares += std::uint64_t(dr) * dr + std::uint64_t(dg) * dg + std::uint64_t(db) * db;
            }
        };
        if constexpr (!Deep) {
            if (scale == 1) {
                const RowSums row = channelDifferencesRow(foundRow, expectedRow, width, largestAt);
                rowAbs = row.abs;
                rowSquares = row.squares;
                rowLargest = row.largest;
                rowDiffering = row.differing;
                for (int i = 0; i < 3; ++i)
                    rowBeyond[i] = row.beyond[i];
            }
        }
        if (scale == 1 && Deep)
            channelPass([](int x) { return x; });
        else if (scale != 1)
            channelPass([scale](int x) { return x / scale; });
        part.differing += rowDiffering;
        for (int i = 0; i < 3; ++i)
            part.beyond[i] += rowBeyond[i];
        part.maxDifference = std::max(part.maxDifference, rowLargest);
        part.sumAbs += double(rowAbs);
        part.sumSquares += double(rowSquares);
        if (rowDiffering == 0)
            continue;
        if (worst) {
            std::uint16_t *worstRow = worst + std::size_t(sheetY) * std::size_t(sheetWidth);
            for (int x = 0; x < width; ++x) {
                std::uint16_t &w = worstRow[scale == 1 ? x : x / scale];
                w = std::max(w, std::uint16_t(largestOf[std::size_t(x)] * WorstStep));
            }
        }
        if (!de2000)
            continue;

        if (scale == 1 && rowDiffering >= width / 2) {
            const LabRow &sheetRow = sheetLab.needAll();
            for (int x = 0; x < width; ++x)
                foundLab.setLinear(std::size_t(x), foundRow[x], 1, linear);
            foundLab.convert(0, std::size_t(width));
            Ciede2000::Differences(sheetRow.columns(), foundLab.columns(), std::size_t(width), differences.data());
            double rowDe = 0;
            double rowMaxDe = 0;
            for (std::size_t x = 0; x < std::size_t(width); ++x) {
                const double de = largestOf[x] != 0 ? differences[x] : 0.0;
                rowDe += de;
                rowMaxDe = std::max(rowMaxDe, de);
            }
            part.sumDe += rowDe;
            part.maxDe = std::max(part.maxDe, rowMaxDe);
            continue;
        }

        for (int x = 0; x < width; ++x) {
            if (largestOf[std::size_t(x)] == 0)
                continue;
            const int sheetX = scale == 1 ? x : x / scale;
            const std::uint32_t expected = expectedRow[sheetX] & 0xFFFFFFu;
            const Pixel found = foundRow[x];
            bool same;
            if constexpr (Deep)
                same = found == lastFound;
            else
                same = ((found ^ lastFound) & 0xFFFFFFu) == 0;
            if (!same || expected != lastExpected || !batch->repeatLast()) {
                batch->add(sheetLab.need(sheetX), sheetX, found, linear, part);
                lastFound = found;
                lastExpected = expected;
            }
        }
    }
    batch->flush(part);
}

} // namespace

double ErrorMeasures::psnr() const
{
    if (meanSquaredError <= 0)
        return std::numeric_limits<double>::infinity();
    return -10.0 * std::log10(meanSquaredError);
}

ErrorMeasures ErrorMeasures::Measure(const QImage &picture, QPoint origin, int scale, const QImage &sheet,
                                     std::vector<std::uint16_t> *worst)
{
    return measure(picture, origin, scale, sheet, worst, true);
}

ErrorMeasures ErrorMeasures::MeasureChannels(const QImage &picture, QPoint origin, int scale, const QImage &sheet)
{
    return measure(picture, origin, scale, sheet, nullptr, false);
}

ErrorMeasures ErrorMeasures::measure(const QImage &picture, QPoint origin, int scale, const QImage &sheet,
                                     std::vector<std::uint16_t> *worst, bool de2000)
{
    const bool deep = PictureDepth::Deep(picture);
    const int levels = deep ? 65536 : 256;
    std::vector<double> linear(std::size_t(levels), 0.0);
    for (int level = 0; level < levels; ++level)
        linear[std::size_t(level)] = Ciede2000::Linear(double(level) / double(levels - 1));
    if (worst)
        worst->assign(std::size_t(sheet.width()) * std::size_t(sheet.height()), 0);

    // Bands of whole sheet rows, one a core.
    const int sheetRows = sheet.height();
    const int bands = RowBands::Count(sheetRows, std::int64_t(sheet.width()) * sheetRows * scale * scale);
    std::vector<Partial> parts(static_cast<std::size_t>(bands));
    std::uint16_t *worstBits = worst ? worst->data() : nullptr;
    RowBands::Run(sheetRows, bands, [&](int band, int firstSheetRow, int endSheetRow) {
        const int first = firstSheetRow * scale;
        const int end = endSheetRow * scale;
        Partial &part = parts[std::size_t(band)];
        if (deep)
            measureRows<QRgba64>(picture, origin, scale, sheet, first, end, linear, part, worstBits, de2000);
        else
            measureRows<std::uint32_t>(picture, origin, scale, sheet, first, end, linear, part, worstBits, de2000);
    });

    Partial total;
    for (const Partial &part : parts) {
        total.differing += part.differing;
        total.maxDifference = std::max(total.maxDifference, part.maxDifference);
        total.sumAbs += part.sumAbs;
        total.sumSquares += part.sumSquares;
        total.sumDe += part.sumDe;
        total.maxDe = std::max(total.maxDe, part.maxDe);
        for (int i = 0; i < 3; ++i)
            total.beyond[i] += part.beyond[i];
    }

    const double step = deep ? 257.0 : 1.0;
    const double full = deep ? 65535.0 : 255.0;
    ErrorMeasures measures;
    measures.pixels = std::int64_t(sheet.width()) * sheet.height() * scale * scale;
    const double samples = 3.0 * double(measures.pixels);
    measures.differingPixels = total.differing;
    measures.maxChannelDifference = total.maxDifference / step;
    measures.meanChannelDifference = total.sumAbs / step / samples;
    measures.meanSquaredError = total.sumSquares / (full * full) / samples;
    measures.meanDe2000 = total.sumDe / double(measures.pixels);
    measures.maxDe2000 = total.maxDe;
    measures.withinOneLevel = measures.pixels - total.beyond[0];
    measures.withinTwoLevels = measures.pixels - total.beyond[1];
    measures.withinFourLevels = measures.pixels - total.beyond[2];
    return measures;
}

namespace {

// Larger difference first, then reading order: the same list however the rows are banded.
bool worse(const ErrorMeasures::Place &one, const ErrorMeasures::Place &two)
{
    if (one.de2000 != two.de2000)
        return one.de2000 > two.de2000;
    return one.place.y() != two.place.y() ? one.place.y() < two.place.y() : one.place.x() < two.place.x();
}

template <typename Pixel>
void worstRows(const QImage &picture, QPoint origin, int scale, const QImage &sheet, int firstRow, int endRow,
               const std::vector<double> &linear, std::size_t count, std::vector<ErrorMeasures::Place> &heap)
{
    constexpr bool Deep = std::is_same_v<Pixel, QRgba64>;
    constexpr std::uint32_t SheetStep = Deep ? 257 : 1;
    for (int y = firstRow; y < endRow; ++y) {
        const auto *expectedRow = reinterpret_cast<const std::uint32_t *>(sheet.constScanLine(y / scale));
        const auto *foundRow = reinterpret_cast<const Pixel *>(picture.constScanLine(origin.y() + y)) + origin.x();
        for (int x = 0; x < sheet.width() * scale; ++x) {
            const std::uint32_t expected = expectedRow[x / scale] & 0xFFFFFFu;
            const Channels f = channelsOf(foundRow[x]);
            const Channels e = channelsOf(expected);
            if (f.red == e.red * SheetStep && f.green == e.green * SheetStep && f.blue == e.blue * SheetStep)
                continue;
            const double de = Ciede2000::DifferenceOfLinear(linear[e.red * SheetStep], linear[e.green * SheetStep],
                                                            linear[e.blue * SheetStep], linear[f.red],
                                                            linear[f.green], linear[f.blue]);
            const std::uint64_t captured = Deep ? std::uint64_t(f.red) << 32 | std::uint64_t(f.green) << 16 | f.blue
                                                : std::uint64_t(f.red) << 16 | f.green << 8 | f.blue;
            const ErrorMeasures::Place place {origin + QPoint(x, y), expected, captured, de};
            if (heap.size() == count && !worse(place, heap.front()))
                continue;
            // A heap whose front is the least bad kept.
            heap.push_back(place);
            std::push_heap(heap.begin(), heap.end(), worse);
            if (heap.size() > count) {
                std::pop_heap(heap.begin(), heap.end(), worse);
                heap.pop_back();
            }
        }
    }
}

} // namespace

std::vector<ErrorMeasures::Place> ErrorMeasures::WorstPlaces(const QImage &picture, QPoint origin, int scale,
                                                             const QImage &sheet, int count)
{
    if (count <= 0)
        return {};
    const bool deep = PictureDepth::Deep(picture);
    const int levels = deep ? 65536 : 256;
    std::vector<double> linear(std::size_t(levels), 0.0);
    for (int level = 0; level < levels; ++level)
        linear[std::size_t(level)] = Ciede2000::Linear(double(level) / double(levels - 1));

    const int sheetRows = sheet.height();
    const int bands = RowBands::Count(sheetRows, std::int64_t(sheet.width()) * sheetRows * scale * scale);
    std::vector<std::vector<Place>> heaps(static_cast<std::size_t>(bands));
    RowBands::Run(sheetRows, bands, [&](int band, int firstSheetRow, int endSheetRow) {
        std::vector<Place> &heap = heaps[std::size_t(band)];
        if (deep)
            worstRows<QRgba64>(picture, origin, scale, sheet, firstSheetRow * scale, endSheetRow * scale, linear,
                               std::size_t(count), heap);
        else
            worstRows<std::uint32_t>(picture, origin, scale, sheet, firstSheetRow * scale, endSheetRow * scale,
                                     linear, std::size_t(count), heap);
    });
    std::vector<Place> all;
    for (const std::vector<Place> &heap : heaps)
        all.insert(all.end(), heap.begin(), heap.end());
    std::sort(all.begin(), all.end(), worse);
    if (all.size() > std::size_t(count))
        all.resize(std::size_t(count));
    return all;
}

QImage ErrorMeasures::DiffPicture(const std::vector<std::uint16_t> &worst, QSize size, QString &levelText)
{
    QImage picture(size, QImage::Format_Grayscale8);
    if (picture.isNull())
        return picture;
    const std::uint16_t largest = worst.empty() ? 0 : *std::max_element(worst.begin(), worst.end());
    // The largest difference is white; any difference at all is at least
    // one level above black.
    const double perLevel = largest == 0 ? 257.0 : double(largest) / 255.0;
    for (int y = 0; y < size.height(); ++y) {
        uchar *row = picture.scanLine(y);
        const std::uint16_t *from = worst.data() + std::size_t(y) * std::size_t(size.width());
        for (int x = 0; x < size.width(); ++x)
            row[x] = uchar(std::min(255.0, std::ceil(from[x] / perLevel)));
    }
    levelText = QString::number(perLevel / 257.0, 'f', 4);
    return picture;
}
