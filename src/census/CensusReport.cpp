#include "census/CensusReport.h"
#include "picture/PictureDepth.h"

#include "platform/PictureFile.h"
#include "census/ColourSet.h"
#include "census/ErrorMeasures.h"
#include "picture/PictureReader.h"
#include "census/SheetSearch.h"

#include <QCoreApplication>
#include <QDir>
#include <QRect>
#include <QRgba64>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace CensusReport {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("CensusReport", text);
}

QString sizeText(QSize size)
{
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

// The colours of an area: the 8-bit ones into `colours` (of a deep picture,
// those whose every channel is an 8-bit level times 257), and how many
// distinct colours the area holds at the picture's own depth.
std::int64_t collect(const QImage &picture, const QRect &area, ColourSet &colours)
{
    if (!PictureDepth::Deep(picture)) {
        for (int y = area.top(); y <= area.bottom(); ++y)
            colours.insertAll(reinterpret_cast<const std::uint32_t *>(picture.constScanLine(y)) + area.left(),
                              std::size_t(area.width()));
        return std::int64_t(colours.count());
    }
    std::vector<std::uint64_t> keys;
    keys.reserve(std::size_t(area.width()) * std::size_t(area.height()));
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const auto *row = reinterpret_cast<const QRgba64 *>(picture.constScanLine(y)) + area.left();
        for (int x = 0; x < area.width(); ++x) {
            const QRgba64 pixel = row[x];
            keys.push_back(std::uint64_t(pixel.red()) << 32 | std::uint64_t(pixel.green()) << 16 | pixel.blue());
            if (pixel.red() % 257 == 0 && pixel.green() % 257 == 0 && pixel.blue() % 257 == 0)
                colours.insert(std::uint32_t(pixel.red() / 257) << 16 | std::uint32_t(pixel.green() / 257) << 8
                               | std::uint32_t(pixel.blue() / 257));
        }
    }
    std::sort(keys.begin(), keys.end());
    return std::int64_t(std::unique(keys.begin(), keys.end()) - keys.begin());
}

QString decimals(double value)
{
    return QString::number(value, 'f', 4);
}

// The sheet's colours the picture lacks, the first `count` in the sheet's
// reading order, each at the first place the sheet holds it.
void listMissing(const QImage &sheet, const ColourSet &found, int count, QStringList &lines)
{
    ColourSet listed;
    int left = count;
    for (int y = 0; y < sheet.height() && left > 0; ++y) {
        const auto *row = reinterpret_cast<const std::uint32_t *>(sheet.constScanLine(y));
        for (int x = 0; x < sheet.width() && left > 0; ++x) {
            const std::uint32_t colour = row[x] & 0xFFFFFFu;
            if (found.contains(colour) || listed.contains(colour))
                continue;
            listed.insert(colour);
            lines << QStringLiteral("%1 %2 %3").arg(colour, 6, 16, QLatin1Char('0')).toUpper().arg(x).arg(y);
            --left;
        }
    }
}

} // namespace

Result Run(const QString &fileName, const Request &request)
{
    const QString name = fileName == QLatin1String("-") ? tr("standard input") : QDir::toNativeSeparators(fileName);
    PictureReader::Picture read;
    QString reason;
    if (!PictureReader::ReadPicture(fileName, read, reason)) {
        Result result;
        result.outcome = Outcome::Failed;
        result.error = tr("Could not read the picture %1: %2").arg(name, reason);
        return result;
    }
    return Run(read, name, request);
}

