#include "window/Capture.h"

#include "census/CensusReport.h"
#include "census/Ciede2000.h"
#include "census/ErrorMeasures.h"
#include "census/SheetSearch.h"
#include "generation/RunObserver.h"
#include "generation/SheetGenerator.h"
#include "platform/CanvasImage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstdlib>

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

} // namespace

std::unique_ptr<Capture> Capture::Open(const QString &fileName, QString &reason)
{
    PictureReader::Picture read;
    if (!PictureReader::ReadPicture(fileName, read, reason))
        return nullptr;
    return Measure(read, fileName, reason);
}

std::unique_ptr<Capture> Capture::Measure(const PictureReader::Picture &read, const QString &fileName,
                                          QString &reason)
{
    std::unique_ptr<Capture> capture(new Capture);
    capture->fileName_ = fileName;
    capture->picture_ = opaqueRgb32(read.image);
    if (capture->picture_.isNull()) {
        reason = read.image.isNull() ? tr("The picture is empty.") : tr("There is not enough memory to show it.");
        return nullptr;
    }

    // The largest sheet that is plausibly there.
    SheetSearch::Placement placement;
    for (const Sheet &candidate : Sheets::All) {
        if (candidate.size > capture->picture_.width() || candidate.size > capture->picture_.height())
            continue;
        RunObserver quiet;
        SheetGenerator generator(quiet);
        generator.Start({capture->sheetCanvas_, Sheets::Index(candidate.mode), [] { return RunTimer(0); }});
        const QImage sheet = CanvasImage(capture->sheetCanvas_);
        if (sheet.size() != QSize(candidate.size, candidate.size))
            continue;
        const SheetSearch::Placement found = SheetSearch::Find(capture->picture_, sheet);
        if (found.plausible) {
            capture->mode_ = candidate.mode;
            capture->sheet_ = sheet;
            placement = found;
            break;
        }
    }
    if (!capture->mode_) {
        capture->searchAnswer_ = tr("No sheet found in %1 (%2 x %3 pixels).")
                                     .arg(capture->shownName())
                                     .arg(capture->picture_.width())
                                     .arg(capture->picture_.height());
        capture->captured_ = capture->picture_;
        return capture;
    }
    capture->offset_ = QPoint(placement.x, placement.y);
    capture->scale_ = placement.scale;

    CensusReport::Request request;
    request.sheet = capture->sheet_;
    request.at = CensusReport::Placement {placement.x, placement.y, placement.scale};
    const CensusReport::Result census = CensusReport::Run(read, QDir::toNativeSeparators(fileName), request);
    capture->censusLines_ = census.lines;
    if (census.outcome == CensusReport::Outcome::Failed)
        capture->censusLines_ << census.error;
    capture->censusLines_.prepend(QStringLiteral("mode: %1").arg(
        QString::fromUtf8(Sheets::Of(*capture->mode_).name.data(),
                          qsizetype(Sheets::Of(*capture->mode_).name.size()))));

    capture->alignCaptured();
    capture->compare();
    return capture;
}

QString Capture::shownName() const
{
    return QFileInfo(fileName_).fileName();
}

void Capture::alignCaptured()
{
    const int size = sheet_.width();
    if (scale_ == 1) {
        // The sheet's area of the picture, read in place.
        captured_ = QImage(picture_.constScanLine(offset_.y()) + qsizetype(offset_.x()) * 4, size, size,
                           picture_.bytesPerLine(), QImage::Format_RGB32);
        return;
    }
    captured_ = QImage(size, size, QImage::Format_RGB32);
    const int middle = scale_ / 2;
    for (int y = 0; y < size; ++y) {
        const auto *from = reinterpret_cast<const std::uint32_t *>(
                               picture_.constScanLine(offset_.y() + y * scale_ + middle))
                           + offset_.x() + middle;
        auto *to = reinterpret_cast<std::uint32_t *>(captured_.scanLine(y));
        for (int x = 0; x < size; ++x)
            to[x] = from[x * scale_];
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
            const auto *row = reinterpret_cast<const std::uint32_t *>(
                                  picture_.constScanLine(offset_.y() + y * scale_ + by))
                              + offset_.x();
            for (int x = 0; x < size; ++x) {
                const std::uint32_t expected = sheetRow[x];
                std::uint16_t &most = worst[std::size_t(y) * std::size_t(size) + std::size_t(x)];
                for (int bx = 0; bx < scale_; ++bx) {
                    const std::uint32_t found = row[x * scale_ + bx];
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
