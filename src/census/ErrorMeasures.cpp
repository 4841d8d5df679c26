#include "census/ErrorMeasures.h"
#include "picture/PictureDepth.h"

#include "census/Ciede2000.h"
#include "picture/RowBands.h"

#include <QImage>
#include <QRgba64>
#include <QString>

#include <algorithm>
#include <cmath>
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

Channels channels8(std::uint32_t rgb)
{
    return {(rgb >> 16) & 0xFFu, (rgb >> 8) & 0xFFu, rgb & 0xFFu};
}

Channels channels16(QRgba64 pixel)
{
    return {pixel.red(), pixel.green(), pixel.blue()};
}

std::uint32_t distance(std::uint32_t one, std::uint32_t two)
{
    return one > two ? one - two : two - one;
}

// The rows [firstRow, endRow) of the area, counted from its top. A deep
// picture (Pixel = QRgba64) is measured in 16-bit steps, the sheet's levels
// times 257.
template <typename Pixel>
void measureRows(const QImage &picture, QPoint origin, int scale, const QImage &sheet, int firstRow, int endRow,
                 const std::vector<double> &linear, Partial &part, std::uint16_t *worst)
{
    constexpr bool Deep = std::is_same_v<Pixel, QRgba64>;
    constexpr std::uint32_t SheetStep = Deep ? 257 : 1;
    constexpr std::uint32_t WorstStep = Deep ? 1 : 257;
    const int width = sheet.width() * scale;
    const int sheetWidth = sheet.width();

    Pixel lastFound {};
    std::uint32_t lastExpected = 0;
    double lastDe = -1;
    for (int y = firstRow; y < endRow; ++y) {
        const int sheetY = y / scale;
        const auto *expectedRow = reinterpret_cast<const std::uint32_t *>(sheet.constScanLine(sheetY));
        const auto *foundRow = reinterpret_cast<const Pixel *>(picture.constScanLine(origin.y() + y)) + origin.x();
        std::uint16_t *worstRow = worst ? worst + std::size_t(sheetY) * std::size_t(sheetWidth) : nullptr;
        std::int64_t rowAbs = 0;
        std::int64_t rowSquares = 0;
        for (int x = 0; x < width; ++x) {
            const int sheetX = scale == 1 ? x : x / scale;
            const std::uint32_t expected = expectedRow[sheetX] & 0xFFFFFFu;
            const Pixel found = foundRow[x];
            Channels f;
            if constexpr (Deep)
                f = channels16(found);
            else
                f = channels8(found);
            Channels e = channels8(expected);
            e = {e.red * SheetStep, e.green * SheetStep, e.blue * SheetStep};
            const std::uint32_t dr = distance(f.red, e.red);
            const std::uint32_t dg = distance(f.green, e.green);
            const std::uint32_t db = distance(f.blue, e.blue);
            if ((dr | dg | db) == 0)
                continue;
            ++part.differing;
            const std::uint32_t largest = std::max({dr, dg, db});
            part.maxDifference = std::max(part.maxDifference, largest);
            part.beyond[0] += largest > SheetStep;
            part.beyond[1] += largest > 2 * SheetStep;
            part.beyond[2] += largest > 4 * SheetStep;
            if (worstRow)
                worstRow[sheetX] = std::max<std::uint16_t>(worstRow[sheetX], std::uint16_t(largest * WorstStep));
            rowAbs += std::int64_t(dr) + dg + db;
            rowSquares += std::int64_t(dr) * dr + std::int64_t(dg) * dg + std::int64_t(db) * db;

            // Neighbours of a scaled or flat picture often repeat the pair.
            bool same;
            if constexpr (Deep)
                same = found == lastFound;
            else
                same = ((found ^ lastFound) & 0xFFFFFFu) == 0;
            if (!same || expected != lastExpected) {
                lastDe = Ciede2000::DifferenceOfLinear(linear[e.red], linear[e.green], linear[e.blue],
                                                       linear[f.red], linear[f.green], linear[f.blue]);
                lastFound = found;
                lastExpected = expected;
            }
            part.sumDe += lastDe;
            part.maxDe = std::max(part.maxDe, lastDe);
        }
        part.sumAbs += double(rowAbs);
        part.sumSquares += double(rowSquares);
    }
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
            measureRows<QRgba64>(picture, origin, scale, sheet, first, end, linear, part, worstBits);
        else
            measureRows<std::uint32_t>(picture, origin, scale, sheet, first, end, linear, part, worstBits);
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
            Channels f;
            if constexpr (Deep)
                f = channels16(foundRow[x]);
            else
                f = channels8(foundRow[x]);
            const Channels e = channels8(expected);
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