Result Run(const PictureReader::Picture &given, const QString &name, const Request &request)
{
    Result result;
    // A picture from elsewhere (a view's, a decoder's frame) in any format
    // is measured as the reader would have given it.
    PictureReader::Picture read = given;
    const QImage::Format format = read.image.format();
    const bool deep = read.depth > 8;
    if (deep ? !PictureDepth::Deep(format) : format != QImage::Format_RGB32 && format != QImage::Format_ARGB32)
        read.image = read.image.convertToFormat(deep ? QImage::Format_RGBX64 : QImage::Format_RGB32);
    read.depth = deep ? 16 : 8;
    if (read.image.isNull()) {
        result.outcome = Outcome::Failed;
        result.error = given.image.isNull() ? tr("The picture %1 is empty.").arg(name)
                                            : tr("There is not enough memory to convert the picture %1.").arg(name);
        return result;
    }
    const QImage &picture = read.image;
    QImage sheet = request.sheet;
    const bool anySheet = sheet.isNull() && !request.anyOf.empty();
    // The part of the picture counted, where the sheet lies (partly outside
    // the picture for one cropped a few pixels off) and its scale.
    QRect area = picture.rect();
    QRect sheetArea;
    int scale = 1;

    const auto notFound = [&](const QString &closest) {
        ColourSet colours;
        result.lines << QStringLiteral("size: %1").arg(sizeText(picture.size()))
                     << QStringLiteral("pixels: %1").arg(qint64(picture.width()) * picture.height())
                     << QStringLiteral("distinct: %1").arg(collect(picture, picture.rect(), colours))
                     << QStringLiteral("depth: %1").arg(read.depth) << QStringLiteral("sheet not found: %1").arg(closest);
        result.outcome = Outcome::Differs;
        return result;
    };
    const auto closestText = [](const QString &sheetName, const SheetSearch::Placement &found) {
        return QStringLiteral("closest %1at offset %2 %3 scale %4, mean channel difference %5")
            .arg(sheetName.isEmpty() ? QString() : sheetName + QLatin1Char(' '))
            .arg(found.x)
            .arg(found.y)
            .arg(found.scale)
            .arg(decimals(found.error));
    };
    const auto eightBits = [&picture, &read] {
        return read.depth == 8 ? picture : picture.convertToFormat(QImage::Format_RGB32);
    };

    if (anySheet) {
        // Every sheet that could lie in the picture, searched together.
        std::vector<QImage> drawn;
        std::vector<std::size_t> drawnFrom;
        const int reach = request.at ? 0 : SheetSearch::MaxShift;
        for (std::size_t i = 0; i < request.anyOf.size(); ++i) {
            const Candidate &candidate = request.anyOf[i];
            if (candidate.side > picture.width() + reach || candidate.side > picture.height() + reach)
                continue;
            drawn.push_back(candidate.draw());
            drawnFrom.push_back(i);
            if (drawn.back().isNull()) {
                result.outcome = Outcome::Failed;
                result.error = tr("There is not enough memory for the %1 sheet.").arg(candidate.name);
                return result;
            }
        }
        const QImage searched = eightBits();
        const SheetSearch::Match match =
            request.at ? SheetSearch::FindAt(searched, drawn, request.at->x, request.at->y, request.at->scale)
                       : SheetSearch::FindAny(searched, drawn);
        if (match.sheet < 0) {
            if (request.at) {
                result.outcome = Outcome::Failed;
                result.error = tr("No sheet fits at %1,%2 at scale %3 in the %4 picture %5.")
                                   .arg(request.at->x)
                                   .arg(request.at->y)
                                   .arg(request.at->scale)
                                   .arg(sizeText(picture.size()), name);
                return result;
            }
            return notFound(QStringLiteral("every sheet is larger than the picture"));
        }
        const QString &sheetName = request.anyOf[drawnFrom[std::size_t(match.sheet)]].name;
        if (!match.placement.plausible && !request.at)
            return notFound(closestText(sheetName, match.placement));
        result.lines << QStringLiteral("mode: %1").arg(sheetName);
        sheet = drawn[std::size_t(match.sheet)];
        scale = match.placement.scale;
        sheetArea = QRect(match.placement.x, match.placement.y, sheet.width() * scale, sheet.width() * scale);
        area = sheetArea.intersected(picture.rect());
    } else if (!sheet.isNull()) {
        const int size = sheet.width();
        sheetArea = QRect(0, 0, size, size);
        if (request.at) {
            scale = request.at->scale;
            sheetArea = QRect(request.at->x, request.at->y, size * scale, size * scale);
            if (!picture.rect().contains(sheetArea)) {
                result.outcome = Outcome::Failed;
                result.error = tr("The sheet at %1,%2 at scale %3 (%4) does not fit in the %5 picture %6.")
                                   .arg(sheetArea.x())
                                   .arg(sheetArea.y())
                                   .arg(scale)
                                   .arg(sizeText(sheetArea.size()), sizeText(picture.size()), name);
                return result;
            }
            area = sheetArea;
        } else {
            const bool larger = picture.width() >= size && picture.height() >= size && picture.size() != sheet.size();
            const bool nearSize = std::abs(picture.width() - size) <= SheetSearch::MaxShift
                                  && std::abs(picture.height() - size) <= SheetSearch::MaxShift;
            if (larger || nearSize) {
                const SheetSearch::Placement found = SheetSearch::Find(eightBits(), sheet);
                if (found.plausible) {
                    scale = found.scale;
                    sheetArea = QRect(found.x, found.y, size * scale, size * scale);
                    area = sheetArea.intersected(picture.rect());
                } else if (larger) {
                    return notFound(closestText(QString(), found));
                }
                // Else compared as it is.
            }
        }
    }
    if (!sheet.isNull() && (area != picture.rect() || scale != 1 || sheetArea.topLeft() != QPoint(0, 0))) {
        result.lines << QStringLiteral("offset: %1 %2").arg(sheetArea.x()).arg(sheetArea.y());
        if (scale != 1)
            result.lines << QStringLiteral("scale: %1").arg(scale);
    }

    ColourSet found;
    const std::int64_t distinct = collect(picture, area, found);
    result.lines << QStringLiteral("size: %1").arg(sizeText(area.size()))
                 << QStringLiteral("pixels: %1").arg(qint64(area.width()) * area.height())
                 << QStringLiteral("distinct: %1").arg(distinct) << QStringLiteral("depth: %1").arg(read.depth);
    if (sheet.isNull())
        return result;

    // The part of the sheet the counted area shows; a picture smaller than
    // the sheet, or a sheet partly outside the picture, differs at every
    // place only one of them has.
    const QRect overlap = area.intersected(sheetArea);
    const QRect sheetPart = scale == 1 ? overlap.translated(-sheetArea.topLeft()) : QRect(0, 0, sheet.width(), sheet.width());
    const QImage compared = sheetPart == sheet.rect() ? sheet : sheet.copy(sheetPart);
    std::vector<std::uint16_t> worst;
    const ErrorMeasures measures = ErrorMeasures::Measure(picture, overlap.topLeft(), scale, compared,
                                                          request.diffFile.isEmpty() ? nullptr : &worst);
    const qint64 onlyOne = qint64(sheetArea.width()) * sheetArea.height() + qint64(area.width()) * area.height()
                           - 2 * qint64(overlap.width()) * overlap.height();
    const qint64 differing = measures.differingPixels + onlyOne;

    ColourSet expected;
    for (int y = 0; y < sheet.height(); ++y)
        expected.insertAll(reinterpret_cast<const std::uint32_t *>(sheet.constScanLine(y)), std::size_t(sheet.width()));
    const std::int64_t missing = std::int64_t(expected.countMissingFrom(found));
    const std::int64_t extra = distinct - (std::int64_t(expected.count()) - missing);

    result.lines << QStringLiteral("differing pixels: %1").arg(differing)
                 << QStringLiteral("missing colours: %1").arg(missing) << QStringLiteral("extra colours: %1").arg(extra)
                 << QStringLiteral("max channel difference: %1")
                        .arg(read.depth == 8 ? QString::number(measures.maxChannelDifference)
                                             : decimals(measures.maxChannelDifference))
                 << QStringLiteral("mean channel difference: %1").arg(decimals(measures.meanChannelDifference))
                 << QStringLiteral("PSNR: %1 dB")
                        .arg(std::isinf(measures.psnr()) ? QStringLiteral("inf") : QString::number(measures.psnr(), 'f', 2))
                 << QStringLiteral("mean dE2000: %1").arg(decimals(measures.meanDe2000))
                 << QStringLiteral("max dE2000: %1").arg(decimals(measures.maxDe2000));
    result.outcome = differing == 0 ? Outcome::Matches : Outcome::Differs;
    result.picture = picture;
    result.area = area;
    result.scale = scale;
    result.measures = measures;

    if (!request.diffFile.isEmpty()) {
        QString level;
        const QImage diff = ErrorMeasures::DiffPicture(worst, compared.size(), level);
        QString error;
        if (diff.isNull()) {
            error = tr("There is not enough memory for the picture of the differences.");
        } else if (PictureFile::SavePicture(diff, request.diffFile, request.diffFormat, &error)) {
            result.lines << QStringLiteral("diff scale: 1 level = %1").arg(level);
        }
        if (!error.isEmpty()) {
            result.outcome = Outcome::Failed;
            result.error = error;
        }
    }
    if (request.missingListed > 0)
        listMissing(sheet, found, request.missingListed, result.lines);
    return result;
}

} // namespace CensusReport
