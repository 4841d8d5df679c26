#include "window/Capture.h"

#include "census/CensusReport.h"
#include "census/Ciede2000.h"
#include "census/Diagnosis.h"
#include "census/ErrorMeasures.h"
#include "census/SheetSearch.h"
#include "generation/RunObserver.h"
#include "generation/SheetGenerator.h"
#include "platform/CanvasImage.h"
#include "video/VideoFrames.h"
#include "video/VideoLibrary.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstdlib>
#include <new>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Capture", text);
}

std::uint32_t channelOf(std::uint32_t pixel, int channel)
{
    return (pixel >> (16 - 8 * channel)) & 0xFFu;
}

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

QString modeName(Mode mode)
{
    return QString::fromUtf8(Sheets::Of(mode).name.data(), qsizetype(Sheets::Of(mode).name.size()));
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

void diagnose(const QImage &sheet, const CensusReport::Result &census, CaptureResults &results);

} // namespace

std::unique_ptr<Capture> Capture::Open(const QString &fileName, QString &reason)
{
    if (VideoLibrary::IsRecording(fileName))
        return OpenRecording(fileName, reason);
    PictureReader::Picture read;
    if (!PictureReader::ReadPicture(fileName, read, reason))
        return nullptr;
    return Measure(read, fileName, reason);
}

std::unique_ptr<Capture> Capture::OpenRecording(const QString &fileName, QString &reason)
{
    VideoFrames::Module *module = VideoLibrary::Load(reason);
    if (!module)
        return nullptr;
    const std::unique_ptr<VideoFrames::Reader> reader = module->open(fileName, PictureReader::AllocationLimit(),
                                                                        VideoFrames::Decoding::Threads, reason);
    if (!reader)
        return nullptr;
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
        if (capture->mode())
            return capture;
        if (!first)
            first = std::move(capture);
    }
    if (!first) {
        reason = reader->error().isEmpty() ? tr("The recording holds no frame.") : reader->error();
        return nullptr;
    }
    return first;
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
        candidates.named.push_back({modeName(candidate.mode), candidate.size, [sheet] { return sheet; }});
    }
    return candidates;
}

std::unique_ptr<Capture> Capture::Measure(const PictureReader::Picture &read, const QString &fileName,
                                          const Candidates &sheets, QString &reason)
{
    std::unique_ptr<Capture> capture(new Capture);
    capture->fileName_ = fileName;
    capture->picture_ = opaqueRgb32(read.image);
    if (capture->picture_.isNull()) {
        reason = read.image.isNull() ? tr("The picture is empty.") : tr("There is not enough memory to show it.");
        return nullptr;
    }

    const std::vector<QImage> &drawn = sheets.drawn;
    const std::vector<CensusReport::Candidate> &candidates = sheets.named;
    const SheetSearch::Match match =
        drawn.empty() ? SheetSearch::Match {} : SheetSearch::FindAny(capture->picture_, drawn);
    capture->read_ = read;
    if (match.sheet < 0 || !match.placement.plausible) {
        // The census is taken over every candidate again, and says the same.
        capture->candidates_ = candidates;
        capture->searchAnswer_ =
            match.sheet < 0 ? tr("No sheet found in %1: every sheet is larger than the picture.").arg(capture->shownName())
                            : tr("No sheet found in %1: closest %2 at offset %3 %4 scale %5, mean channel difference %6.")
                                  .arg(capture->shownName(), candidates[std::size_t(match.sheet)].name)
                                  .arg(match.placement.x)
                                  .arg(match.placement.y)
                                  .arg(match.placement.scale)
                                  .arg(match.placement.error, 0, 'f', 4);
        capture->captured_ = capture->picture_;
        return capture;
    }
    const std::size_t found = std::size_t(match.sheet);
    capture->candidates_ = {candidates[found]};
    capture->mode_ = Sheets::FromName(candidates[found].name.toStdString());
    capture->sheet_ = drawn[found];
    capture->offset_ = QPoint(match.placement.x, match.placement.y);
    capture->scale_ = match.placement.scale;
    capture->alignCaptured();
    capture->compare();
    return capture;
}

