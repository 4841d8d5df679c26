#include "census/CensusReport.h"
#include "picture/PictureDepth.h"

#include "platform/PictureFile.h"
#include "census/ColourSet.h"
#include "facts/Facts.h"
#include "picture/ColourProfile.h"
#include "census/ErrorMeasures.h"
#include "picture/PictureReader.h"
#include "census/SheetSearch.h"
#include "Texts.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QRect>
#include <QRgba64>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace CensusReport {

namespace {

TINTWELL_TR_CONTEXT("CensusReport");

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

QString hexColour(std::uint32_t colour)
{
    return QStringLiteral("%1").arg(colour & 0xFFFFFFu, 6, 16, QLatin1Char('0')).toUpper();
}

// What a search that found nothing tried, and what it never tries.
QString searchedText()
{
    return QStringLiteral("1:1 and scales 2 to %1 (nearest neighbour), and shifts of up to %2 pixels for a picture "
                          "near the sheet's size; smooth or fractional scaling is not searched")
        .arg(SheetSearch::MaxScale)
        .arg(SheetSearch::MaxShift);
}

// What the file says its numbers mean, when it says anything: they are
// compared as they are, whatever it says.
void addProfile(Facts &facts, const EmbeddedProfile::Embedded &embedded)
{
    if (const std::optional<ColourProfile::Description> profile = ColourProfile::Describe(embedded))
        facts.add(QStringLiteral("profile"), ColourProfile::Text(*profile), ColourProfile::Json(*profile));
}

void addSize(Facts &facts, QSize size)
{
    facts.add(QStringLiteral("size"), sizeText(size), QJsonArray {size.width(), size.height()});
}

// The sheet's colours the picture lacks, the first `count` in the sheet's
// reading order, each at the first place the sheet holds it.
void listMissing(const QImage &sheet, const ColourSet &found, int count, Facts &facts)
{
    QStringList lines;
    QJsonArray items;
    ColourSet listed;
    int left = count;
    for (int y = 0; y < sheet.height() && left > 0; ++y) {
        const auto *row = reinterpret_cast<const std::uint32_t *>(sheet.constScanLine(y));
        for (int x = 0; x < sheet.width() && left > 0; ++x) {
            const std::uint32_t colour = row[x] & 0xFFFFFFu;
            if (found.contains(colour) || listed.contains(colour))
                continue;
            listed.insert(colour);
            lines << QStringLiteral("%1 %2 %3").arg(hexColour(colour)).arg(x).arg(y);
            items.append(QJsonObject {{QStringLiteral("colour"), hexColour(colour)}, {QStringLiteral("x"), x},
                                      {QStringLiteral("y"), y}});
            --left;
        }
    }
    facts.addRows(QStringLiteral("missing"), lines, items);
}

// The places with the largest CIEDE2000 difference: X Y SHEET CAPTURED dE.
void listWorst(const std::vector<ErrorMeasures::Place> &places, int depth, Facts &facts)
{
    QStringList lines;
    QJsonArray items;
    for (const ErrorMeasures::Place &place : places) {
        const QString captured = QStringLiteral("%1").arg(place.captured, depth == 8 ? 6 : 12, 16, QLatin1Char('0')).toUpper();
        lines << QStringLiteral("%1 %2 %3 %4 %5")
                     .arg(place.place.x())
                     .arg(place.place.y())
                     .arg(hexColour(place.sheet), captured, decimals(place.de2000));
        items.append(QJsonObject {{QStringLiteral("x"), place.place.x()},
                                  {QStringLiteral("y"), place.place.y()},
                                  {QStringLiteral("sheet"), hexColour(place.sheet)},
                                  {QStringLiteral("captured"), captured},
                                  {QStringLiteral("de2000"), place.de2000}});
    }
    facts.addRows(QStringLiteral("worst"), lines, items);
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

namespace {

Result census(const PictureReader::Picture &given, const QString &name, const Request &request)
{
    Result result;
    Facts &facts = result.facts;
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
    const auto notFound = [&](const QString &closest, const QJsonValue &value) {
        ColourSet colours;
        addSize(facts, picture.size());
        facts.add(QStringLiteral("pixels"), qint64(picture.width()) * picture.height());
        facts.add(QStringLiteral("distinct"), collect(picture, picture.rect(), colours));
        facts.add(QStringLiteral("depth"), qint64(read.depth));
        addProfile(facts, read.profile);
        facts.add(QStringLiteral("sheet not found"), closest, value);
        facts.add(QStringLiteral("searched"), searchedText());
        result.outcome = Outcome::Differs;
        return result;
    };

    // The sheet found (or the sheet already found, or none asked for).
    CapturePipeline::Found &located = result.found;
    if (request.found) {
        located = *request.found;
    } else {
        const QImage searched = read.depth == 8 ? picture : picture.convertToFormat(QImage::Format_RGB32);
        located = CapturePipeline::Find(searched, {request.sheet, request.anyOf, request.at}, name);
    }
    const bool asked = !request.sheet.isNull() || !request.anyOf.empty() || request.found;
    if (located.outcome == CapturePipeline::Outcome::Failed) {
        result.outcome = Outcome::Failed;
        result.error = located.error;
        return result;
    }
    if (asked && located.outcome == CapturePipeline::Outcome::NotFound) {
        if (!located.closest)
            return notFound(QStringLiteral("every sheet is larger than the picture"),
                            QStringLiteral("every sheet is larger than the picture"));
        const SheetSearch::Placement &closest = *located.closest;
        QJsonObject object {{QStringLiteral("offset"), QJsonArray {closest.x, closest.y}},
                            {QStringLiteral("scale"), closest.scale},
                            {QStringLiteral("mean_channel_difference"), closest.error}};
        if (!located.closestName.isEmpty())
            object.insert(QStringLiteral("mode"), located.closestName);
        return notFound(QStringLiteral("closest %1at offset %2 %3 scale %4, mean channel difference %5")
                            .arg(located.closestName.isEmpty() ? QString() : located.closestName + QLatin1Char(' '))
                            .arg(closest.x)
                            .arg(closest.y)
                            .arg(closest.scale)
                            .arg(decimals(closest.error)),
                        object);
    }
    const QImage &sheet = located.sheet;
    // The part of the picture counted, where the sheet lies (partly outside
    // the picture for one cropped a few pixels off) and its scale.
    const QRect area = sheet.isNull() ? picture.rect() : located.counted;
    const QRect sheetArea = located.area;
    const int scale = located.place.scale;
    if (!located.name.isEmpty())
        facts.add(QStringLiteral("mode"), located.name);
    if (!sheet.isNull() && (area != picture.rect() || scale != 1 || sheetArea.topLeft() != QPoint(0, 0))) {
        facts.add(QStringLiteral("offset"), sheetArea.x(), sheetArea.y());
        if (scale != 1)
            facts.add(QStringLiteral("scale"), qint64(scale));
    }

    // The sheet's colours are counted on another core while the picture's are.
    ColourSet expected;
    const auto countSheet = [&expected, &sheet] {
        for (int y = 0; y < sheet.height(); ++y)
            expected.insertAll(reinterpret_cast<const std::uint32_t *>(sheet.constScanLine(y)),
                               std::size_t(sheet.width()));
    };
    std::jthread countingSheet;
    if (!sheet.isNull()) {
        try {
            countingSheet = std::jthread(countSheet);
        } catch (const std::system_error &) {
            countSheet(); // no thread to be had: this one does it
        }
    }
    ColourSet found;
    const std::int64_t distinct = collect(picture, area, found);
    if (countingSheet.joinable())
        countingSheet.join();
    addSize(facts, area.size());
    facts.add(QStringLiteral("pixels"), qint64(area.width()) * area.height());
    facts.add(QStringLiteral("distinct"), qint64(distinct));
    facts.add(QStringLiteral("depth"), qint64(read.depth));
    addProfile(facts, read.profile);
    if (sheet.isNull())
        return result;

    std::vector<std::uint16_t> worst;
    const CapturePipeline::Measured measured =
        CapturePipeline::Measure(picture, located, request.diffFile.isEmpty() ? nullptr : &worst);
    const ErrorMeasures &measures = measured.measures;
    const QRect &overlap = measured.overlap;
    const QImage &compared = measured.compared;
    const qint64 onlyOne = measured.onlyOne;
    const qint64 differing = measures.differingPixels + onlyOne;

    const std::int64_t missing = std::int64_t(expected.countMissingFrom(found));
    const std::int64_t extra = distinct - (std::int64_t(expected.count()) - missing);

    facts.add(QStringLiteral("differing pixels"), differing);
    facts.add(QStringLiteral("missing colours"), qint64(missing));
    facts.add(QStringLiteral("extra colours"), qint64(extra));
    if (read.depth == 8)
        facts.add(QStringLiteral("max channel difference"), qint64(measures.maxChannelDifference));
    else
        facts.add(QStringLiteral("max channel difference"), measures.maxChannelDifference, 4);
    facts.add(QStringLiteral("mean channel difference"), measures.meanChannelDifference, 4);
    facts.add(QStringLiteral("PSNR"), measures.psnr(), 2, QStringLiteral("dB"));
    facts.add(QStringLiteral("mean dE2000"), measures.meanDe2000, 4);
    facts.add(QStringLiteral("max dE2000"), measures.maxDe2000, 4);
    // Of every pixel of the sheet's area and the counted area; a place only one has is not within.
    const double all = double(std::max<qint64>(1, measures.pixels + onlyOne));
    facts.add(QStringLiteral("within 1 level"), 100.0 * double(measures.withinOneLevel) / all, 2, QStringLiteral("%"));
    facts.add(QStringLiteral("within 2 levels"), 100.0 * double(measures.withinTwoLevels) / all, 2, QStringLiteral("%"));
    facts.add(QStringLiteral("within 4 levels"), 100.0 * double(measures.withinFourLevels) / all, 2, QStringLiteral("%"));
    result.outcome = differing == 0 ? Outcome::Matches : Outcome::Differs;
    result.picture = picture;
    result.sheet = sheet;
    result.sheetArea = sheetArea;
    result.scale = scale;
    result.measures = measures;

    if (!request.diffFile.isEmpty()) {
        QString level;
        const QImage diff = ErrorMeasures::DiffPicture(worst, compared.size(), level);
        QString error;
        if (diff.isNull()) {
            error = tr("There is not enough memory for the picture of the differences.");
        } else if (PictureFile::SavePicture(diff, request.diffFile, request.diffFormat, &error)) {
            facts.add(QStringLiteral("diff scale"), QStringLiteral("1 level = %1").arg(level), QJsonValue(level.toDouble()));
        }
        if (!error.isEmpty()) {
            result.outcome = Outcome::Failed;
            result.error = error;
        }
    }
    if (request.missingListed > 0)
        listMissing(sheet, found, request.missingListed, facts);
    if (request.worstListed > 0)
        listWorst(ErrorMeasures::WorstPlaces(picture, overlap.topLeft(), scale, compared, request.worstListed),
                  read.depth, facts);
    if (request.diagnose && result.outcome != Outcome::Failed)
        result.diagnosis = CapturePipeline::Diagnose(picture, located, &measured);
    return result;
}

} // namespace

Result Run(const PictureReader::Picture &picture, const QString &shownName, const Request &request)
{
    Result result = census(picture, shownName, request);
    result.lines = result.facts.lines();
    return result;
}

} // namespace CensusReport
