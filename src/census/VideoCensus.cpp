#include "census/VideoCensus.h"

#include "census/ColourSet.h"
#include "census/ErrorMeasures.h"
#include "census/CapturePipeline.h"
#include "video/VideoFrames.h"
#include "Texts.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <vector>

namespace VideoCensus {

namespace {

TINTWELL_TR_CONTEXT("VideoCensus");

QString decimals(double value)
{
    return QString::number(value, 'f', 4);
}

QString decibels(double psnr)
{
    return std::isinf(psnr) ? QStringLiteral("inf") : QString::number(psnr, 'f', 2);
}

// The channel differences of every frame's sheet area, added up.
struct Sums
{
    std::int64_t differing = 0;
    std::uint32_t maxDifference = 0;
    double sumAbs = 0;
    double sumSquares = 0;
};

// The sheet places whose CIEDE2000 is taken in every frame: all of a small
// sheet, else De2000Sample of them spread evenly in reading order, laid out
// as a square picture so that ErrorMeasures measures them as a sheet.
class Sample
{
public:
    explicit Sample(const QImage &sheet)
    {
        const std::int64_t places = std::int64_t(sheet.width()) * sheet.height();
        whole_ = places <= De2000Sample;
        if (whole_)
            return;
        const int side = int(std::lround(std::sqrt(double(De2000Sample))));
        sheet_ = QImage(side, side, QImage::Format_RGB32);
        found_ = QImage(side, side, QImage::Format_RGB32);
        for (std::int64_t k = 0; k < De2000Sample; ++k) {
            const std::int64_t place = k * places / De2000Sample;
            const QPoint at(int(place % sheet.width()), int(place / sheet.width()));
            places_.push_back(at);
            sheet_.setPixel(int(k % side), int(k / side), sheet.pixel(at));
        }
    }

    bool whole() const { return whole_; }

