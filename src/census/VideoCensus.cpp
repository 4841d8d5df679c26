#include "census/VideoCensus.h"

#include "census/ColourSet.h"
#include "census/ErrorMeasures.h"
#include "census/ReadAhead.h"
#include "census/CapturePipeline.h"
#include "diagnosis/Known.h"
#include "video/StoredData.h"
#include "video/VideoFrames.h"
#include "Texts.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>

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

namespace {

Ycbcr::Matrix pathMatrix(VideoFrames::Matrix matrix)
{
    switch (matrix) {
    case VideoFrames::Matrix::Bt601: return Ycbcr::Matrix::Bt601;
    case VideoFrames::Matrix::Bt2020: return Ycbcr::Matrix::Bt2020;
    default: return Ycbcr::Matrix::Bt709;
    }
}

Ycbcr::Range rangeOf(bool full)
{
    return full ? Ycbcr::Range::Full : Ycbcr::Range::Limited;
}

// What a player honouring the tags converts with.
void AddShown(const VideoFrames::StreamInfo &info, Facts &facts)
{
    const QString matrix = VideoFrames::MatrixName(info.shownMatrix);
    const QString range = info.shownFullRange ? QStringLiteral("full") : QStringLiteral("limited");
    QJsonObject shown {{QStringLiteral("matrix"), matrix}, {QStringLiteral("range"), range}};
    if (info.shownConvertedFrom)
        shown.insert(QStringLiteral("primaries_converted_from"), QString::fromUtf8(Primaries::Of(*info.shownConvertedFrom).name));
    // The words say what was guessed, and by whose rule.
    shown.insert(QStringLiteral("words"), info.shown);
    facts.add(QStringLiteral("shown"), info.shown.isEmpty() ? QStringLiteral("%1 %2").arg(matrix, range) : info.shown,
              shown);
}

} // namespace

void AddStream(const VideoFrames::Reader &reader, Facts &facts)
{
    const VideoFrames::StreamInfo &info = reader.info();
    const QString frames = info.frames >= 0 ? QString::number(info.frames) : QStringLiteral("?");
    facts.add(QStringLiteral("video"),
              QStringLiteral("%1 %2 %3x%4 %5 fps %6 frames")
                  .arg(info.codec, info.pixelFormat)
                  .arg(info.width)
                  .arg(info.height)
                  .arg(QString::number(info.fps, 'g', 6), frames),
              QJsonObject {{QStringLiteral("codec"), info.codec},
                           {QStringLiteral("pixel_format"), info.pixelFormat},
                           {QStringLiteral("size"), QJsonArray {info.width, info.height}},
                           {QStringLiteral("fps"), info.fps},
                           {QStringLiteral("frames"), info.frames >= 0 ? QJsonValue(qint64(info.frames)) : QJsonValue()}});
    facts.add(QStringLiteral("tagged"),
              QStringLiteral("range %1, matrix %2, primaries %3, transfer %4")
                  .arg(info.range, info.matrix, info.primaries, info.transfer),
              QJsonObject {{QStringLiteral("range"), info.range},
                           {QStringLiteral("matrix"), info.matrix},
                           {QStringLiteral("primaries"), info.primaries},
                           {QStringLiteral("transfer"), info.transfer}});
}

void AddStored(const StoredData::Reading &reading, const VideoFrames::StreamInfo &info, Facts &facts)
{
    QJsonObject stored {{QStringLiteral("clear"), StoredData::Clear(reading)}};
    if (reading.read) {
        stored.insert(QStringLiteral("matrix"), VideoFrames::MatrixName(reading.matrix));
        stored.insert(QStringLiteral("range"), StoredData::RangeName(reading.fullRange));
        stored.insert(QStringLiteral("chroma"), StoredData::ChromaName(reading));
        stored.insert(QStringLiteral("mean_difference"), reading.error);
    }
    facts.add(QStringLiteral("stored"), StoredData::StoredText(reading, info), stored);
    if (!reading.read)
        return;
    const std::vector<StoredData::Step> steps = StoredData::Steps(reading, info);
    if (steps.empty())
        facts.add(QStringLiteral("steps"), QStringLiteral("none"));
    for (const StoredData::Step &step : steps)
        facts.add(step.name, step.value);
}

Chain StoredSteps(const StoredData::Reading &reading, const VideoFrames::StreamInfo &info)
{
    Known known;
    if (!reading.read)
        return Chain(known);
    const bool rgb = reading.matrix == VideoFrames::Matrix::Rgb || info.shownMatrix == VideoFrames::Matrix::Rgb;
    if (rgb)
        known.rgb = Known::RgbRange {rangeOf(reading.fullRange), rangeOf(info.shownFullRange)};
    else
        known.ycbcr = Known::YcbcrPath {pathMatrix(reading.matrix), rangeOf(reading.fullRange),
                                        pathMatrix(info.shownMatrix), rangeOf(info.shownFullRange)};
    return Chain(known);
}