std::function<CaptureResults()> Capture::examination() const
{
    return [read = read_, name = QDir::toNativeSeparators(fileName_), candidates = candidates_,
            sheet = sheet_]() -> CaptureResults {
        CaptureResults results;
        CensusReport::Request request;
        request.anyOf = candidates;
        const CensusReport::Result census = CensusReport::Run(read, name, request);
        results.census = census.lines;
        if (census.outcome == CensusReport::Outcome::Failed)
            results.census << census.error;
        // The diagnosis needs the sheet's whole area, as the command does.
        if (!sheet.isNull() && census.outcome != CensusReport::Outcome::Failed && !census.picture.isNull()
            && census.picture.rect().contains(census.sheetArea))
            diagnose(sheet, census, results);
        return results;
    };
}

void Capture::takeResults(const CaptureResults &results)
{
    censusLines_ = results.census;
    diagnosisLines_ = results.diagnosis;
    for (std::size_t c = 0; c < 3; ++c)
        curves_[c].fitted = results.fitted[c];
    examined_ = true;
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
    // of the differences, and every channel's levels for the tone curves.
    const int size = sheet_.width();
    std::vector<std::uint16_t> worst(std::size_t(size) * std::size_t(size), 0);
    std::array<std::array<std::uint64_t, ToneCurve::Levels>, 3> sums {};
    std::array<std::array<std::uint64_t, ToneCurve::Levels>, 3> pixels {};
    for (int y = 0; y < size; ++y) {
        const auto *sheetRow = reinterpret_cast<const std::uint32_t *>(sheet_.constScanLine(y));
        for (int by = 0; by < scale_; ++by) {
            const int from = offset_.y() + y * scale_ + by;
            if (from < 0 || from >= picture_.height())
                continue;
            const auto *row = reinterpret_cast<const std::uint32_t *>(picture_.constScanLine(from));
            for (int x = 0; x < size; ++x) {
                const std::uint32_t expected = sheetRow[x];
                std::uint16_t &most = worst[std::size_t(y) * std::size_t(size) + std::size_t(x)];
                for (int bx = 0; bx < scale_; ++bx) {
                    const int column = offset_.x() + x * scale_ + bx;
                    if (column < 0 || column >= picture_.width())
                        continue;
                    const std::uint32_t found = row[column];
                    for (int c = 0; c < 3; ++c) {
                        const std::uint32_t want = channelOf(expected, c);
                        const std::uint32_t got = channelOf(found, c);
                        ++curves_[std::size_t(c)].counts[want * ToneCurve::Levels + got];
                        sums[std::size_t(c)][want] += got;
                        ++pixels[std::size_t(c)][want];
                        most = std::max<std::uint16_t>(most, std::uint16_t(257 * std::abs(int(want) - int(got))));
                    }
                }
            }
        }
    }
    for (std::size_t c = 0; c < 3; ++c)
        for (std::size_t level = 0; level < ToneCurve::Levels; ++level)
            if (pixels[c][level] > 0)
                curves_[c].mean[level] = double(sums[c][level]) / double(pixels[c][level]);
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

namespace {

void diagnose(const QImage &sheet, const CensusReport::Result &census, CaptureResults &results)
{
    try {
        QImage shown = census.picture.copy(census.sheetArea);
        if (census.scale != 1)
            shown = shown.scaled(sheet.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
        if (shown.isNull())
            throw std::bad_alloc();
        const Diagnosis::Result diagnosis =
            Diagnosis::Diagnose(sheet, shown, census.scale == 1 ? &census.measures : nullptr);
        results.diagnosis << diagnosis.facts().lines();

        // The fitted curve: each sheet level's mean after every step found.
        const QImage simulated = diagnosis.simulate(sheet).convertToFormat(QImage::Format_RGB32);
        if (simulated.size() != sheet.size())
            return;
        std::array<std::array<std::uint64_t, ToneCurve::Levels>, 3> sums {};
        std::array<std::array<std::uint64_t, ToneCurve::Levels>, 3> pixels {};
        for (int y = 0; y < sheet.height(); ++y) {
            const auto *from = reinterpret_cast<const std::uint32_t *>(sheet.constScanLine(y));
            const auto *to = reinterpret_cast<const std::uint32_t *>(simulated.constScanLine(y));
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
    } catch (const std::bad_alloc &) {
        results.diagnosis << QCoreApplication::translate("Capture", "There is not enough memory to diagnose the capture.");
    }
}

} // namespace