    ErrorMeasures measure(const QImage &frame, const CensusReport::Placement &place, const QImage &sheet)
    {
        if (whole_)
            return ErrorMeasures::Measure(frame, QPoint(place.x, place.y), place.scale, sheet);
        const int side = sheet_.width();
        for (std::size_t k = 0; k < places_.size(); ++k) {
            const QPoint at = places_[k];
            const auto *row = reinterpret_cast<const std::uint32_t *>(
                frame.constScanLine(place.y + at.y() * place.scale));
            reinterpret_cast<std::uint32_t *>(found_.scanLine(int(k) / side))[int(k) % side] =
                row[place.x + at.x() * place.scale];
        }
        return ErrorMeasures::Measure(found_, QPoint(0, 0), 1, sheet_);
    }

private:
    bool whole_ = true;
    std::vector<QPoint> places_;
    QImage sheet_;
    QImage found_;
};

} // namespace

QStringList StreamLines(const VideoFrames::Reader &reader)
{
    const VideoFrames::StreamInfo &info = reader.info();
    const QString frames = info.frames >= 0 ? QString::number(info.frames) : QStringLiteral("?");
    return {QStringLiteral("video: %1 %2 %3x%4 %5 fps %6 frames")
                .arg(info.codec, info.pixelFormat)
                .arg(info.width)
                .arg(info.height)
                .arg(QString::number(info.fps, 'g', 6), frames),
            QStringLiteral("tagged: range %1, matrix %2, primaries %3, transfer %4")
                .arg(info.range, info.matrix, info.primaries, info.transfer)};
}

Result Run(VideoFrames::Reader &reader, const QString &shownName, const Request &request,
           const std::function<void(const QImage &frame, const Found &found)> &atFound)
{
    Result result;
    result.lines = StreamLines(reader);
    QImage sheet = request.sheet;
    const bool anySheet = sheet.isNull() && !request.anyOf.empty();
    QString sheetName;

    QImage frame;
    std::int64_t index = -1;
    std::int64_t skipped = 0;
    std::int64_t measured = 0;
    std::optional<CensusReport::Placement> place;
    bool placeChecked = false;
    // The part of the sheet inside the frames, and where it lies.
    QImage measuredSheet;
    CensusReport::Placement measuredAt;
    std::int64_t onlyOne = 0;
    std::optional<Sample> sample;
    ColourSet found;
    Sums sums;
    double sumDe = 0;
    double maxDe = 0;
    std::int64_t worstFrame = -1;
    double worstDe = -1;
    QStringList frameLines;

    // No frame is decoded past the last one asked for.
    const auto wanted = [&] {
        return (!request.firstFrames || index + 1 < *request.firstFrames)
               && (!request.onlyFrame || index < *request.onlyFrame);
    };
    while (wanted() && reader.next(frame)) {
        ++index;
        if (request.onlyFrame && index != *request.onlyFrame)
            continue;
        if (!placeChecked && (!request.sheet.isNull() || anySheet)) {
            // The sheet found in the first frame that holds it; the frames
            // after are measured at that place.
            const CapturePipeline::Found found =
                CapturePipeline::Find(frame, {request.sheet, request.anyOf, request.at}, shownName);
            if (found.outcome == CapturePipeline::Outcome::Failed) {
                result.outcome = CensusReport::Outcome::Failed;
                result.error = found.error;
                return result;
            }
            if (found.outcome == CapturePipeline::Outcome::NotFound) {
                ++skipped;
                continue;
            }
            placeChecked = true;
            sheetName = found.name;
            sheet = found.sheet.convertToFormat(QImage::Format_RGB32);
            place = found.place;
            // Of a sheet reaching past the frame's edge, the part inside is
            // measured; the places only one of them has differ.
            const CapturePipeline::Measured part = CapturePipeline::Overlap(found);
            onlyOne = part.onlyOne;
            measuredAt = {part.overlap.x(), part.overlap.y(), place->scale};
            measuredSheet = part.compared.convertToFormat(QImage::Format_RGB32);
            result.found = {measuredAt, index, measuredSheet};
            if (atFound)
                atFound(frame, result.found);
            sample.emplace(measuredSheet);
            // The frames are converted where the sheet lies, no further.
            reader.setRegion(part.overlap);
        }
        if (sheet.isNull()) {
            ++measured;
            continue;
        }

        // A stream may change its frame size on the way.
        const QRect region(measuredAt.x, measuredAt.y, measuredSheet.width() * measuredAt.scale,
                           measuredSheet.height() * measuredAt.scale);
        if (!frame.rect().contains(region)) {
            result.outcome = CensusReport::Outcome::Failed;
            result.error = tr("Frame %1 of %2 is %3x%4: the sheet found at %5,%6 does not fit in it.")
                               .arg(index)
                               .arg(shownName)
                               .arg(frame.width())
                               .arg(frame.height())
                               .arg(place->x)
                               .arg(place->y);
            return result;
        }
        const ErrorMeasures de = sample->measure(frame, measuredAt, measuredSheet);
        // A sampled CIEDE2000 leaves the channel differences of every pixel to take.
        const ErrorMeasures channels =
            sample->whole() ? de
                            : ErrorMeasures::MeasureChannels(frame, QPoint(measuredAt.x, measuredAt.y), measuredAt.scale,
                                                             measuredSheet);
        const double frameChannels = 3.0 * double(channels.pixels);
        for (int y = region.top(); y <= region.bottom(); ++y)
            found.insertAll(reinterpret_cast<const std::uint32_t *>(frame.constScanLine(y)) + region.left(),
                            std::size_t(region.width()));
        sums.differing += channels.differingPixels + onlyOne;
        sums.maxDifference = std::max(sums.maxDifference, std::uint32_t(channels.maxChannelDifference));
        sums.sumAbs += channels.meanChannelDifference * frameChannels;
        sums.sumSquares += channels.meanSquaredError * (255.0 * 255.0) * frameChannels;
        sumDe += de.meanDe2000;
        maxDe = std::max(maxDe, de.maxDe2000);
        if (de.meanDe2000 > worstDe) {
            worstDe = de.meanDe2000;
            worstFrame = index;
        }
        if (request.perFrame) {
            frameLines << QStringLiteral("frame %1: mean dE2000 %2, PSNR %3 dB")
                              .arg(index)
                              .arg(decimals(de.meanDe2000), decibels(channels.psnr()));
        }
        ++measured;
    }
    if (!reader.error().isEmpty()) {
        result.outcome = CensusReport::Outcome::Failed;
        result.error = reader.error();
        return result;
    }
    if (request.onlyFrame && index < *request.onlyFrame) {
        result.outcome = CensusReport::Outcome::Failed;
        result.error = index < 0 ? tr("%1 has no frame %2: it holds no frames.").arg(shownName).arg(*request.onlyFrame)
                                 : tr("%1 has no frame %2: its frames are numbered 0 to %3.")
                                       .arg(shownName)
                                       .arg(*request.onlyFrame)
                                       .arg(index);
        return result;
    }
    if (sheet.isNull() && !anySheet) {
        result.lines << QStringLiteral("frames read: %1").arg(measured);
        return result;
    }
    if (!place || measured == 0) {
        result.lines << QStringLiteral("frames read: %1").arg(index + 1)
                     << QStringLiteral("sheet not found: no frame holds it");
        result.outcome = CensusReport::Outcome::Differs;
        return result;
    }

    const VideoFrames::StreamInfo &info = reader.info();
    if (!sheetName.isEmpty())
        result.lines << QStringLiteral("mode: %1").arg(sheetName);
    result.lines << QStringLiteral("shown: %1").arg(info.shown);
    if (skipped > 0)
        result.lines << QStringLiteral("frames before the sheet: %1").arg(skipped);
    result.lines << QStringLiteral("first frame with the sheet: %1").arg(result.found.frame);
    if (place->x != 0 || place->y != 0 || place->scale != 1 || frame.size() != sheet.size()) {
        result.lines << QStringLiteral("offset: %1 %2").arg(place->x).arg(place->y);
        if (place->scale != 1)
            result.lines << QStringLiteral("scale: %1").arg(place->scale);
    }

    ColourSet expected;
    for (int y = 0; y < sheet.height(); ++y)
        expected.insertAll(reinterpret_cast<const std::uint32_t *>(sheet.constScanLine(y)), std::size_t(sheet.width()));
    const std::int64_t distinct = std::int64_t(found.count());
    const std::int64_t missing = std::int64_t(expected.countMissingFrom(found));
    const std::int64_t extra = distinct - (std::int64_t(expected.count()) - missing);
    const std::int64_t framePixels =
        std::int64_t(measuredSheet.width()) * measuredSheet.height() * place->scale * place->scale;
    const double channels = 3.0 * double(framePixels) * double(measured);
    ErrorMeasures all;
    all.meanSquaredError = sums.sumSquares / (255.0 * 255.0) / channels;

    result.lines << QStringLiteral("frames measured: %1").arg(measured)
                 << QStringLiteral("size: %1x%2")
                        .arg(measuredSheet.width() * place->scale)
                        .arg(measuredSheet.height() * place->scale)
                 << QStringLiteral("pixels: %1").arg(framePixels * measured)
                 << QStringLiteral("distinct: %1").arg(distinct) << QStringLiteral("depth: 8")
                 << QStringLiteral("differing pixels: %1").arg(sums.differing)
                 << QStringLiteral("missing colours: %1").arg(missing) << QStringLiteral("extra colours: %1").arg(extra)
                 << QStringLiteral("max channel difference: %1").arg(sums.maxDifference)
                 << QStringLiteral("mean channel difference: %1").arg(decimals(sums.sumAbs / channels))
                 << QStringLiteral("PSNR: %1 dB").arg(decibels(all.psnr()))
                 << QStringLiteral("mean dE2000: %1").arg(decimals(sumDe / double(measured)))
                 << QStringLiteral("max dE2000: %1").arg(decimals(maxDe));
    if (!sample->whole())
        result.lines << QStringLiteral("dE2000 sample: %1 of %2 sheet places a frame")
                            .arg(De2000Sample)
                            .arg(std::int64_t(measuredSheet.width()) * measuredSheet.height());
    result.lines << QStringLiteral("worst frame: %1, mean dE2000 %2").arg(worstFrame).arg(decimals(worstDe));
    result.lines << frameLines;
    result.outcome = sums.differing == 0 ? CensusReport::Outcome::Matches : CensusReport::Outcome::Differs;
    return result;
}

} // namespace VideoCensus
