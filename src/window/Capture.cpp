#include "window/Capture.h"

#include "Texts.h"
#include "census/CensusReport.h"
#include "census/ErrorMeasures.h"
#include "census/SheetSearch.h"
#include "colour/Ciede2000.h"
#include "colour/Pixel.h"
#include "diagnosis/Diagnosis.h"
#include "generation/RunObserver.h"
#include "generation/SheetGenerator.h"
#include "lut/ColourLut.h"
#include "platform/CanvasImage.h"
#include "platform/ModeName.h"
#include "video/VideoFrames.h"
#include "video/VideoLibrary.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPromise>

#include <algorithm>
#include <cstdlib>
#include <new>

namespace {

TINTWELL_TR_CONTEXT("Capture");

// The points a channel of the table diagnose --fix writes.
constexpr int FixPoints = 65;

// The picture as opaque RGB32, whatever it was read as: the view shows 8
// bits a channel, and the census ignores alpha too.
QImage opaqueRgb32(const QImage &image)
{
    QImage rgb;
    if (image.format() == QImage::Format_ARGB32) {
        rgb = image.copy();
        rgb.reinterpretAsFormat(QImage::Format_RGB32);
    } else {
        rgb = image.convertToFormat(QImage::Format_RGB32);
    }
    for (int y = 0; y < rgb.height(); ++y) {
        auto *row = reinterpret_cast<std::uint32_t *>(rgb.scanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            row[x] |= 0xFF000000u;
    }
    return rgb;
}

// The sheet of `mode` drawn by the same run as the window's; null when there
// is not the memory for it.
QImage drawSheet(Mode mode)
{
    Canvas canvas;
    RunObserver quiet;
    SheetGenerator generator(quiet);
    generator.Start({canvas, Sheets::Index(mode), [] { return RunTimer(0); }});
    const int size = Sheets::Of(mode).size;
    if (canvas.width() != size || canvas.height() != size)
        return QImage();
    return CanvasImage(canvas).copy();
}

// The lines of a diagnosis that name a step (not the landmarks, the noise
// or the figures after the steps).
QStringList stepLines(const QStringList &diagnosis)
{
    static const QStringList notSteps = {QStringLiteral("landmarks:"), QStringLiteral("noise:"),
                                         QStringLiteral("mean dE2000 after the steps:"), QStringLiteral("unexplained:"),
                                         QStringLiteral("stored:"), QStringLiteral("steps:")};
    QStringList steps;
    for (const QString &line : diagnosis)
        if (std::none_of(notSteps.begin(), notSteps.end(), [&line](const QString &not_) { return line.startsWith(not_); }))
            steps << line;
    return steps;
}

// Each sheet level's mean after the steps found (the sheet put through them).
void addFitted(const QImage &sheet, const QImage &simulated, CaptureResults &results)
{
    const QImage through = simulated.convertToFormat(QImage::Format_RGB32);
    if (through.size() != sheet.size())
        return;
    std::array<std::array<std::uint64_t, ToneCurve::Levels>, 3> sums {};
    std::array<std::array<std::uint64_t, ToneCurve::Levels>, 3> pixels {};
    for (int y = 0; y < sheet.height(); ++y) {
        const auto *from = reinterpret_cast<const std::uint32_t *>(sheet.constScanLine(y));
        const auto *to = reinterpret_cast<const std::uint32_t *>(through.constScanLine(y));
        for (int x = 0; x < sheet.width(); ++x)
            for (std::size_t c = 0; c < 3; ++c) {
                const std::uint32_t level = channelOf(from[x], int(c));
                sums[c][level] += channelOf(to[x], int(c));
                ++pixels[c][level];
            }
    }
    for (std::size_t c = 0; c < 3; ++c)
        for (std::size_t level = 0; level < ToneCurve::Levels; ++level)
            if (pixels[c][level] > 0)
                results.fitted[c][level] = double(sums[c][level]) / double(pixels[c][level]);
}

// `shown` (the capture's sheet area at the sheet's size) through the table
// that undoes `steps`, as 8-bit RGB.
QImage throughFix(const Chain &steps, QImage shown)
{
    ColourLut lut;
    lut.table = steps.fix(FixPoints);
    if (!lut.apply(shown, Interpolation::Tetrahedral))
        throw std::bad_alloc();
    return opaqueRgb32(shown);
}

Verdict::Kind kindOf(bool unexplained, const QStringList &steps)
{
    return unexplained ? Verdict::Kind::Unexplained : steps.isEmpty() ? Verdict::Kind::Right : Verdict::Kind::FaultNamed;
}

// The part of the sheet inside the picture where `found` lies, in sheet
// pixels, as the pipeline aligns it.
QRect sheetPartOf(const CapturePipeline::Found &found, const QRect &picture)
{
    const int scale = found.place.scale;
    const QRect within = found.area.intersected(picture);
    return QRect(QPoint((within.left() - found.area.left() + scale - 1) / scale,
                        (within.top() - found.area.top() + scale - 1) / scale),
                 QPoint((within.right() + 1 - found.area.left()) / scale - 1,
                        (within.bottom() + 1 - found.area.top()) / scale - 1));
}

// The fixed part placed where it lies on the sheet; black beyond the picture.
QImage onSheet(const QImage &part, QSize sheet, QPoint at)
{
    if (part.size() == sheet)
        return part;
    QImage whole(sheet, QImage::Format_RGB32);
    whole.fill(Qt::black);
    QPainter(&whole).drawImage(at, part);
    return whole;
}

// A picture's diagnosis, through the capture pipeline as diagnose takes it.
// `verdictIn` is told once the verdict and the fix are in, before the
// fitted curves are worked out.
void diagnosePicture(const QImage &picture, const CapturePipeline::Found &found, CaptureResults &results,
                     const std::function<void()> &verdictIn)
{
    const Diagnosis::Result diagnosis = CapturePipeline::Diagnose(picture, found);
    results.diagnosis = diagnosis.facts().lines();
    Verdict verdict;
    verdict.steps = stepLines(results.diagnosis);
    verdict.exact = diagnosis.exact;
    verdict.before = diagnosis.meanDe2000;
    verdict.after = diagnosis.exact ? 0.0 : diagnosis.meanDe2000After;
    verdict.kind = kindOf(diagnosis.unexplained, verdict.steps);
    results.verdict = verdict;
    const CapturePipeline::Aligned aligned = CapturePipeline::Align(picture, found);
    results.fixed = onSheet(throughFix(diagnosis.chain, aligned.capture), found.sheet.size(),
                            sheetPartOf(found, picture.rect()).topLeft());
    verdictIn();
    addFitted(found.sheet, diagnosis.simulate(found.sheet), results);
}

// A recording's frame against the steps between what the file stores and
// what a player following its tags shows, as diagnose prints them.
void diagnoseFrame(const QImage &frame, const CapturePipeline::Found &found,
                   const std::optional<StoredData::Reading> &stored, const VideoFrames::StreamInfo &stream,
                   CaptureResults &results)
{
    const Chain steps = VideoCensus::StoredSteps(stored.value_or(StoredData::Reading {}), stream);
    if (stored) {
        Facts facts;
        VideoCensus::AddStored(*stored, stream, facts);
        results.diagnosis = facts.lines();
    }
    const CapturePipeline::Aligned aligned = CapturePipeline::Align(frame, found);
    const QRect part = sheetPartOf(found, frame.rect());
    const QImage simulated = steps.simulate(found.sheet);
    const ErrorMeasures before = ErrorMeasures::Measure(aligned.capture, QPoint(0, 0), 1, aligned.sheet);
    const ErrorMeasures after = ErrorMeasures::Measure(aligned.capture, QPoint(0, 0), 1,
                                                       part.size() == simulated.size() ? simulated : simulated.copy(part));
    Verdict verdict;
    verdict.steps = stepLines(results.diagnosis);
    verdict.exact = before.differingPixels == 0;
    verdict.before = before.meanDe2000;
    verdict.after = after.meanDe2000;
    verdict.kind = kindOf(after.meanDe2000 > Diagnosis::UnexplainedDe2000, verdict.steps);
    results.verdict = verdict;
    results.fixed = onSheet(throughFix(steps, aligned.capture), found.sheet.size(), part.topLeft());
    addFitted(found.sheet, simulated, results);
}

QStringList withMode(const QString &name, const QStringList &lines)
{
    return lines.isEmpty() || name.isEmpty() ? lines : QStringList {QStringLiteral("mode: %1").arg(name)} + lines;
}

} // namespace

std::unique_ptr<Capture> Capture::Open(const QString &fileName, QString &reason, VideoFrames::Player player)
{
    if (VideoLibrary::IsRecording(fileName))
        return OpenRecording(fileName, reason, player);
    PictureReader::Picture read;
    if (!PictureReader::ReadPicture(fileName, read, reason))
        return nullptr;
    return Measure(read, fileName, reason);
}

std::unique_ptr<Capture> Capture::OpenRecording(const QString &fileName, QString &reason, VideoFrames::Player player)
{
    VideoFrames::Module *module = VideoLibrary::Load(reason);
    if (!module)
        return nullptr;
    const std::unique_ptr<VideoFrames::Reader> reader =
        module->open(fileName, PictureReader::AllocationLimit(), VideoFrames::Decoding::Threads, reason);
    if (!reader)
        return nullptr;
    reader->setPlayer(player);
    // The frames before the sheet appears (a recorder's first seconds) are
    // passed over; a recording that never shows one is shown as its first frame.
    std::unique_ptr<Capture> first;
    PictureReader::Picture frame;
    Candidates candidates;
    for (int number = 0; number < FramesSearched && reader->next(frame.image); ++number) {
        if (candidates.size != frame.image.size())
            candidates = CandidatesFor(frame.image.size());
        std::unique_ptr<Capture> capture = Measure(frame, fileName, candidates, reason);
        if (!capture)
            return nullptr;
        capture->shown_ = reader->info().shown;
        capture->player_ = player;
        capture->frame_ = number;
        if (capture->mode()) {
            capture->readStream(*reader);
            return capture;
        }
        if (!first) {
            first = std::move(capture);
            first->readStream(*reader);
        }
    }
    if (!first) {
        reason = reader->error().isEmpty() ? tr("The recording holds no frame.") : reader->error();
        return nullptr;
    }
    return first;
}

void Capture::readStream(VideoFrames::Reader &reader)
{
    // The samples of the frame just read tell what the file stores.
    stream_ = reader.info();
    Facts facts;
    VideoCensus::AddStream(reader, facts);
    if (mode_) {
        stored_ = StoredData::Read(reader.samples(), stream_, picture_, sheet_, offset_.x(), offset_.y(), scale_);
        VideoCensus::AddStored(*stored_, stream_, facts);
    }
    const QString matrix = VideoFrames::MatrixName(stream_.shownMatrix);
    facts.add(QStringLiteral("shown"),
              QStringLiteral("%1 %2").arg(matrix, stream_.shownFullRange ? QStringLiteral("full") : QStringLiteral("limited")));
    for (const QString &line : facts.lines())
        if (line.startsWith(QLatin1String("video:")) || line.startsWith(QLatin1String("tagged:"))
            || line.startsWith(QLatin1String("stored:")) || line.startsWith(QLatin1String("shown:")))
            streamLines_ << line;
}

std::optional<Capture::FrameSource> Capture::frameSource() const
{
    if (!isRecording() || !mode_)
        return std::nullopt;
    return FrameSource {fileName_, *mode_, sheet_, offset_, scale_, picture_.size(), stream_, stored_, streamLines_, player_};
}

std::unique_ptr<Capture> Capture::OpenFrame(const FrameSource &source, std::int64_t frame, QString &reason,
                                            const std::function<bool()> &cancelled)
{
    VideoFrames::Module *module = VideoLibrary::Load(reason);
    if (!module)
        return nullptr;
    const std::unique_ptr<VideoFrames::Reader> reader =
        module->open(source.fileName, PictureReader::AllocationLimit(), VideoFrames::Decoding::Threads, reason);
    if (!reader)
        return nullptr;
    reader->setPlayer(source.player);
    const QRect area(source.offset, source.sheet.size() * source.scale);
    reader->setRegion(area);
    const QString shownName = QFileInfo(source.fileName).fileName();
    for (std::int64_t number = 0; number <= frame; ++number) {
        if (cancelled && cancelled()) {
            reason = tr("Cancelled.");
            return nullptr;
        }
        if (!reader->read()) {
            reason = !reader->error().isEmpty() ? reader->error() : tr("%1 has no frame %2.").arg(shownName).arg(frame);
            return nullptr;
        }
    }
    PictureReader::Picture read;
    read.image = QImage(source.frameSize, QImage::Format_RGB32);
    if (read.image.isNull()) {
        reason = tr("There is not enough memory to show it.");
        return nullptr;
    }
    // Only the sheet's area is converted; the rest stays black.
    read.image.fill(Qt::black);
    if (!reader->convert(read.image)) {
        reason = reader->error();
        return nullptr;
    }
    if (!read.image.rect().intersects(area)) {
        reason = tr("Frame %1 of %2 does not hold the sheet where it was found.").arg(frame).arg(shownName);
        return nullptr;
    }
    const CapturePipeline::Found found =
        CapturePipeline::At(read.image, source.sheet, ModeName(source.mode),
                            {source.offset.x(), source.offset.y(), source.scale});
    std::unique_ptr<Capture> capture = Place(read, read.image, source.fileName, found, reason);
    if (!capture)
        return nullptr;
    capture->frame_ = frame;
    capture->player_ = source.player;
    capture->shown_ = reader->info().shown;
    capture->stream_ = source.stream;
    capture->stored_ = source.stored;
    capture->streamLines_ = source.streamLines;
    return capture;
}

void Capture::takeCensus(const Capture &other)
{
    censusLines_ = other.censusLines_;
    frames_ = other.frames_;
    worstFrame_ = other.worstFrame_;
    examined_ = other.examined_;
}

std::unique_ptr<Capture> Capture::Measure(const PictureReader::Picture &read, const QString &fileName,
                                          QString &reason)
{
    return Measure(read, fileName, CandidatesFor(read.image.size()), reason);
}

Capture::Candidates Capture::CandidatesFor(QSize size)
{
    // Every sheet that could lie in the picture, searched for together as
    // the census's --mode auto searches.
    Candidates candidates;
    candidates.size = size;
    for (const Sheet &candidate : Sheets::All) {
        if (candidate.size > size.width() + SheetSearch::MaxShift || candidate.size > size.height() + SheetSearch::MaxShift)
            continue;
        const QImage sheet = drawSheet(candidate.mode);
        if (sheet.isNull())
            continue;
        candidates.drawn.push_back(sheet);
        candidates.named.push_back({ModeName(candidate.mode), candidate.size, [sheet] { return sheet; }});
    }
    return candidates;
}

std::unique_ptr<Capture> Capture::Measure(const PictureReader::Picture &read, const QString &fileName,
                                          const Candidates &sheets, QString &reason)
{
    const QString shownName = QFileInfo(fileName).fileName();
    QImage picture = opaqueRgb32(read.image);
    if (picture.isNull()) {
        reason = read.image.isNull() ? tr("The picture is empty.") : tr("There is not enough memory to show it.");
        return nullptr;
    }
    // Found as the census finds it: the same search, the same rules.
    const CapturePipeline::Found found =
        sheets.named.empty() ? CapturePipeline::Found {}
                             : CapturePipeline::Find(picture, {QImage(), sheets.named, std::nullopt}, shownName);
    if (found.outcome == CapturePipeline::Outcome::Failed) {
        reason = found.error;
        return nullptr;
    }
    if (found.outcome == CapturePipeline::Outcome::Found)
        return Place(read, picture, fileName, found, reason);

    std::unique_ptr<Capture> capture(new Capture);
    capture->fileName_ = fileName;
    capture->picture_ = picture;
    capture->read_ = read;
    // The census is taken over every candidate again, and says the same.
    capture->candidates_ = sheets.named;
    const std::optional<SheetSearch::Placement> &closest = found.closest;
    capture->searchAnswer_ =
        !closest ? tr("No sheet found in %1: every sheet is larger than the picture.").arg(shownName)
                 : tr("No sheet found in %1: closest %2 at offset %3 %4 scale %5, mean channel difference %6.")
                       .arg(shownName, found.closestName)
                       .arg(closest->x)
                       .arg(closest->y)
                       .arg(closest->scale)
                       .arg(closest->error, 0, 'f', 4);
    capture->captured_ = capture->picture_;
    return capture;
}

std::unique_ptr<Capture> Capture::Place(const PictureReader::Picture &read, QImage opaque, const QString &fileName,
                                        const CapturePipeline::Found &found, QString &reason)
{
    const std::optional<Mode> mode = Sheets::FromName(found.name.toStdString());
    if (!mode) {
        reason = tr("The sheet found has no mode of its own.");
        return nullptr;
    }
    std::unique_ptr<Capture> capture(new Capture);
    capture->fileName_ = fileName;
    capture->picture_ = std::move(opaque);
    capture->read_ = read;
    capture->mode_ = mode;
    capture->found_ = found;
    capture->sheet_ = found.sheet.convertToFormat(QImage::Format_RGB32);
    capture->offset_ = found.area.topLeft();
    capture->scale_ = found.place.scale;
    capture->alignCaptured();
    capture->compare();
    return capture;
}

std::function<void(QPromise<CaptureResults> &)> Capture::examination(bool census) const
{
    // Everything the task reads is its own (the pictures are shared copies,
    // the place found a copy).
    return [read = read_, name = QDir::toNativeSeparators(fileName_), fileName = fileName_, candidates = candidates_,
            found = found_, mode = mode_, recording = isRecording(), stored = stored_, stream = stream_,
            census](QPromise<CaptureResults> &promise) {
        // A task for a capture no longer shown, still waiting for a thread, is dropped.
        if (promise.isCanceled())
            return;
        CaptureResults results;
        try {
            if (mode && recording)
                diagnoseFrame(read.image, found, stored, stream, results);
            else if (mode)
                diagnosePicture(read.image, found, results, [&] { promise.addResult(results); });
        } catch (const std::bad_alloc &) {
            results.diagnosis = {tr("There is not enough memory to diagnose the capture.")};
        }
        promise.addResult(results);
        if (!census || promise.isCanceled())
            return;

        if (recording && mode) {
            // Every frame, from the first that holds the sheet, as census measures them.
            QString error;
            VideoFrames::Module *module = VideoLibrary::Load(error);
            std::unique_ptr<VideoFrames::Reader> reader =
                module ? module->open(fileName, PictureReader::AllocationLimit(), VideoFrames::Decoding::OneThread, error)
                       : nullptr;
            if (reader) {
                VideoCensus::Request request;
                request.sheet = found.sheet;
                request.cancelled = [&promise] { return promise.isCanceled(); };
                const VideoCensus::Result recordingCensus = VideoCensus::Run(*reader, name, request);
                results.census = withMode(found.name, recordingCensus.facts.lines());
                results.frames = recordingCensus.frames;
                results.worstFrame = recordingCensus.worstFrame;
                error = recordingCensus.error;
            }
            if (!error.isEmpty())
                results.census << error;
        } else {
            // The census of the place found, no second search; without a
            // sheet, the search again, which says what it found.
            CensusReport::Request request;
            if (mode)
                request.found = found;
            else
                request.anyOf = candidates;
            const CensusReport::Result pictureCensus = CensusReport::Run(read, name, request);
            results.census = pictureCensus.lines;
            if (pictureCensus.outcome == CensusReport::Outcome::Failed)
                results.census << pictureCensus.error;
        }
        results.complete = true;
        promise.addResult(results);
    };
}

void Capture::takeResults(const CaptureResults &results)
{
    diagnosisLines_ = results.diagnosis;
    verdict_ = results.verdict;
    fixed_ = results.fixed;
    for (std::size_t c = 0; c < 3; ++c)
        curves_[c].fitted = results.fitted[c];
    if (results.complete) {
        censusLines_ = results.census;
        frames_ = results.frames;
        worstFrame_ = results.worstFrame;
        examined_ = true;
    }
}

QString Capture::shownName() const
{
    return QFileInfo(fileName_).fileName();
}

void Capture::alignCaptured()
{
    const int size = sheet_.width();
    const QRect inside(offset_, QSize(size, size) * scale_);
    if (scale_ == 1 && picture_.rect().contains(inside)) {
        // The sheet's area of the picture, read in place.
        captured_ = QImage(picture_.constScanLine(offset_.y()) + qsizetype(offset_.x()) * 4, size, size,
                           picture_.bytesPerLine(), QImage::Format_RGB32);
        return;
    }
    // The middle pixel of each block; black where a sheet cropped a few
    // pixels off lies outside the picture.
    captured_ = QImage(size, size, QImage::Format_RGB32);
    captured_.fill(Qt::black);
    const int middle = scale_ / 2;
    for (int y = 0; y < size; ++y) {
        const int from = offset_.y() + y * scale_ + middle;
        if (from < 0 || from >= picture_.height())
            continue;
        const auto *row = reinterpret_cast<const std::uint32_t *>(picture_.constScanLine(from));
        auto *to = reinterpret_cast<std::uint32_t *>(captured_.scanLine(y));
        for (int x = 0; x < size; ++x) {
            const int column = offset_.x() + x * scale_ + middle;
            if (column >= 0 && column < picture_.width())
                to[x] = row[column];
        }
    }
}

void Capture::compare()
{
    // Every capture pixel of the sheet's area against the sheet pixel it
    // shows: the worst channel difference per sheet pixel for the picture
    // of the differences, and, inside the tiles, every channel's levels for
    // the tone curves.
    const int size = sheet_.width();
    const int tile = Sheets::Of(*mode_).tile * scale_;
    const int edge = ToneCurve::EdgeLeftOut;
    const auto inside = [tile, edge](int along) {
        const int inTile = along % tile;
        return inTile >= edge && inTile < tile - edge;
    };
    std::vector<std::uint16_t> worst(std::size_t(size) * std::size_t(size), 0);
    std::array<std::array<std::uint64_t, ToneCurve::Levels>, 3> sums {};
    for (int y = 0; y < size; ++y) {
        const auto *sheetRow = reinterpret_cast<const std::uint32_t *>(sheet_.constScanLine(y));
        for (int by = 0; by < scale_; ++by) {
            const int from = offset_.y() + y * scale_ + by;
            if (from < 0 || from >= picture_.height())
                continue;
            const bool rowInside = inside(y * scale_ + by);
            const auto *row = reinterpret_cast<const std::uint32_t *>(picture_.constScanLine(from));
            for (int x = 0; x < size; ++x) {
                const std::uint32_t expected = sheetRow[x];
                std::uint16_t &most = worst[std::size_t(y) * std::size_t(size) + std::size_t(x)];
                for (int bx = 0; bx < scale_; ++bx) {
                    const int column = offset_.x() + x * scale_ + bx;
                    if (column < 0 || column >= picture_.width())
                        continue;
                    const std::uint32_t found = row[column];
                    const bool counted = rowInside && inside(x * scale_ + bx);
                    for (int c = 0; c < 3; ++c) {
                        const std::uint32_t want = channelOf(expected, c);
                        const std::uint32_t got = channelOf(found, c);
                        most = std::max<std::uint16_t>(most, std::uint16_t(257 * std::abs(int(want) - int(got))));
                        ToneCurve &curve = curves_[std::size_t(c)];
                        curve.held[want] = true;
                        if (!counted)
                            continue;
                        ++curve.counts[want * ToneCurve::Levels + got];
                        ++curve.samples[want];
                        sums[std::size_t(c)][want] += got;
                    }
                }
            }
        }
    }
    for (std::size_t c = 0; c < 3; ++c)
        for (std::size_t level = 0; level < ToneCurve::Levels; ++level)
            if (curves_[c].samples[level] > 0)
                curves_[c].mean[level] = double(sums[c][level]) / double(curves_[c].samples[level]);
    difference_ = ErrorMeasures::DiffPicture(worst, sheet_.size(), differenceScale_)
                      .convertToFormat(QImage::Format_RGB32);
}

double Capture::de2000At(QPoint pixel) const
{
    if (!mode_ || !sheet_.rect().contains(pixel))
        return 0;
    const QRgb want = sheet_.pixel(pixel);
    const QRgb got = captured_.pixel(pixel);
    return Ciede2000::Difference(Ciede2000::FromSrgb(qRed(want) / 255.0, qGreen(want) / 255.0, qBlue(want) / 255.0),
                                 Ciede2000::FromSrgb(qRed(got) / 255.0, qGreen(got) / 255.0, qBlue(got) / 255.0));
}