Result Run(VideoFrames::Reader &reader, const QString &shownName, const Request &request,
           const std::function<void(const QImage &frame, const Found &found)> &atFound)
{
    Result result;
    Facts &facts = result.facts;
    AddStream(reader, facts);
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
    double worstDe = -1;

    // The measures of the last few different contents of the sheet's area:
    // a frame holding what one of them held (a still sheet, most frames of
    // a recording of one) measures as it did, unconverted.
    struct Measured
    {
        std::int64_t content;
        ErrorMeasures de;
        ErrorMeasures channels;
    };
    std::vector<Measured> measuredBefore;
    constexpr std::size_t MeasuresKept = 16;
    const auto account = [&](std::int64_t frameIndex, const ErrorMeasures &de, const ErrorMeasures &channels) {
        const double frameChannels = 3.0 * double(channels.pixels);
        sums.differing += channels.differingPixels + onlyOne;
        sums.maxDifference = std::max(sums.maxDifference, std::uint32_t(channels.maxChannelDifference));
        sums.sumAbs += channels.meanChannelDifference * frameChannels;
        sums.sumSquares += channels.meanSquaredError * (255.0 * 255.0) * frameChannels;
        sumDe += de.meanDe2000;
        maxDe = std::max(maxDe, de.maxDe2000);
        if (de.meanDe2000 > worstDe) {
            worstDe = de.meanDe2000;
            result.worstFrame = frameIndex;
        }
        result.frames.push_back({frameIndex, de.meanDe2000, channels.psnr()});
        ++measured;
    };

    // A frame repeating a content measured before counts as it did; false
    // when the content is not one of those.
    const auto measureRepeat = [&](std::int64_t frameIndex, std::int64_t content) {
        const auto before = std::find_if(measuredBefore.begin(), measuredBefore.end(),
                                         [content](const Measured &m) { return m.content == content; });
        if (content < 0 || before == measuredBefore.end())
            return false;
        // Kept as the reader keeps contents, the last used last.
        std::rotate(before, before + 1, measuredBefore.end());
        account(frameIndex, measuredBefore.back().de, measuredBefore.back().channels);
        return true;
    };
    // A frame converted where the sheet lies; false (and the result failed)
    // when the sheet does not fit in it.
    const auto measureConverted = [&](const QImage &frame, std::int64_t frameIndex, std::int64_t content) {
        // A stream may change its frame size on the way.
        const QRect region(measuredAt.x, measuredAt.y, measuredSheet.width() * measuredAt.scale,
                           measuredSheet.height() * measuredAt.scale);
        if (!frame.rect().contains(region)) {
            result.outcome = CensusReport::Outcome::Failed;
            result.error = tr("Frame %1 of %2 is %3x%4: the sheet found at %5,%6 does not fit in it.")
                               .arg(frameIndex)
                               .arg(shownName)
                               .arg(frame.width())
                               .arg(frame.height())
                               .arg(place->x)
                               .arg(place->y);
            return false;
        }
        const ErrorMeasures de = sample->measure(frame, measuredAt, measuredSheet);
        // A sampled CIEDE2000 leaves the channel differences of every pixel to take.
        const ErrorMeasures channels =
            sample->whole() ? de
                            : ErrorMeasures::MeasureChannels(frame, QPoint(measuredAt.x, measuredAt.y), measuredAt.scale,
                                                             measuredSheet);
        for (int y = region.top(); y <= region.bottom(); ++y)
            found.insertAll(reinterpret_cast<const std::uint32_t *>(frame.constScanLine(y)) + region.left(),
                            std::size_t(region.width()));
        account(frameIndex, de, channels);
        if (content >= 0) {
            if (measuredBefore.size() == MeasuresKept)
                measuredBefore.erase(measuredBefore.begin());
            measuredBefore.push_back({content, de, channels});
        }
        return true;
    };

    bool readAhead = false;
    const auto stop = [&] {
        if (!request.cancelled || !request.cancelled())
            return false;
        result.outcome = CensusReport::Outcome::Failed;
        result.error = tr("The census of %1 was cancelled.").arg(shownName);
        return true;
    };
    // No frame is decoded past the last one asked for.
    const auto wanted = [&] {
        return (!request.firstFrames || index + 1 < *request.firstFrames)
               && (!request.onlyFrame || index < *request.onlyFrame);
    };
    while (wanted() && reader.read()) {
        if (stop())
            return result;
        ++index;
        if (request.onlyFrame && index != *request.onlyFrame)
            continue;
        // Only counted.
        if (sheet.isNull() && !anySheet) {
            ++measured;
            continue;
        }
        std::int64_t content = -1;
        if (placeChecked) {
            content = reader.content();
            if (measureRepeat(index, content))
                continue;
        }
        if (!reader.convert(frame))
            break;
        if (!placeChecked) {
            // The sheet found in the first frame that holds it; the frames
            // after are measured at that place.
            const CapturePipeline::Found located =
                CapturePipeline::Find(frame, {request.sheet, request.anyOf, request.at}, shownName);
            if (located.outcome == CapturePipeline::Outcome::Failed) {
                result.outcome = CensusReport::Outcome::Failed;
                result.error = located.error;
                return result;
            }
            if (located.outcome == CapturePipeline::Outcome::NotFound) {
                ++skipped;
                continue;
            }
            placeChecked = true;
            sheetName = located.name;
            sheet = located.sheet.convertToFormat(QImage::Format_RGB32);
            place = located.place;
            // Of a sheet reaching past the frame's edge, the part inside is
            // measured; the places only one of them has differ.
            const CapturePipeline::Measured part = CapturePipeline::Overlap(located);
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

        if (!measureConverted(frame, index, content))
            return result;
        // From here on the next frames are read while this one is measured
        // (one frame wanted: read here, converting none but it).
        if (!request.onlyFrame) {
            readAhead = true;
            break;
        }
    }
    if (readAhead) {
        ReadAhead ahead(reader, index + 1, request.firstFrames ? *request.firstFrames : -1);
        ReadAhead::Frame next;
        while (ahead.next(next)) {
            if (stop())
                return result;
            ++index;
            if (next.image ? !measureConverted(*next.image, index, next.content) : !measureRepeat(index, next.content)) {
                // Every content converted before was measured, and is still known.
                if (!next.image && result.error.isEmpty())
                    result.error = tr("Frame %1 of %2 could not be measured.").arg(index).arg(shownName);
                result.outcome = CensusReport::Outcome::Failed;
                return result;
            }
        }
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
        facts.add(QStringLiteral("frames read"), qint64(measured));
        return result;
    }
    if (!place || measured == 0) {
        facts.add(QStringLiteral("frames read"), qint64(index + 1));
        facts.add(QStringLiteral("sheet not found"), QStringLiteral("no frame holds it"));
        result.outcome = CensusReport::Outcome::Differs;
        return result;
    }

    const VideoFrames::StreamInfo &info = reader.info();
    if (!sheetName.isEmpty())
        facts.add(QStringLiteral("mode"), sheetName);
    AddShown(info, facts);
    if (skipped > 0)
        facts.add(QStringLiteral("frames before the sheet"), qint64(skipped));
    facts.add(QStringLiteral("first frame with the sheet"), qint64(result.found.frame));
    if (place->x != 0 || place->y != 0 || place->scale != 1 || frame.size() != sheet.size()) {
        facts.add(QStringLiteral("offset"), place->x, place->y);
        if (place->scale != 1)
            facts.add(QStringLiteral("scale"), qint64(place->scale));
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
    const QSize area(measuredSheet.width() * place->scale, measuredSheet.height() * place->scale);

    facts.add(QStringLiteral("frames measured"), qint64(measured));
    facts.add(QStringLiteral("size"), QStringLiteral("%1x%2").arg(area.width()).arg(area.height()),
              QJsonArray {area.width(), area.height()});
    facts.add(QStringLiteral("pixels"), qint64(framePixels * measured));
    facts.add(QStringLiteral("distinct"), qint64(distinct));
    facts.add(QStringLiteral("depth"), qint64(8));
    facts.add(QStringLiteral("differing pixels"), qint64(sums.differing));
    facts.add(QStringLiteral("missing colours"), qint64(missing));
    facts.add(QStringLiteral("extra colours"), qint64(extra));
    facts.add(QStringLiteral("max channel difference"), qint64(sums.maxDifference));
    facts.add(QStringLiteral("mean channel difference"), sums.sumAbs / channels, 4);
    facts.add(QStringLiteral("PSNR"), all.psnr(), 2, QStringLiteral("dB"));
    facts.add(QStringLiteral("mean dE2000"), sumDe / double(measured), 4);
    facts.add(QStringLiteral("max dE2000"), maxDe, 4);
    if (!sample->whole()) {
        const std::int64_t places = std::int64_t(measuredSheet.width()) * measuredSheet.height();
        facts.add(QStringLiteral("dE2000 sample"),
                  QStringLiteral("%1 of %2 sheet places a frame").arg(De2000Sample).arg(places),
                  QJsonObject {{QStringLiteral("places"), qint64(De2000Sample)}, {QStringLiteral("of"), qint64(places)}});
    }
    facts.add(QStringLiteral("worst frame"),
              QStringLiteral("%1, mean dE2000 %2").arg(result.worstFrame).arg(decimals(worstDe)),
              QJsonObject {{QStringLiteral("frame"), qint64(result.worstFrame)},
                           {QStringLiteral("mean_de2000"), worstDe}});
    if (request.perFrame) {
        QStringList rows;
        QJsonArray items;
        for (const FrameMeasure &each : result.frames) {
            rows << QStringLiteral("frame %1: mean dE2000 %2, PSNR %3 dB")
                        .arg(each.frame)
                        .arg(decimals(each.meanDe2000), decibels(each.psnr));
            items.append(QJsonObject {{QStringLiteral("frame"), qint64(each.frame)},
                                      {QStringLiteral("mean_de2000"), each.meanDe2000},
                                      {QStringLiteral("psnr_db"), std::isinf(each.psnr) ? QJsonValue() : QJsonValue(each.psnr)}});
        }
        facts.addRows(QStringLiteral("frames"), rows, items);
    }
    result.outcome = sums.differing == 0 ? CensusReport::Outcome::Matches : CensusReport::Outcome::Differs;
    return result;
}

} // namespace VideoCensus
